#include "win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "app/configurator.h"
#include "model/window_model.h"
#include "protocol/cp1251.h"
#include "win32/resource_ids.h"
#include "win32/text.h"

namespace velkon::win32 {

namespace {

using K = ControlKind;

constexpr wchar_t kWindowClass[] = L"VelkonConfigurator";
constexpr wchar_t kLampClass[] = L"VelkonLamp";
constexpr wchar_t kFontFace[] = L"Tahoma";
constexpr int kFirstControlId = 1000;
constexpr int kComboListPixels = 160;  // the drop-down part of a combo box
constexpr int kDesignDpi = 96;
constexpr UINT kMoveFocusMessage = WM_APP + 20;

COLORREF native_color(std::uint32_t color) {
    if (color == kHighlightColor) return GetSysColor(COLOR_HIGHLIGHT);
    return static_cast<COLORREF>(color & 0xFFFFFF);  // both are 0x00BBGGRR
}

// The monitor's DPI for a window: the per-monitor value where the system has it (Windows 10),
// else the screen's.
int window_dpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (get_dpi) {
        if (const UINT dpi = get_dpi(hwnd)) return static_cast<int>(dpi);
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kDesignDpi;
}

// Enabled and shown (by its own style: the window as a whole may be hidden).
bool takes_focus(HWND control) {
    return IsWindowEnabled(control) && (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE);
}

// The frame around a client area: for the window's own monitor's DPI where the system can say
// (Windows 10, 1607 on), else as the primary monitor's.
void adjust_frame(RECT& frame, DWORD style, DWORD ex_style, int dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjust_for_dpi = reinterpret_cast<AdjustForDpiFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjust_for_dpi && adjust_for_dpi(&frame, style, FALSE, ex_style, static_cast<UINT>(dpi)))
        return;
    AdjustWindowRectEx(&frame, style, FALSE, ex_style);
}

// ---- The round lamp ----------------------------------------------------------------------------

LRESULT CALLBACK lamp_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(hwnd, &paint);
        RECT box;
        GetClientRect(hwnd, &box);
        FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
        const int side = std::min(box.right, box.bottom) - 1;
        const int left = (box.right - side) / 2;
        const int top = (box.bottom - side) / 2;
        const HBRUSH fill =
            CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)));
        const HGDIOBJ old_brush = SelectObject(dc, fill);
        const HGDIOBJ old_pen = SelectObject(dc, GetStockObject(BLACK_PEN));
        Ellipse(dc, left, top, left + side, top + side);
        SelectObject(dc, old_pen);
        SelectObject(dc, old_brush);
        DeleteObject(fill);
        EndPaint(hwnd, &paint);
        return 0;
    }
    if (message == WM_ERASEBKGND) return 1;  // painted whole in WM_PAINT
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

// The ground under a control, as its parent gives it (the page's own on a page).
HBRUSH ground_brush(HWND control, HDC dc) {
    const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(control), WM_CTLCOLORSTATIC,
                                                             reinterpret_cast<WPARAM>(dc),
                                                             reinterpret_cast<LPARAM>(control)));
    return brush ? brush : GetSysColorBrush(COLOR_BTNFACE);
}

// A group box paints its edge and caption only: its inside is filled here, or a page switch
// leaves pieces of the page it hid there.
LRESULT CALLBACK frame_ground_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                   DWORD_PTR) {
    if (message == WM_ERASEBKGND) {
        const HDC dc = reinterpret_cast<HDC>(wparam);
        RECT box;
        GetClientRect(hwnd, &box);
        FillRect(dc, &box, ground_brush(hwnd, dc));
        return 1;
    }
    return DefSubclassProc(hwnd, message, wparam, lparam);
}

// A frame whose caption has a colour of its own: the system's group box draws its caption in the
// text colour whatever the parent says, so such a frame is painted here, etched edge and caption.
LRESULT CALLBACK coloured_frame_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR, DWORD_PTR color) {
    if (message == WM_ERASEBKGND) return 1;  // painted whole in WM_PAINT
    if (message != WM_PAINT) return DefSubclassProc(hwnd, message, wparam, lparam);
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd, &paint);
    RECT box;
    GetClientRect(hwnd, &box);
    // The inside too: what a page switch hid here must not stay on the screen.
    FillRect(dc, &box, ground_brush(hwnd, dc));
    const HGDIOBJ old_font =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    RECT edge = box;
    edge.top += metrics.tmHeight / 2 - 1;
    DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
    std::wstring caption(GetWindowTextLengthW(hwnd) + 1, L'\0');
    caption.resize(GetWindowTextW(hwnd, caption.data(), int(caption.size())));
    if (!caption.empty()) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(
            dc, IsWindowEnabled(hwnd) ? static_cast<COLORREF>(color) : GetSysColor(COLOR_GRAYTEXT));
        TextOutW(dc, 9, 0, caption.c_str(), int(caption.size()));
    }
    SelectObject(dc, old_font);
    EndPaint(hwnd, &paint);
    return 0;
}

void register_classes(WNDPROC window_proc) {
    static bool done = false;
    if (done) return;
    done = true;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES |
                                                       ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const HINSTANCE instance = GetModuleHandleW(nullptr);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(VELKON_IDI_APP));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);

    WNDCLASSEXW lamp{};
    lamp.cbSize = sizeof lamp;
    lamp.lpfnWndProc = lamp_proc;
    lamp.hInstance = instance;
    lamp.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    lamp.lpszClassName = kLampClass;
    RegisterClassExW(&lamp);
}

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

}  // namespace

MainWindow::MainWindow(WindowModel& model, Configurator& app) : model_(model), app_(app) {
    register_classes(&MainWindow::window_proc);
    hwnd_ =
        CreateWindowExW(0, kWindowClass, widen(kWindowTitle).c_str(), kWindowStyle, CW_USEDEFAULT,
                        CW_USEDEFAULT, 100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    dpi_ = window_dpi(hwnd_);
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
    create_controls();
    layout();
    const int count = static_cast<int>(model_.controls().size());
    for (int i = 0; i < count; ++i) sync(i);
    sync_states();
    model_.set_listener([this](int index) { sync(index); });
}

MainWindow::~MainWindow() {
    model_.set_listener(nullptr);
    for (std::size_t i = 0; i < timer_on_.size(); ++i) {
        if (timer_on_[i] && hwnd_) KillTimer(hwnd_, kFirstControlId + i);
    }
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (const auto& [key, font] : fonts_) DeleteObject(font);
    if (page_brush_) DeleteObject(page_brush_);
}

HWND MainWindow::control(ControlName name) const {
    return controls_[model_.index_of(name)];
}

bool MainWindow::timer_running(ControlName name) const {
    return timer_on_[model_.index_of(name)];
}

int MainWindow::pixels(int twips) const {
    const double design = std::lround(twips / double(kTwipsPerPixel));
    return static_cast<int>(std::lround(design * dpi_ / kDesignDpi));
}

// The control's place in the window: its own rectangle plus the origins of the frames and the
// tab control that hold it, each level rounded to pixels as it is placed.
RECT MainWindow::pixel_rect(int index) const {
    const Control& c = model_.at(index);
    int left = pixels(c.rect.left);
    int top = pixels(c.rect.top);
    for (std::string parent = c.parent; !parent.empty();) {
        const Control& p = model_.at(*model_.find(parent));
        left += pixels(p.rect.left);
        top += pixels(p.rect.top);
        parent = p.parent;
    }
    return RECT{left, top, left + pixels(c.rect.width), top + pixels(c.rect.height)};
}

// ---- Building
// ------------------------------------------------------------------------------------

void MainWindow::create_controls() {
    const int count = static_cast<int>(model_.controls().size());
    controls_.assign(count, nullptr);
    shown_text_.assign(count, std::string());
    shown_items_.assign(count, {});
    shown_tip_.assign(count, std::string());
    shown_state_.assign(count, -1);
    timer_on_.assign(count, false);
    ticking_.assign(count, false);
    unseen_text_.assign(count, false);
    for (int i = 0; i < count; ++i) controls_[i] = create(i);
    // Tab follows the window order: the controls that take the focus go first, in the model's
    // keyboard order.
    std::vector<int> ordered;
    for (int i = 0; i < count; ++i) {
        if (controls_[i] && model_.at(i).tab_order >= 0) ordered.push_back(i);
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](int a, int b) { return model_.at(a).tab_order < model_.at(b).tab_order; });
    HWND after = HWND_TOP;
    for (const int i : ordered) {
        SetWindowPos(controls_[i], after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = controls_[i];
    }
    // Containers below what they hold: frames above the tab control, everything else above both
    // (the tab control is thus the last stop of Tab).
    // Each one pushed to the bottom goes below those pushed before: inner frames first.
    const auto depth = [&](int i) {
        int d = 0;
        for (std::string p = model_.at(i).parent; !p.empty(); p = model_.at(*model_.find(p)).parent)
            ++d;
        return d;
    };
    std::vector<int> frames;
    for (int i = 0; i < count; ++i) {
        if (model_.at(i).kind == K::Frame) frames.push_back(i);
    }
    std::stable_sort(frames.begin(), frames.end(),
                     [&](int a, int b) { return depth(a) > depth(b); });
    for (const int i : frames)
        SetWindowPos(controls_[i], HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    for (int i = 0; i < count; ++i) {
        if (model_.at(i).kind == K::TabControl)
            SetWindowPos(controls_[i], HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
}

HWND MainWindow::create(int index) {
    const Control& c = model_.at(index);
    const wchar_t* cls = WC_STATICW;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex_style = 0;
    switch (c.kind) {
        case K::Label:
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        case K::TextBox:
            cls = WC_EDITW;
            ex_style = WS_EX_CLIENTEDGE;
            style |= WS_TABSTOP | ES_LEFT;
            style |= c.multiline ? ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL : ES_AUTOHSCROLL;
            break;
        case K::Button:
            cls = WC_BUTTONW;
            style |= WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE;
            break;
        case K::CheckBox:
            cls = WC_BUTTONW;
            style |= WS_TABSTOP | BS_AUTOCHECKBOX | BS_MULTILINE;
            break;
        case K::OptionButton:
            // Not BS_AUTORADIOBUTTON: its groups follow the window order, ours follow the model's
            // frames, and the model clears the others of a group itself.
            cls = WC_BUTTONW;
            style |= WS_TABSTOP | BS_RADIOBUTTON | BS_MULTILINE;
            break;
        case K::ComboBox:
            cls = WC_COMBOBOXW;
            style |= WS_TABSTOP | WS_VSCROLL |
                     (c.editable ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST);
            break;
        case K::Frame:
            cls = WC_BUTTONW;
            style |= BS_GROUPBOX;
            break;
        case K::TabControl:
            cls = WC_TABCONTROLW;
            style |= WS_TABSTOP;
            break;
        case K::ProgressBar:
            cls = PROGRESS_CLASSW;
            style |= PBS_VERTICAL;
            break;
        case K::Shape:
            cls = kLampClass;
            break;
        case K::Timer:
            return nullptr;
    }
    if (c.tab_order < 0) style &= ~WS_TABSTOP;
    const HWND hwnd =
        CreateWindowExW(ex_style, cls, L"", style, 0, 0, 0, 0, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + index)),
                        GetModuleHandleW(nullptr), nullptr);
    if (c.kind == K::TabControl) {
        for (std::size_t page = 0; page < c.items.size(); ++page) {
            std::wstring caption = widen(c.items[page]);
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = caption.data();
            SendMessageW(hwnd, TCM_INSERTITEMW, page, reinterpret_cast<LPARAM>(&item));
        }
    }
    if (c.kind == K::Frame && c.color != kDefaultColor)
        SetWindowSubclass(hwnd, coloured_frame_proc, 0, native_color(c.color));
    else if (c.kind == K::Frame)
        SetWindowSubclass(hwnd, frame_ground_proc, 0, 0);
    if (c.kind == K::CheckBox || c.kind == K::OptionButton)
        SetWindowSubclass(hwnd, check_state_proc, static_cast<UINT_PTR>(index),
                          reinterpret_cast<DWORD_PTR>(this));
    // Every control is a tool of the tool tip control; its text follows the model's tool tip.
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    return hwnd;
}

void MainWindow::layout() {
    if (page_brush_) {
        DeleteObject(page_brush_);
        page_brush_ = nullptr;
    }
    RECT frame{0, 0, pixels(kClientWidthTwips), pixels(kClientHeightTwips)};
    adjust_frame(frame, kWindowStyle, 0, dpi_);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int i = 0; i < static_cast<int>(controls_.size()); ++i) {
        if (!controls_[i]) continue;
        const RECT r = pixel_rect(i);
        int height = r.bottom - r.top;
        // A combo box's height includes its drop-down list.
        if (model_.at(i).kind == K::ComboBox) height += pixels(kComboListPixels * kTwipsPerPixel);
        SetWindowPos(controls_[i], nullptr, r.left, r.top, r.right - r.left, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    apply_fonts();
}

HFONT MainWindow::font_for(const Control& c) {
    const std::pair<int, bool> key{static_cast<int>(std::lround(c.font.points * 100)), c.font.bold};
    HFONT& font = fonts_[key];
    if (!font) {
        const int height = -static_cast<int>(std::lround(c.font.points * dpi_ / 72.0));
        font = CreateFontW(height, 0, 0, 0, c.font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, kFontFace);
    }
    return font;
}

void MainWindow::apply_fonts() {
    // Fonts are made for one DPI: a change of monitor makes them anew.
    std::map<std::pair<int, bool>, HFONT> old;
    old.swap(fonts_);
    for (int i = 0; i < static_cast<int>(controls_.size()); ++i) {
        if (controls_[i])
            SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font_for(model_.at(i))),
                         TRUE);
    }
    for (const auto& [key, font] : old) DeleteObject(font);
}

// ---- Model -> control
// ----------------------------------------------------------------------------

bool MainWindow::shown(int index) const {
    const Control& c = model_.at(index);
    if (!c.visible) return false;
    if (c.parent.empty()) return true;
    const int parent = *model_.find(c.parent);
    if (model_.at(parent).kind == K::TabControl && c.page != model_.at(parent).value) return false;
    return shown(parent);
}

bool MainWindow::usable(int index) const {
    const Control& c = model_.at(index);
    if (!c.enabled) return false;
    return c.parent.empty() || usable(*model_.find(c.parent));
}

// Showing and enabling follow the model's hierarchy, so a change of a container (the page shown,
// a frame disabled) reaches every control it holds.
void MainWindow::sync_states() {
    ++updating_;
    // The control that has the focus (or holds it, as a combo box holds its edit part).
    const HWND focus = GetFocus();
    HWND focused = nullptr;
    for (const HWND hwnd : controls_) {
        if (hwnd && focus && (focus == hwnd || IsChild(hwnd, focus))) focused = hwnd;
    }
    for (int i = 0; i < static_cast<int>(controls_.size()); ++i) {
        const HWND hwnd = controls_[i];
        if (!hwnd) continue;
        const bool visible = shown(i);
        const bool enabled = usable(i);
        const signed char state = static_cast<signed char>((visible ? 1 : 0) | (enabled ? 2 : 0));
        if (state == shown_state_[i]) continue;
        const bool was_visible = shown_state_[i] >= 0 && (shown_state_[i] & 1);
        const bool was_enabled = shown_state_[i] >= 0 && (shown_state_[i] & 2);
        if (enabled && visible && !was_enabled && model_.at(i).kind == K::Button)
            enabled_buttons_.push_back(hwnd);
        shown_state_[i] = state;
        EnableWindow(hwnd, enabled);
        ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
        if (visible && !was_visible && unseen_text_[i]) sync_multiline(i);
    }
    // A disabled control loses the focus (a hidden one keeps it), and Tab then reaches nothing.
    // The focus moves once the handler that disabled it has ended, when its twin may have been
    // enabled.
    if (focused && !takes_focus(focused) && !focus_move_) {
        focus_move_ = true;
        focus_lost_from_ = focused;
        PostMessageW(hwnd_, kMoveFocusMessage, 0, 0);
    }
    --updating_;
}

// The focus goes to the button the same action enabled («Открыть порт» after «Закрыть порт»,
// and the other way round), else to the next control that can take it, as in a dialog.
void MainWindow::move_focus() {
    focus_move_ = false;
    const HWND focused = focus_lost_from_;
    focus_lost_from_ = nullptr;
    const HWND focus = GetFocus();
    // Moved meanwhile to another control (a click): nothing to do. The system may have given
    // the focus to the window itself.
    if (!focused || takes_focus(focused) || (focus && focus != focused && focus != hwnd_)) return;
    // The first button in tab order after the lost one that the same action enabled; else the
    // next control that takes the focus.
    const HWND first = GetNextDlgTabItem(hwnd_, focused, FALSE);
    HWND next = first;
    for (HWND candidate = first; candidate && candidate != focused;) {
        if (std::find(enabled_buttons_.begin(), enabled_buttons_.end(), candidate) !=
            enabled_buttons_.end()) {
            next = candidate;
            break;
        }
        candidate = GetNextDlgTabItem(hwnd_, candidate, FALSE);
        if (candidate == first) break;
    }
    if (next && next != focused && takes_focus(next)) SetFocus(next);
}

void MainWindow::sync(int index) {
    const Control& c = model_.at(index);
    if (c.kind == K::Timer) {
        sync_timer(index);
        return;
    }
    const HWND hwnd = controls_[index];
    ++updating_;
    switch (c.kind) {
        case K::Label:
        case K::Button:
        case K::Frame:
            sync_text(index, c.text);
            break;
        case K::CheckBox:
        case K::OptionButton:
            // A box whose caption is a label beside it carries that caption as its own text,
            // which is what assistive technology reads; the box is too narrow to draw it.
            sync_text(index, c.text.empty() ? c.accessible_name : c.text);
            if ((SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED) != c.checked)
                SendMessageW(hwnd, BM_SETCHECK, c.checked ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case K::TextBox:
            if (c.multiline) {
                sync_multiline(index);
            } else {
                sync_text(index, c.text);
            }
            break;
        case K::ComboBox:
            sync_combo(index);
            break;
        case K::TabControl:
            sync_tabs(index);
            break;
        case K::ProgressBar:
            sync_bar(index);
            break;
        case K::Shape:
            if (static_cast<std::uint32_t>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)) !=
                native_color(c.color)) {
                SetWindowLongPtrW(hwnd, GWLP_USERDATA, native_color(c.color));
                InvalidateRect(hwnd, nullptr, FALSE);
            }
            break;
        case K::Timer:
            break;
    }
    sync_tooltip(index);
    --updating_;
    sync_states();
}

void MainWindow::sync_text(int index, const std::string& text) {
    if (shown_text_[index] == text) return;
    shown_text_[index] = text;
    SetWindowTextW(controls_[index], widen(text).c_str());
    if (model_.at(index).kind == K::Frame) InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::sync_multiline(int index) {
    if (shown_state_[index] >= 0 && !(shown_state_[index] & 1)) {
        // The traffic monitor grows with every tick: no layout of its text for nobody.
        unseen_text_[index] = model_.at(index).text != shown_text_[index];
        return;
    }
    unseen_text_[index] = false;
    const std::string& text = model_.at(index).text;
    if (shown_text_[index] == text) return;
    shown_text_[index] = text;
    const HWND edit = controls_[index];
    ++updating_;
    SetWindowTextW(edit, widen(text).c_str());
    const LRESULT end = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, end, end);  // the latest lines in view
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    --updating_;
}

void MainWindow::sync_combo(int index) {
    const Control& c = model_.at(index);
    const HWND combo = controls_[index];
    // Rebuilt only when the list really changed, so an open list stays usable while the port
    // scan refills it with the same names.
    if (shown_items_[index] != c.items) {
        shown_items_[index] = c.items;
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        for (const auto& item : c.items)
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
    }
    if (!c.editable) {
        if (SendMessageW(combo, CB_GETCURSEL, 0, 0) != c.selected)
            SendMessageW(combo, CB_SETCURSEL, c.selected, 0);
        if (shown_text_[index] != c.text) {  // shown while no entry is selected
            shown_text_[index] = c.text;
            SendMessageW(combo, CB_SETCUEBANNER, 0,
                         reinterpret_cast<LPARAM>(widen(c.text).c_str()));
        }
        return;
    }
    // With an edit part, no selection means the typed text stands on its own.
    if (c.selected >= 0) {
        if (SendMessageW(combo, CB_GETCURSEL, 0, 0) != c.selected)
            SendMessageW(combo, CB_SETCURSEL, c.selected, 0);
        shown_text_[index] = c.items[c.selected];
    } else if (window_text(combo) != c.text) {
        shown_text_[index] = c.text;
        SetWindowTextW(combo, widen(c.text).c_str());
    }
}

void MainWindow::sync_tabs(int index) {
    const Control& c = model_.at(index);
    const HWND tabs = controls_[index];
    const int count = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    if (c.value >= 0 && c.value < count && SendMessageW(tabs, TCM_GETCURSEL, 0, 0) != c.value)
        SendMessageW(tabs, TCM_SETCURSEL, c.value, 0);
}

void MainWindow::sync_bar(int index) {
    const Control& c = model_.at(index);
    const HWND bar = controls_[index];
    // A range of 0..0 shows nothing sensible; a value out of range shows at the nearest end.
    const int maximum = std::max(c.maximum, 1);
    if (SendMessageW(bar, PBM_GETRANGE, FALSE, 0) != maximum)
        SendMessageW(bar, PBM_SETRANGE32, 0, maximum);
    const int value = std::clamp(c.value, 0, maximum);
    if (SendMessageW(bar, PBM_GETPOS, 0, 0) != value) SendMessageW(bar, PBM_SETPOS, value, 0);
}

void MainWindow::sync_timer(int index) {
    if (!hwnd_) return;  // the window is gone (a handler ran after the close)
    const Control& c = model_.at(index);
    const UINT_PTR id = kFirstControlId + index;
    if (c.enabled && !timer_on_[index]) {
        SetTimer(hwnd_, id, static_cast<UINT>(c.interval_ms), nullptr);
        timer_on_[index] = true;
    } else if (!c.enabled && timer_on_[index]) {
        KillTimer(hwnd_, id);
        timer_on_[index] = false;
    }
}

void MainWindow::sync_tooltip(int index) {
    const Control& c = model_.at(index);
    if (shown_tip_[index] == c.tooltip) return;
    shown_tip_[index] = c.tooltip;
    std::wstring text = widen(c.tooltip);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(controls_[index]);
    tool.lpszText = text.data();
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

// ---- Control -> model
// ----------------------------------------------------------------------------

void MainWindow::user_text(int index) {
    const Control& c = model_.at(index);
    const HWND hwnd = controls_[index];
    const std::string typed = window_text(hwnd);
    if (c.kind == K::TextBox && c.max_bytes > 0) {
        // Only what the fixed-width field can carry: CP1251 characters, up to its width (or, for
        // a longer text the program put there, no longer than before).
        const auto bytes = cp1251_length(typed);
        const auto before = cp1251_length(shown_text_[index]);
        if (!bytes || (static_cast<int>(*bytes) > c.max_bytes && (!before || *bytes > *before))) {
            ++updating_;
            SetWindowTextW(hwnd, widen(shown_text_[index]).c_str());
            const LRESULT end = GetWindowTextLengthW(hwnd);
            SendMessageW(hwnd, EM_SETSEL, end, end);
            --updating_;
            MessageBeep(MB_OK);
            return;
        }
    }
    const ControlName name = model_.name_at(index);
    shown_text_[index] = typed;
    if (c.kind == K::ComboBox) {
        // Typing in the edit part selects the entry it spells, or none.
        const auto match = std::find(c.items.begin(), c.items.end(), typed);
        model_.set_selected(name, match == c.items.end() ? -1 : int(match - c.items.begin()));
    }
    model_.set_text(name, typed);
    app_.on_event(index, ControlEvent::Change);
}

// Whatever changed the state (a click, the keyboard, a check set by another program or a test
// tool): the model follows, and the control's Click runs once per change. The automatic check
// box sets its own check on a click and then reports the click; only the first of the two is a
// change.
void MainWindow::user_checked(int index, bool checked) {
    const Control& c = model_.at(index);
    if (c.checked == checked) return;
    model_.set_checked(model_.name_at(index), checked);
    // An option button cleared because another one of its group was chosen is the other half
    // of that one change: only the chosen one has its Click.
    if (c.kind == K::OptionButton && !checked) return;
    user_click(index);
}

LRESULT CALLBACK MainWindow::check_state_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                              UINT_PTR index, DWORD_PTR window) {
    const LRESULT result = DefSubclassProc(hwnd, message, wparam, lparam);
    auto* self = reinterpret_cast<MainWindow*>(window);
    // A check set by anything but the model's own change of it notifies nobody: follow it here.
    if (message == BM_SETCHECK && !self->updating_)
        self->user_checked(static_cast<int>(index), wparam == BST_CHECKED);
    return result;
}

void MainWindow::user_click(int index) {
    app_.on_event(index, ControlEvent::Click);
}

void MainWindow::on_command(int index, int code) {
    if (updating_) return;
    enabled_buttons_.clear();  // only a button this command enables takes the focus
    const Control& c = model_.at(index);
    const HWND hwnd = controls_[index];
    switch (c.kind) {
        case K::Button:
            if (code == BN_CLICKED) user_click(index);
            break;
        case K::CheckBox:
            if (code == BN_CLICKED)
                user_checked(index, SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED);
            break;
        case K::OptionButton:
            // Not an automatic button: the click only asks, the model's change checks it.
            if (code == BN_CLICKED) user_checked(index, true);
            break;
        case K::TextBox:
            if (code == EN_CHANGE) user_text(index);
            break;
        case K::ComboBox:
            if (code == CBN_SELCHANGE) {
                const int entry = static_cast<int>(SendMessageW(hwnd, CB_GETCURSEL, 0, 0));
                if (c.editable && entry >= 0 && entry < int(c.items.size())) {
                    shown_text_[index] = c.items[entry];
                    model_.set_text(model_.name_at(index), c.items[entry]);
                }
                model_.set_selected(model_.name_at(index), entry);
                if (c.editable) app_.on_event(index, ControlEvent::Change);
            } else if (code == CBN_EDITCHANGE) {
                user_text(index);
            }
            break;
        default:
            break;
    }
}

// Labels, check and option buttons and frames stand on the ground of what holds them: a page's
// own (white under visual styles), else the window's. The page's ground is a picture of the tab
// control's body, laid so that it lines up with the page behind each control.
HBRUSH MainWindow::ground_for(int index, HDC dc) {
    const Control& c = model_.at(index);
    if (c.kind == K::TextBox || c.kind == K::ComboBox) return nullptr;
    int page_holder = -1;
    for (std::string parent = c.parent; !parent.empty();) {
        const int p = *model_.find(parent);
        if (model_.at(p).kind == K::TabControl) page_holder = p;
        parent = model_.at(p).parent;
    }
    SetBkMode(dc, TRANSPARENT);
    if (page_holder < 0) return GetSysColorBrush(COLOR_BTNFACE);
    if (!page_brush_) make_page_brush(page_holder);
    RECT place;
    GetWindowRect(controls_[index], &place);
    MapWindowPoints(HWND_DESKTOP, controls_[page_holder], reinterpret_cast<POINT*>(&place), 2);
    SetBrushOrgEx(dc, -place.left, -place.top, nullptr);
    return page_brush_;
}

void MainWindow::make_page_brush(int tab_index) {
    const HWND tab = controls_[tab_index];
    RECT box;
    GetClientRect(tab, &box);
    const HDC screen = GetDC(tab);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP picture =
        CreateCompatibleBitmap(screen, std::max<LONG>(box.right, 1), std::max<LONG>(box.bottom, 1));
    const HGDIOBJ old = SelectObject(memory, picture);
    FillRect(memory, &box, GetSysColorBrush(COLOR_BTNFACE));
    // The tab control paints its body into the picture, with visual styles or without.
    SendMessageW(tab, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                 PRF_CLIENT | PRF_ERASEBKGND);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(tab, screen);
    page_brush_ = CreatePatternBrush(picture);
    DeleteObject(picture);
}

// Enter presses the focused button (a window that is not a dialog has no default button); Esc
// presses the window's cancel button while it is enabled.
void MainWindow::keyboard_command(int command) {
    const int count = static_cast<int>(controls_.size());
    if (command == IDOK) {
        const HWND focus = GetFocus();
        for (int i = 0; i < count; ++i) {
            if (controls_[i] == focus && model_.at(i).kind == K::Button) {
                SendMessageW(focus, BM_CLICK, 0, 0);
                return;
            }
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (model_.at(i).cancel && controls_[i] && takes_focus(controls_[i])) {
            SendMessageW(controls_[i], BM_CLICK, 0, 0);
            return;
        }
    }
}

void MainWindow::tick(int index) {
    // A message box inside a tick handler pumps messages; the same timer must not start a second
    // tick inside the first.
    if (ticking_[index]) return;
    ticking_[index] = true;
    enabled_buttons_.clear();
    app_.on_event(index, ControlEvent::Timer);
    ticking_[index] = false;
}

// ---- Messages
// ------------------------------------------------------------------------------------

LRESULT CALLBACK MainWindow::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || !self->hwnd_) return DefWindowProcW(hwnd, message, wparam, lparam);
    return self->handle(message, wparam, lparam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    const int count = static_cast<int>(controls_.size());
    switch (message) {
        case WM_COMMAND: {
            // Enter and Esc, as the dialog manager reports them.
            if (lparam == 0 && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
                keyboard_command(LOWORD(wparam));
                return 0;
            }
            const int index = static_cast<int>(LOWORD(wparam)) - kFirstControlId;
            if (lparam && index >= 0 && index < count) on_command(index, HIWORD(wparam));
            return 0;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            const int index = static_cast<int>(header->idFrom) - kFirstControlId;
            if (header->code == TCN_SELCHANGE && index >= 0 && index < count && !updating_) {
                model_.set_tab(
                    static_cast<int>(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
            }
            return 0;
        }
        case kMoveFocusMessage:
            move_focus();
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            const HWND control = reinterpret_cast<HWND>(lparam);
            const auto at = std::find(controls_.begin(), controls_.end(), control);
            if (at == controls_.end()) break;
            return reinterpret_cast<LRESULT>(ground_for(static_cast<int>(at - controls_.begin()),
                                                        reinterpret_cast<HDC>(wparam)));
        }
        case WM_TIMER: {
            const int index = static_cast<int>(wparam) - kFirstControlId;
            if (index >= 0 && index < count) tick(index);
            return 0;
        }
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wparam);
            const auto* suggested = reinterpret_cast<const RECT*>(lparam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            layout();
            return 0;
        }
        case WM_CLOSE:
            app_.request_close();
            DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY: {
            for (int i = 0; i < count; ++i) {
                if (timer_on_[i]) KillTimer(hwnd_, kFirstControlId + i);
                timer_on_[i] = false;
            }
            const HWND gone = hwnd_;
            hwnd_ = nullptr;  // the window is gone: nothing more is done with it
            SetWindowLongPtrW(gone, GWLP_USERDATA, 0);
            if (on_destroyed) on_destroyed();
            return 0;
        }
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

}  // namespace velkon::win32
