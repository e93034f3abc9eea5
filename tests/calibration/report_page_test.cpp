// The report's pages as laid out for every front end: for tables short and long, nothing falls
// off the page or lands on other text, no row is lost without the line that says so, and the
// marked rows and points are red.
#include "calibration/report_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "pdf/font.h"

namespace velkon::calibration {
namespace {

constexpr double kMargin = 15 * pdf::kPointsPerMm;

// Every character as wide as 0.55 of the size: about as wide as a sans-serif runs.
double width(std::string_view text, double size, bool) {
    return static_cast<double>(pdf::decode_utf8(text).size()) * size * 0.55;
}

Session session_of(int points, int falling_at = -1) {
    SessionInfo info;
    info.started = "10.12.2026 09:15:30";
    info.vehicle = "А123ВС 77, левый бак, седельный тягач с длинным названием и прицепом";
    info.notes =
        "Бак лежачий цилиндр, заливная горловина сверху, датчик смещён к заднему краю на "
        "двадцать сантиметров, перегородки внутри бака через каждые сорок сантиметров";
    info.portion = 20;
    info.tank_volume = points * 20.0;
    info.rule = {10, 2};
    Session s(info);
    for (int k = 0; k < points; ++k) s.add({k * 20.0, k == falling_at ? 1.0 : 10.0 + k * 6});
    return s;
}

struct Box {
    double left, top, right, bottom;
};

Box box_of(const pdf::Text& t) {
    return {t.at.x, t.at.y - t.size * 0.8, t.at.x + width(t.text, t.size, t.bold),
            t.at.y + t.size * 0.2};
}

bool overlap(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

TEST(ReportPage, TablesShortAndLongStayOnTheirPages) {
    // Every length up to well past two pages: each page break and the cut fall somewhere.
    for (int points = 0; points <= 160; ++points) {
        SCOPED_TRACE(points);
        const Session s = session_of(points);
        const pdf::Document doc = report_document(s, width);
        ASSERT_GE(doc.pages.size(), 1u);
        ASSERT_LE(doc.pages.size(), 2u);
        std::vector<std::string> volumes;  // the first column, in order
        bool cut = false;
        std::string last;
        for (const pdf::Page& page : doc.pages) {
            std::vector<Box> boxes;
            std::vector<double> blocks;  // where the table's blocks begin
            for (const pdf::Shape& shape : page.shapes) {
                if (const auto* f = std::get_if<pdf::Frame>(&shape)) {
                    EXPECT_GE(f->corner.x, kMargin);
                    EXPECT_LE(f->corner.x + f->width, page.width - kMargin);
                    EXPECT_LE(f->corner.y + f->height, page.height - kMargin);
                    continue;
                }
                const auto* t = std::get_if<pdf::Text>(&shape);
                if (!t) continue;
                const Box b = box_of(*t);
                EXPECT_GE(b.left, kMargin - 0.01) << t->text;
                EXPECT_LE(b.right, page.width - kMargin + 0.01) << t->text;
                EXPECT_GE(b.top, kMargin - 0.01) << t->text;
                EXPECT_LE(b.bottom, page.height - kMargin + 0.01) << t->text;
                for (const Box& other : boxes) EXPECT_FALSE(overlap(b, other)) << t->text;
                boxes.push_back(b);
                if (t->bold && t->text == "Объём, л") blocks.push_back(t->at.x);
                if (std::count(blocks.begin(), blocks.end(), t->at.x) && !t->bold &&
                    !t->text.empty() && t->text[0] >= '0' && t->text[0] <= '9')
                    volumes.push_back(t->text);
                cut = cut || t->text == "… таблица полностью — в файле CSV";
                last = t->text;
            }
        }
        for (std::size_t k = 0; k < volumes.size(); ++k)
            EXPECT_EQ(volumes[k], format_number(k * 20.0, ',')) << k;
        // Every row, or the line that says where the rest is.
        EXPECT_EQ(volumes.size() < static_cast<std::size_t>(points), cut);
        EXPECT_EQ(last.rfind("Точек: " + std::to_string(points), 0), 0u) << last;
        EXPECT_EQ(doc.pages.size(), points <= 30 ? 1u : points >= 60 ? 2u : doc.pages.size());
    }
}

TEST(ReportPage, MarkedRowsAndPointsAreRed) {
    const pdf::Color red{200, 30, 30};
    const Session s = session_of(5, 2);  // the third point's level falls
    const pdf::Document doc = report_document(s, width);
    ASSERT_EQ(doc.pages.size(), 1u);
    std::vector<pdf::Color> dots;
    std::map<std::string, pdf::Color> row_colors;
    for (const pdf::Shape& shape : doc.pages[0].shapes) {
        if (const auto* d = std::get_if<pdf::Dot>(&shape)) dots.push_back(d->color);
        if (const auto* t = std::get_if<pdf::Text>(&shape); t && t->at.x == kMargin)
            row_colors[t->text] = t->color;
    }
    ASSERT_EQ(dots.size(), 5u);
    for (std::size_t k = 0; k < dots.size(); ++k) EXPECT_EQ(dots[k] == red, k == 2) << k;
    EXPECT_EQ(row_colors.at("40"), red);
    EXPECT_EQ(row_colors.at("20"), pdf::Color{});
    EXPECT_EQ(row_colors.at("60"), pdf::Color{});
}

}  // namespace
}  // namespace velkon::calibration
