// The few widgets the window needs beyond Qt's own: a button whose caption wraps and never
// clips, the round activity lamp, the tab control that places its children the way the window
// was designed, and the text-fitting rule they share.
#pragma once

#include <QColor>
#include <QFont>
#include <QPushButton>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTabWidget>
#include <QWidget>
#include <utility>
#include <vector>

namespace velkon::ui {

// Draw flags of a caption: centred or top-left, word-wrapped, with or without a mnemonic.
int caption_flags(bool centred, bool mnemonic);

// True when `text` drawn with `font` and `flags` fits inside `box` without clipping.
bool text_fits(const QFont& font, const QString& text, const QSize& box, int flags);

// `base` when the text fits with it; else the largest smaller size (in quarter points, down to
// a readable floor) that fits; the floor when none does.
QFont fitting_font(const QFont& base, const QString& text, const QSize& box, int flags);

// A push button whose caption wraps onto further lines and shrinks its font only when even
// wrapped it would not fit, so captions like "Двигатель ЗАГЛУШЕН" are never clipped. An "&"
// marks the mnemonic, as on any button.
class CaptionButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;
    // The area the caption is drawn in and the font it is drawn with.
    QRect caption_rect() const;
    QFont caption_font() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// The round lamp: a circle as large as the widget allows, centred, filled with one colour.
class Lamp : public QWidget {
    Q_OBJECT
  public:
    using QWidget::QWidget;
    void set_fill(const QColor& color);
    QColor fill() const { return fill_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor fill_ = Qt::yellow;
};

// The tab control. Positions of its pages' children are given relative to the whole control,
// tab strip included, as the window was designed with a strip `kDesignStripPx` high; they are
// mapped onto the page area whatever height this style gives the strip.
class TabControl : public QTabWidget {
    Q_OBJECT
  public:
    static constexpr int kDesignStripPx = 22;

    using QTabWidget::QTabWidget;
    // Places `child` (already a child of one of the pages) at `rect`, in the control's pixels.
    void place(QWidget* child, const QRect& rect);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void relayout();
    std::vector<std::pair<QWidget*, QRect>> placed_;
};

}  // namespace velkon::ui
