// Our own PDF writer with a real font read from its file and embedded, read by an independent
// reader: the report's words come back as Unicode, inside the page, on at most two pages.
#include <gtest/gtest.h>

#include <fstream>

#include "calibration/report_page.h"
#include "pdf/font_file.h"
#include "pdf/pdf_writer.h"
#include "programs/pdf_words.h"
#include "support/test_support.h"

namespace velkon::test {
namespace {

TEST(OwnPdfWriter, AReportWithARealFontReadsWhole) {
    // The font the Linux report uses too (fonts-dejavu-core, a dependency of the package).
    const auto font = pdf::FontFile::open("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    ASSERT_TRUE(font);
    EXPECT_EQ(font->name(), "DejaVuSans");
    const auto face = pdf::FontFace::read(*font);
    ASSERT_TRUE(face);
    calibration::SessionInfo info;
    info.started = "10.12.2026 09:15:30";
    info.serial = "4242";
    info.vehicle = "А123ВС 77, левый бак седельного тягача, колонна № 3";
    info.installer = "Петров Пётр Петрович";
    info.notes = "лежачий цилиндр с перегородкой посередине, заливная горловина сверху";
    info.portion = 5;
    info.tank_volume = 800;
    info.full_scale = 4096;
    calibration::Session session(info);
    for (int k = 0; k <= 150; ++k) session.add({k * 5.0, k == 7 ? 10.0 : 20.0 + k * 25});
    const pdf::Document doc = calibration::report_document(
        session,
        [&face](std::string_view text, double size, bool) { return face->width(text, size); });

    TempDir folder;
    const auto path = folder.path() / "report.pdf";
    std::ofstream(path, std::ios::binary) << pdf::write_pdf(doc, *face);
    const PdfWords read = read_pdf_words(path);
    ASSERT_EQ(read.error, "");
    ASSERT_EQ(read.pages.size(), 2u);
    const std::string first = read.pages[0].text();
    for (const char* shown : {"Тарировочная таблица бака", "колонна № 3", "Петров Пётр Петрович",
                              "4242", "800 л", "заливная горловина сверху", "уровень упал"})
        EXPECT_NE(first.find(shown), std::string::npos) << shown << "\n" << first;
    EXPECT_NE(read.pages[1].text().find("Точек: 151, отмечено: 1."), std::string::npos)
        << read.pages[1].text();
    EXPECT_EQ(words_outside(read, 20), std::vector<std::string>{});
}

}  // namespace
}  // namespace velkon::test
