// Every control of the model has its widget, at its place, with its text; nothing visible is
// clipped by its parent, overlaps a neighbour, or shows a caption that does not fit.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyleOptionGroupBox>
#include <QTabWidget>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>

#include "model/window_model.h"
#include "ui/app_look.h"
#include "ui/widgets.h"
#include "window_fixture.h"

namespace velkon::testing {
namespace {

int px(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

QRect pixel_rect(const Rect& r) {
    return QRect(px(r.left), px(r.top), px(r.width), px(r.height));
}

// The text a widget shows, whatever its kind.
std::optional<QString> shown_text(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) return edit->toPlainText();
    if (auto* frame = qobject_cast<QGroupBox*>(w)) return frame->title();
    return std::nullopt;
}

bool inside_client_area(const Control& c) {
    return c.rect.left < kClientWidthTwips && c.rect.top < kClientHeightTwips;
}

// Shown when its page is: not hidden itself nor below a hidden frame, and inside the window.
bool seen(const WindowModel& model, const Control& c) {
    for (const Control* p = &c;; p = &model[ControlName(p->parent)]) {
        if (!p->visible || !inside_client_area(*p)) return false;
        if (p->parent.empty() || p->parent == ctl::SSTab1) return true;
    }
}

using Layout = WindowTest;

TEST_F(Layout, EveryControlHasItsWidgetWithItsNameTextAndVisibility) {
    for (const Control& c : f.model.controls()) {
        SCOPED_TRACE(c.name);
        if (c.kind == ControlKind::Timer) {
            ASSERT_NE(window.timer(ControlName(c.name)), nullptr);
            continue;
        }
        QWidget* w = window.widget(ControlName(c.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->objectName().toStdString(), c.name);
        EXPECT_EQ(w->isHidden(), !c.visible);
        EXPECT_EQ(w->toolTip().toStdString(), c.tooltip);
        if (const auto text = shown_text(w)) {
            EXPECT_EQ(text->toStdString(), c.text);
        }
    }
}

TEST_F(Layout, CaptionsAndTextsAsTheWindowShowsThem) {
    const std::map<ControlName, std::string> expected = {
        {ctl::Frame2, "Связь"},
        {ctl::BTNOpenCom, "Открыть порт"},
        {ctl::BTNCloseCom, "Закрыть порт"},
        {ctl::Label31, "Сер. N"},
        {ctl::vPo, "------------"},
        {ctl::bp_off, "Двигатель ЗАГЛУШЕН"},
        {ctl::Set_mode, "&Установить"},
        {ctl::uroven, "нет данных"},
        {ctl::Label13, "Период отправки  доп. параметров, сек"},
        {ctl::time_otpr, "60"},
        {ctl::Frame10, "Настройки сервера"},
        {ctl::port_serv, "20332"},
        {ctl::pwd_serv, "не трогай"},
        {ctl::imei, "NOT READ"},
    };
    for (const auto& [name, text] : expected)
        EXPECT_EQ(shown_text(window.widget(name)).value_or("?").toStdString(), text) << name;
    auto* tabs = widget<QTabWidget>(ctl::SSTab1);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "Датчик");
    EXPECT_EQ(tabs->tabText(1), "Трекер");
    EXPECT_EQ(tabs->tabText(2), "Сервер");
    EXPECT_EQ(window.windowTitle(), "Конфигуратор Velkon");
    EXPECT_EQ(window.size(), QSize(640, 380));
}

// Positions are twips / 15 relative to the parent; the tab control's children keep their
// design positions across, and down by one offset shared by all, fitting this style's strip.
TEST_F(Layout, EveryControlStandsAtItsPlace) {
    auto* tabs = widget<QTabWidget>(ctl::SSTab1);
    std::optional<int> tab_offset;
    for (const Control& c : f.model.controls()) {
        if (c.kind == ControlKind::Timer) continue;
        SCOPED_TRACE(c.name);
        QWidget* w = window.widget(ControlName(c.name));
        const QRect design = pixel_rect(c.rect);
        EXPECT_EQ(w->size(), design.size());
        if (c.parent != ctl::SSTab1) {
            EXPECT_EQ(w->pos(), design.topLeft());
            continue;
        }
        const QPoint in_tabs = w->mapTo(tabs, QPoint(0, 0));
        EXPECT_EQ(in_tabs.x(), design.left());
        if (!tab_offset) tab_offset = in_tabs.y() - design.top();
        EXPECT_EQ(in_tabs.y() - design.top(), *tab_offset);
    }
    ASSERT_TRUE(tab_offset.has_value());
    EXPECT_LE(std::abs(*tab_offset), 8);
}

// The area a child may use: the window, a page, or a frame below its caption.
QRect usable_area(QWidget* parent) {
    if (auto* frame = qobject_cast<QGroupBox*>(parent)) {
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect caption = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                             QStyle::SC_GroupBoxLabel, frame);
        return frame->rect().adjusted(1, caption.bottom() + 1, -1, -1);
    }
    // The pages of the tab control share the place of the page shown.
    QWidget* stack = parent->parentWidget();
    if (auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr)
        return QRect(QPoint(0, 0), tabs->currentWidget()->size());
    return parent->rect();
}

TEST_F(Layout, NothingSeenIsClippedByItsParentOrOverlapsANeighbour) {
    std::map<QWidget*, std::vector<std::pair<std::string, QRect>>> by_parent;
    for (const Control& c : f.model.controls()) {
        if (c.kind == ControlKind::Timer || !seen(f.model, c)) continue;
        QWidget* w = window.widget(ControlName(c.name));
        EXPECT_TRUE(usable_area(w->parentWidget()).contains(w->geometry()))
            << c.name << " is clipped by " << c.parent;
        by_parent[w->parentWidget()].emplace_back(c.name, w->geometry());
    }
    for (const auto& [parent, children] : by_parent) {
        for (std::size_t i = 0; i < children.size(); ++i) {
            for (std::size_t j = i + 1; j < children.size(); ++j) {
                EXPECT_FALSE(children[i].second.intersects(children[j].second))
                    << children[i].first << " overlaps " << children[j].first;
            }
        }
    }
}

// The window's own captions fit at their designed font sizes; buttons may wrap.
TEST_F(Layout, CaptionsFitAtTheirDesignedFonts) {
    for (const Control& c : f.model.controls()) {
        if (c.kind == ControlKind::Timer || !seen(f.model, c) || c.text.empty()) continue;
        SCOPED_TRACE(c.name);
        QWidget* w = window.widget(ControlName(c.name));
        const QFont font = ui::control_font(c.font);
        const QString text = QString::fromStdString(c.text);
        if (auto* button = qobject_cast<ui::CaptionButton*>(w)) {
            EXPECT_TRUE(ui::text_fits(font, text, button->caption_rect().size(),
                                      ui::caption_flags(true, true)));
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_TRUE(ui::text_fits(label->font(), text, label->contentsRect().size(),
                                      ui::caption_flags(false, false)));
            // The window's own size for the send-period caption is a pixel short of two lines
            // of this font: there it may be drawn half a point smaller.
            const double slack = c.name == ctl::Label13 ? 0.5 : 0.0;
            EXPECT_GE(label->font().pointSizeF(), c.font.points - slack);
        } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
            EXPECT_LE(QFontMetrics(font).horizontalAdvance(text), frame->width() - 16);
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            EXPECT_LE(QFontMetrics(font).horizontalAdvance(text), edit->width() - 8);
        }
    }
}

// Texts the logic writes later shrink until they fit rather than being cut.
TEST_F(Layout, ALongStatusTextShrinksUntilItFits) {
    f.model.set_text(ctl::MsgCom, " Установлен верхний уровень.");
    auto* status = widget<QLabel>(ctl::MsgCom);
    EXPECT_TRUE(ui::text_fits(status->font(), status->text(), status->contentsRect().size(),
                              ui::caption_flags(false, false)));
    EXPECT_LE(status->font().pointSizeF(), 13.5);
    EXPECT_TRUE(status->font().bold());

    f.model.set_text(ctl::MsgCom, "OK");
    EXPECT_EQ(status->font().pointSizeF(), 13.5);
}

}  // namespace
}  // namespace velkon::testing
