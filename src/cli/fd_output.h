// An output stream's buffer over a descriptor that keeps the first write error, so a full disk
// or a closed pipe behind the standard output is reported instead of lost.
#pragma once

#include <streambuf>
#include <string>

namespace velkon::cli {

class FdOutput final : public std::streambuf {
  public:
    explicit FdOutput(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }
    FdOutput(const FdOutput&) = delete;
    FdOutput& operator=(const FdOutput&) = delete;

    // The errno of the first write that failed, or 0.
    int error() const { return error_; }

  protected:
    int_type overflow(int_type c) override;
    int sync() override;

  private:
    bool flush_buffer();

    int fd_;
    int error_ = 0;
    char buffer_[4096];
};

}  // namespace velkon::cli
