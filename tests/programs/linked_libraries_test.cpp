// velkon-cli runs on a machine without a desktop: it links no GUI library (no Qt, no X, no GL),
// neither itself nor through a library it needs, as the dynamic loader resolves them (ldd).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <iostream>
#include <sstream>

#include "programs/programs_fixture.h"

namespace velkon::test {
namespace {

TEST(VelkonCli, LinksNoGuiLibrary) {
    const auto ldd = find_on_path("ldd");
    ASSERT_FALSE(ldd.empty()) << "ldd (libc-bin) is not on the PATH";
    OutputPipe out;
    ChildProcess child(
        {.args = {ldd.front().string(), program_path("velkon-cli")}, .out_fd = out.write.get()});
    out.write.reset();
    const std::string listing = out.rest();
    const auto status = child.wait(kProgramEnds);
    ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << listing;

    std::vector<std::string> libraries;  // "libc.so.6", and so on
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        if (std::string name; words >> name) libraries.push_back(name);
    }
    // A listing that names the C library is a real one.
    ASSERT_TRUE(std::any_of(libraries.begin(), libraries.end(), [](const std::string& l) {
        return l.rfind("libc.so", 0) == 0;
    })) << listing;
    for (const std::string& library : libraries) {
        for (const char* gui : {"libQt", "libX11", "libxcb", "libxkbcommon", "libGL", "libEGL",
                                "libOpenGL", "libwayland", "libgtk", "libgdk"})
            EXPECT_NE(library.rfind(gui, 0), 0u) << library;
    }
    std::cout << "velkon-cli: " << libraries.size() << " entries in ldd's listing\n";
}

}  // namespace
}  // namespace velkon::test
