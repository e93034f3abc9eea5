// The message, question and input boxes as the user meets them: titles, icons, buttons, and
// what each answer gives back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>

#include "support/test_support.h"
#include "ui/qt_dialogs.h"

namespace velkon::testing {
namespace {

// What the open box showed, seen by the responder before it answered.
struct Seen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

// A button's text as it reads, without the mark of its keyboard shortcut.
QString shown(const QAbstractButton* button) {
    return QString(button->text()).remove('&');
}

QDialog* open_dialog() {
    if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) return modal;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) return dialog;
    }
    return nullptr;
}

// Answers the box that the code under test is about to open, from inside its event loop.
// Gives up after a bounded number of event-loop turns so a missing box fails instead of hanging.
void answer_next_box(Seen& seen, std::function<void(QDialog*)> answer, int turns_left = 500) {
    QTimer::singleShot(0, [&seen, answer, turns_left] {
        QDialog* dialog = open_dialog();
        if (!dialog) {
            if (turns_left > 0) answer_next_box(seen, answer, turns_left - 1);
            return;
        }
        seen.title = dialog->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            seen.text = box->text();
            seen.icon = box->icon();
            for (QAbstractButton* b : box->buttons()) seen.buttons << shown(b);
        } else if (auto* label = dialog->findChild<QLabel*>()) {
            seen.text = label->text();
        }
        answer(dialog);
        // An answer that missed its button must not leave the test waiting on the box.
        QTimer::singleShot(0, dialog, [dialog] {
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the box stayed open";
                dialog->done(-1);
            }
        });
    });
}

QAbstractButton* button_with_text(QDialog* dialog, const QString& text) {
    for (auto* b : dialog->findChildren<QAbstractButton*>()) {
        if (shown(b) == text) return b;
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

void press(QDialog* dialog, const QString& text) {
    if (auto* b = button_with_text(dialog, text)) b->click();
}

TEST(QtDialogs, MessageBoxesCarryTheirTitleIconAndOneOkButton) {
    struct Row {
        Dialogs::Icon icon;
        std::string title;
        QMessageBox::Icon shown;
    } rows[] = {{Dialogs::Icon::None, kAppTitle, QMessageBox::NoIcon},
                {Dialogs::Icon::Exclamation, kAppTitle, QMessageBox::Warning},
                {Dialogs::Icon::Critical, "Error#76", QMessageBox::Critical}};
    ui::QtDialogs dialogs;
    for (const auto& row : rows) {
        Seen seen;
        answer_next_box(seen, [](QDialog* d) { press(d, "OK"); });
        dialogs.message("Введите число в диапазоне 0....200", row.icon, row.title);
        EXPECT_EQ(seen.title.toStdString(), row.title);
        EXPECT_EQ(seen.text, "Введите число в диапазоне 0....200");
        EXPECT_EQ(seen.icon, row.shown);
        EXPECT_EQ(seen.buttons, QStringList{"OK"});
    }
}

TEST(QtDialogs, QuestionsGoOnOnlyOnYes) {
    ui::QtDialogs dialogs;
    for (const auto& [button, expected] : {std::pair{"Да", true}, std::pair{"Нет", false}}) {
        Seen seen;
        answer_next_box(seen, [button = QString(button)](QDialog* d) { press(d, button); });
        EXPECT_EQ(dialogs.yes_no("Установить полный?"), expected);
        EXPECT_EQ(seen.title, "Orvik");
        EXPECT_EQ(seen.text, "Установить полный?");
    }
    Seen seen;
    answer_next_box(seen, [](QDialog* d) { d->reject(); });  // Esc or the close box
    EXPECT_FALSE(dialogs.yes_no("Установить полный?"));
}

// Qt's own texts, such as a line edit's context menu, speak the program's language.
TEST(QtTexts, ALineEditsContextMenuIsRussian) {
    QLineEdit edit;
    edit.setText("x");
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    int named = 0;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        const QString name = action->text().section('\t', 0, 0);  // the shortcut stays Ctrl+…
        EXPECT_FALSE(name.contains(QRegularExpression("[A-Za-z]"))) << name.toStdString();
        ++named;
    }
    EXPECT_GT(named, 3);
}

TEST(QtDialogs, InputBoxesGiveTheTextOrNothingWhenCancelled) {
    ui::QtDialogs dialogs;
    Seen seen;
    answer_next_box(seen, [](QDialog* d) {
        auto* edit = d->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), "0");
        edit->setText("17");
        press(d, "OK");
    });
    EXPECT_EQ(dialogs.input("Введите новый сетевой номер", "Ввод сетевого номера", "0"), "17");
    EXPECT_EQ(seen.title, "Ввод сетевого номера");
    EXPECT_EQ(seen.text, "Введите новый сетевой номер");

    answer_next_box(seen, [](QDialog* d) { press(d, "Отмена"); });
    EXPECT_EQ(dialogs.input("Введите строку", "Замена символа", "abc"), "");
}

TEST(QtDialogs, FileBoxesStartWhereAskedAndGiveThePathOrNothing) {
    ui::QtDialogs dialogs;
    test::TempDir dir;
    const std::vector<Dialogs::FileFilter> filters = {{"Профили", "*.json"}, {"Все файлы", "*"}};

    Seen seen;
    answer_next_box(seen, [&](QDialog* d) {
        auto* box = qobject_cast<QFileDialog*>(d);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->directory().absolutePath().toStdString(), dir.path().string());
        EXPECT_EQ(box->nameFilters(), QStringList({"Профили (*.json)", "Все файлы (*)"}));
        box->selectFile("truck");  // typed without an extension
        press(d, "Сохранить");
    });
    EXPECT_EQ(dialogs.save_file("Сохранить профиль", dir.path() / "профиль.json", filters),
              dir.path() / "truck.json");
    EXPECT_EQ(seen.title, "Сохранить профиль");

    const auto existing = dir.path() / "a.json";
    std::ofstream(existing) << "{}";
    answer_next_box(seen, [&](QDialog* d) {
        auto* box = qobject_cast<QFileDialog*>(d);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->directory().absolutePath().toStdString(), dir.path().string());
        box->selectFile(QString::fromStdString(existing.string()));
        press(d, "Открыть");
    });
    EXPECT_EQ(dialogs.open_file("Загрузить профиль", dir.path(), filters), existing);

    answer_next_box(seen, [](QDialog* d) { d->reject(); });
    EXPECT_EQ(dialogs.open_file("Загрузить профиль", dir.path(), filters), "");
}

}  // namespace
}  // namespace velkon::testing
