#include "win32/calibration_window.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "calibration/session_form.h"
#include "files/file_error.h"
#include "seams/seams.h"
#include "win32/report_pdf.h"
#include "win32/text.h"

namespace velkon::win32 {

namespace cal = velkon::calibration;

namespace {

constexpr wchar_t kWindowClass[] = L"VelkonCalibration";
constexpr wchar_t kPlotClass[] = L"VelkonCalibrationPlot";
constexpr UINT_PTR kSampleTimer = 1;

enum ControlId : int {
    kPortion = 100,
    kTank,
    kStartVolume,
    kSettleSeconds,
    kSettleBand,
    kStart,
    kLoad,
    kExport,
    kPlatform,
    kPlatformFormat,
    kVehicle,
    kInstaller,
    kNotes,
    kReport,
    kFile,
    kLive,
    kWait,
    kPoints,
    kRecord,
    kRecordNow,
    kRemeasure,
    kEdit,
    kDelete,
    kUndo,
    kRedo,
    kNote,
    kPlot,
    kStrip,
    kFrame,
    kFirstLabel = 200,
};

struct Named {
    const char* name;
    int id;
};
constexpr Named kNames[] = {
    {"portion", kPortion},
    {"tank", kTank},
    {"start_volume", kStartVolume},
    {"settle_seconds", kSettleSeconds},
    {"settle_band", kSettleBand},
    {"start", kStart},
    {"load", kLoad},
    {"export", kExport},
    {"platform_export", kPlatform},
    {"platform_format", kPlatformFormat},
    {"vehicle", kVehicle},
    {"installer", kInstaller},
    {"notes", kNotes},
    {"report", kReport},
    {"file", kFile},
    {"live", kLive},
    {"wait", kWait},
    {"points", kPoints},
    {"record", kRecord},
    {"record_now", kRecordNow},
    {"remeasure", kRemeasure},
    {"edit", kEdit},
    {"delete", kDelete},
    {"undo", kUndo},
    {"redo", kRedo},
    {"note", kNote},
    {"plot", kPlot},
    {"strip", kStrip},
};

// Where each control sits, in pixels at 96 DPI, in the window's 900 x 680 client area.
struct Place {
    int id;
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
    {kFrame, WC_BUTTONW, L"Сеанс", kChild | BS_GROUPBOX, 8, 2, 884, 130},
    {kFirstLabel + 0, WC_STATICW, L"Порция, л", kLabelStyle, 20, 27, 72, 18},
    {kPortion, WC_EDITW, L"20", kEditStyle, 95, 24, 70, 22},
    {kFirstLabel + 1, WC_STATICW, L"Объём бака, л", kLabelStyle, 180, 27, 92, 18},
    {kTank, WC_EDITW, L"", kEditStyle, 275, 24, 70, 22},
    {kFirstLabel + 2, WC_STATICW, L"Начальный объём, л", kLabelStyle, 360, 27, 122, 18},
    {kStartVolume, WC_EDITW, L"0", kEditStyle, 485, 24, 70, 22},
    {kFirstLabel + 3, WC_STATICW, L"Успокоение: время, с", kLabelStyle, 20, 55, 132, 18},
    {kSettleSeconds, WC_EDITW, L"10", kEditStyle, 155, 52, 50, 22},
    {kFirstLabel + 4, WC_STATICW, L"допуск уровня ±", kLabelStyle, 220, 55, 102, 18},
    {kSettleBand, WC_EDITW, L"2", kEditStyle, 325, 52, 50, 22},
    {kStart, WC_BUTTONW, L"Новый сеанс", kButtonStyle, 575, 22, 95, 26},
    {kLoad, WC_BUTTONW, L"Открыть…", kButtonStyle, 675, 22, 95, 26},
    {kExport, WC_BUTTONW, L"Экспорт CSV…", kButtonStyle, 775, 22, 105, 26},
    {kPlatform, WC_BUTTONW, L"Для платформы…", kButtonStyle, 575, 50, 125, 26},
    {kPlatformFormat, WC_COMBOBOXW, L"", kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 705,
     51, 175, 200},
    {kFirstLabel + 5, WC_STATICW, L"Машина, бак", kLabelStyle, 20, 83, 80, 18},
    {kVehicle, WC_EDITW, L"", kEditStyle, 103, 80, 150, 22},
    {kFirstLabel + 6, WC_STATICW, L"Установщик", kLabelStyle, 265, 83, 75, 18},
    {kInstaller, WC_EDITW, L"", kEditStyle, 343, 80, 132, 22},
    {kFirstLabel + 7, WC_STATICW, L"Заметки", kLabelStyle, 487, 83, 55, 18},
    {kNotes, WC_EDITW, L"", kEditStyle, 545, 80, 230, 22},
    {kReport, WC_BUTTONW, L"Отчёт…", kButtonStyle, 780, 78, 100, 26},
    {kFile, WC_STATICW, L"", kLabelStyle | SS_PATHELLIPSIS, 20, 109, 860, 18},
    {kLive, WC_STATICW, L"", kLabelStyle, 10, 138, 880, 24},
    {kWait, WC_STATICW, L"", kLabelStyle, 10, 164, 880, 20},
    {kPoints, WC_LISTVIEWW, L"",
     kChild | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 10, 188, 450,
     362},
    {kRecord, WC_BUTTONW, L"Записать точку", kButtonStyle, 10, 556, 146, 26},
    {kRecordNow, WC_BUTTONW, L"Записать сейчас", kButtonStyle, 162, 556, 146, 26},
    {kRemeasure, WC_BUTTONW, L"Перемерить", kButtonStyle, 314, 556, 146, 26},
    {kEdit, WC_BUTTONW, L"Изменить…", kButtonStyle, 10, 586, 104, 26},
    {kDelete, WC_BUTTONW, L"Удалить", kButtonStyle, 120, 586, 92, 26},
    {kUndo, WC_BUTTONW, L"Отменить", kButtonStyle, 218, 586, 118, 26},
    {kRedo, WC_BUTTONW, L"Повторить", kButtonStyle, 342, 586, 118, 26},
    {kNote, WC_STATICW, L"", kLabelStyle, 10, 618, 450, 56},
    {kPlot, kPlotClass, L"", kChild, 470, 188, 420, 292},
    {kStrip, kPlotClass, L"", kChild, 470, 486, 420, 188},
};

constexpr const char* kRuleText = "Введите время успокоения в секундах и допуск уровня.";

constexpr int kClientWidth = 900;
constexpr int kClientHeight = 680;
// Not WS_CLIPCHILDREN: the group box does not paint its inside, the window does.
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;

// The user's decimal separator for numbers shown and exported; "." when it is not one byte.
char locale_decimal() {
    wchar_t text[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, text, 8) == 2 && text[0] < 0x80)
        return static_cast<char>(text[0]);
    return '.';
}

std::string shown(double value, int decimals = 3) {
    return cal::format_number(value, locale_decimal(), decimals);
}

bool is_push_button(HWND hwnd) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    const LONG_PTR kind = GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    return lstrcmpiW(cls, WC_BUTTONW) == 0 && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
}

// ---- GDI drawing helpers ----------------------------------------------------------------------

std::wstring number_text(double v) {
    wchar_t text[32];
    swprintf(text, 32, L"%g", v);
    return text;
}

void line(HDC dc, POINT a, POINT b) {
    MoveToEx(dc, a.x, a.y, nullptr);
    LineTo(dc, b.x, b.y);
}

void text_at(HDC dc, RECT box, const std::wstring& text, UINT format) {
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format | DT_SINGLELINE);
}

// The frame, the grid and the axis numbers of a plot over [x0, x1] x [y0, y1].
struct Axes {
    RECT area;
    double x0, x1, y0, y1;

    POINT at(double x, double y) const {
        const double fx = x1 > x0 ? (x - x0) / (x1 - x0) : 0.0;
        const double fy = y1 > y0 ? (y - y0) / (y1 - y0) : 0.0;
        return {area.left + static_cast<LONG>(std::lround(fx * (area.right - area.left))),
                area.bottom - static_cast<LONG>(std::lround(fy * (area.bottom - area.top)))};
    }

    void draw(HDC dc, const std::wstring& x_title, const std::wstring& y_title,
              double x_label_scale = 1.0) const {
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        const HPEN grid = CreatePen(PS_SOLID, 1, RGB(225, 225, 225));
        const HGDIOBJ old_pen = SelectObject(dc, grid);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(60, 60, 60));
        for (const double x : calibration::axis_ticks(x0, x1, 5)) {
            line(dc, at(x, y0), at(x, y1));
            const POINT base = at(x, y0);
            text_at(dc, {base.x - 30, base.y + 2, base.x + 30, base.y + 16},
                    number_text(x * x_label_scale), DT_CENTER | DT_TOP);
        }
        for (const double y : calibration::axis_ticks(y0, y1, 4)) {
            line(dc, at(x0, y), at(x1, y));
            const POINT base = at(x0, y);
            text_at(dc, {0, base.y - 7, area.left - 4, base.y + 7}, number_text(y),
                    DT_RIGHT | DT_VCENTER);
        }
        SelectObject(dc, old_pen);
        DeleteObject(grid);
        const HBRUSH edge = CreateSolidBrush(RGB(120, 120, 120));
        FrameRect(dc, &area, edge);
        DeleteObject(edge);
        text_at(dc, {area.left, area.bottom + 12, area.right, area.bottom + 26}, x_title,
                DT_RIGHT | DT_TOP);
        // Above the frame, where no point can cover it.
        text_at(dc, {area.left, area.top - 16, area.right, area.top - 2}, y_title,
                DT_LEFT | DT_BOTTOM);
    }
};

RECT plot_area(const RECT& box) {
    constexpr int kLeft = 46, kRight = 12, kTop = 20, kBottom = 26;
    return {kLeft, kTop, std::max<LONG>(kLeft + 10, box.right - kRight),
            std::max<LONG>(kTop + 10, box.bottom - kBottom)};
}

void dot(HDC dc, POINT at, int r, COLORREF edge, COLORREF fill) {
    const HPEN pen = CreatePen(PS_SOLID, 1, edge);
    const HBRUSH brush = CreateSolidBrush(fill);
    const HGDIOBJ old_pen = SelectObject(dc, pen);
    const HGDIOBJ old_brush = SelectObject(dc, brush);
    Ellipse(dc, at.x - r, at.y - r, at.x + r + 1, at.y + r + 1);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(brush);
    DeleteObject(pen);
}

void polyline(HDC dc, const std::vector<POINT>& points, COLORREF color, int width) {
    if (points.size() < 2) return;
    const HPEN pen = CreatePen(PS_SOLID, width, color);
    const HGDIOBJ old = SelectObject(dc, pen);
    Polyline(dc, points.data(), static_cast<int>(points.size()));
    SelectObject(dc, old);
    DeleteObject(pen);
}

}  // namespace

CalibrationWindow::CalibrationWindow(const WindowModel& model, Seams seams, HWND owner)
    : seams_(std::move(seams)),
      owner_(owner),
      cal_(std::make_unique<cal::Calibration>(model, seams_.program_folder)),
      actions_(*cal_, model, seams_.dialogs, seams_.clock, seams_.program_folder,
               locale_decimal()) {
    static bool registered = false;
    if (!registered) {
        registered = true;
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &CalibrationWindow::window_proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kWindowClass;
        RegisterClassExW(&wc);
        WNDCLASSEXW plot{};
        plot.cbSize = sizeof plot;
        plot.lpfnWndProc = &CalibrationWindow::plot_proc;
        plot.hInstance = GetModuleHandleW(nullptr);
        plot.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        plot.lpszClassName = kPlotClass;
        RegisterClassExW(&plot);
    }
    hwnd_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kWindowClass,
                            L"Тарировка бака", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                            owner_, nullptr, GetModuleHandleW(nullptr), this);
    const HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (dpi_ <= 0) dpi_ = 96;
    build();
    layout();
    show_session();
    show_live();
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
    for (const Named& n : kNames) {
        if (name == n.name) return GetDlgItem(hwnd_, n.id);
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
    for (const Place& p : kPlaces) {
        const bool sunken = p.id == kPoints || std::wstring_view(p.cls) == WC_EDITW;
        const HWND hwnd =
            CreateWindowExW(sunken ? WS_EX_CLIENTEDGE : 0, p.cls, p.text, p.style, 0, 0, 0, 0,
                            hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)),
                            GetModuleHandleW(nullptr), nullptr);
        // The plot and the strip ask this window for their pictures.
        if (p.cls == kPlotClass)
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(p.id == kLive ? bold_font_ : font_),
                     FALSE);
    }
    const HWND table = GetDlgItem(hwnd_, kPoints);
    SendMessageW(table, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    const struct {
        const wchar_t* title;
        int width;
        int format;
    } columns[] = {{L"Объём, л", 90, LVCFMT_RIGHT},
                   {L"Уровень", 80, LVCFMT_RIGHT},
                   {L"Проверка", 250, LVCFMT_LEFT}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = columns[i].format;
        column.cx = px(columns[i].width);
        column.pszText = const_cast<wchar_t*>(columns[i].title);
        SendMessageW(table, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(GetDlgItem(hwnd_, kTank), EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(L"не задан"));
    SendMessageW(GetDlgItem(hwnd_, kVehicle), EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(L"госномер, бак"));
    SendMessageW(GetDlgItem(hwnd_, kNotes), EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(L"форма бака, заметки"));
    const HWND formats = GetDlgItem(hwnd_, kPlatformFormat);
    for (const cal::PlatformChoice& choice : cal::kPlatformChoices) {
        SendMessageW(formats, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(widen(std::string(choice.name)).c_str()));
    }
    SendMessageW(formats, CB_SETCURSEL, 0, 0);
}

void CalibrationWindow::layout() {
    RECT frame{0, 0, px(kClientWidth), px(kClientHeight)};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (const Place& p : kPlaces) {
        SetWindowPos(GetDlgItem(hwnd_, p.id), nullptr, px(p.x), px(p.y), px(p.w), px(p.h),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The frame lies below what it holds.
    SetWindowPos(GetDlgItem(hwnd_, kFrame), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
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
        SetTimer(hwnd_, kSampleTimer, static_cast<UINT>(seams_.sample_interval_ms), nullptr);
        sample();
    }
    SetForegroundWindow(hwnd_);
    SetFocus(GetDlgItem(hwnd_, cal_->active() ? kRecord : kPortion));
}

void CalibrationWindow::close() {
    if (!hwnd_) return;
    KillTimer(hwnd_, kSampleTimer);
    cal_->cancel_wait();
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
            msg.wParam == 'Z' ? undo() : redo();
            return true;
        }
    }
    return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

std::int64_t CalibrationWindow::now() const {
    if (seams_.now_ms) return seams_.now_ms();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void CalibrationWindow::fail(const std::string& text) {
    actions_.fail(text);
}

void CalibrationWindow::after_change(const std::optional<std::string>& error) {
    show_session();
    if (const auto recorded = cal_->take_recorded()) select_row(*recorded);
    show_live();
    if (error) fail(*error);
}

void CalibrationWindow::undo() {
    if (!cal_->can_undo()) return;
    after_change(cal_->undo());
}

void CalibrationWindow::redo() {
    if (!cal_->can_redo()) return;
    after_change(cal_->redo());
}

std::optional<std::size_t> CalibrationWindow::selected_row() const {
    const LRESULT row = SendMessageW(GetDlgItem(hwnd_, kPoints), LVM_GETNEXTITEM,
                                     static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (row < 0) return std::nullopt;
    return static_cast<std::size_t>(row);
}

void CalibrationWindow::select_row(std::size_t row) {
    const HWND table = GetDlgItem(hwnd_, kPoints);
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(table, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    SendMessageW(table, LVM_ENSUREVISIBLE, row, FALSE);
    selection_changed();
}

void CalibrationWindow::sample() {
    const auto error = cal_->sample(now());
    if (const auto recorded = cal_->take_recorded()) {
        show_session();
        select_row(*recorded);
    }
    show_live();
    if (error) fail(*error);
}

// The settling values are typed here (the Qt window has spin boxes): each must be a number.
void CalibrationWindow::start_session() {
    const auto field = [this](int id) { return window_text(GetDlgItem(hwnd_, id)); };
    cal::SessionForm form;
    form.portion = field(kPortion);
    form.tank = field(kTank);
    form.start_volume = field(kStartVolume);
    const auto seconds = cal::parse_number(field(kSettleSeconds));
    const auto band = cal::parse_number(field(kSettleBand));
    if (!seconds || !band) return fail(kRuleText);
    form.settle_seconds = *seconds;
    form.settle_band = *band;
    form.vehicle = field(kVehicle);
    form.installer = field(kInstaller);
    form.notes = field(kNotes);
    if (!actions_.start(form)) return;
    show_session();
    show_live();
}

void CalibrationWindow::load_from(const std::filesystem::path& path) {
    const auto loaded = actions_.load(path);
    if (!loaded) return;
    const cal::SessionForm& form = *loaded;
    SetDlgItemTextW(hwnd_, kNote, L"");  // a message about the file before is no longer true
    ++filling_;
    SetDlgItemTextW(hwnd_, kPortion, widen(form.portion).c_str());
    SetDlgItemTextW(hwnd_, kTank, widen(form.tank).c_str());
    SetDlgItemTextW(hwnd_, kStartVolume, widen(form.start_volume).c_str());
    SetDlgItemTextW(hwnd_, kSettleSeconds, widen(shown(form.settle_seconds, 0)).c_str());
    SetDlgItemTextW(hwnd_, kSettleBand, widen(shown(form.settle_band, 1)).c_str());
    SetDlgItemTextW(hwnd_, kVehicle, widen(form.vehicle).c_str());
    SetDlgItemTextW(hwnd_, kInstaller, widen(form.installer).c_str());
    SetDlgItemTextW(hwnd_, kNotes, widen(form.notes).c_str());
    --filling_;
    show_session();
    show_live();
}

void CalibrationWindow::export_to(const std::filesystem::path& path) {
    if (const auto note = actions_.export_csv(path))
        SetDlgItemTextW(hwnd_, kNote, widen(*note).c_str());
}

void CalibrationWindow::export_platform_to(const std::filesystem::path& path) {
    const LRESULT chosen = SendDlgItemMessageW(hwnd_, kPlatformFormat, CB_GETCURSEL, 0, 0);
    const auto choice = static_cast<std::size_t>(chosen < 0 ? 0 : chosen);
    if (const auto note = actions_.export_platform(path, choice))
        SetDlgItemTextW(hwnd_, kNote, widen(*note).c_str());
}

void CalibrationWindow::report_to(const std::filesystem::path& path) {
    apply_who();
    if (const auto note = actions_.report(path, write_report_pdf))
        SetDlgItemTextW(hwnd_, kNote, widen(*note).c_str());
}

void CalibrationWindow::apply_who() {
    const auto field = [this](int id) { return window_text(GetDlgItem(hwnd_, id)); };
    actions_.apply_who(field(kVehicle), field(kInstaller), field(kNotes));
}

void CalibrationWindow::record_point() {
    actions_.toggle_wait();
    show_live();
}

void CalibrationWindow::record_now() {
    if (const auto error = cal_->record_now()) return fail(*error);
    if (const auto recorded = cal_->take_recorded()) {
        show_session();
        select_row(*recorded);
    }
    show_live();
}

void CalibrationWindow::remeasure_selected() {
    if (actions_.remeasure(selected_row())) show_live();
}

// The point's volume and level in two input boxes, each starting with what the table holds.
void CalibrationWindow::edit_selected() {
    const auto row = selected_row();
    if (!row || !cal_->active()) return fail("Выберите в таблице точку, которую изменить.");
    cal::Point point = cal_->session().points()[*row];
    const std::string volume =
        seams_.dialogs.input("Объём, л", "Изменить точку", shown(point.volume));
    if (volume.empty()) return;
    const std::string level =
        seams_.dialogs.input("Уровень", "Изменить точку", shown(point.level, 1));
    if (level.empty()) return;
    const cal::CellReading v = cal::read_cell(volume);
    if (v.error) return fail(*v.error);
    const cal::CellReading l = cal::read_cell(level);
    if (l.error) return fail(*l.error);
    after_change(actions_.edit(*row, {*v.value, *l.value}));
}

void CalibrationWindow::delete_selected() {
    const auto change = actions_.remove(selected_row());
    if (change.made) after_change(change.error);
}

void CalibrationWindow::choose_and_load() {
    const auto path = actions_.choose_load();
    if (!path.empty()) load_from(path);
}

void CalibrationWindow::choose_and_export() {
    const auto path = actions_.choose_export();
    if (!path.empty()) export_to(path);
}

void CalibrationWindow::choose_and_export_platform() {
    const auto path = actions_.choose_platform();
    if (!path.empty()) export_platform_to(path);
}

void CalibrationWindow::choose_and_report() {
    const auto path = actions_.choose_report();
    if (!path.empty()) report_to(path);
}

// The settling fields take effect when they are left (or confirmed with Enter); a text that is
// no number returns to the rule in force.
void CalibrationWindow::apply_rule() {
    const auto seconds = cal::parse_number(window_text(GetDlgItem(hwnd_, kSettleSeconds)));
    const auto band = cal::parse_number(window_text(GetDlgItem(hwnd_, kSettleBand)));
    const cal::SettlingRule in_force = cal_->session().info().rule;
    std::optional<std::string> error;
    if (!seconds || !band) {
        error = kRuleText;
    } else if (cal::SettlingRule{*seconds, *band} != in_force) {
        error = cal_->set_rule({*seconds, *band});
    }
    if (error) {
        const cal::SettlingRule rule = cal_->session().info().rule;
        ++filling_;
        SetDlgItemTextW(hwnd_, kSettleSeconds, widen(shown(rule.seconds, 0)).c_str());
        SetDlgItemTextW(hwnd_, kSettleBand, widen(shown(rule.band, 1)).c_str());
        --filling_;
        fail(*error);
    }
    show_live();
}

void CalibrationWindow::apply_portion() {
    if (!cal_->active()) return;
    const cal::PortionReading reading = cal::read_portion(window_text(GetDlgItem(hwnd_, kPortion)));
    const double in_force = cal_->session().info().portion;
    if (reading.portion && *reading.portion == in_force) return;
    std::optional<std::string> error = reading.error;
    if (reading.portion) error = cal_->set_portion(*reading.portion);
    if (error) {
        ++filling_;
        SetDlgItemTextW(hwnd_, kPortion, widen(shown(cal_->session().info().portion)).c_str());
        --filling_;
        if (error) fail(*error);
        return;
    }
    show_live();
}

void CalibrationWindow::show_session() {
    ++filling_;
    const cal::Session& s = cal_->session();
    const auto checks = s.checks();
    const HWND table = GetDlgItem(hwnd_, kPoints);
    const auto selected = selected_row();
    SendMessageW(table, WM_SETREDRAW, FALSE, 0);
    SendMessageW(table, LVM_DELETEALLITEMS, 0, 0);
    for (std::size_t i = 0; i < s.points().size(); ++i) {
        const cal::Point& p = s.points()[i];
        const std::wstring cells[] = {
            widen(shown(p.volume)), widen(shown(p.level, 1)),
            widen(checks[i].marks ? cal::mark_words(checks[i].marks) : checks[i].note)};
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
    if (selected && *selected < s.points().size()) {
        LVITEMW item{};
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(table, LVM_SETITEMSTATE, *selected, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageW(table, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(table, nullptr, TRUE);
    --filling_;
    SetDlgItemTextW(hwnd_, kFile, widen(cal::file_text(*cal_)).c_str());
    const cal::ButtonStates can = cal::button_states(*cal_, false);
    EnableWindow(GetDlgItem(hwnd_, kExport), can.export_csv);
    EnableWindow(GetDlgItem(hwnd_, kPlatform), can.platform);
    EnableWindow(GetDlgItem(hwnd_, kReport), can.report);
    EnableWindow(GetDlgItem(hwnd_, kUndo), can.undo);
    EnableWindow(GetDlgItem(hwnd_, kRedo), can.redo);
    selection_changed();
}

void CalibrationWindow::selection_changed() {
    const auto row = selected_row();
    plot_selected_ = row;
    InvalidateRect(GetDlgItem(hwnd_, kPlot), nullptr, FALSE);
    if (row) SetDlgItemTextW(hwnd_, kNote, widen(cal::point_note(cal_->session(), *row)).c_str());
    const bool usable = cal::button_states(*cal_, row.has_value()).point;
    for (const int id : {kRemeasure, kEdit, kDelete}) EnableWindow(GetDlgItem(hwnd_, id), usable);
}

void CalibrationWindow::show_live() {
    const std::string live = cal::live_text(*cal_);
    const std::string wait = cal::wait_text(*cal_, locale_decimal());
    const bool waiting = cal_->waiting();
    // Set only when changed: a label set anew every half second flickers.
    const auto set = [this](int id, const std::string& text) {
        const HWND hwnd = GetDlgItem(hwnd_, id);
        if (window_text(hwnd) != text) SetWindowTextW(hwnd, widen(text).c_str());
    };
    set(kLive, live);
    set(kWait, wait);
    set(kRecord, waiting ? "Отменить ожидание" : "Записать точку");
    const cal::ButtonStates can = cal::button_states(*cal_, false);
    EnableWindow(GetDlgItem(hwnd_, kRecord), can.record);
    EnableWindow(GetDlgItem(hwnd_, kRecordNow), can.record_now);
    strip_now_ms_ = now();
    InvalidateRect(GetDlgItem(hwnd_, kStrip), nullptr, FALSE);
}

// ---- Pictures ---------------------------------------------------------------------------------

void CalibrationWindow::paint_plot(HDC dc, const RECT& box) {
    const cal::Session& s = cal_->session();
    const auto& points = s.points();
    const auto checks = s.checks();
    const RECT area = plot_area(box);
    const auto corner = cal::table_plot_corner(s, area.right - area.left, area.bottom - area.top);
    const Axes axes{area, 0.0, corner.volume, 0.0, corner.level};
    axes.draw(dc, L"Объём, л", L"Уровень");
    if (points.empty()) {
        SetTextColor(dc, RGB(120, 120, 120));
        text_at(dc, axes.area, L"Точек пока нет", DT_CENTER | DT_VCENTER);
        return;
    }
    std::vector<POINT> path;
    for (const auto& pt : points) path.push_back(axes.at(pt.volume, pt.level));
    polyline(dc, path, RGB(40, 100, 200), 2);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const bool marked = i < checks.size() && checks[i].marks != 0;
        dot(dc, path[i], plot_selected_ == i ? 6 : 4, marked ? RGB(200, 30, 30) : RGB(20, 60, 140),
            marked ? RGB(240, 80, 80) : RGB(70, 130, 230));
    }
}

void CalibrationWindow::paint_strip(HDC dc, const RECT& box) {
    constexpr double kSpanS = cal::Calibration::kHistoryMs / 1000.0;
    const auto& readings = cal_->history();
    const std::int64_t now_ms = strip_now_ms_;
    const cal::SettlingState s = cal_->settling();
    const cal::SettlingRule& rule = cal_->session().info().rule;
    const bool band = cal_->waiting() && s.readings > 0;
    std::optional<cal::StripRange> band_range;
    if (band) band_range = {{s.mean - rule.band, s.mean + rule.band}};
    const auto range = cal::strip_range(readings, now_ms, band_range);
    const Axes axes{plot_area(box), -kSpanS, 0.0, range.low, range.high};
    axes.draw(dc, L"с назад", L"Уровень (сырые показания)", -1.0);
    if (band) {
        const POINT a = axes.at(-rule.seconds, s.mean + rule.band);
        const POINT b = axes.at(0.0, s.mean - rule.band);
        const RECT r{a.x, a.y, b.x, b.y};
        const HBRUSH fill = CreateSolidBrush(s.settled ? RGB(200, 235, 205) : RGB(252, 230, 200));
        FillRect(dc, &r, fill);
        DeleteObject(fill);
        const HBRUSH edge = CreateSolidBrush(s.settled ? RGB(40, 140, 60) : RGB(200, 120, 20));
        FrameRect(dc, &r, edge);
        DeleteObject(edge);
    }
    std::vector<POINT> path;
    for (const auto& r : readings) {
        const double ago = static_cast<double>(r.time_ms - now_ms) / 1000.0;
        if (ago < -kSpanS) continue;
        path.push_back(axes.at(ago, r.level));
    }
    polyline(dc, path, RGB(40, 100, 200), 1);
}

// Both pictures are drawn whole into a bitmap first: no flicker as they change twice a second.
LRESULT CALLBACK CalibrationWindow::plot_proc(HWND hwnd, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
    auto* self = reinterpret_cast<CalibrationWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_ERASEBKGND) return 1;
    if (message != WM_PAINT || !self) return DefWindowProcW(hwnd, message, wparam, lparam);
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd, &paint);
    RECT box;
    GetClientRect(hwnd, &box);
    const HDC memory = CreateCompatibleDC(dc);
    const HBITMAP bitmap =
        CreateCompatibleBitmap(dc, std::max<LONG>(box.right, 1), std::max<LONG>(box.bottom, 1));
    const HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
    const HGDIOBJ old_font = SelectObject(memory, self->font_);
    FillRect(memory, &box, GetSysColorBrush(COLOR_BTNFACE));
    if (GetDlgCtrlID(hwnd) == kPlot) {
        self->paint_plot(memory, box);
    } else {
        self->paint_strip(memory, box);
    }
    BitBlt(dc, 0, 0, box.right, box.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old_font);
    SelectObject(memory, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(hwnd, &paint);
    return 0;
}

// ---- Messages ---------------------------------------------------------------------------------

void CalibrationWindow::on_command(int id, int code) {
    if (filling_ > 0) return;
    if (code == EN_KILLFOCUS) {
        if (id == kSettleSeconds || id == kSettleBand) apply_rule();
        if (id == kPortion) apply_portion();
        if (id == kVehicle || id == kInstaller || id == kNotes) apply_who();
        return;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
        case kStart:
            start_session();
            break;
        case kLoad:
            choose_and_load();
            break;
        case kExport:
            choose_and_export();
            break;
        case kPlatform:
            choose_and_export_platform();
            break;
        case kReport:
            choose_and_report();
            break;
        case kUndo:
            undo();
            break;
        case kRedo:
            redo();
            break;
        case kRecord:
            record_point();
            break;
        case kRecordNow:
            record_now();
            break;
        case kRemeasure:
            remeasure_selected();
            break;
        case kEdit:
            edit_selected();
            break;
        case kDelete:
            delete_selected();
            break;
        default:
            break;
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
                return 0;
            }
            if (id == IDOK) {
                // Enter in a field confirms the field; on a button presses it; elsewhere it
                // records the point.
                const HWND focus = GetFocus();
                const int focus_id = focus ? GetDlgCtrlID(focus) : 0;
                if (focus_id == kPortion) {
                    apply_portion();
                } else if (focus_id == kSettleSeconds || focus_id == kSettleBand) {
                    apply_rule();
                } else if (focus_id == kVehicle || focus_id == kInstaller || focus_id == kNotes) {
                    apply_who();
                } else if (focus_id == kTank || focus_id == kStartVolume ||
                           focus_id == kPlatformFormat) {
                } else if (focus && GetParent(focus) == hwnd_ && is_push_button(focus)) {
                    SendMessageW(focus, BM_CLICK, 0, 0);
                } else if (!cal_->waiting()) {
                    record_point();
                }
                return 0;
            }
            on_command(id, HIWORD(wparam));
            return 0;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (header->idFrom != kPoints || filling_ > 0) break;
            if (header->code == LVN_ITEMCHANGED) {
                const auto* change = reinterpret_cast<const NMLISTVIEW*>(lparam);
                if (change->uChanged & LVIF_STATE) selection_changed();
            } else if (header->code == NM_DBLCLK) {
                edit_selected();
            } else if (header->code == LVN_KEYDOWN) {
                const auto* key = reinterpret_cast<const NMLVKEYDOWN*>(lparam);
                if (key->wVKey == VK_F2) edit_selected();
                if (key->wVKey == VK_DELETE) delete_selected();
            } else if (header->code == NM_CUSTOMDRAW) {
                // Marked points on a pink ground, as a warning.
                auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lparam);
                if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
                if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
                    const auto checks = cal_->session().checks();
                    const std::size_t row = draw->nmcd.dwItemSpec;
                    if (row < checks.size() && checks[row].marks)
                        draw->clrTextBk = RGB(255, 220, 220);
                    return CDRF_DODEFAULT;
                }
            }
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            // Labels on the window's own ground, not on a grey box of their own.
            const HDC dc = reinterpret_cast<HDC>(wparam);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
            SetTextColor(
                dc, id == kWait && cal_->waiting() ? RGB(160, 90, 0) : GetSysColor(COLOR_BTNTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_TIMER:
            if (wparam == kSampleTimer) sample();
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
