// The worker read runner woken through Qt's event queue: results reach the window's thread
// between its other events, and a wake-up still queued when the runner goes finds nothing.
#include "ui/qt_io_runner.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/gated_port.h"

namespace velkon {
namespace {

using testing::GatedPort;

// Runs the event loop until `done` holds, for at most ten seconds (a hang, not a timing).
bool spin_until(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    poll.start(1);
    if (!done()) loop.exec();
    return done();
}

// A tick with nothing to send: only the read's result matters.
void read_only(QtIoRunner& runner, SerialPort& port, std::function<void(std::string)> done) {
    runner.exchange(port, "", {}, [done = std::move(done)](TickIo io) { done(io.received); });
}

TEST(QtIoRunner, DeliversEachResultOnTheWindowThreadInOrderWhileTheLoopStaysFree) {
    GatedPort port;
    std::vector<std::string> results;
    bool on_window_thread = true;
    const auto done = [&](std::string text) {
        on_window_thread &= QThread::currentThread() == QCoreApplication::instance()->thread();
        results.push_back(std::move(text));
    };
    {
        QtIoRunner runner;
        read_only(runner, port, done);
        ASSERT_TRUE(port.wait_reads_started(1));

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
        port.ClosePort();
    }
    EXPECT_EQ(results, (std::vector<std::string>{"first", std::string("\x3E\x00\xF5", 3)}));
    EXPECT_TRUE(on_window_thread);
}

TEST(QtIoRunner, AWakeUpQueuedBeforeTheRunnerWentFindsNothing) {
    GatedPort port(false);
    std::optional<std::string> delivered;
    {
        QtIoRunner runner;
        read_only(runner, port, [&](std::string text) { delivered = std::move(text); });
        // The result is ready and its wake-up queued once the next job has started: the jobs
        // run in order.
        runner.flush(port);
        read_only(runner, port, [&](std::string text) { delivered = std::move(text); });
        ASSERT_TRUE(port.wait_reads_started(2));
    }
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(delivered.has_value());
}

}  // namespace
}  // namespace velkon
