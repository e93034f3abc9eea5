#include "win32/io_runner.h"

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

Win32IoRunner::Receiver::Receiver() {
    register_receiver_class(&Receiver::proc);
    hwnd_ = CreateWindowExW(0, kReceiverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
}

void Win32IoRunner::Receiver::deliver_to(WorkerIoRunner& runner) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&runner));
}

Win32IoRunner::Receiver::~Receiver() {
    // Messages still queued for the window go with it; one already being fetched finds no runner.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

LRESULT CALLBACK Win32IoRunner::Receiver::proc(HWND hwnd, UINT message, WPARAM wparam,
                                                 LPARAM lparam) {
    if (message == kResultsReady) {
        auto* runner = reinterpret_cast<WorkerIoRunner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (runner) runner->deliver_ready();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

Win32IoRunner::Win32IoRunner()
    : runner_([hwnd = receiver_.hwnd()] { PostMessageW(hwnd, kResultsReady, 0, 0); }) {
    receiver_.deliver_to(runner_);
}

Win32IoRunner::~Win32IoRunner() = default;

void Win32IoRunner::exchange(SerialPort& port, std::string request,
                               std::function<bool()> still_current,
                               std::function<void(TickIo)> done) {
    runner_.exchange(port, std::move(request), std::move(still_current), std::move(done));
}

void Win32IoRunner::flush(SerialPort& port) {
    runner_.flush(port);
}

}  // namespace velkon::win32
