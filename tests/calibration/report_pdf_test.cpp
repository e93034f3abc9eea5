// The report's PDF as the windows and velkon-cli write it, with the system's font: one page for
// a short table, two for a long one, a file written whole where it was asked for, and a file
// that cannot be written said in Russian, leaving what was there.
#include "calibration/report_pdf.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/test_support.h"

namespace velkon::calibration {
namespace {

int pages_in(const std::filesystem::path& pdf) {
    std::ifstream in(pdf, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    int pages = 0;
    for (std::size_t at = text.find("/Type /Page"); at != std::string::npos;
         at = text.find("/Type /Page", at + 1))
        pages += text.compare(at, 12, "/Type /Pages") != 0;
    return pages;
}

Session session_of(int points) {
    SessionInfo info;
    info.portion = 10;
    info.tank_volume = points * 10.0;
    info.rule = {10, 2};
    Session session(info);
    for (int k = 0; k < points; ++k) session.add({k * 10.0, 5.0 + k * 8});
    return session;
}

TEST(ReportPdf, OnePageForAShortTableTwoForALongOne) {
    test::TempDir folder;
    for (const auto& [points, pages] : {std::pair{5, 1}, std::pair{120, 2}}) {
        const auto path = folder.path() / ("отчёт-" + std::to_string(points) + ".pdf");
        const auto error = write_report_pdf(session_of(points), path);
        ASSERT_FALSE(error) << *error;
        EXPECT_EQ(pages_in(path), pages) << points;
    }
}

TEST(ReportPdf, AFileThatCannotBeWrittenIsSaidInRussian) {
    test::TempDir folder;
    // A folder where the file should be: nothing replaces it.
    const auto path = folder.make_dir("отчёт.pdf");
    const auto error = write_report_pdf(session_of(5), path);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->rfind("Не удалось сохранить файл «", 0), 0u) << *error;
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

}  // namespace
}  // namespace velkon::calibration
