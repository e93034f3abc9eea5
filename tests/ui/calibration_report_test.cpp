// The Qt drawing of the laid-out report: one page for a short table, two for a long one, and a
// file written whole where it was asked for.
#include "ui/calibration_report.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/test_support.h"

namespace velkon::testing {
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

TEST(QtReport, OnePageForAShortTableTwoForALongOne) {
    test::TempDir folder;
    for (const auto& [points, pages] : {std::pair{5, 1}, std::pair{120, 2}}) {
        calibration::SessionInfo info;
        info.portion = 10;
        info.tank_volume = points * 10.0;
        info.rule = {10, 2};
        calibration::Session session(info);
        for (int k = 0; k < points; ++k) session.add({k * 10.0, 5.0 + k * 8});
        const auto path = folder.path() / ("отчёт-" + std::to_string(points) + ".pdf");
        ASSERT_FALSE(ui::write_report_pdf(session, path));
        EXPECT_EQ(pages_in(path), pages) << points;
    }
}

}  // namespace
}  // namespace velkon::testing
