#include "ui/widgets.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace velkon::ui {

namespace {

// Below this a caption is no longer comfortably readable; fitting stops here.
constexpr double kFloorPoints = 6.0;

}  // namespace

int caption_flags(bool centred, bool mnemonic) {
    int flags = Qt::TextWordWrap;
    flags |= centred ? int(Qt::AlignCenter) : int(Qt::AlignLeft | Qt::AlignTop);
    if (mnemonic) flags |= Qt::TextShowMnemonic;
    return flags;
}

bool text_fits(const QFont& font, const QString& text, const QSize& box, int flags) {
    if (text.isEmpty()) return true;
    const QFontMetrics metrics(font);
    const QRect needed = metrics.boundingRect(QRect(0, 0, box.width(), 1 << 20), flags, text);
    return needed.width() <= box.width() && needed.height() <= box.height();
}

QFont fitting_font(const QFont& base, const QString& text, const QSize& box, int flags) {
    if (text_fits(base, text, box, flags)) return base;
    QFont font = base;
    for (double points = base.pointSizeF() - 0.25; points >= kFloorPoints; points -= 0.25) {
        font.setPointSizeF(points);
        if (text_fits(font, text, box, flags)) return font;
    }
    font.setPointSizeF(kFloorPoints);
    return font;
}

QRect CaptionButton::caption_rect() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

QFont CaptionButton::caption_font() const {
    return fitting_font(font(), text(), caption_rect().size(), caption_flags(true, true));
}

void CaptionButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();  // the bevel and focus frame only; the caption is ours
    painter.drawControl(QStyle::CE_PushButton, option);
    int flags = caption_flags(true, true);
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this))
        flags |= Qt::TextHideMnemonic;
    painter.setFont(caption_font());
    style()->drawItemText(&painter, caption_rect(), flags, option.palette, isEnabled(), caption,
                          QPalette::ButtonText);
}

void Lamp::set_fill(const QColor& color) {
    if (color == fill_) return;
    fill_ = color;
    update();
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal diameter = qMin(width(), height()) - 1.0;
    const QRectF circle((width() - diameter) / 2.0, (height() - diameter) / 2.0, diameter,
                        diameter);
    painter.setPen(QPen(Qt::black, 1.0));
    painter.setBrush(fill_);
    painter.drawEllipse(circle);
}

void TabControl::place(QWidget* child, const QRect& rect) {
    placed_.emplace_back(child, rect);
    relayout();
}

void TabControl::resizeEvent(QResizeEvent* event) {
    QTabWidget::resizeEvent(event);
    relayout();
}

void TabControl::showEvent(QShowEvent* event) {
    QTabWidget::showEvent(event);
    relayout();
}

void TabControl::relayout() {
    if (count() == 0) return;
    // The pages share one place, given to the page shown.
    const QPoint origin = currentWidget()->mapTo(this, QPoint(0, 0));
    for (const auto& [child, rect] : placed_)
        child->setGeometry(rect.translated(-origin.x(), -kDesignStripPx));
}

}  // namespace velkon::ui
