#include "win32/calibration_window.h"

#include <commctrl.h>

#include <algorithm>

#include "calibration/report_pdf.h"
#include "win32/calibration_charts.h"
#include "win32/text.h"

namespace velkon::win32 {

namespace cal = velkon::calibration;
using cal::Button;
using cal::Field;

namespace {

constexpr wchar_t kWindowClass[] = L"VelkonCalibration";
constexpr UINT_PTR kSampleTimer = 1;

// A field's control is kFieldBase + its Field, a button's kButtonBase + its Button.
constexpr int kFieldBase = 100;
constexpr int kButtonBase = 120;
enum ControlId : int {
    kPlatformFormat = 140,
    kFile,
    kLive,
    kWait,
    kPoints,
    kNote,
    kPlot,
    kStrip,
    kFrame
};
constexpr int kFirstLabel = 200;
constexpr int field_id(Field f) {
    return kFieldBase + static_cast<int>(f);
}
constexpr int button_id(Button b) {
    return kButtonBase + static_cast<int>(b);
}
// The field or button of a control, if it is one.
template <typename E, std::size_t kCount>
std::optional<E> of(int id, int base) {
    if (id < base || id >= base + static_cast<int>(kCount)) return std::nullopt;
    return static_cast<E>(id - base);
}
const auto field_of = [](int id) { return of<Field, cal::kFieldCount>(id, kFieldBase); };
const auto button_of = [](int id) { return of<Button, cal::kButtonCount>(id, kButtonBase); };

// Where each control sits, in pixels at 96 DPI, in the window's 900 x 680 client area. A button
// without a text of its own shows the presenter's caption.
struct Place {
    int id;
    const char* name;  // for tests; nullptr: a caption, the frame, or named by the presenter
    const wchar_t* cls;
    const wchar_t* text;
    DWORD style;
    int x, y, w, h;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr DWORD kEditStyle = kChild | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kButtonStyle = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kLabelStyle = kChild | SS_LEFT | SS_NOPREFIX;

// In tab order. The session's set-up, then the files and the report, then the table, the
// buttons that change it (recording on the first row, editing on the second), the note.
const Place kPlaces[] = {
    {kFrame, nullptr, WC_BUTTONW, L"Сеанс", kChild | BS_GROUPBOX, 8, 2, 884, 130},
    {kFirstLabel + 0, nullptr, WC_STATICW, L"Порция, л", kLabelStyle, 20, 27, 72, 18},
    {field_id(Field::Portion), nullptr, WC_EDITW, L"", kEditStyle, 95, 24, 70, 22},
    {kFirstLabel + 1, nullptr, WC_STATICW, L"Объём бака, л", kLabelStyle, 180, 27, 92, 18},
    {field_id(Field::Tank), nullptr, WC_EDITW, L"", kEditStyle, 275, 24, 70, 22},
    {kFirstLabel + 2, nullptr, WC_STATICW, L"Начальный объём, л", kLabelStyle, 360, 27, 122, 18},
    {field_id(Field::StartVolume), nullptr, WC_EDITW, L"", kEditStyle, 485, 24, 70, 22},
    {kFirstLabel + 3, nullptr, WC_STATICW, L"Успокоение: время, с", kLabelStyle, 20, 55, 132, 18},
    {field_id(Field::SettleSeconds), nullptr, WC_EDITW, L"", kEditStyle, 155, 52, 50, 22},
    {kFirstLabel + 4, nullptr, WC_STATICW, L"допуск уровня ±", kLabelStyle, 220, 55, 102, 18},
    {field_id(Field::SettleBand), nullptr, WC_EDITW, L"", kEditStyle, 325, 52, 50, 22},
    {button_id(Button::Start), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 575, 22, 95, 26},
    {button_id(Button::Load), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 675, 22, 95, 26},
    {button_id(Button::Export), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 775, 22, 105, 26},
    {button_id(Button::Platform), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 575, 50, 125, 26},
    {kPlatformFormat, "platform_format", WC_COMBOBOXW, L"",
     kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 705, 51, 175, 200},
    {kFirstLabel + 5, nullptr, WC_STATICW, L"Машина, бак", kLabelStyle, 20, 83, 80, 18},
    {field_id(Field::Vehicle), nullptr, WC_EDITW, L"", kEditStyle, 103, 80, 150, 22},
    {kFirstLabel + 6, nullptr, WC_STATICW, L"Установщик", kLabelStyle, 265, 83, 75, 18},
    {field_id(Field::Installer), nullptr, WC_EDITW, L"", kEditStyle, 343, 80, 132, 22},
    {kFirstLabel + 7, nullptr, WC_STATICW, L"Заметки", kLabelStyle, 487, 83, 55, 18},
    {field_id(Field::Notes), nullptr, WC_EDITW, L"", kEditStyle, 545, 80, 230, 22},
    {button_id(Button::Report), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 780, 78, 100, 26},
    {kFile, "file", WC_STATICW, L"", kLabelStyle | SS_PATHELLIPSIS, 20, 109, 860, 18},
    {kLive, "live", WC_STATICW, L"", kLabelStyle, 10, 138, 880, 24},
    {kWait, "wait", WC_STATICW, L"", kLabelStyle, 10, 164, 880, 20},
    {kPoints, "points", WC_LISTVIEWW, L"",
     kChild | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 10, 188, 450,
     362},
    {button_id(Button::Record), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 10, 556, 146, 26},
    {button_id(Button::RecordNow), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 162, 556, 146, 26},
    {button_id(Button::Remeasure), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 314, 556, 146, 26},
    {button_id(Button::Edit), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 10, 586, 104, 26},
    {button_id(Button::Delete), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 120, 586, 92, 26},
    {button_id(Button::Undo), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 218, 586, 118, 26},
    {button_id(Button::Redo), nullptr, WC_BUTTONW, nullptr, kButtonStyle, 342, 586, 118, 26},
    {kNote, "note", WC_STATICW, L"", kLabelStyle, 10, 618, 450, 56},
    {kPlot, "plot", WC_STATICW, L"", kChild | SS_OWNERDRAW, 470, 188, 420, 292},
    {kStrip, "strip", WC_STATICW, L"", kChild | SS_OWNERDRAW, 470, 486, 420, 188},
};

constexpr int kClientWidth = 900;
constexpr int kClientHeight = 680;
// Not WS_CLIPCHILDREN: the group box does not paint its inside, the window does.
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

bool is_push_button(HWND hwnd) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    const LONG_PTR kind = GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    return lstrcmpiW(cls, WC_BUTTONW) == 0 && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
}

// Set only when changed: a label set anew every half second flickers, a field loses its caret.
void set_text(HWND hwnd, const std::string& text) {
    if (window_text(hwnd) != text) SetWindowTextW(hwnd, widen(text).c_str());
}

void register_class(WNDPROC window) {
    static bool registered = false;
    if (registered) return;
    registered = true;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = window;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
}

}  // namespace

CalibrationWindow::CalibrationWindow(const WindowModel& model, const Seams& seams, HWND owner)
    : sample_interval_ms_(seams.sample_interval_ms),
      owner_(owner),
      presenter_(model, seams, cal::write_report_pdf) {
    register_class(&CalibrationWindow::window_proc);
    hwnd_ = CreateWindowExW(kWindowExStyle, kWindowClass, L"Тарировка бака", kWindowStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, owner_, nullptr,
                            GetModuleHandleW(nullptr), this);
    const HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (dpi_ <= 0) dpi_ = 96;
    build();
    presenter_.set_listener([this] { show_view(); });
    show_view();
}

CalibrationWindow::~CalibrationWindow() {
    if (hwnd_) {
        close();
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (font_) DeleteObject(font_);
    if (bold_font_) DeleteObject(bold_font_);
}

int CalibrationWindow::px(int pixels_at_96) const {
    return MulDiv(pixels_at_96, dpi_, 96);
}

HWND CalibrationWindow::control(std::string_view name) const {
    for (const Place& p : kPlaces) {
        const auto field = field_of(p.id);
        const auto button = button_of(p.id);
        const std::string_view its = field    ? cal::field_text(*field).name
                                     : button ? cal::button_text(*button).name
                                     : p.name ? p.name
                                              : "";
        if (name == its) return GetDlgItem(hwnd_, p.id);
    }
    return nullptr;
}

void CalibrationWindow::build() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW face = metrics.lfMessageFont;
    font_ = CreateFontIndirectW(&face);
    face.lfWeight = FW_BOLD;
    face.lfHeight = face.lfHeight * 13 / 10;
    bold_font_ = CreateFontIndirectW(&face);
    RECT frame{0, 0, px(kClientWidth), px(kClientHeight)};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (const Place& p : kPlaces) {
        const bool sunken = p.id == kPoints || std::wstring_view(p.cls) == WC_EDITW;
        const auto button = button_of(p.id);
        const std::wstring text = p.text ? p.text : widen(button_text(*button).caption);
        const HWND hwnd = CreateWindowExW(sunken ? WS_EX_CLIENTEDGE : 0, p.cls, text.c_str(),
                                          p.style, px(p.x), px(p.y), px(p.w), px(p.h), hwnd_,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)),
                                          GetModuleHandleW(nullptr), nullptr);
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(p.id == kLive ? bold_font_ : font_),
                     FALSE);
    }
    // The frame lies below what it holds.
    SetWindowPos(GetDlgItem(hwnd_, kFrame), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    const HWND table = GetDlgItem(hwnd_, kPoints);
    SendMessageW(table, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    const int widths[] = {90, 80, 250};
    for (int i = 0; i < 3; ++i) {
        const std::wstring title = widen(cal::kColumnTitles[i]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = i < 2 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = px(widths[i]);
        column.pszText = const_cast<wchar_t*>(title.c_str());
        SendMessageW(table, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    for (std::size_t i = 0; i < cal::kFieldCount; ++i)
        SendDlgItemMessageW(
            hwnd_, field_id(Field(i)), EM_SETCUEBANNER, TRUE,
            reinterpret_cast<LPARAM>(widen(cal::field_text(Field(i)).hint).c_str()));
    for (const cal::PlatformChoice& choice : cal::kPlatformChoices)
        SendDlgItemMessageW(hwnd_, kPlatformFormat, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(widen(choice.name).c_str()));
}

void CalibrationWindow::open() {
    if (!is_open()) {
        if (owner_) {
            RECT owner;
            GetWindowRect(owner_, &owner);
            SetWindowPos(hwnd_, nullptr, owner.left + px(20), owner.top + px(20), 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER);
            EnableWindow(owner_, FALSE);
        }
        ShowWindow(hwnd_, SW_SHOW);
        SetTimer(hwnd_, kSampleTimer, static_cast<UINT>(sample_interval_ms_), nullptr);
        presenter_.opened();
    }
    SetForegroundWindow(hwnd_);
    SetFocus(GetDlgItem(
        hwnd_, presenter_.view().active ? button_id(Button::Record) : field_id(Field::Portion)));
}

void CalibrationWindow::close() {
    if (!hwnd_) return;
    KillTimer(hwnd_, kSampleTimer);
    presenter_.closed();
    // The owner first, so the system hands it the activation as this one hides.
    if (owner_) EnableWindow(owner_, TRUE);
    ShowWindow(hwnd_, SW_HIDE);
    if (owner_) SetActiveWindow(owner_);
}

bool CalibrationWindow::dialog_message(MSG& msg) {
    if (!hwnd_ || !IsWindowVisible(hwnd_)) return false;
    if (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)) return false;
    // Here rather than as accelerators, so a text field keeps Ctrl+Z for its own text.
    if (msg.message == WM_KEYDOWN && (msg.wParam == 'Z' || msg.wParam == 'Y') &&
        GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0) {
        wchar_t cls[16] = {};
        GetClassNameW(msg.hwnd, cls, 16);
        if (lstrcmpiW(cls, WC_EDITW) != 0) {
            presenter_.click(msg.wParam == 'Z' ? Button::Undo : Button::Redo);
            return true;
        }
    }
    return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

std::optional<std::size_t> CalibrationWindow::selected_row() const {
    const LRESULT row = SendDlgItemMessageW(hwnd_, kPoints, LVM_GETNEXTITEM,
                                            static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (row < 0) return std::nullopt;
    return static_cast<std::size_t>(row);
}

void CalibrationWindow::show_view() {
    const cal::CalibrationView& view = presenter_.view();
    ++filling_;
    for (std::size_t i = 0; i < cal::kFieldCount; ++i)
        set_text(GetDlgItem(hwnd_, field_id(static_cast<Field>(i))), view.fields[i]);
    for (std::size_t i = 0; i < cal::kButtonCount; ++i)
        EnableWindow(GetDlgItem(hwnd_, kButtonBase + static_cast<int>(i)), view.enabled[i]);
    set_text(GetDlgItem(hwnd_, button_id(Button::Record)), view.record);
    const std::pair<int, const std::string*> labels[] = {
        {kFile, &view.file}, {kLive, &view.live}, {kWait, &view.wait}, {kNote, &view.note}};
    for (const auto& [id, text] : labels) set_text(GetDlgItem(hwnd_, id), *text);
    SendDlgItemMessageW(hwnd_, kPlatformFormat, CB_SETCURSEL, view.platform_choice, 0);
    show_table(view);
    --filling_;
    for (const int id : {kPlot, kStrip}) InvalidateRect(GetDlgItem(hwnd_, id), nullptr, FALSE);
}

void CalibrationWindow::show_table(const cal::CalibrationView& view) {
    const HWND table = GetDlgItem(hwnd_, kPoints);
    if (view.rows != rows_shown_) {
        rows_shown_ = view.rows;
        SendMessageW(table, WM_SETREDRAW, FALSE, 0);
        SendMessageW(table, LVM_DELETEALLITEMS, 0, 0);
        for (std::size_t i = 0; i < view.rows.size(); ++i) {
            const cal::TableRow& row = view.rows[i];
            const std::wstring cells[] = {widen(row.volume), widen(row.level), widen(row.check)};
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(i);
            item.pszText = const_cast<wchar_t*>(cells[0].c_str());
            SendMessageW(table, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            for (int column = 1; column < 3; ++column) {
                item.iSubItem = column;
                item.pszText = const_cast<wchar_t*>(cells[column].c_str());
                SendMessageW(table, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            }
        }
        SendMessageW(table, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(table, nullptr, TRUE);
    }
    if (selected_row() == view.selected) return;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(table, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    if (!view.selected) return;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(table, LVM_SETITEMSTATE, *view.selected, reinterpret_cast<LPARAM>(&item));
    SendMessageW(table, LVM_ENSUREVISIBLE, *view.selected, FALSE);
}

void CalibrationWindow::on_command(int id, int code) {
    if (filling_ > 0) return;
    if (const auto field = field_of(id)) {
        if (code == EN_CHANGE) presenter_.type(*field, window_text(GetDlgItem(hwnd_, id)));
        if (code == EN_KILLFOCUS) presenter_.leave(*field);
    } else if (const auto button = button_of(id); button && code == BN_CLICKED) {
        presenter_.click(*button);
    } else if (id == kPlatformFormat && code == CBN_SELCHANGE) {
        const LRESULT chosen = SendDlgItemMessageW(hwnd_, kPlatformFormat, CB_GETCURSEL, 0, 0);
        presenter_.choose_platform(static_cast<std::size_t>(std::max<LRESULT>(chosen, 0)));
    }
}

LRESULT CalibrationWindow::on_table(const NMHDR& header) {
    switch (header.code) {
        case LVN_ITEMCHANGED: {
            const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
            if ((change.uNewState ^ change.uOldState) & LVIS_SELECTED)
                presenter_.select(selected_row());
            return 0;
        }
        case NM_DBLCLK:
            presenter_.click(Button::Edit);
            return 0;
        case LVN_KEYDOWN: {
            const WORD key = reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey;
            if (key == VK_F2) presenter_.click(Button::Edit);
            if (key == VK_DELETE) presenter_.click(Button::Delete);
            return 0;
        }
        case NM_CUSTOMDRAW: {
            // Marked points on a warning ground.
            auto& draw =
                const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
            if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
            const std::size_t row = draw.nmcd.dwItemSpec;
            if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && row < rows_shown_.size() &&
                rows_shown_[row].marked) {
                const cal::chart::Color c = cal::chart::kMarkedRow;
                draw.clrTextBk = RGB(c.r, c.g, c.b);
            }
            return CDRF_DODEFAULT;
        }
        default:
            return 0;
    }
}

LRESULT CALLBACK CalibrationWindow::window_proc(HWND hwnd, UINT message, WPARAM wparam,
                                                LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CalibrationWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || !self->hwnd_) return DefWindowProcW(hwnd, message, wparam, lparam);
    return self->handle(message, wparam, lparam);
}

LRESULT CalibrationWindow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wparam);
            if (id == IDCANCEL) {
                close();
            } else if (id == IDOK) {
                // Enter in a field confirms the field; on a button presses it; elsewhere it
                // goes to the presenter.
                const HWND focus = GetFocus();
                const int focus_id = focus ? GetDlgCtrlID(focus) : 0;
                if (const auto field = field_of(focus_id)) {
                    presenter_.leave(*field);
                } else if (focus && GetParent(focus) == hwnd_ && is_push_button(focus)) {
                    SendMessageW(focus, BM_CLICK, 0, 0);
                } else if (focus_id != kPlatformFormat) {
                    presenter_.enter();
                }
            } else {
                on_command(id, HIWORD(wparam));
            }
            return 0;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (header->idFrom != kPoints || filling_ > 0) break;
            return on_table(*header);
        }
        case WM_CTLCOLORSTATIC: {
            // Labels on the window's own ground, not on a grey box of their own.
            const HDC dc = reinterpret_cast<HDC>(wparam);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            const cal::chart::Color wait = cal::chart::kWaitText;
            const bool waiting =
                GetDlgCtrlID(reinterpret_cast<HWND>(lparam)) == kWait && presenter_.view().waiting;
            SetTextColor(dc, waiting ? RGB(wait.r, wait.g, wait.b) : GetSysColor(COLOR_BTNTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_DRAWITEM: {
            // The plot and the strip, for their size now.
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
            const double w = item.rcItem.right - item.rcItem.left;
            const double h = item.rcItem.bottom - item.rcItem.top;
            paint_shapes(item, font_,
                         wparam == kPlot ? presenter_.plot(w, h) : presenter_.strip(w, h));
            return TRUE;
        }
        case WM_TIMER:
            if (wparam == kSampleTimer) presenter_.sample();
            return 0;
        case WM_CLOSE:
            close();
            return 0;
        case WM_DESTROY:
            hwnd_ = nullptr;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

}  // namespace velkon::win32
