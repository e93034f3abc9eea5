#include "ui/calibration_report.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

#include "calibration/report.h"
#include "calibration/session_file.h"

namespace velkon::ui {

namespace cal = velkon::calibration;

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// The table's curve: volume across, level up, the marked points red.
void draw_plot(QPainter& p, const QRectF& box, const cal::Session& s) {
    const auto& points = s.points();
    const auto checks = s.checks();
    p.save();
    p.setPen(QPen(Qt::black, 0));
    p.drawRect(box);
    double max_volume = s.info().tank_volume.value_or(0.0);
    for (const auto& pt : points) max_volume = std::max(max_volume, pt.volume);
    if (max_volume <= 0) max_volume = 1;
    const double max_level = std::max(1.0, static_cast<double>(s.info().full_scale - 1));
    // Room inside the frame, so a point at the scale's top or the tank's volume is whole.
    const QRectF area = box.adjusted(box.width() * 0.03, box.height() * 0.05, -box.width() * 0.03,
                                     -box.height() * 0.03);
    auto at = [&](const cal::Point& pt) {
        return QPointF(area.left() + area.width() * pt.volume / max_volume,
                       area.bottom() - area.height() * pt.level / max_level);
    };
    QPainterPath line;
    for (std::size_t k = 0; k < points.size(); ++k)
        k == 0 ? line.moveTo(at(points[k])) : line.lineTo(at(points[k]));
    p.setPen(QPen(QColor(30, 90, 180), box.width() / 300));
    p.drawPath(line);
    const double r = box.width() / 120;
    for (std::size_t k = 0; k < points.size(); ++k) {
        p.setBrush(checks[k].marks ? QColor(200, 30, 30) : QColor(30, 90, 180));
        p.setPen(Qt::NoPen);
        p.drawEllipse(at(points[k]), r, r);
    }
    p.setPen(Qt::black);
    const QFontMetricsF fm(p.font());
    p.drawText(QPointF(box.left(), box.top() - fm.descent() - 2), "Уровень");
    const QString across = "Объём, л (0…" + qs(cal::format_number(max_volume, ',')) + ")";
    p.drawText(QPointF(box.right() - fm.horizontalAdvance(across), box.bottom() + fm.height()),
               across);
    p.restore();
}

}  // namespace

std::optional<std::string> write_report_pdf(const cal::Session& session,
                                            const std::filesystem::path& path) {
    const cal::Report report = cal::make_report(session);
    // Drawn in memory, then written whole like every other file of ours.
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        pdf.setTitle(qs(report.title));
        pdf.setCreator("Конфигуратор Velkon");
        pdf.setResolution(300);
        QPainter p;
        if (!p.begin(&pdf)) return "Не удалось нарисовать отчёт.";
        const QRectF page(QPointF(0, 0), QSizeF(pdf.width(), pdf.height()));
        QFont font("DejaVu Sans");
        font.setPointSizeF(10);
        p.setFont(font);
        const double line = QFontMetricsF(font, &pdf).height() * 1.15;
        double y = 0;
        QFont big = font;
        big.setPointSizeF(15);
        big.setBold(true);
        p.setFont(big);
        p.drawText(QPointF(0, QFontMetricsF(big, &pdf).ascent()), qs(report.title));
        y += QFontMetricsF(big, &pdf).height() * 1.4;
        p.setFont(font);
        const double value_x = page.width() * 0.32;
        const double ascent = QFontMetricsF(font, &pdf).ascent();
        for (const auto& h : report.heading) {
            y += line;
            p.drawText(QPointF(0, y), qs(h.label) + ":");
            // A long name or note wraps within the page rather than running off its edge.
            const QRectF box(value_x, y - ascent, page.width() - value_x, page.height());
            const QRectF used = p.boundingRect(box, Qt::TextWordWrap, qs(h.value));
            p.drawText(box, Qt::TextWordWrap, qs(h.value));
            y += std::max(0.0, used.height() - QFontMetricsF(font, &pdf).height());
        }
        y += line * 1.5;
        // The plot on the right of the table's first page.
        const double table_width = page.width() * 0.5;
        const QRectF plot(table_width + page.width() * 0.06, y + line, page.width() * 0.42,
                          page.width() * 0.42);
        draw_plot(p, plot, session);
        auto header = [&](double at) {
            QFont bold = font;
            bold.setBold(true);
            p.setFont(bold);
            p.drawText(QPointF(0, at), "Объём, л");
            p.drawText(QPointF(table_width * 0.25, at), "Уровень");
            p.drawText(QPointF(table_width * 0.5, at), "Проверка");
            p.setFont(font);
        };
        y += line;
        header(y);
        int pages = 1;
        for (const auto& row : report.rows) {
            y += line;
            if (y > page.height() - line * 2) {
                if (pages == 2) {
                    p.drawText(QPointF(0, y), "… таблица полностью — в файле CSV");
                    break;
                }
                pdf.newPage();
                ++pages;
                y = line;
                header(y);
                y += line;
            }
            p.setPen(row.marked ? QColor(200, 30, 30) : Qt::black);
            p.drawText(QPointF(0, y), qs(row.volume));
            p.drawText(QPointF(table_width * 0.25, y), qs(row.level));
            p.drawText(QRectF(table_width * 0.5, y - line * 0.8, table_width * 0.5 + 1, line),
                       Qt::TextSingleLine, qs(row.marks));
            p.setPen(Qt::black);
        }
        y += line * 1.5;
        if (y < page.height()) p.drawText(QPointF(0, y), qs(report.summary));
        p.end();
    }
    if (bytes.isEmpty()) return "Не удалось создать отчёт «" + path.string() + "».";
    return cal::write_export(path, std::string_view(bytes.constData(), bytes.size()));
}

}  // namespace velkon::ui
