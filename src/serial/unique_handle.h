// The one owner of a Win32 handle: closes it at the end of its life.
#pragma once

#include <windows.h>

#include <utility>

namespace velkon {

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, INVALID_HANDLE_VALUE));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    // Closes the handle held (CloseHandle's result is returned) and takes `handle`.
    BOOL reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        BOOL closed = FALSE;
        if (*this) closed = CloseHandle(handle_);
        handle_ = handle;
        return closed;
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace velkon
