// The report's font on Linux is the one fontconfig finds: velkon-cli under a configuration of
// the test's own embeds DejaVu Sans from whatever folder that configuration names, and with no
// usable font there says in Russian which package to install, writing nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "programs/programs_fixture.h"

namespace velkon::test {
namespace {

namespace fs = std::filesystem;

TEST(ReportFont, FoundThroughFontconfigOrSaidMissing) {
    const fs::path dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    struct Case {
        const char* name;
        bool with_font;
        int status;
        const char* said;
    } cases[] = {
        {"DejaVu Sans in the configured folder", true, 0, ""},
        {"no font in the configured folder", false, 1,
         "Отчёт не создан: в системе не найден шрифт DejaVu Sans (пакет fonts-dejavu-core)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        const fs::path fonts = folder.make_dir("fonts");
        if (c.with_font) fs::create_symlink(dejavu, fonts / dejavu.filename());
        const fs::path config = folder.path() / "fonts.conf";
        std::ofstream(config) << "<?xml version=\"1.0\"?>\n"
                                 "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                                 "<fontconfig><dir>"
                              << fonts.string() << "</dir><cachedir>"
                              << (folder.path() / "cache").string() << "</cachedir></fontconfig>\n";
        const fs::path table = folder.path() / "bak.csv", pdf = folder.path() / "bak.pdf";
        std::ofstream(table) << "0;3\n20;210\n40;400\n";

        OutputPipe err;
        ChildProcess cli({.args = {program_path("velkon-cli"), "tank", "report", table.string(),
                                   "-o", pdf.string()},
                          .env = {"FONTCONFIG_FILE=" + config.string()},
                          .err_fd = err.write.get()});
        err.write.reset();
        const std::string said = err.rest();
        const auto status = cli.wait(kProgramEnds);
        ASSERT_TRUE(status && WIFEXITED(*status)) << said;
        EXPECT_EQ(WEXITSTATUS(*status), c.status) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        if (c.status == 0) {
            EXPECT_EQ(said, "");
            EXPECT_NE(content_of(pdf).find("+DejaVuSans "), std::string::npos);
        } else {
            EXPECT_FALSE(fs::exists(pdf));
        }
    }
}

}  // namespace
}  // namespace velkon::test
