#include "win32/read_runner.h"

namespace velkon::win32 {

namespace {

constexpr UINT kResultsReady = WM_APP + 1;
constexpr wchar_t kReceiverClass[] = L"VelkonReadResults";

void register_receiver_class(WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kReceiverClass;
    RegisterClassExW(&wc);  // a second registration fails harmlessly
}

}  // namespace

Win32ReadRunner::Receiver::Receiver() {
    register_receiver_class(&Receiver::proc);
    hwnd_ = CreateWindowExW(0, kReceiverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
}

void Win32ReadRunner::Receiver::deliver_to(WorkerReadRunner& runner) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&runner));
}

Win32ReadRunner::Receiver::~Receiver() {
    // Messages still queued for the window go with it; one already being fetched finds no runner.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

LRESULT CALLBACK Win32ReadRunner::Receiver::proc(HWND hwnd, UINT message, WPARAM wparam,
                                                 LPARAM lparam) {
    if (message == kResultsReady) {
        auto* runner = reinterpret_cast<WorkerReadRunner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (runner) runner->deliver_ready();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

Win32ReadRunner::Win32ReadRunner()
    : runner_([hwnd = receiver_.hwnd()] { PostMessageW(hwnd, kResultsReady, 0, 0); }) {
    receiver_.deliver_to(runner_);
}

Win32ReadRunner::~Win32ReadRunner() = default;

void Win32ReadRunner::exchange(SerialPort& port, std::string request,
                               std::function<bool()> still_current,
                               std::function<void(TickIo)> done) {
    runner_.exchange(port, std::move(request), std::move(still_current), std::move(done));
}

void Win32ReadRunner::flush(SerialPort& port) {
    runner_.flush(port);
}

}  // namespace velkon::win32
