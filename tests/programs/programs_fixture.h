// What the tests of the built programs share: the simulator on a pseudo-terminal whose line
// settings the test knows, and reading a child's output.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <chrono>
#include <string>

#include "base/unique_fd.h"
#include "programs/child_process.h"
#include "sim/pty_server.h"
#include "support/test_support.h"

namespace velkon::test {

using namespace std::chrono_literals;

// Long enough for a loaded machine; a program that is right ends well within it.
inline constexpr auto kProgramEnds = 20s;

// The simulated unit on a pseudo-terminal. The line is given settings no program of ours uses
// (4800 baud, two stop bits, odd parity) before a program opens it, so the test can tell whether
// the program gave them back.
class KnownLine {
  public:
    KnownLine() {
        if (!server_.start()) {
            ADD_FAILURE() << server_.error();
            return;
        }
        hold_.reset(::open(path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        EXPECT_TRUE(hold_) << path();
        EXPECT_EQ(::tcgetattr(hold_.get(), &known_), 0);
        cfsetispeed(&known_, B4800);
        cfsetospeed(&known_, B4800);
        known_.c_cflag |= CSTOPB | PARENB | PARODD;
        EXPECT_EQ(::tcsetattr(hold_.get(), TCSANOW, &known_), 0);
        EXPECT_EQ(::tcgetattr(hold_.get(), &known_), 0);
    }

    const std::string& path() const { return server_.slave_path(); }
    sim::PtyServer& server() { return server_; }

    // The program has the line open: the simulator has answered it.
    bool in_use() { return server_.wait_requests(1, kProgramEnds); }

    // The settings found before the program opened the line are back, and the line is no longer
    // held exclusively: the next program (not root) can open it.
    void expect_given_back() const {
        termios now{};
        ASSERT_EQ(::tcgetattr(hold_.get(), &now), 0);
        EXPECT_EQ(cfgetospeed(&now), cfgetospeed(&known_));
        EXPECT_EQ(now.c_cflag, known_.c_cflag);
        EXPECT_EQ(now.c_iflag, known_.c_iflag);
        EXPECT_EQ(now.c_oflag, known_.c_oflag);
        EXPECT_EQ(now.c_lflag, known_.c_lflag);
        int exclusive = -1;
        ASSERT_EQ(::ioctl(hold_.get(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << "the line is still held exclusively (TIOCEXCL)";
    }

  private:
    sim::PtyServer server_;
    UniqueFd hold_;
    termios known_{};
};

// A pipe for a child's output: the child gets the write end, the test reads the other.
struct OutputPipe {
    UniqueFd read, write;
    OutputPipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            read.reset(fds[0]);
            write.reset(fds[1]);
        }
    }
    // Reads up to the first line end, within `timeout`; what came.
    std::string first_line(std::chrono::milliseconds timeout);
    // Everything up to the end of the output, once every writer has closed its end.
    std::string rest();
};

// A file's content ("" when it cannot be read).
std::string content_of(const std::filesystem::path& file);

}  // namespace velkon::test
