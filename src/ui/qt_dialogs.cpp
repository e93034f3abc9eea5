#include "ui/qt_dialogs.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace velkon::ui {

namespace {

QMessageBox::Icon qt_icon(Dialogs::Icon icon) {
    switch (icon) {
        case Dialogs::Icon::Exclamation:
            return QMessageBox::Warning;
        case Dialogs::Icon::Critical:
            return QMessageBox::Critical;
        case Dialogs::Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void QtDialogs::message(const std::string& text, Icon icon, const std::string& title) {
    QMessageBox box(qt_icon(icon), QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, parent_);
    box.exec();
}

bool QtDialogs::yes_no(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.button(QMessageBox::Yes)->setText("Да");
    box.button(QMessageBox::No)->setText("Нет");
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::string QtDialogs::input(const std::string& prompt, const std::string& title,
                             const std::string& initial) {
    QInputDialog dialog(parent_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(QString::fromStdString(title));
    dialog.setLabelText(QString::fromStdString(prompt));
    dialog.setTextValue(QString::fromStdString(initial));
    dialog.setOkButtonText("OK");
    dialog.setCancelButtonText("Отмена");
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.textValue().toStdString();
}

}  // namespace velkon::ui
