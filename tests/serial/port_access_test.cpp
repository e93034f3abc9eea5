// Why a device node refuses the user, from made-up ownership and groups (the tests may run as
// root, whom no node refuses).
#include "serial/port_access.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace velkon {
namespace {

constexpr uid_t kUser = 1000;
constexpr gid_t kUserGroup = 1000;
constexpr gid_t kDialout = 20;

struct RefusalCase {
    const char* name;
    NodeOwnership node;
    std::vector<gid_t> database;  // the session always holds only the user's own group
    std::string group;
    bool relogin_needed;
};

class ExplainRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ExplainRefusal, NamesTheGroupThatWouldLetTheUserIn) {
    const RefusalCase& c = GetParam();
    const UserGroups user{kUser, {kUserGroup}, c.database};
    const auto access = explain_refusal(c.node, user, [](gid_t gid) {
        return gid == kDialout ? std::string("dialout") : "g" + std::to_string(gid);
    });
    EXPECT_EQ(access.verdict, PortAccess::Verdict::NoRights);
    EXPECT_EQ(access.group, c.group);
    EXPECT_EQ(access.relogin_needed, c.relogin_needed);
}

INSTANTIATE_TEST_SUITE_P(
    Nodes, ExplainRefusal,
    ::testing::Values(
        RefusalCase{"OutsideDialout", {0, kDialout, 0660}, {kUserGroup}, "dialout", false},
        RefusalCase{"AddedButNotLoggedInAgain",
                    {0, kDialout, 0660},
                    {kUserGroup, kDialout},
                    "dialout",
                    true},
        RefusalCase{"OtherGroup", {0, 5, 0620}, {kUserGroup}, "", false},  // group cannot read
        RefusalCase{"RootOnly", {0, 0, 0600}, {kUserGroup}, "", false},
        RefusalCase{"OwnedButClosedToOwner", {kUser, kDialout, 0060}, {kUserGroup}, "", false},
        RefusalCase{"InTheGroupAlready", {0, kUserGroup, 0600}, {kUserGroup}, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SystemPortAccess, AllowsAnOpenNodeAndCannotTellAMissingOne) {
    test::TempDir dir;
    const auto node = dir.write_file("ttyFAKE0", "");
    SystemPortAccess access;
    EXPECT_EQ(access.check(node.string()).verdict, PortAccess::Verdict::Allowed);
    EXPECT_EQ(access.check((dir.path() / "ttyUSB9").string()).verdict,
              PortAccess::Verdict::Unknown);
}

}  // namespace
}  // namespace velkon
