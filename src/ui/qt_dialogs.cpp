#include "ui/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace velkon::ui {

namespace {

// Set once the program ends: no box may hold it up any more.
bool g_boxes_closed = false;

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

QStringList name_filters(const std::vector<Dialogs::FileFilter>& filters) {
    QStringList out;
    for (const auto& f : filters) {
        out << QString::fromStdString(f.name) + " (" + QString::fromStdString(f.patterns) + ")";
    }
    return out;
}

QString qt_path(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// The file box, in Qt's own look so that it is the same on every desktop and answers to tests.
std::filesystem::path run_file_box(QWidget* parent, const std::string& title,
                                   const std::filesystem::path& start,
                                   const std::vector<Dialogs::FileFilter>& filters, bool saving) {
    QFileDialog dialog(parent, QString::fromStdString(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(name_filters(filters));
    if (saving) {
        // A name typed without an extension gets the first filter's ("*.csv" gives "csv").
        if (!filters.empty()) {
            const std::string& patterns = filters.front().patterns;
            if (patterns.starts_with("*.")) {
                const std::string suffix = patterns.substr(2, patterns.find(' ') - 2);
                if (suffix != "*") dialog.setDefaultSuffix(QString::fromStdString(suffix));
            }
        }
        dialog.setDirectory(qt_path(start.parent_path()));
        dialog.selectFile(qt_path(start.filename()));
    } else {
        dialog.setDirectory(qt_path(start));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

}  // namespace

void QtDialogs::close_all_boxes() {
    g_boxes_closed = true;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && dialog->isVisible() && dialog->isModal()) dialog->reject();
    }
}

std::filesystem::path QtDialogs::open_file(const std::string& title,
                                           const std::filesystem::path& start,
                                           const std::vector<FileFilter>& filters) {
    if (g_boxes_closed) return {};
    return run_file_box(parent_, title, start, filters, false);
}

std::filesystem::path QtDialogs::save_file(const std::string& title,
                                           const std::filesystem::path& start,
                                           const std::vector<FileFilter>& filters) {
    if (g_boxes_closed) return {};
    return run_file_box(parent_, title, start, filters, true);
}

void QtDialogs::message(const std::string& text, Icon icon, const std::string& title) {
    if (g_boxes_closed) return;
    QMessageBox box(qt_icon(icon), QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, parent_);
    box.exec();
}

bool QtDialogs::yes_no(const std::string& text) {
    return yes_no_titled(text, kAppTitle);
}

bool QtDialogs::yes_no_titled(const std::string& text, const std::string& title) {
    if (g_boxes_closed) return false;
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::string QtDialogs::input(const std::string& prompt, const std::string& title,
                             const std::string& initial) {
    if (g_boxes_closed) return {};
    QInputDialog dialog(parent_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(QString::fromStdString(title));
    dialog.setLabelText(QString::fromStdString(prompt));
    dialog.setTextValue(QString::fromStdString(initial));
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.textValue().toStdString();
}

}  // namespace velkon::ui
