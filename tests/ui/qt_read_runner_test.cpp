// The exchange tick's read on a worker thread, its result delivered on the window's thread.
#include "ui/qt_read_runner.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "serial/serial_port.h"

namespace velkon {
namespace {

using namespace std::chrono_literals;

// A port whose reads wait until the test lets them return.
class GatedPort : public SerialPort {
  public:
    void release(std::string text) {
        {
            std::lock_guard lock(mutex_);
            pending_.push_back(std::move(text));
        }
        changed_.notify_all();
    }
    // Waits until a read has started; false after two seconds.
    bool wait_reading() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 2s, [this] { return reading_; });
    }
    // Waits until every released text has been read; false after two seconds.
    bool wait_drained() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 2s, [this] { return pending_.empty() && !reading_; });
    }

    bool OpenPort(const std::string&, const std::string&) override { return true; }
    void ClosePort() override {}
    void FlushPort() override {}
    std::string ReadPort() override {
        std::unique_lock lock(mutex_);
        reading_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !pending_.empty(); });
        std::string text = std::move(pending_.front());
        pending_.erase(pending_.begin());
        reading_ = false;
        changed_.notify_all();
        return text;
    }
    int WritePort(const std::string& data) override { return static_cast<int>(data.size()); }
    bool is_open() const override { return true; }
    bool hung_up() const override { return false; }
    const OpenError& last_open_error() const override { return error_; }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> pending_;
    bool reading_ = false;
    OpenError error_;
};

// Runs the event loop until `done` holds, for at most two seconds.
bool spin_until(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    poll.start(1);
    if (!done()) loop.exec();
    return done();
}

// A tick with nothing to send: only the read's result matters.
void read_only(QtReadRunner& runner, SerialPort& port, std::function<void(std::string)> done) {
    runner.exchange(port, "", {}, [done = std::move(done)](TickIo io) { done(io.received); });
}

TEST(QtReadRunner, DeliversEachResultOnTheWindowThreadInOrderWhileTheLoopStaysFree) {
    GatedPort port;
    QtReadRunner runner;
    std::vector<std::string> results;
    bool on_window_thread = true;
    const auto done = [&](std::string text) {
        on_window_thread &= QThread::currentThread() == QCoreApplication::instance()->thread();
        results.push_back(std::move(text));
    };
    read_only(runner, port, done);
    ASSERT_TRUE(port.wait_reading());

    // The read is waiting for the line, and the window's events still run.
    bool other_event = false;
    QTimer::singleShot(0, [&] { other_event = true; });
    EXPECT_TRUE(spin_until([&] { return other_event; }));
    EXPECT_TRUE(results.empty());

    port.release("first");
    EXPECT_TRUE(spin_until([&] { return results.size() == 1; }));
    read_only(runner, port, done);
    port.release(std::string("\x3E\x00\xF5", 3));
    EXPECT_TRUE(spin_until([&] { return results.size() == 2; }));
    EXPECT_EQ(results, (std::vector<std::string>{"first", std::string("\x3E\x00\xF5", 3)}));
    EXPECT_TRUE(on_window_thread);
}

TEST(QtReadRunner, DropsAResultNotYetDeliveredWhenDestroyed) {
    GatedPort port;
    std::optional<std::string> delivered;
    {
        QtReadRunner runner;
        read_only(runner, port, [&](std::string text) { delivered = std::move(text); });
        port.release("late");
        ASSERT_TRUE(port.wait_drained());
    }
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(delivered.has_value());
}

// A port that records which operations ran, in order, and on which thread.
class RecordingPort : public SerialPort {
  public:
    std::vector<std::pair<std::string, std::thread::id>> ops() {
        std::lock_guard lock(mutex_);
        return ops_;
    }
    bool OpenPort(const std::string&, const std::string&) override { return true; }
    void ClosePort() override {}
    void FlushPort() override { record("flush"); }
    std::string ReadPort() override {
        record("read");
        return "x";
    }
    int WritePort(const std::string& data) override {
        record("write");
        return static_cast<int>(data.size());
    }
    bool is_open() const override { return true; }
    bool hung_up() const override { return false; }
    const OpenError& last_open_error() const override { return error_; }

  private:
    void record(const char* op) {
        std::lock_guard lock(mutex_);
        ops_.emplace_back(op, std::this_thread::get_id());
    }
    std::mutex mutex_;
    std::vector<std::pair<std::string, std::thread::id>> ops_;
    OpenError error_;
};

// The flush that ends a tick can wait for a long frame to leave a real adapter: it must not run
// on the window's thread, and it must come before the next tick's read.
TEST(QtReadRunner, FlushesOnTheWorkerInOrderWithTheReads) {
    RecordingPort port;
    std::vector<std::string> results;
    {
        QtReadRunner runner;
        read_only(runner, port, [&](std::string r) { results.push_back(r); });
        runner.flush(port);
        read_only(runner, port, [&](std::string r) { results.push_back(r); });
        ASSERT_TRUE(spin_until([&] { return results.size() == 2; }));
    }
    const auto ops = port.ops();
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0].first, "read");
    EXPECT_EQ(ops[1].first, "flush");
    EXPECT_EQ(ops[2].first, "read");
    for (const auto& op : ops) EXPECT_NE(op.second, std::this_thread::get_id());
}

// A stuck adapter can hold a write for a quarter second: the request goes out on the worker,
// after the read, and not at all once the tick's link has gone.
TEST(QtReadRunner, WritesOnTheWorkerAfterTheReadAndOnlyOnTheTicksLink) {
    RecordingPort port;
    std::vector<bool> written;
    bool current = true;
    {
        QtReadRunner runner;
        const auto done = [&](TickIo io) { written.push_back(io.written); };
        runner.exchange(
            port, "request", [&] { return current; }, done);
        ASSERT_TRUE(spin_until([&] { return written.size() == 1; }));
        current = false;
        runner.exchange(
            port, "request", [&] { return current; }, done);
        ASSERT_TRUE(spin_until([&] { return written.size() == 2; }));
    }
    EXPECT_EQ(written, (std::vector<bool>{true, false}));
    const auto ops = port.ops();
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0].first, "read");
    EXPECT_EQ(ops[1].first, "write");
    EXPECT_EQ(ops[2].first, "read");
    for (const auto& op : ops) EXPECT_NE(op.second, std::this_thread::get_id());
}

}  // namespace
}  // namespace velkon
