#include "ui/calibration_report.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <variant>

#include "calibration/report_page.h"
#include "calibration/session_file.h"

namespace velkon::ui {

namespace cal = velkon::calibration;

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QColor qcolor(const pdf::Color& c) {
    return QColor(c.r, c.g, c.b);
}

QPointF qpoint(const pdf::Point& p) {
    return QPointF(p.x, p.y);
}

QFont font_of(double size, bool bold) {
    QFont font("DejaVu Sans");
    font.setPointSizeF(size);
    font.setBold(bold);
    return font;
}

// The shapes of the laid-out page, with the painter's units in points.
struct Painter {
    QPainter& p;

    void operator()(const pdf::Text& t) {
        p.setFont(font_of(t.size, t.bold));
        p.setPen(qcolor(t.color));
        p.drawText(qpoint(t.at), qs(t.text));
    }
    void operator()(const pdf::Line& l) {
        p.setPen(QPen(qcolor(l.color), l.width));
        p.drawLine(qpoint(l.from), qpoint(l.to));
    }
    void operator()(const pdf::Frame& f) {
        p.setPen(QPen(qcolor(f.color), f.line_width));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(qpoint(f.corner), QSizeF(f.width, f.height)));
    }
    void operator()(const pdf::Dot& d) {
        p.setPen(Qt::NoPen);
        p.setBrush(qcolor(d.color));
        p.drawEllipse(qpoint(d.centre), d.radius, d.radius);
    }
    void operator()(const pdf::Polyline& l) {
        if (l.points.empty()) return;
        QPainterPath path(qpoint(l.points[0]));
        for (std::size_t k = 1; k < l.points.size(); ++k) path.lineTo(qpoint(l.points[k]));
        p.setPen(QPen(qcolor(l.color), l.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
};

}  // namespace

std::optional<std::string> write_report_pdf(const cal::Session& session,
                                            const std::filesystem::path& path) {
    // Drawn in memory, then written whole like every other file of ours.
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        // One device unit a point, no margins: the laid-out page is in points from its corner.
        pdf.setResolution(72);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(0, 0, 0, 0), QPageLayout::Point));
        const pdf::Document doc =
            cal::report_document(session, [&pdf](std::string_view text, double size, bool bold) {
                return QFontMetricsF(font_of(size, bold), &pdf)
                    .horizontalAdvance(QString::fromUtf8(text.data(), text.size()));
            });
        pdf.setTitle(qs(doc.title));
        pdf.setCreator(qs(doc.creator));
        QPainter p;
        if (!p.begin(&pdf)) return "Не удалось нарисовать отчёт.";
        p.setRenderHint(QPainter::Antialiasing);
        for (std::size_t k = 0; k < doc.pages.size(); ++k) {
            if (k) pdf.newPage();
            Painter draw{p};
            for (const auto& shape : doc.pages[k].shapes) std::visit(draw, shape);
        }
        p.end();
    }
    if (bytes.isEmpty()) return "Не удалось создать отчёт «" + path.string() + "».";
    return cal::write_export(path, std::string_view(bytes.constData(), bytes.size()));
}

}  // namespace velkon::ui
