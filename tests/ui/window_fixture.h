// The Qt window over a scripted form: the fake port, scripted dialogs and the window model of
// support/form_fixture.h, rendered offscreen.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>
#include <string>

#include "support/form_fixture.h"
#include "ui/main_window.h"

namespace velkon::testing {

class WindowTest : public ::testing::Test {
  protected:
    WindowTest() { window.show(); }

    template <typename W = QWidget>
    W* widget(ControlName name) {
        auto* w = qobject_cast<W*>(window.widget(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // Types `text` into `target` one key press at a time, as the keyboard would.
    static void type(QWidget* target, const QString& text) {
        for (const QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(target, &press);
        }
    }
    static void press_key(QWidget* target, Qt::Key key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    }

    // The model and widgets as after start-up, the link then opened.
    void open_link() {
        f.lister.entries = {{"ttyUSB0", "/dev/ttyUSB0"}};
        f.app.start();
        f.app.connection().scan_ports();
        widget<QAbstractButton>(ctl::BTNOpenCom)->click();
    }

    FormFixture f;
    ui::MainWindow window{f.model, f.app};
};

}  // namespace velkon::testing
