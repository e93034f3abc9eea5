// The calibration report on Windows: a PDF of our own writer with a font the system has, found
// through GDI, read back structurally; the text (Cyrillic included) comes back through the
// font's ToUnicode map.
#include "calibration/report_pdf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "calibration/session_file.h"
#include "support/pdf_support.h"
#include "support/test_support.h"

namespace velkon::win32 {
namespace {

calibration::Session session_with_points() {
    calibration::SessionInfo info;
    info.started = "10.12.2026 09:15:30";
    info.vehicle = "А123ВС 77, левый бак";
    info.installer = "Петров";
    info.portion = 20;
    info.tank_volume = 60;
    info.rule = {10, 2};
    calibration::Session s(info);
    for (const calibration::Point& p :
         std::vector<calibration::Point>{{0, 10}, {20, 300}, {40, 250}, {60, 700}})
        s.add(p);
    return s;
}

std::string read_all(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(Win32ReportPdf, WritesTheReportWithAnEmbeddedFont) {
    test::TempDir folder;
    const auto path = folder.path() / L"отчёт.pdf";
    const calibration::Session session = session_with_points();
    const auto error = calibration::write_report_pdf(session, path);
    ASSERT_FALSE(error) << *error;
    const std::string bytes = read_all(path);
    const test::ReadPdf pdf = test::read_pdf(bytes);
    ASSERT_EQ(pdf.error, "");
    ASSERT_EQ(pdf.pages.size(), 1u);
    EXPECT_GT(pdf.font_file.size(), 0u);
    EXPECT_EQ(pdf.font_length1, static_cast<long>(pdf.font_file.size()));
    const auto& texts = pdf.pages[0];
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "Тарировочная таблица бака");
    for (const char* shown :
         {"А123ВС 77, левый бак", "Петров", "уровень упал", "Точек: 4, отмечено: 1."})
        EXPECT_NE(std::find(texts.begin(), texts.end(), shown), texts.end()) << shown;
    const std::size_t name = bytes.find("/BaseFont /");
    std::cout << "report: " << bytes.size() << " bytes, embedded font "
              << bytes.substr(name + 11, bytes.find(' ', name + 11) - name - 11) << ", "
              << pdf.font_file.size() << " bytes\n";
    // scripts/test-windows has velkon-cli on Linux write the report of the same session and
    // holds the two to read alike.
    if (const char* out = std::getenv("VELKON_TEST_REPORT_OUT")) {
        const std::filesystem::path hand_over = out;
        std::filesystem::create_directories(hand_over);
        ASSERT_FALSE(calibration::write_whole(hand_over / "session.tarirovka",
                                              calibration::session_text(session)));
        ASSERT_FALSE(calibration::write_whole(hand_over / "windows.pdf", bytes));
    }
}

TEST(Win32ReportPdf, AFileThatCannotBeWrittenIsSaidInRussian) {
    test::TempDir folder;
    // A folder where the file should be: nothing replaces it.
    const auto path = folder.make_dir(L"отчёт.pdf");
    const auto error = calibration::write_report_pdf(session_with_points(), path);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->rfind("Не удалось сохранить файл «", 0), 0u) << *error;
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

}  // namespace
}  // namespace velkon::win32
