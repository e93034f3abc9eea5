// The exchange tick's port work on the worker thread, its results handed back only when the
// window's thread asks for them, after a wake-up.
#include "seams/worker_io_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/gated_port.h"

namespace velkon {
namespace {

using testing::GatedPort;

// Stands in for the window's queue: counts the wake-ups. The test's own thread plays the
// window's thread.
class Wakeups {
  public:
    void wake() {
        {
            std::lock_guard lock(mutex_);
            ++count_;
        }
        changed_.notify_all();
    }
    // Waits for the `count`th wake-up; false after ten seconds (a hang, not a timing).
    bool wait_for(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return count_ >= count; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

class WorkerRunner : public ::testing::Test {
  protected:
    explicit WorkerRunner(bool gated = true) : port(gated) {}
    // A read still waiting is woken as the driver's close wakes it, before the runner goes.
    ~WorkerRunner() override { port.ClosePort(); }

    // A tick with nothing to send: only the read's result matters.
    void read_only(std::function<void(std::string)> done) {
        runner->exchange(port, "", {}, [done = std::move(done)](TickIo io) { done(io.received); });
    }

    GatedPort port;
    Wakeups wakeups;
    std::optional<WorkerIoRunner> runner{std::in_place, [this] { wakeups.wake(); }};
};

TEST_F(WorkerRunner, HandsEachResultToTheThreadThatAsksInOrderOnlyWhenAsked) {
    const auto window_thread = std::this_thread::get_id();
    std::vector<std::string> got;
    bool on_window_thread = true;
    const auto done = [&](std::string text) {
        on_window_thread = on_window_thread && std::this_thread::get_id() == window_thread;
        got.push_back(std::move(text));
    };
    read_only(done);  // returns while the read waits for the line
    ASSERT_TRUE(port.wait_reads_started(1));
    runner->deliver_ready();
    EXPECT_TRUE(got.empty());  // nothing has come yet

    port.release("first");
    ASSERT_TRUE(wakeups.wait_for(1));
    EXPECT_TRUE(got.empty());  // kept until the window's thread asks
    runner->deliver_ready();
    const std::string with_nul("\x3E\x00\xF5", 3);
    read_only(done);
    port.release(with_nul);
    ASSERT_TRUE(wakeups.wait_for(2));
    runner->deliver_ready();
    EXPECT_EQ(got, (std::vector<std::string>{"first", with_nul}));
    EXPECT_TRUE(on_window_thread);
}

// A modal box inside one result's callback runs the window's loop, which delivers what is ready:
// the later result runs there, once, and the outer delivery finds nothing left.
TEST_F(WorkerRunner, AResultDeliveredInsideAnEarlierOnesCallbackRunsOnce) {
    std::vector<std::string> calls;
    read_only([&](std::string text) {
        calls.push_back(text + " begins");
        runner->deliver_ready();
        calls.push_back(text + " ends");
    });
    read_only([&](std::string text) { calls.push_back(text); });
    port.release("a");
    port.release("b");
    ASSERT_TRUE(wakeups.wait_for(2));
    runner->deliver_ready();
    runner->deliver_ready();
    EXPECT_EQ(calls, (std::vector<std::string>{"a begins", "b", "a ends"}));
}

// Whether the result is waiting for its wake-up or the read is still on the line when the
// runner goes, nothing is delivered, and what the callback held is released with the runner.
TEST_F(WorkerRunner, DropsWhatIsNotDeliveredWhenDestroyed) {
    for (const bool read_done : {true, false}) {
        SCOPED_TRACE(read_done ? "result waiting" : "read in progress");
        GatedPort port;
        Wakeups wakeups;
        auto held = std::make_shared<int>(0);
        bool delivered = false;
        {
            // Joined after the runner has gone: the driver's close may wake the read before the
            // runner's destruction begins or while it waits for the read.
            std::jthread closer;
            WorkerIoRunner runner([&] { wakeups.wake(); });
            runner.exchange(port, "", {}, [&delivered, held](TickIo) { delivered = true; });
            ASSERT_TRUE(port.wait_reads_started(1));
            if (read_done) {
                port.release("late");
                ASSERT_TRUE(wakeups.wait_for(1));
            }
            closer = std::jthread([&] { port.ClosePort(); });
        }
        EXPECT_FALSE(delivered);
        EXPECT_EQ(held.use_count(), 1);
    }
}

// The port's work runs on the worker, never on the window's thread, in the order asked: the
// request after the tick's read, and only while the tick's link is current; a flush between
// the ticks that asked for it.
TEST(WorkerRunnerPortWork, RunsOnTheWorkerInTheOrderAsked) {
    struct Step {
        bool flush;
        std::string request;
        bool current;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> ops;
        std::vector<bool> written;
    };
    const std::vector<Case> cases = {
        {"a flush between two reads",
         {{false, "", true}, {true, "", true}, {false, "", true}},
         {"read", "flush", "read"},
         {true, true}},
        {"the request after the read",
         {{false, "ask", true}, {false, "next", true}},
         {"read", "write ask", "read", "write next"},
         {true, true}},
        {"no request once the tick's link is gone",
         {{false, "ask", false}, {false, "next", true}},
         {"read", "read", "write next"},
         {false, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GatedPort port(false);
        Wakeups wakeups;
        std::vector<bool> written;
        {
            WorkerIoRunner runner([&] { wakeups.wake(); });
            for (const auto& step : c.steps) {
                if (step.flush) {
                    runner.flush(port);
                    continue;
                }
                const bool current = step.current;
                runner.exchange(
                    port, step.request, [current] { return current; },
                    [&](TickIo io) { written.push_back(io.written); });
            }
            ASSERT_TRUE(wakeups.wait_for(static_cast<int>(c.written.size())));
            runner.deliver_ready();
        }
        EXPECT_EQ(written, c.written);
        std::vector<std::string> ops;
        for (const auto& op : port.ops()) {
            ops.push_back(op.what);
            EXPECT_NE(op.thread, std::this_thread::get_id()) << op.what;
        }
        EXPECT_EQ(ops, c.ops);
    }
}

}  // namespace
}  // namespace velkon
