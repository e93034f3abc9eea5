// The window and the model in step both ways, clicks and ticks reaching their handlers, the
// keyboard order, the byte limit of the fixed-width text boxes, and the close request.
#include <QAccessible>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "tracker/record.h"
#include "ui/widgets.h"
#include "window_fixture.h"

namespace velkon::testing {
namespace {

using Window = WindowTest;

bool own_enabled(QWidget* w) {
    return !w->testAttribute(Qt::WA_ForceDisabled);
}

TEST_F(Window, BeforeTheLinkOpensOnlyThePortControlsAreUsable) {
    f.app.start();
    auto* tabs = widget<QTabWidget>(ctl::SSTab1);
    EXPECT_FALSE(tabs->isEnabled());
    EXPECT_EQ(tabs->currentIndex(), 0);
    // Tag 2 keeps the button itself enabled, but the disabled tab control holds it.
    EXPECT_TRUE(own_enabled(widget(ctl::Command3)));
    EXPECT_FALSE(widget(ctl::Command3)->isEnabled());
    for (ControlName name : {ctl::BTNOpenCom, ctl::CmbPort, ctl::Frame2})
        EXPECT_TRUE(widget(name)->isEnabled()) << name;
    for (ControlName name :
         {ctl::BTNCloseCom, ctl::Chg_pass, ctl::Vvod_PWD, ctl::MsgCom, ctl::sern})
        EXPECT_FALSE(widget(name)->isEnabled()) << name;
    EXPECT_TRUE(window.timer(ctl::Timer1)->isActive());
    EXPECT_EQ(window.timer(ctl::Timer1)->interval(), 100);
    EXPECT_FALSE(window.timer(ctl::TMRComm)->isActive());
}

TEST_F(Window, TimerTicksRunTheirHandlers) {
    f.app.start();
    f.lister.entries = {{"ttyUSB0", "/dev/ttyUSB0"}, {"ttyUSB1", "/dev/ttyUSB1"}};
    ASSERT_TRUE(QMetaObject::invokeMethod(window.timer(ctl::Timer1), "timeout"));
    auto* ports = widget<QComboBox>(ctl::CmbPort);
    ASSERT_EQ(ports->count(), 2);
    EXPECT_EQ(ports->itemText(1), "ttyUSB1");
    EXPECT_EQ(ports->currentIndex(), 0);
}

TEST_F(Window, OpenAndCloseClicksRunTheirHandlersAndTheTimersFollow) {
    open_link();
    EXPECT_EQ(f.port.opened_path, "/dev/ttyUSB0");
    EXPECT_TRUE(widget(ctl::SSTab1)->isEnabled());
    EXPECT_TRUE(widget(ctl::Command3)->isEnabled());
    EXPECT_TRUE(widget(ctl::BTNCloseCom)->isEnabled());
    EXPECT_FALSE(widget(ctl::BTNOpenCom)->isEnabled());
    EXPECT_FALSE(widget(ctl::D_4096)->isEnabled());  // needs a newer sensor
    EXPECT_FALSE(window.timer(ctl::Timer1)->isActive());
    EXPECT_TRUE(window.timer(ctl::TMRComm)->isActive());
    EXPECT_EQ(window.timer(ctl::TMRComm)->interval(), 500);

    widget<QAbstractButton>(ctl::BTNCloseCom)->click();
    EXPECT_FALSE(f.port.is_open());
    EXPECT_FALSE(widget(ctl::SSTab1)->isEnabled());
    EXPECT_TRUE(widget(ctl::BTNOpenCom)->isEnabled());
    EXPECT_TRUE(window.timer(ctl::Timer1)->isActive());
    EXPECT_FALSE(window.timer(ctl::TMRComm)->isActive());
    EXPECT_EQ(widget<ui::Lamp>(ctl::Pic)->fill(), QColor(255, 255, 16));
}

// Esc presses «Закрыть порт», the window's cancel button, while it is enabled.
TEST_F(Window, EscClosesTheLink) {
    open_link();
    QShortcut* esc = nullptr;
    for (QShortcut* s : window.findChildren<QShortcut*>()) {
        if (s->key() == QKeySequence(Qt::Key_Escape)) esc = s;
    }
    ASSERT_NE(esc, nullptr);
    emit esc->activated();
    EXPECT_FALSE(f.port.is_open());
    EXPECT_TRUE(widget(ctl::BTNOpenCom)->isEnabled());
    emit esc->activated();  // nothing to press now
    EXPECT_FALSE(f.port.is_open());
}

TEST_F(Window, AClickOnAHiddenCommandRunsItsHandlerToo) {
    f.dialogs.inputs = {"1.5"};
    widget<QAbstractButton>(ctl::Command2)->click();
    ASSERT_EQ(f.dialogs.messages.size(), 1u);
    EXPECT_EQ(f.dialogs.messages[0].text, "1,5");
}

TEST_F(Window, WhatTheLogicWritesAppearsAtOnce) {
    f.model.set_text(ctl::MsgCom, " Установлен верхний уровень.");
    EXPECT_EQ(widget<QLabel>(ctl::MsgCom)->text(), " Установлен верхний уровень.");
    f.model.set_text(ctl::apn, "internet");
    EXPECT_EQ(widget<QLineEdit>(ctl::apn)->text(), "internet");
    f.model.set_checked(ctl::Check3, true);
    EXPECT_TRUE(widget<QCheckBox>(ctl::Check3)->isChecked());
    f.model.set_enabled(ctl::time_otpr, true);
    EXPECT_TRUE(own_enabled(widget(ctl::time_otpr)));
    f.model.set_tooltip(ctl::gorizont, "Горизонт датчика");
    EXPECT_EQ(widget(ctl::gorizont)->toolTip(), "Горизонт датчика");
    f.model.set_visible(ctl::EGTS_prot, false);
    f.model.set_visible(ctl::Label42, false);
    EXPECT_TRUE(widget(ctl::EGTS_prot)->isHidden());
    EXPECT_TRUE(widget(ctl::Label42)->isHidden());
    f.model.set_visible(ctl::EGTS_prot, true);
    EXPECT_FALSE(widget(ctl::EGTS_prot)->isHidden());

    f.model.set_color(ctl::Pic, kLampRed);
    EXPECT_EQ(widget<ui::Lamp>(ctl::Pic)->fill(), QColor(255, 0, 0));
    f.model.set_color(ctl::Pic, kLampGrey);
    EXPECT_EQ(widget<ui::Lamp>(ctl::Pic)->fill(), QColor(128, 128, 128));

    auto* bar = widget<QProgressBar>(ctl::ProgressBar1);
    EXPECT_EQ(bar->orientation(), Qt::Vertical);
    EXPECT_EQ(bar->maximum(), 1024);
    f.model.set_value(ctl::ProgressBar1, 512);
    EXPECT_EQ(bar->value(), 512);
    f.model.set_value(ctl::ProgressBar1, 5000);  // beyond the scale: shown full
    EXPECT_EQ(bar->value(), 1024);
    f.model.set_maximum(ctl::ProgressBar1, 4096);
    f.model.set_value(ctl::ProgressBar1, 3000);
    EXPECT_EQ(bar->value(), 3000);

    f.model.set_items(ctl::CmbPort, {"ttyUSB0", "ttyUSB3"});
    f.model.set_selected(ctl::CmbPort, 1);
    auto* ports = widget<QComboBox>(ctl::CmbPort);
    ASSERT_EQ(ports->count(), 2);
    EXPECT_EQ(ports->currentText(), "ttyUSB3");

    f.model.set_tab(2);
    EXPECT_EQ(widget<QTabWidget>(ctl::SSTab1)->currentIndex(), 2);
}

// The traffic monitor's frame is never shown, so its text reaches the widget only once it is.
TEST_F(Window, ATextOutOfSightIsShownOnceItsBoxIs) {
    f.model.set_text(ctl::txtRec, "31 01 F0 C5\r\n");
    f.model.set_text(ctl::strText, "1");
    f.model.set_visible(ctl::Frame1, true);
    EXPECT_EQ(widget<QPlainTextEdit>(ctl::txtRec)->toPlainText(), "31 01 F0 C5\n");
    f.model.set_text(ctl::txtRec, "3E 01 F0\r\n");
    EXPECT_EQ(widget<QPlainTextEdit>(ctl::txtRec)->toPlainText(), "3E 01 F0\n");
    f.model.set_visible(ctl::strText, true);
    EXPECT_EQ(widget<QPlainTextEdit>(ctl::strText)->toPlainText(), "1");
}

TEST_F(Window, OptionButtonsOfAFrameAreOneGroupInTheWidgetsToo) {
    f.model.set_checked(ctl::r12, true);
    EXPECT_TRUE(widget<QRadioButton>(ctl::r12)->isChecked());
    EXPECT_FALSE(widget<QRadioButton>(ctl::r11)->isChecked());
    EXPECT_TRUE(widget<QRadioButton>(ctl::r21)->isChecked());  // the other input's group
    // The logic may leave a group with none selected; the widgets follow.
    f.model.set_checked(ctl::r12, false);
    EXPECT_FALSE(widget<QRadioButton>(ctl::r12)->isChecked());
    EXPECT_EQ(widget<QRadioButton>(ctl::r12)->group()->checkedButton(), nullptr);

    f.model.set_enabled(ctl::Frame11, true);
    f.model.set_enabled(ctl::r13, true);
    widget<QRadioButton>(ctl::r13)->click();
    EXPECT_TRUE(f.model.checked(ctl::r13));
    EXPECT_FALSE(f.model.checked(ctl::r11));
    EXPECT_FALSE(f.model.checked(ctl::r12));
}

TEST_F(Window, WhatTheUserDoesReachesTheModelAtOnce) {
    open_link();
    auto* period = widget<QLineEdit>(ctl::time_otpr);
    period->selectAll();
    type(period, "120");
    EXPECT_EQ(f.model.text(ctl::time_otpr), "120");  // in order: no echo moved the cursor

    widget<QCheckBox>(ctl::Check5)->click();
    EXPECT_TRUE(f.model.checked(ctl::Check5));
    widget<QCheckBox>(ctl::Check5)->click();
    EXPECT_FALSE(f.model.checked(ctl::Check5));

    auto* tabs = widget<QTabWidget>(ctl::SSTab1);
    tabs->tabBar()->setCurrentIndex(1);
    EXPECT_EQ(f.model.tab(), 1);

    f.model.set_items(ctl::CmbPort, {"ttyUSB0", "ttyUSB1"});
    f.model.set_selected(ctl::CmbPort, 0);
    f.model.set_enabled(ctl::CmbPort, true);
    press_key(widget(ctl::CmbPort), Qt::Key_Down);
    EXPECT_EQ(f.model.selected(ctl::CmbPort), 1);
}

// A screen reader tells the boxes apart: each is called by the caption drawn beside it, not by
// its frame's title, and no two boxes of one frame share a name.
TEST_F(Window, EveryBoxHasItsOwnAccessibleName) {
    const std::pair<ControlName, QString> spots[] = {
        {ctl::Check3, "Канал 3"},          {ctl::Check8, "Канал 8"},
        {ctl::usredn, "Сглаживание"},      {ctl::D_4096, "Диапазон 4096"},
        {ctl::R_a, "Аналоговый Режим"},    {ctl::iinv, "Инверсия индикатора"},
        {ctl::EGTS_prot, "Протокол ЕГТС"}, {ctl::r22, "Частотный"},
    };
    for (const auto& [name, expected] : spots) {
        EXPECT_EQ(QAccessible::queryAccessibleInterface(widget(name))->text(QAccessible::Name),
                  expected)
            << name;
    }
    std::map<std::string, std::set<QString>> by_frame;
    for (const Control& c : f.model.controls()) {
        if (c.kind != ControlKind::CheckBox && c.kind != ControlKind::OptionButton) continue;
        const QString said = QAccessible::queryAccessibleInterface(widget(ControlName(c.name)))
                                 ->text(QAccessible::Name);
        EXPECT_FALSE(said.isEmpty()) << c.name;
        EXPECT_TRUE(by_frame[c.parent].insert(said).second)
            << c.name << " shares «" << said.toStdString() << "»";
    }
}

// Text put into an edit by anything but the keyboard (a screen reader, an on-screen keyboard,
// a test tool) is what the user sees, so it is what the model holds and what is written.
TEST_F(Window, TheModelFollowsEveryChangeOfAnEditWhateverMadeIt) {
    open_link();
    take_fields_as_read(f.app);
    auto* apn = widget<QLineEdit>(ctl::apn);
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(apn);
    ASSERT_NE(access, nullptr);
    ASSERT_NE(access->editableTextInterface(), nullptr);
    access->editableTextInterface()->replaceText(0, apn->text().size(), "m2m.example");
    EXPECT_EQ(apn->text(), "m2m.example");
    EXPECT_EQ(f.model.text(ctl::apn), "m2m.example");

    widget<QLineEdit>(ctl::port_serv)->setText("8080");
    EXPECT_EQ(f.model.text(ctl::port_serv), "8080");
    f.app.fire(ctl::setdata);
    EXPECT_NE(f.vars().wrs.find("m2m.example"), std::string::npos);
}

// The same for check boxes and option buttons: a screen reader's toggle action, a test tool or
// the keyboard changes what the user sees without a click, and the unit must receive that.
TEST_F(Window, TheModelFollowsEveryChangeOfACheckBoxWhateverMadeIt) {
    open_link();
    take_fields_as_read(f.app);
    for (ControlName name : {ctl::Frame11, ctl::r11, ctl::r12, ctl::r13})
        f.model.set_enabled(name, true);
    struct Way {
        const char* name;
        std::function<void(QAbstractButton*)> change;
    };
    const Way ways[] = {
        {"setChecked", [](QAbstractButton* b) { b->setChecked(!b->isChecked()); }},
        {"toggle", [](QAbstractButton* b) { b->toggle(); }},
        {"accessible toggle action",
         [](QAbstractButton* b) {
             QAccessibleInterface* access = QAccessible::queryAccessibleInterface(b);
             ASSERT_NE(access, nullptr);
             ASSERT_NE(access->actionInterface(), nullptr);
             access->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
         }},
        {"space key",
         [](QAbstractButton* b) {
             QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
             QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
             QApplication::sendEvent(b, &press);
             QApplication::sendEvent(b, &release);
         }},
        {"click", [](QAbstractButton* b) { b->click(); }},
    };
    // Two channels, the EGTS flag, and an option button of input 1's mode chosen from another.
    const ControlName names[] = {ctl::Check1, ctl::Check3, ctl::EGTS_prot, ctl::r13};
    for (const Way& way : ways) {
        for (ControlName name : names) {
            SCOPED_TRACE(std::string(way.name) + " " + name.str());
            auto* box = widget<QAbstractButton>(name);
            if (name == ctl::r13) f.model.set_checked(ctl::r11, true);
            const bool before = box->isChecked();
            way.change(box);
            ASSERT_NE(box->isChecked(), before);
            EXPECT_EQ(f.model.checked(name), box->isChecked());
            if (name == ctl::r13) {
                EXPECT_FALSE(f.model.checked(ctl::r11));
            }
        }
    }

    // What the write sends is what the boxes show.
    auto* access = QAccessible::queryAccessibleInterface(widget(ctl::Check1));
    access->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    ASSERT_TRUE(f.app.fire(ctl::setdata));
    const std::string& frame = f.vars().wrs;
    ASSERT_EQ(frame.size(), kConfigFrameSize);
    int flags = 0;
    for (const ConfigField& field : tracker_config_layout()) {
        if (field.kind != FieldKind::Flag) continue;
        ++flags;
        const ControlName name = field.control;
        SCOPED_TRACE(name.str());
        const bool sent = (static_cast<unsigned char>(frame[field.position - 1]) & field.mask) != 0;
        EXPECT_EQ(sent, widget<QAbstractButton>(name)->isChecked());
    }
    EXPECT_GT(flags, 0);
}

TEST_F(Window, EditingTheAddressBoxRunsItsChangeHandler) {
    open_link();
    auto* address = widget<QComboBox>(ctl::CmbNet)->lineEdit();
    ASSERT_NE(address, nullptr);
    f.vars().wrs = "pending";
    address->end(false);
    type(address, "5");
    EXPECT_EQ(f.model.text(ctl::CmbNet), "05");
    EXPECT_EQ(f.model.selected(ctl::CmbNet), -1);
    EXPECT_EQ(f.vars().wrs, "");  // no entry selected: nothing pending
    press_key(address, Qt::Key_Backspace);
    EXPECT_EQ(f.model.selected(ctl::CmbNet), 0);
    EXPECT_EQ(f.vars().wrs, version_request(f.model));
    EXPECT_FALSE(f.vars().wrs.empty());
}

TEST_F(Window, TheAccessPointTakesAtMostThirtyCodePageBytes) {
    open_link();
    f.model.set_tab(2);
    auto* apn = widget<QLineEdit>(ctl::apn);
    apn->clear();
    type(apn, QString(35, QChar(0x044F)));  // Cyrillic letters: one byte each
    EXPECT_EQ(f.model.text(ctl::apn), QString(30, QChar(0x044F)).toStdString());
    apn->clear();
    type(apn, QString("ab") + QChar(0x4E2D) + "c");  // a character the code page lacks
    EXPECT_EQ(f.model.text(ctl::apn), "abc");

    // A text the program put there beyond the limit can still be shortened, not lengthened.
    f.model.set_text(ctl::apn, std::string(32, 'x'));
    apn->end(false);
    type(apn, "y");
    EXPECT_EQ(apn->text().size(), 32);
    press_key(apn, Qt::Key_Backspace);
    EXPECT_EQ(f.model.text(ctl::apn), std::string(31, 'x'));
}

TEST_F(Window, KeyboardOrderIsTheWindowsOrder) {
    std::vector<std::string> chain;
    QWidget* start = widget(ctl::BTNOpenCom);
    QWidget* w = start;
    do {
        const auto index = f.model.find(w->objectName().toStdString());
        if (index && f.model.at(*index).tab_order >= 0) chain.push_back(f.model.at(*index).name);
        w = w->nextInFocusChain();
    } while (w != start);
    // The window's order is the model's: every control that takes focus, by its place in it.
    std::vector<const Control*> takes_focus;
    for (const Control& c : f.model.controls()) {
        if (c.tab_order >= 0) takes_focus.push_back(&c);
    }
    std::sort(takes_focus.begin(), takes_focus.end(),
              [](const Control* a, const Control* b) { return a->tab_order < b->tab_order; });
    std::vector<std::string> expected;
    for (const Control* c : takes_focus) expected.push_back(c->name);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(chain, expected);
}

TEST_F(Window, ClosingTheWindowClosesTheLinkAndEndsTheProgram) {
    open_link();
    int ended = 0;
    f.app.shell().on_end_program = [&] { ++ended; };
    window.close();
    EXPECT_FALSE(f.port.is_open());
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(window.timer(ctl::TMRComm)->isActive());
}

// Each page with the link open; VELKON_UI_SHOTS=<folder> also saves them as pictures to look at.
TEST_F(Window, EveryPageShowsWithTheLinkOpen) {
    open_link();
    f.model.enable_tag_163();
    const char* folder = std::getenv("VELKON_UI_SHOTS");
    auto* tabs = widget<QTabWidget>(ctl::SSTab1);
    for (int page = 0; page < 3; ++page) {
        f.model.set_tab(page);
        EXPECT_EQ(tabs->currentIndex(), page);
        const QPixmap shot = window.grab();
        EXPECT_EQ(shot.size(), QSize(640, 380) * shot.devicePixelRatio());
        if (folder) shot.save(QDir(folder).filePath(QString("page-%1.png").arg(page)));
    }
}

// The program builds its window first-frame-first: what the first frame shows at once, the rest
// once that frame is drawn, or as soon as the model shows a part of it.
std::unique_ptr<ui::MainWindow> first_frame_first(FormFixture& f) {
    return std::make_unique<ui::MainWindow>(f.model, f.app, nullptr,
                                            ui::MainWindow::Build::FirstFrameFirst);
}

// What a widget looks like and where it stands: its kind, its place among its siblings and in
// the window, its text, font, colour and whether it is shown, usable and reached by Tab.
std::string look_of(QWidget* w, QWidget* window) {
    if (!w) return "none";
    QWidget* parent = w->parentWidget();
    const auto siblings = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    const QRect at(w->mapTo(window, QPoint(0, 0)), w->size());
    QString text;
    for (const char* property : {"text", "title", "currentText"}) {
        if (w->property(property).isValid()) text += w->property(property).toString() + "|";
    }
    return QString("%1 %2/%3 #%4 (%5,%6 %7x%8) %9 %10 %11 shown=%12 enabled=%13 focus=%14")
        .arg(w->metaObject()->className(), parent->metaObject()->className(), parent->objectName())
        .arg(siblings.indexOf(w))
        .arg(at.x())
        .arg(at.y())
        .arg(at.width())
        .arg(at.height())
        .arg(text, w->font().toString(), w->palette().color(QPalette::WindowText).name())
        .arg(w->isVisibleTo(window))
        .arg(w->isEnabled())
        .arg(int(w->focusPolicy()))
        .toStdString();
}

TEST(WindowFirstFrameFirst, IsTheWindowBuiltAtOnceAfterItsFirstFrame) {
    FormFixture whole_f, first_f;
    ui::MainWindow whole(whole_f.model, whole_f.app);
    const auto first = first_frame_first(first_f);
    whole_f.app.start();
    first_f.app.start();
    EXPECT_NE(first->widget(ctl::CmbPort), nullptr);
    EXPECT_NE(first->widget(ctl::ProgressBar1), nullptr);  // on the page open at start
    EXPECT_EQ(first->widget(ctl::Frame14), nullptr);       // on another
    EXPECT_EQ(first->widget(ctl::changed_mark), nullptr);  // hidden
    EXPECT_TRUE(first->timer(ctl::Timer1)->isActive());

    whole.show();
    first->show();
    for (int i = 0; i < 100 && !first->fully_built(); ++i) QCoreApplication::processEvents();
    ASSERT_TRUE(first->fully_built());
    for (const Control& c : first_f.model.controls()) {
        const ControlName name(c.name);
        EXPECT_EQ(look_of(first->widget(name), first.get()), look_of(whole.widget(name), &whole))
            << name;
    }
    // The same keyboard order through the window's controls (what Qt makes inside one, the line
    // of a list that is never shown, has no order of its own).
    auto tab_order = [](QWidget* window) {
        std::string names;
        for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
            if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty())
                names += w->objectName().toStdString() + " ";
        }
        return names;
    };
    EXPECT_EQ(tab_order(first.get()), tab_order(&whole));
}

TEST(WindowFirstFrameFirst, APartShownBeforeTheFirstFrameIsBuiltAtOnce) {
    const std::function<void(WindowModel&)> shows[] = {
        [](WindowModel& m) { m.set_tab(1); },
        [](WindowModel& m) { m.set_visible(ctl::changed_mark, true); },
    };
    for (const auto& show : shows) {
        FormFixture f;
        const auto window = first_frame_first(f);
        f.app.start();
        ASSERT_FALSE(window->fully_built());
        show(f.model);
        EXPECT_TRUE(window->fully_built());
        ASSERT_NE(window->widget(ctl::Frame14), nullptr);
        EXPECT_EQ(window->widget(ctl::Frame14)->isVisibleTo(window.get()),
                  f.model.value(ctl::SSTab1) == 1);
        EXPECT_EQ(window->widget(ctl::changed_mark)->isVisibleTo(window.get()),
                  f.model.visible(ctl::changed_mark));
    }
}

}  // namespace
}  // namespace velkon::testing
