// A command goes only to the link on which it was given: closing or losing the link drops what
// is pending, and a question answered after its link has gone queues nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "sim/pty_server.h"
#include "support/form_fixture.h"
#include "support/sim_window.h"

namespace velkon {
namespace {

using namespace std::chrono_literals;
using testing::FormFixture;
using testing::framed;

const Frame kFullLevel = framed({0x31, 0x01, 0xF5});  // 31 01 F5 FA

// A second device on a line of its own, keeping the requests it received.
struct SecondDevice {
    std::mutex mutex;
    std::vector<std::string> requests;
    sim::PtyServer server{sim::Device{}, options()};

    sim::ServerOptions options() {
        sim::ServerOptions o;
        o.log = [this](const std::string& line) {
            std::lock_guard lock(mutex);
            if (line.starts_with("<- ")) requests.push_back(line);
        };
        return o;
    }
    bool received(const std::string& spaced_hex) {
        std::lock_guard lock(mutex);
        for (const auto& r : requests) {
            if (r.find(spaced_hex) != std::string::npos) return true;
        }
        return false;
    }
};

TEST(LinkBound, AConfirmationAnsweredAfterTheLinkDroppedReachesNoOtherDevice) {
    testing::SimWindow rig;
    ASSERT_TRUE(rig.open()) << rig.server.error();
    // While «Установить полный» asks, the link drops (a failed write closes it the same way).
    rig.dialogs.while_asked = [&](const std::string&) { rig.app.connection().close_link(); };
    rig.dialogs.answers = {true};
    rig.app.fire(ctl::hig);
    EXPECT_TRUE(rig.vars().wrs.empty());
    EXPECT_EQ(rig.model.text(ctl::MsgCom), kCommandNotSent);

    // The user then opens another device: it never hears the calibration.
    SecondDevice other;
    ASSERT_TRUE(other.server.start()) << other.server.error();
    rig.dialogs.while_asked = nullptr;
    rig.model.set_items(ctl::CmbPort, {other.server.slave_path()});
    rig.model.set_selected(ctl::CmbPort, 0);
    rig.app.connection().open_link();
    ASSERT_TRUE(rig.port->is_open());
    for (std::uint64_t sent = 1; sent <= 3; ++sent) {
        rig.app.exchange().start_tick();
        ASSERT_TRUE(other.server.wait_requests(sent, 5s));
    }
    EXPECT_TRUE(other.received("31 01 F0 C5"));  // the readings poll did go there
    EXPECT_FALSE(other.received("31 01 F5 FA"));
}

TEST(LinkBound, ClosingDropsThePendingCommandAndTheTickInFlight) {
    FormFixture f;
    f.open_link();
    f.dialogs.answers = {true, true};
    f.app.fire(ctl::hig);
    ASSERT_EQ(f.vars().wrs, kFullLevel);
    f.app.connection().close_link();
    EXPECT_TRUE(f.vars().wrs.empty());

    // Taken out for a tick whose read is in flight when the port is closed.
    f.open_link();
    f.app.fire(ctl::hig);
    f.reader.hold = true;
    f.app.exchange().start_tick();
    f.app.connection().close_link();
    f.reader.complete();
    f.reader.hold = false;

    f.open_link();
    f.tick("");
    f.tick("");
    for (const std::string& w : f.port.writes) EXPECT_NE(w, kFullLevel);
    EXPECT_FALSE(f.port.writes.empty());
}

TEST(LinkBound, ACommandAnsweredOnTheSameLinkIsQueued) {
    FormFixture f;
    f.open_link();
    int asked = 0;
    f.dialogs.while_asked = [&](const std::string&) { ++asked; };
    f.dialogs.answers = {true};
    f.app.fire(ctl::hig);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(f.vars().wrs, kFullLevel);
}

}  // namespace
}  // namespace velkon
