// The Win32 window in-process: built from the model with the handler tests' scripted seams, driven
// with the window messages a user's clicks and keystrokes produce, read back through the controls.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <cmath>
#include <functional>
#include <string>

#include "support/form_fixture.h"
#include "tracker/record.h"
#include "win32/dialogs.h"
#include "win32/io_runner.h"
#include "win32/main_window.h"
#include "win32/text.h"

namespace velkon::win32 {
namespace {

using testing::FormFixture;

// The window stays hidden: wine takes seconds to hide a shown window without a window manager,
// and what the user would see is read from each control's own state.
struct WindowFixture : FormFixture {
    MainWindow window{model, app};

    HWND operator[](ControlName name) const { return window.control(name); }
    std::string shown_text(ControlName name) const { return window_text(window.control(name)); }
    // The control's rectangle in the window's client pixels.
    RECT place(ControlName name) const {
        RECT r;
        GetWindowRect(window.control(name), &r);
        MapWindowPoints(HWND_DESKTOP, window.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    // What a user's edit of a text box sends: the new text, then the box's change notification.
    void type(ControlName name, const std::string& text) {
        SetWindowTextW(window.control(name), widen(text).c_str());
    }
    void pick(ControlName combo, int entry) {
        const HWND hwnd = window.control(combo);
        SendMessageW(hwnd, CB_SETCURSEL, entry, 0);
        SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(hwnd));
    }
    void open_page(int page) {
        const HWND tabs = window.control(ctl::SSTab1);
        SendMessageW(tabs, TCM_SETCURSEL, page, 0);
        NMHDR header{tabs, static_cast<UINT_PTR>(GetDlgCtrlID(tabs)),
                     static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(window.hwnd(), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    }
    int scaled(int pixels_at_96) const { return MulDiv(pixels_at_96, window.dpi(), 96); }
    bool visible(ControlName name) const {
        return GetWindowLongPtrW(window.control(name), GWL_STYLE) & WS_VISIBLE;
    }
};

TEST(Win32Window, IsTheDesignedSizeWithOneControlPerModelControl) {
    WindowFixture f;
    RECT client;
    GetClientRect(f.window.hwnd(), &client);
    EXPECT_EQ(client.right, f.scaled(640));
    EXPECT_EQ(client.bottom, f.scaled(380));
    EXPECT_EQ(window_text(f.window.hwnd()), "Конфигуратор Velkon");
    for (const Control& c : f.model.controls()) {
        const HWND hwnd = f.window.control(ControlName(c.name));
        EXPECT_EQ(hwnd == nullptr, c.kind == ControlKind::Timer) << c.name;
    }
}

// Twips / 15 = pixels, relative to the frames and the tab control that hold a control.
TEST(Win32Window, ControlsSitAtTheirPlaces) {
    WindowFixture f;
    struct Row {
        ControlName name;
        RECT pixels;  // at 96 DPI; a combo box's height is its list's too, so not compared
    };
    const Control& frame = f.model[ctl::Frame2];
    const int fx = static_cast<int>(std::lround(frame.rect.left / 15.0));
    const int fy = static_cast<int>(std::lround(frame.rect.top / 15.0));
    const Row rows[] = {
        {ctl::BTNOpenCom, {fx + 8, fy + 52, fx + 8 + 101, fy + 52 + 33}},
        {ctl::CmbPort, {fx + 8, fy + 20, fx + 8 + 101, 0}},
    };
    for (const Row& row : rows) {
        const RECT r = f.place(row.name);
        EXPECT_EQ(r.left, f.scaled(row.pixels.left)) << row.name;
        EXPECT_EQ(r.top, f.scaled(row.pixels.top)) << row.name;
        EXPECT_EQ(r.right, f.scaled(row.pixels.right)) << row.name;
        if (row.pixels.bottom) {
            EXPECT_EQ(r.bottom, f.scaled(row.pixels.bottom)) << row.name;
        }
    }
}

TEST(Win32Window, ShowsTheModelsTextsAndFollowsItsChanges) {
    WindowFixture f;
    EXPECT_EQ(f.shown_text(ctl::BTNOpenCom), "Открыть порт");
    f.model.set_text(ctl::MsgCom, "Датчик не отвечает");
    EXPECT_EQ(f.shown_text(ctl::MsgCom), "Датчик не отвечает");
    f.model.set_enabled(ctl::BTNOpenCom, false);
    EXPECT_FALSE(IsWindowEnabled(f[ctl::BTNOpenCom]));
    f.model.set_items(ctl::CmbPort, {"COM1", "COM3"});
    f.model.set_selected(ctl::CmbPort, 1);
    EXPECT_EQ(SendMessageW(f[ctl::CmbPort], CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(f[ctl::CmbPort], CB_GETCURSEL, 0, 0), 1);
    f.model.set_value(ctl::ProgressBar1, 40);
    EXPECT_EQ(SendMessageW(f[ctl::ProgressBar1], PBM_GETPOS, 0, 0), 40);
}

// A box whose caption is drawn by a label beside it carries the caption as its own text, the
// name assistive technology reads for a button, instead of nothing.
TEST(Win32Window, CaptionlessBoxesCarryTheirCaptionForScreenReaders) {
    WindowFixture f;
    const std::pair<ControlName, const char*> spots[] = {{ctl::Check3, "Канал 3"},
                                                         {ctl::usredn, "Сглаживание"},
                                                         {ctl::R_a, "Аналоговый Режим"},
                                                         {ctl::r22, "Частотный"}};
    for (const auto& [name, caption] : spots) EXPECT_EQ(f.shown_text(name), caption) << name;
}

TEST(Win32Window, TheOpenButtonOpensThePickedPortAndStartsTheExchangeTimer) {
    WindowFixture f;
    f.model.set_items(ctl::CmbPort, {"COM1", "COM3"});
    f.pick(ctl::CmbPort, 1);
    EXPECT_EQ(f.model.selected(ctl::CmbPort), 1);
    SendMessageW(f[ctl::BTNOpenCom], BM_CLICK, 0, 0);
    ASSERT_FALSE(f.port.calls.empty());
    EXPECT_EQ(f.port.calls.back(), "open \\\\.\\COM3");
    EXPECT_TRUE(f.window.timer_running(ctl::TMRComm));
    EXPECT_FALSE(f.window.timer_running(ctl::Timer1));
    EXPECT_FALSE(IsWindowEnabled(f[ctl::BTNOpenCom]));
}

// Containers lie below what they hold, whatever the keyboard order did to the window order:
// a page's controls above the tab control, a frame's controls above the frame.
TEST(Win32Window, ContainersLieBelowWhatTheyHold) {
    WindowFixture f;
    const auto below = [&](HWND upper, HWND lower) {
        for (HWND h = GetWindow(upper, GW_HWNDNEXT); h; h = GetWindow(h, GW_HWNDNEXT)) {
            if (h == lower) return true;
        }
        return false;
    };
    for (const Control& c : f.model.controls()) {
        if (c.kind == ControlKind::Timer || c.parent.empty()) continue;
        EXPECT_TRUE(
            below(f.window.control(ControlName(c.name)), f.window.control(ControlName(c.parent))))
            << c.name << " lies below " << c.parent;
    }
}

// What the keyboard does in the running window: the key goes through the dialog manager, then
// whatever the handlers posted is delivered.
void press_key(WindowFixture& f, WPARAM key) {
    MSG key_down{GetFocus(), WM_KEYDOWN, key, 0, 0, {}};
    if (!IsDialogMessageW(f.window.hwnd(), &key_down)) {
        TranslateMessage(&key_down);
        DispatchMessageW(&key_down);
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// The control that has the focus, by name, for the failure messages.
std::string focused_name(const WindowFixture& f) {
    const HWND focus = GetFocus();
    if (focus == f.window.hwnd()) return "(the window)";
    for (const Control& c : f.model.controls()) {
        const HWND hwnd = f.window.control(ControlName(c.name));
        if (hwnd && (hwnd == focus || IsChild(hwnd, focus))) return c.name;
    }
    return focus ? "(another window)" : "(none)";
}

// Without a mouse: Enter on «Открыть порт» opens, the focus goes on to «Закрыть порт»; Esc
// closes and the focus comes back to «Открыть порт»; Tab then goes on from there.
TEST(Win32Window, TheKeyboardOpensAndClosesAndTheFocusFollowsTheEnabledButton) {
    WindowFixture f;
    f.model.set_items(ctl::CmbPort, {"COM1"});
    f.pick(ctl::CmbPort, 0);
    SetFocus(f[ctl::BTNOpenCom]);
    ASSERT_EQ(GetFocus(), f[ctl::BTNOpenCom]);
    press_key(f, VK_RETURN);
    ASSERT_EQ(f.port.calls.back(), "open \\\\.\\COM1");
    EXPECT_EQ(focused_name(f), ctl::BTNCloseCom);
    press_key(f, VK_ESCAPE);
    EXPECT_FALSE(f.port.is_open());
    EXPECT_EQ(focused_name(f), ctl::BTNOpenCom);
    press_key(f, VK_TAB);  // «Закрыть порт» is disabled again: the port list is next
    EXPECT_EQ(focused_name(f), ctl::CmbPort);
    press_key(f, VK_ESCAPE);  // with no port open, Esc has nothing to press
    EXPECT_TRUE(IsWindowEnabled(f[ctl::BTNOpenCom]));
}

// From start to a written configuration without a mouse: Enter opens the port, Tab reaches the
// page tabs, the arrow keys turn to «Сервер», Tab reaches «Установить», Enter writes.
TEST(Win32Window, AConfigurationIsWrittenWithTheKeyboardAlone) {
    WindowFixture f;
    f.model.set_items(ctl::CmbPort, {"COM1"});
    f.pick(ctl::CmbPort, 0);
    SetFocus(f[ctl::BTNOpenCom]);
    press_key(f, VK_RETURN);
    ASSERT_TRUE(f.port.is_open());
    // No exchange tick takes the queued frame away before it is looked at.
    f.model.set_timer_enabled(ctl::TMRComm, false);
    f.model.set_timer_enabled(ctl::Timer1, false);
    testing::take_fields_as_read(f.app);  // as after the page's read
    const auto tab_to = [&](ControlName target) {
        for (int presses = 0; presses < 300 && focused_name(f) != target.str(); ++presses) {
            press_key(f, VK_TAB);
        }
        return focused_name(f);
    };
    ASSERT_EQ(tab_to(ctl::SSTab1), ctl::SSTab1);
    press_key(f, VK_RIGHT);
    press_key(f, VK_RIGHT);
    ASSERT_EQ(f.model.tab(), 2);
    ASSERT_EQ(tab_to(ctl::setdata), ctl::setdata);
    f.vars().wrs.clear();
    press_key(f, VK_RETURN);
    EXPECT_EQ(f.vars().wrs.size(), kConfigFrameSize);
}

TEST(Win32Window, TypedTextReachesTheModelWithinTheFieldsWidth) {
    WindowFixture f;
    const int width = f.model[ctl::apn].max_bytes;
    ASSERT_GT(width, 0);
    f.type(ctl::apn, "internet.ru");
    EXPECT_EQ(f.model.text(ctl::apn), "internet.ru");
    // One byte too many, or a character the field cannot carry: refused, nothing changes.
    f.type(ctl::apn, std::string(width + 1, 'a'));
    EXPECT_EQ(f.model.text(ctl::apn), "internet.ru");
    EXPECT_EQ(f.shown_text(ctl::apn), "internet.ru");
    f.type(ctl::apn, "интернет日");
    EXPECT_EQ(f.model.text(ctl::apn), "internet.ru");
    f.type(ctl::apn, std::string(width, 'b'));
    EXPECT_EQ(f.model.text(ctl::apn), std::string(width, 'b'));
}

TEST(Win32Window, PagesShowTheirOwnControls) {
    WindowFixture f;
    EXPECT_TRUE(f.visible(ctl::hig));
    EXPECT_FALSE(f.visible(ctl::apn));
    f.open_page(2);
    EXPECT_EQ(f.model.tab(), 2);
    EXPECT_FALSE(f.visible(ctl::hig));
    EXPECT_TRUE(f.visible(ctl::apn));
}

TEST(Win32Window, CheckBoxesAndOptionButtonsSetTheModel) {
    WindowFixture f;
    for (std::string name = ctl::usredn.str(); !name.empty();
         name = f.model[ControlName(name)].parent)
        f.model.set_enabled(ControlName(name), true);
    const bool before = f.model.checked(ctl::usredn);
    SendMessageW(f[ctl::usredn], BM_CLICK, 0, 0);
    EXPECT_EQ(f.model.checked(ctl::usredn), !before);
    EXPECT_EQ(SendMessageW(f[ctl::usredn], BM_GETCHECK, 0, 0) == BST_CHECKED, !before);
}

// A check set by another program or a test tool (BM_SETCHECK) notifies nobody, yet it is what
// the user sees: the model follows it, and the unit is sent what the boxes show.
TEST(Win32Window, ACheckSetFromOutsideReachesTheModel) {
    WindowFixture f;
    f.open_link();
    testing::take_fields_as_read(f.app);
    struct Step {
        ControlName name;
        bool checked;
    };
    const Step steps[] = {{ctl::Check1, true},    {ctl::Check1, false}, {ctl::Check3, true},
                          {ctl::EGTS_prot, true}, {ctl::r11, true},     {ctl::r13, true}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name.str() + (step.checked ? " on" : " off"));
        SendMessageW(f[step.name], BM_SETCHECK, step.checked ? BST_CHECKED : BST_UNCHECKED, 0);
        EXPECT_EQ(f.model.checked(step.name), step.checked);
    }
    // The option buttons of a group stay one choice.
    EXPECT_FALSE(f.model.checked(ctl::r11));
    EXPECT_NE(SendMessageW(f[ctl::r11], BM_GETCHECK, 0, 0), BST_CHECKED);

    ASSERT_TRUE(f.app.fire(ctl::setdata));
    const std::string& frame = f.vars().wrs;
    ASSERT_EQ(frame.size(), kConfigFrameSize);
    for (const ConfigField& field : tracker_config_layout()) {
        if (field.kind != FieldKind::Flag) continue;
        const ControlName name = field.control;
        SCOPED_TRACE(name.str());
        const bool sent = (static_cast<unsigned char>(frame[field.position - 1]) & field.mask) != 0;
        EXPECT_EQ(sent, SendMessageW(f[name], BM_GETCHECK, 0, 0) == BST_CHECKED);
    }
}

TEST(Win32Window, ClosingTheWindowClosesTheLink) {
    WindowFixture f;
    bool destroyed = false;
    f.window.on_destroyed = [&] { destroyed = true; };
    SendMessageW(f.window.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(f.app.shell().program_ended());
    EXPECT_EQ(f.window.hwnd(), nullptr);
}

TEST(Win32Dialogs, BoxesCarryTheAskedIcon) {
    EXPECT_EQ(message_box_flags(Dialogs::Icon::None), UINT(MB_OK));
    EXPECT_EQ(message_box_flags(Dialogs::Icon::Exclamation), UINT(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(message_box_flags(Dialogs::Icon::Critical), UINT(MB_OK | MB_ICONERROR));
}

// What a question box shows, read while it is open; then it is answered No.
std::wstring g_question_buttons;
std::wstring g_question_title;

BOOL CALLBACK read_and_answer(HWND window, LPARAM) {
    if (!GetDlgItem(window, IDYES)) return TRUE;
    wchar_t yes[32] = {};
    wchar_t no[32] = {};
    GetDlgItemTextW(window, IDYES, yes, 32);
    GetDlgItemTextW(window, IDNO, no, 32);
    g_question_buttons = std::wstring(yes) + L"/" + no;
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    g_question_title = title;
    PostMessageW(window, WM_COMMAND, IDNO, 0);
    return FALSE;
}

void CALLBACK answer_question(HWND, UINT, UINT_PTR id, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), read_and_answer, 0);
    if (!g_question_buttons.empty()) KillTimer(nullptr, id);
}

// Questions say «Да/Нет» like the input box's «OK/Отмена», whatever the system's language, under
// the program's title or the one asked for.
TEST(Win32Dialogs, QuestionButtonsAreRussian) {
    Win32Dialogs dialogs;
    const struct {
        std::function<bool()> ask;
        std::string title;
    } cases[] = {
        {[&] { return dialogs.yes_no("Продолжить?"); }, kAppTitle},
        {[&] { return dialogs.yes_no_titled("Удалить?", "Конфигуратор Velkon"); },
         "Конфигуратор Velkon"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        g_question_buttons.clear();
        const UINT_PTR timer = SetTimer(nullptr, 0, 10, answer_question);  // runs inside the box
        EXPECT_FALSE(c.ask());
        KillTimer(nullptr, timer);
        EXPECT_EQ(narrow(g_question_buttons), "Да/Нет");
        EXPECT_EQ(narrow(g_question_title), c.title);
    }
}

TEST(Win32Dialogs, FileFiltersBecomeTheBoxsFilterText) {
    const std::wstring text = file_filter_text({{"Профили", "*.json *.prof"}, {"Все", "*"}});
    EXPECT_EQ(text, std::wstring(L"Профили\0*.json;*.prof\0Все\0*\0", 28));
}

// Pumps the thread's messages until `done` or until no message came for a while.
template <class Pred>
bool pump_until(Pred done) {
    for (int idle = 0; !done() && idle < 50;) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) == WAIT_TIMEOUT) ++idle;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return done();
}

TEST(Win32IoRunner, DeliversTheExchangeOnTheWindowsThreadInOrder) {
    testing::FakePort port;
    port.reads = {"first", "second"};
    Win32IoRunner runner;
    std::vector<std::string> got;
    const DWORD window_thread = GetCurrentThreadId();
    bool same_thread = true;
    auto done = [&](TickIo io) {
        same_thread = same_thread && GetCurrentThreadId() == window_thread;
        got.push_back(io.received + (io.written ? "+" : "-"));
    };
    runner.exchange(port, "ask", {}, done);
    runner.flush(port);
    // A link that is no longer the tick's own: the request is not sent.
    runner.exchange(
        port, "stale", [] { return false; }, done);
    ASSERT_TRUE(pump_until([&] { return got.size() == 2; }));
    EXPECT_EQ(got, (std::vector<std::string>{"first+", "second-"}));
    EXPECT_TRUE(same_thread);
    EXPECT_EQ(port.calls, (std::vector<std::string>{"read", "write", "flush", "read"}));
    EXPECT_EQ(port.writes, std::vector<std::string>{"ask"});
}

// A port whose read raises an event once it has returned its bytes.
class SignallingPort : public testing::FakePort {
  public:
    HANDLE read_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~SignallingPort() override { CloseHandle(read_done); }
    std::string ReadPort() override {
        std::string text = FakePort::ReadPort();
        SetEvent(read_done);
        return text;
    }
};

TEST(Win32IoRunner, AResultNotYetDeliveredIsDroppedWithTheRunner) {
    SignallingPort port;
    port.reads = {"late"};
    bool called = false;
    {
        Win32IoRunner runner;
        runner.exchange(port, "", {}, [&](TickIo) { called = true; });
        // The worker has read, and its result is posted, but not handled before the runner goes.
        ASSERT_EQ(WaitForSingleObject(port.read_done, 5000), WAIT_OBJECT_0);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_POSTMESSAGE);
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace velkon::win32
