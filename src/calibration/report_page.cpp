#include "calibration/report_page.h"

#include <algorithm>

#include "calibration/report.h"
#include "pdf/font.h"

namespace velkon::calibration {

namespace {

constexpr pdf::Color kBlack{0, 0, 0};
constexpr pdf::Color kRed{200, 30, 30};
constexpr pdf::Color kBlue{30, 90, 180};
constexpr double kMargin = 15 * pdf::kPointsPerMm;
constexpr double kSize = 10;  // the body text, points
constexpr double kTitleSize = 15;
constexpr double kLine = kSize * 1.34;  // the distance between baselines
constexpr double kLeft = kMargin;
constexpr double kTop = kMargin;
constexpr double kWidth = pdf::kA4Width - 2 * kMargin;
constexpr double kBottom = pdf::kA4Height - kMargin;

class Layout {
  public:
    explicit Layout(const TextWidth& width) : width_(width) {}

    // `text` cut to `room` points, with an ellipsis when something was cut.
    std::string fit(const std::string& text, double room, bool bold = false) const {
        if (width_(text, kSize, bold) <= room) return text;
        const std::u32string all = pdf::decode_utf8(text);
        std::string cut;
        for (const char32_t c : all) {
            const std::string longer = cut + pdf::encode_utf8(c);
            if (width_(longer + "…", kSize, bold) > room) break;
            cut = longer;
        }
        while (!cut.empty() && cut.back() == ' ') cut.pop_back();
        return cut + "…";
    }

    // `text` broken at spaces into lines of at most `room` points, at most `lines` of them.
    std::vector<std::string> wrap(const std::string& text, double room, std::size_t lines) const {
        std::vector<std::string> out;
        std::string rest = text;
        while (!rest.empty() && out.size() + 1 < lines && width_(rest, kSize, false) > room) {
            std::size_t cut = std::string::npos;
            for (std::size_t at = rest.find(' '); at != std::string::npos;
                 at = rest.find(' ', at + 1)) {
                if (width_(rest.substr(0, at), kSize, false) > room) break;
                cut = at;
            }
            if (cut == std::string::npos) break;
            out.push_back(rest.substr(0, cut));
            rest = rest.substr(cut + 1);
        }
        out.push_back(fit(rest, room));
        return out;
    }

    double width(const std::string& text, double size) const { return width_(text, size, false); }

  private:
    const TextWidth& width_;
};

pdf::Text text(double x, double y, std::string words, pdf::Color color = kBlack, bool bold = false,
               double size = kSize) {
    return pdf::Text{{x, y}, size, bold, color, std::move(words)};
}

// The table's curve: volume across, level up, the marked points red.
void draw_plot(pdf::Page& page, const Layout& layout, double left, double top, double side,
               const Session& s) {
    const auto& points = s.points();
    const auto checks = s.checks();
    page.shapes.push_back(pdf::Frame{{left, top}, side, side, 0.5, kBlack});
    double max_volume = s.info().tank_volume.value_or(0.0);
    for (const auto& pt : points) max_volume = std::max(max_volume, pt.volume);
    if (max_volume <= 0) max_volume = 1;
    const double max_level = std::max(1.0, static_cast<double>(s.info().full_scale - 1));
    // Room inside the frame, so a point at the scale's top or the tank's volume is whole.
    const double x0 = left + side * 0.03, width = side * 0.94;
    const double y0 = top + side * 0.97, height = side * 0.92;
    auto at = [&](const Point& pt) {
        const double v = std::clamp(pt.volume / max_volume, 0.0, 1.0);
        const double l = std::clamp(pt.level / max_level, 0.0, 1.0);
        return pdf::Point{x0 + width * v, y0 - height * l};
    };
    pdf::Polyline curve{{}, side / 300, kBlue};
    for (const auto& pt : points) curve.points.push_back(at(pt));
    page.shapes.push_back(curve);
    for (std::size_t k = 0; k < points.size(); ++k)
        page.shapes.push_back(pdf::Dot{at(points[k]), side / 120, checks[k].marks ? kRed : kBlue});
    page.shapes.push_back(text(left, top - kSize * 0.35, "Уровень"));
    const std::string across = "Объём, л (0…" + format_number(max_volume, ',') + ")";
    page.shapes.push_back(
        text(left + side - layout.width(across, kSize), top + side + kLine, across));
}

}  // namespace

pdf::Document report_document(const Session& session, const TextWidth& width) {
    const Report report = make_report(session);
    const Layout layout(width);
    pdf::Document doc;
    doc.title = report.title;
    doc.creator = "Конфигуратор Velkon";
    doc.pages.emplace_back();
    pdf::Page* page = &doc.pages.back();

    double y = kTop + kTitleSize * 0.93;
    page->shapes.push_back(text(kLeft, y, report.title, kBlack, true, kTitleSize));
    y += kTitleSize * 0.7;
    const double value_x = kLeft + kWidth * 0.32;
    for (const auto& h : report.heading) {
        y += kLine;
        page->shapes.push_back(text(kLeft, y, layout.fit(h.label + ":", value_x - kLeft - 4)));
        const auto lines = layout.wrap(h.value, kLeft + kWidth - value_x, 6);
        for (std::size_t k = 0; k < lines.size(); ++k) {
            if (k) y += kLine;
            page->shapes.push_back(text(value_x, y, lines[k]));
        }
    }
    y += kLine * 1.5;

    // The table in blocks: beside the plot on the first page, in two blocks side by side on
    // the second, each block under its own header.
    const double table_width = kWidth * 0.47;
    const double second_block = kWidth * 0.53;
    const double side = kWidth * 0.42;
    draw_plot(*page, layout, kLeft + kWidth * 0.56, y + kLine, side, session);

    // Each column as wide as its widest entry, the headings bold, and a gap.
    const double gap = kSize;
    double volume_width = width("Объём, л", kSize, true),
           level_width = width("Уровень", kSize, true);
    for (const auto& row : report.rows) {
        volume_width = std::max(volume_width, width(row.volume, kSize, false));
        level_width = std::max(level_width, width(row.level, kSize, false));
    }
    const double level_dx = volume_width + gap;
    const double marks_dx = level_dx + level_width + gap;
    double x = kLeft;  // the current block's left edge
    auto header = [&](double at) {
        page->shapes.push_back(text(x, at, "Объём, л", kBlack, true));
        page->shapes.push_back(text(x + level_dx, at, "Уровень", kBlack, true));
        page->shapes.push_back(text(x + marks_dx, at, "Проверка", kBlack, true));
        page->shapes.push_back(
            pdf::Line{{x, at + kSize * 0.4}, {x + table_width, at + kSize * 0.4}, 0.4, kBlack});
    };
    y += kLine;
    header(y);
    int block = 0;  // 0: the first page's, 1 and 2: the second page's
    // The last block keeps room for the line that says the table goes on and for the summary.
    const double last_row = kBottom - kLine * 3;
    for (std::size_t k = 0; k < report.rows.size(); ++k) {
        const ReportRow& row = report.rows[k];
        y += kLine;
        const bool more_after = k + 1 < report.rows.size();
        const double limit = block == 2 && more_after ? last_row - kLine : last_row;
        if (y > limit) {
            if (block == 2) {
                page->shapes.push_back(text(x, y, "… таблица полностью — в файле CSV"));
                break;
            }
            if (++block == 1) {
                doc.pages.emplace_back();
                page = &doc.pages.back();
            }
            x = block == 1 ? kLeft : kLeft + second_block;
            y = kTop + kSize;
            header(y);
            y += kLine;
        }
        const pdf::Color color = row.marked ? kRed : kBlack;
        page->shapes.push_back(text(x, y, row.volume, color));
        page->shapes.push_back(text(x + level_dx, y, row.level, color));
        page->shapes.push_back(
            text(x + marks_dx, y, layout.fit(row.marks, table_width - marks_dx), color));
    }
    y += kLine * 1.5;
    page->shapes.push_back(text(x, y, report.summary));
    return doc;
}

}  // namespace velkon::calibration
