#include "win32/read_runner.h"

#include "serial/serial_port.h"

namespace velkon::win32 {

namespace {

constexpr UINT kReadDone = WM_APP + 1;
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

Win32ReadRunner::Win32ReadRunner() {
    register_receiver_class(&Win32ReadRunner::receiver_proc);
    receiver_ = CreateWindowExW(0, kReceiverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(receiver_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    worker_ = std::thread([this] { run(); });
}

Win32ReadRunner::~Win32ReadRunner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_one();
    worker_.join();
    results_.clear();
    // Messages still queued for the receiver go with it.
    SetWindowLongPtrW(receiver_, GWLP_USERDATA, 0);
    DestroyWindow(receiver_);
}

LRESULT CALLBACK Win32ReadRunner::receiver_proc(HWND hwnd, UINT message, WPARAM wparam,
                                                LPARAM lparam) {
    if (message == kReadDone) {
        auto* runner = reinterpret_cast<Win32ReadRunner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (runner) runner->deliver(static_cast<std::uint64_t>(wparam));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void Win32ReadRunner::deliver(std::uint64_t number) {
    Result result;
    {
        std::lock_guard lock(mutex_);
        const auto found = results_.find(number);
        if (found == results_.end()) return;
        result = std::move(found->second);
        results_.erase(found);
    }
    result.done(std::move(result.io));
}

void Win32ReadRunner::exchange(SerialPort& port, std::string request,
                               std::function<bool()> still_current,
                               std::function<void(TickIo)> done) {
    push(Job{&port, std::move(request), std::move(still_current), std::move(done)});
}

void Win32ReadRunner::flush(SerialPort& port) {
    push(Job{&port, {}, {}, {}});
}

void Win32ReadRunner::push(Job job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void Win32ReadRunner::run() {
    for (;;) {
        Job job{};
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        if (!job.done) {
            job.port->FlushPort();
            continue;
        }
        TickIo io = exchange_now(*job.port, job.request, job.still_current);
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        const std::uint64_t number = next_result_++;
        results_.emplace(number, Result{std::move(job.done), std::move(io)});
        PostMessageW(receiver_, kReadDone, static_cast<WPARAM>(number), 0);
    }
}

}  // namespace velkon::win32
