#include "ui/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTabBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <optional>

#include "app/configurator.h"
#include "model/window_model.h"
#include "ui/app_look.h"
#include "ui/cp1251_validator.h"
#include "ui/widgets.h"

namespace velkon::ui {

namespace {

using K = ControlKind;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

int pixels(int twips) {
    return static_cast<int>(std::lround(twips / double(MainWindow::kTwipsPerPixel)));
}

QRect pixel_rect(const Rect& r) {
    return QRect(pixels(r.left), pixels(r.top), pixels(r.width), pixels(r.height));
}

// 0x00BBGGRR, or the default or the highlight colour.
QColor qt_color(std::uint32_t color) {
    if (color == kDefaultColor) return {};
    if (color == kHighlightColor) return QApplication::palette().color(QPalette::Highlight);
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

// Only the active and inactive looks: a disabled caption stays grey, as any disabled text.
void set_text_colour(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::WindowText, color);
    widget->setPalette(palette);
}

QStringList qt_items(const std::vector<std::string>& items) {
    QStringList list;
    for (const auto& item : items) list << qs(item);
    return list;
}

QIcon window_icon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 0, 128), 2));
    painter.setBrush(QColor(255, 255, 0));
    painter.drawEllipse(QRectF(2, 2, 28, 28));
    QFont font(kFontFamily);
    font.setPixelSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, "V");
    return QIcon(pixmap);
}

void sync_label(const Control& c, QLabel* label) {
    const QString text = qs(c.text);
    if (label->text() == text) return;  // the font was fitted to it then
    label->setText(text);
    // Texts the logic writes (a long status line) shrink rather than being cut.
    label->setFont(fitting_font(control_font(c.font), text, label->contentsRect().size(),
                                caption_flags(false, false)));
}

void sync_line_edit(const Control& c, QLineEdit* edit) {
    const QString text = qs(c.text);
    if (edit->text() == text) return;
    if (auto* limit = edit->findChild<Cp1251Validator*>()) limit->allow(text);
    edit->setText(text);
}

void sync_button(const Control& c, QAbstractButton* button) {
    if (button->text() != qs(c.text)) {
        button->setText(qs(c.text));
        button->update();
    }
    if (c.kind == K::Button || button->isChecked() == c.checked) return;
    QButtonGroup* group = button->group();
    // An exclusive group refuses to uncheck its checked button.
    if (group && !c.checked) group->setExclusive(false);
    button->setChecked(c.checked);
    if (group) group->setExclusive(true);
}

void sync_tabs(const Control& c, QTabWidget* tabs) {
    for (int page = 0; page < tabs->count() && page < int(c.items.size()); ++page) {
        if (tabs->tabText(page) != qs(c.items[page])) tabs->setTabText(page, qs(c.items[page]));
    }
    if (c.value >= 0 && c.value < tabs->count() && tabs->currentIndex() != c.value)
        tabs->setCurrentIndex(c.value);
}

void sync_bar(const Control& c, QProgressBar* bar) {
    // A range of 0..0 would turn the bar into a busy indicator.
    const int maximum = std::max(c.maximum, 1);
    if (bar->maximum() != maximum) bar->setMaximum(maximum);
    // Qt ignores a value out of range; the bar shows it at the nearest end instead.
    const int value = std::clamp(c.value, bar->minimum(), bar->maximum());
    if (bar->value() != value) bar->setValue(value);
}

}  // namespace

MainWindow::MainWindow(WindowModel& model, Configurator& app, QWidget* parent, Build build)
    : QWidget(parent), model_(model), app_(app) {
    setObjectName("frmSerial");
    setWindowTitle(qs(std::string(kWindowTitle)));
    setWindowIcon(window_icon());
    setFixedSize(pixels(kClientWidthTwips), pixels(kClientHeightTwips));

    const int count = static_cast<int>(model_.controls().size());
    widgets_.assign(count, nullptr);
    timers_.assign(count, nullptr);
    ticking_.assign(count, false);
    std::vector<int> first;
    for (int i = 0; i < count; ++i) {
        const bool now = build == Build::Whole || model_.at(i).kind == K::Timer || shown_now(i);
        (now ? first : later_).push_back(i);
    }
    build_controls(first);
    apply_tab_order();
    model_.set_listener([this](int index) { sync(index); });
}

void MainWindow::build_controls(const std::vector<int>& indices) {
    for (const int i : indices) widgets_[i] = create(model_.at(i));
    for (const int i : indices) attach(i);
    // Every frame: one built earlier may have got children now.
    for (int i = 0; i < static_cast<int>(widgets_.size()); ++i) {
        if (widgets_[i] && model_.at(i).kind == K::Frame) keep_child_colours(i);
    }
    for (const int i : indices) sync(i);
    built_ = true;
    for (const int i : indices) connect_user_signals(i);
}

void MainWindow::finish_building() {
    if (later_.empty()) return;
    const std::vector<int> later = std::move(later_);
    later_.clear();
    build_controls(later);
    // Siblings stacked in the order of the controls, as when built at once.
    for (QWidget* w : widgets_) {
        if (w) w->raise();
    }
    apply_tab_order();
}

bool MainWindow::shown_now(int index) const {
    for (std::optional<int> i = index; i;) {
        const Control& c = model_.at(*i);
        if (!c.visible) return false;
        const auto parent = c.parent.empty() ? std::nullopt : model_.find(c.parent);
        if (!parent) return true;
        const Control& p = model_.at(*parent);
        if (p.kind == K::TabControl) {
            // The page the widget shows: the model's, unless out of range (then the first).
            const int pages = static_cast<int>(p.items.size());
            const int open = p.value >= 0 && p.value < pages ? p.value : 0;
            if (std::clamp(c.page, 0, std::max(pages - 1, 0)) != open) return false;
        }
        i = parent;
    }
    return true;
}

void MainWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // The first frame is being drawn: the rest of the window follows once it is out.
    if (!later_.empty() && !finish_planned_) {
        finish_planned_ = true;
        QTimer::singleShot(0, this, &MainWindow::finish_building);
    }
}

MainWindow::~MainWindow() {
    model_.set_listener(nullptr);
}

QWidget* MainWindow::widget(ControlName name) const {
    return widgets_[model_.index_of(name)];
}

QTimer* MainWindow::timer(ControlName name) const {
    return timers_[model_.index_of(name)];
}

void MainWindow::closeEvent(QCloseEvent* event) {
    app_.request_close();
    event->accept();
}

QWidget* MainWindow::create(const Control& c) {
    QWidget* w = nullptr;
    switch (c.kind) {
        case K::Label: {
            auto* label = new QLabel(this);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = label;
            break;
        }
        case K::TextBox:
            if (c.multiline) {
                auto* edit = new QPlainTextEdit(this);
                edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                w = edit;
            } else {
                auto* edit = new QLineEdit(this);
                if (c.max_bytes > 0) edit->setValidator(new Cp1251Validator(c.max_bytes, edit));
                w = edit;
            }
            break;
        case K::Button: {
            auto* button = new CaptionButton(this);
            if (c.cancel) {
                // The window's cancel button: Esc presses it wherever the focus is, while it is
                // enabled.
                auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
                connect(esc, &QShortcut::activated, button, [button] {
                    if (button->isEnabled() && button->isVisible()) button->click();
                });
            }
            w = button;
            break;
        }
        case K::CheckBox:
            w = new QCheckBox(this);
            break;
        case K::OptionButton: {
            auto* option = new QRadioButton(this);
            QButtonGroup*& group = option_groups_[c.parent];
            if (!group) group = new QButtonGroup(this);
            group->addButton(option);
            w = option;
            break;
        }
        case K::ComboBox: {
            auto* combo = new QComboBox(this);
            combo->setEditable(c.editable);
            combo->setInsertPolicy(QComboBox::NoInsert);
            w = combo;
            break;
        }
        case K::Frame:
            w = new QGroupBox(this);
            break;
        case K::TabControl: {
            auto* tabs = new TabControl(this);
            for (const auto& caption : c.items) tabs->addTab(new QWidget(tabs), qs(caption));
            w = tabs;
            break;
        }
        case K::ProgressBar: {
            auto* bar = new QProgressBar(this);
            bar->setOrientation(Qt::Vertical);
            bar->setTextVisible(false);
            bar->setMinimum(0);
            w = bar;
            break;
        }
        case K::Shape:
            w = new Lamp(this);
            break;
        case K::Timer:
            return nullptr;
    }
    w->setObjectName(qs(c.name));
    w->setFont(control_font(c.font));
    return w;
}

void MainWindow::attach(int index) {
    const Control& c = model_.at(index);
    if (c.kind == K::Timer) {
        auto* timer = new QTimer(this);
        timer->setObjectName(qs(c.name));
        timer->setInterval(c.interval_ms);
        connect(timer, &QTimer::timeout, this, [this, index] { tick(index); });
        timers_[index] = timer;
        return;
    }
    QWidget* w = widgets_[index];
    if (!c.accessible_name.empty()) w->setAccessibleName(qs(c.accessible_name));
    const QRect rect = pixel_rect(c.rect);
    if (c.parent.empty()) {
        w->setGeometry(rect);
        return;
    }
    QWidget* parent = widgets_[*model_.find(c.parent)];
    if (auto* tabs = qobject_cast<TabControl*>(parent)) {
        w->setParent(tabs->widget(std::clamp(c.page, 0, tabs->count() - 1)));
        tabs->place(w, rect);
        return;
    }
    w->setParent(parent);
    w->setGeometry(rect);
}

// A frame's caption colour is the frame's alone: its contents keep the window's text colour.
void MainWindow::keep_child_colours(int frame_index) {
    const QColor colour = qt_color(model_.at(frame_index).color);
    if (!colour.isValid()) return;
    QWidget* frame = widgets_[frame_index];
    set_text_colour(frame, colour);
    const QColor normal = QApplication::palette().color(QPalette::Active, QPalette::WindowText);
    for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        set_text_colour(child, normal);
}

void MainWindow::apply_tab_order() {
    std::vector<std::pair<int, QWidget*>> order;
    for (int i = 0; i < static_cast<int>(widgets_.size()); ++i) {
        QWidget* w = widgets_[i];
        if (!w) continue;
        const int position = model_.at(i).tab_order;
        if (position >= 0) {
            order.emplace_back(position, w);
        } else if (w->focusPolicy() != Qt::NoFocus) {
            w->setFocusPolicy(Qt::NoFocus);  // not in the window's keyboard order
        }
    }
    std::sort(order.begin(), order.end());
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

void MainWindow::connect_user_signals(int index) {
    QWidget* w = widgets_[index];
    if (!w) return;
    if (auto* button = qobject_cast<CaptionButton*>(w)) {
        connect(button, &QPushButton::clicked, this, [this, index] { user_click(index); });
    } else if (auto* box = qobject_cast<QAbstractButton*>(w)) {  // check and option buttons
        // Every change of state, not only a click: a screen reader's toggle action, a test tool
        // or the keyboard changes what the user sees, so it is what must be written. A click
        // changes the state too, so it is counted here once and not again by `clicked`.
        connect(box, &QAbstractButton::toggled, this,
                [this, index](bool checked) { user_checked(index, checked); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        // Every change, not only typing: text put there by a screen reader, an on-screen
        // keyboard or a test tool is what the user sees, so it is what must be written.
        connect(edit, &QLineEdit::textChanged, this,
                [this, index](const QString& text) { user_text(index, text); });
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
        connect(edit, &QPlainTextEdit::textChanged, this,
                [this, index, edit] { user_text(index, edit->toPlainText()); });
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        connect(combo, &QComboBox::activated, this,
                [this, index](int entry) { user_selected(index, entry); });
        if (combo->lineEdit()) {
            connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                    [this, index](const QString& text) { user_text(index, text); });
        }
    } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        connect(tabs, &QTabWidget::currentChanged, this, [this](int page) { user_page(page); });
    }
}

// ---- Model -> widget -------------------------------------------------------------------------

void MainWindow::sync(int index) {
    const Control& c = model_.at(index);
    if (c.kind == K::Timer) {
        sync_timer(c, timers_[index]);
        return;
    }
    QWidget* w = widgets_[index];
    if (!w) {
        // Left for after the first frame, but the model shows it already.
        if (shown_now(index)) finish_building();
        return;
    }
    ++updating_;
    const bool was_hidden = w->isHidden();
    sync_common(c, w);
    if (w->isHidden() != was_hidden) refresh_unseen_texts();
    switch (c.kind) {
        case K::Label:
            sync_label(c, static_cast<QLabel*>(w));
            break;
        case K::TextBox:
            if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                sync_line_edit(c, edit);
            } else {
                sync_multiline(index);
            }
            break;
        case K::Button:
        case K::CheckBox:
        case K::OptionButton:
            sync_button(c, static_cast<QAbstractButton*>(w));
            break;
        case K::ComboBox:
            sync_combo(c, w);
            break;
        case K::Frame:
            if (auto* frame = static_cast<QGroupBox*>(w); frame->title() != qs(c.text))
                frame->setTitle(qs(c.text));
            break;
        case K::TabControl: {
            auto* tabs = static_cast<QTabWidget*>(w);
            if (c.value >= 0 && c.value < tabs->count() && c.value != tabs->currentIndex())
                finish_building();  // another page opens: its widgets must be there
            sync_tabs(c, tabs);
            break;
        }
        case K::ProgressBar:
            sync_bar(c, static_cast<QProgressBar*>(w));
            break;
        case K::Shape:
            static_cast<Lamp*>(w)->set_fill(qt_color(c.color));
            break;
        case K::Timer:
            break;
    }
    --updating_;
}

void MainWindow::sync_common(const Control& c, QWidget* w) {
    // The widget's own flag: a disabled parent (the tab control, a frame) disables it anyway.
    if (w->testAttribute(Qt::WA_ForceDisabled) == c.enabled) w->setEnabled(c.enabled);
    if (w->isHidden() == c.visible) w->setVisible(c.visible);
    if (w->toolTip() != qs(c.tooltip)) w->setToolTip(qs(c.tooltip));
}

void MainWindow::sync_combo(const Control& c, QWidget* w) {
    auto* combo = static_cast<QComboBox*>(w);
    const QStringList items = qt_items(c.items);
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
    // Rebuilt only when the list really changed, so an open list stays usable while the port
    // scan refills it with the same names.
    if (shown != items) {
        combo->clear();
        combo->addItems(items);
    }
    const QString text = qs(c.text);
    if (!combo->isEditable()) {
        combo->setPlaceholderText(text);  // shown while no entry is selected
        if (combo->currentIndex() != c.selected) combo->setCurrentIndex(c.selected);
        return;
    }
    // With an edit part, no selection means the typed text stands on its own.
    if (c.selected >= 0 && combo->currentIndex() != c.selected) combo->setCurrentIndex(c.selected);
    if (c.selected < 0 && combo->currentText() != text) combo->setEditText(text);
}

void MainWindow::sync_multiline(int index) {
    auto* edit = static_cast<QPlainTextEdit*>(widgets_[index]);
    if (built_ && !edit->isVisibleTo(this)) {
        unseen_texts_.insert(index);
        return;
    }
    unseen_texts_.erase(index);
    QString text = qs(model_.at(index).text);
    text.replace("\r\n", "\n");  // as the box keeps its lines
    if (edit->toPlainText() == text) return;
    edit->setPlainText(text);
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());  // the latest
}

void MainWindow::refresh_unseen_texts() {
    const std::set<int> unseen = unseen_texts_;
    for (const int index : unseen) {
        if (widgets_[index]->isVisibleTo(this)) sync_multiline(index);
    }
}

void MainWindow::sync_timer(const Control& c, QTimer* timer) {
    if (!timer) return;
    if (timer->interval() != c.interval_ms) timer->setInterval(c.interval_ms);
    if (c.enabled && !timer->isActive()) timer->start();
    if (!c.enabled && timer->isActive()) timer->stop();
}

// ---- Widget -> model -------------------------------------------------------------------------

void MainWindow::user_text(int index, const QString& text) {
    if (updating_) return;
    const Control& c = model_.at(index);
    const ControlName name = model_.name_at(index);
    const std::string typed = text.toStdString();
    if (c.kind == K::ComboBox) {
        // Typing in the edit part selects the entry it spells, or none.
        const auto match = std::find(c.items.begin(), c.items.end(), typed);
        model_.set_selected(name, match == c.items.end() ? -1 : int(match - c.items.begin()));
    }
    model_.set_text(name, typed);
    app_.on_event(index, ControlEvent::Change);
}

void MainWindow::user_checked(int index, bool checked) {
    if (updating_) return;
    const Control& c = model_.at(index);
    model_.set_checked(model_.name_at(index), checked);
    // An option button cleared because another one of its group was chosen is the other half
    // of that one change: only the chosen one has its Click.
    if (c.kind == K::OptionButton && !checked) return;
    app_.on_event(index, ControlEvent::Click);
}

void MainWindow::user_selected(int index, int entry) {
    if (updating_) return;
    model_.set_selected(model_.name_at(index), entry);
}

void MainWindow::user_page(int page) {
    finish_building();  // the page opened shows its widgets at once
    if (updating_) return;
    model_.set_tab(page);
}

void MainWindow::user_click(int index) {
    if (updating_) return;
    app_.on_event(index, ControlEvent::Click);
}

void MainWindow::tick(int index) {
    // A message box inside a tick handler runs its own event loop; the same timer must not
    // start a second tick inside the first.
    if (ticking_[index]) return;
    ticking_[index] = true;
    app_.on_event(index, ControlEvent::Timer);
    ticking_[index] = false;
}

}  // namespace velkon::ui
