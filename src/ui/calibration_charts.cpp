#include "ui/calibration_charts.h"

#include <QPainter>
#include <QPainterPath>

namespace velkon::ui {

namespace chart = calibration::chart;

namespace {

QColor color(chart::Color c) {
    return QColor(c.r, c.g, c.b);
}

QRectF rect(const chart::Rect& r) {
    return {r.left, r.top, r.width, r.height};
}

QPointF point(const chart::Point& p) {
    return {p.x, p.y};
}

Qt::Alignment alignment(const chart::Label& label) {
    constexpr Qt::Alignment across[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    constexpr Qt::Alignment down[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
    return across[static_cast<int>(label.across)] | down[static_cast<int>(label.down)];
}

struct ShapePainter {
    QPainter& p;

    void operator()(const chart::Fill& s) { p.fillRect(rect(s.box), color(s.color)); }
    void operator()(const chart::Outline& s) {
        p.setPen(QPen(color(s.color), s.width, s.dashed ? Qt::DashLine : Qt::SolidLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect(s.box));
    }
    void operator()(const chart::Line& s) {
        p.setPen(QPen(color(s.color), s.width));
        p.drawLine(point(s.from), point(s.to));
    }
    void operator()(const chart::Curve& s) {
        if (s.points.size() < 2) return;
        QPainterPath path(point(s.points.front()));
        for (const chart::Point& at : s.points) path.lineTo(point(at));
        p.save();
        if (s.clip) p.setClipRect(rect(*s.clip));
        p.setPen(QPen(color(s.color), s.width));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.restore();
    }
    void operator()(const chart::Marker& s) {
        p.setPen(QPen(color(s.edge), s.edge_width));
        p.setBrush(color(s.fill));
        p.drawEllipse(point(s.centre), s.radius, s.radius);
    }
    void operator()(const chart::Label& s) {
        p.setPen(color(s.color));
        p.drawText(rect(s.box), alignment(s), QString::fromStdString(s.text));
    }
};

}  // namespace

void paint_shapes(QPainter& painter, const std::vector<chart::Shape>& shapes) {
    ShapePainter draw{painter};
    for (const chart::Shape& shape : shapes) std::visit(draw, shape);
}

ChartView::ChartView(const char* name, QSize hint, QSize least, Layout layout, QWidget* parent)
    : QWidget(parent), hint_(hint), layout_(std::move(layout)) {
    setObjectName(name);
    setMinimumSize(least);
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().window());
    paint_shapes(p, layout_(width(), height()));
}

}  // namespace velkon::ui
