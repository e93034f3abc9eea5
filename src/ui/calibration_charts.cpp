#include "ui/calibration_charts.h"

#include <QPainter>
#include <QPainterPath>

namespace velkon::ui {

namespace chart = calibration::chart;

namespace {

struct ShapePainter {
    QPainter& p;

    static QColor qt(chart::Color c) { return {c.r, c.g, c.b}; }
    static QRectF qt(const chart::Rect& r) { return {r.left, r.top, r.width, r.height}; }
    static QPointF qt(const chart::Point& at) { return {at.x, at.y}; }

    void operator()(const chart::Fill& s) { p.fillRect(qt(s.box), qt(s.color)); }
    void operator()(const chart::Outline& s) {
        p.setPen(QPen(qt(s.color), s.width, s.dashed ? Qt::DashLine : Qt::SolidLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(qt(s.box));
    }
    void operator()(const chart::Line& s) {
        p.setPen(QPen(qt(s.color), s.width));
        p.drawLine(qt(s.from), qt(s.to));
    }
    void operator()(const chart::Curve& s) {
        if (s.points.size() < 2) return;
        QPainterPath path(qt(s.points.front()));
        for (const chart::Point& at : s.points) path.lineTo(qt(at));
        p.save();
        if (s.clip) p.setClipRect(qt(*s.clip));
        p.setPen(QPen(qt(s.color), s.width));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.restore();
    }
    void operator()(const chart::Marker& s) {
        p.setPen(QPen(qt(s.edge), s.edge_width));
        p.setBrush(qt(s.fill));
        p.drawEllipse(qt(s.centre), s.radius, s.radius);
    }
    void operator()(const chart::Label& s) {
        constexpr Qt::Alignment across[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
        constexpr Qt::Alignment down[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
        p.setPen(qt(s.color));
        p.drawText(qt(s.box), across[int(s.across)] | down[int(s.down)],
                   QString::fromStdString(s.text));
    }
};

}  // namespace

ChartView::ChartView(const char* name, QSize hint, QSize least, Layout layout, QWidget* parent)
    : QWidget(parent), hint_(hint), layout_(std::move(layout)) {
    setObjectName(name);
    setMinimumSize(least);
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().window());
    ShapePainter draw{p};
    for (const chart::Shape& shape : layout_(width(), height())) std::visit(draw, shape);
}

}  // namespace velkon::ui
