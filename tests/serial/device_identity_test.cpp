// Two names of one device: pseudo-terminals (character devices), plain files and paths that lead
// nowhere, each spelled several ways.
#include "serial/device_identity.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace velkon {
namespace {

namespace fs = std::filesystem;

struct SameCase {
    const char* a;
    const char* b;
    bool same;
};

// "{pty}" and "{pty2}" stand for two pseudo-terminals, "{dir}" for a folder with a file "line",
// a hard link "hard" to it, a file "other", links "to-pty" (to {pty}), "to-link" (to "to-pty")
// and "dangling".
TEST(SameDevice, ComparesWhatTheNamesLeadTo) {
    test::PtyPair pty;
    test::PtyPair pty2;
    ASSERT_TRUE(pty.ok() && pty2.ok()) << pty.error() << pty2.error();
    test::TempDir dir;
    dir.write_file("line", "");
    dir.write_file("other", "");
    fs::create_hard_link(dir.path() / "line", dir.path() / "hard");
    fs::create_symlink(pty.slave_path(), dir.path() / "to-pty");
    fs::create_symlink(dir.path() / "to-pty", dir.path() / "to-link");
    fs::create_symlink(dir.path() / "absent", dir.path() / "dangling");

    const SameCase cases[] = {
        {"{pty}", "{pty}", true},
        {"{pty}", "/dev/../dev/{pty-tail}", true},
        {"{pty}", "/dev/pts/./{pty-number}", true},
        {"{pty}", "{dir}/to-pty", true},
        {"{pty}", "{dir}/to-link", true},
        {"{pty}", "{pty2}", false},
        {"{dir}/line", "{dir}/hard", true},
        {"{dir}/line", "{dir}/../{dir-name}/line", true},
        {"{dir}/line", "{dir}/other", false},
        {"{dir}/absent", "{dir}/x/../absent", true},
        {"{dir}/absent", "{dir}/absent2", false},
        {"{dir}/absent", "{dir}/line", false},
        {"{dir}/dangling", "{dir}/line", false},
    };
    const std::string tail = pty.slave_path().substr(std::string("/dev/").size());
    const std::string number = fs::path(pty.slave_path()).filename().string();
    auto fill = [&](std::string text) {
        const std::pair<std::string, std::string> tokens[] = {
            {"{pty-tail}", tail},
            {"{pty-number}", number},
            {"{pty2}", pty2.slave_path()},
            {"{pty}", pty.slave_path()},
            {"{dir-name}", dir.path().filename().string()},
            {"{dir}", dir.path().string()},
        };
        for (const auto& [token, value] : tokens) {
            for (auto at = text.find(token); at != std::string::npos; at = text.find(token)) {
                text.replace(at, token.size(), value);
            }
        }
        return text;
    };
    for (const SameCase& c : cases) {
        const std::string a = fill(c.a);
        const std::string b = fill(c.b);
        EXPECT_EQ(same_device(a, b), c.same) << a << " / " << b;
        EXPECT_EQ(same_device(b, a), c.same) << b << " / " << a;
    }
}

}  // namespace
}  // namespace velkon
