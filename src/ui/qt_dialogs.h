// The handlers' message, question and input boxes as Qt's modal dialogs over the window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "seams/seams.h"

namespace velkon::ui {

class QtDialogs : public Dialogs {
  public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    // The window the boxes are centred on and modal to.
    void set_parent(QWidget* parent) { parent_ = parent; }

    // The program is ending (a signal): every open box is cancelled, and from now on a box
    // answers at once as if cancelled (No for a question) instead of waiting for the user.
    static void close_all_boxes();

    void message(const std::string& text, Icon icon, const std::string& title) override;
    bool yes_no(const std::string& text) override;
    bool yes_no_titled(const std::string& text, const std::string& title) override;
    std::string input(const std::string& prompt, const std::string& title,
                      const std::string& initial) override;
    std::filesystem::path open_file(const std::string& title, const std::filesystem::path& start,
                                    const std::vector<FileFilter>& filters) override;
    std::filesystem::path save_file(const std::string& title, const std::filesystem::path& start,
                                    const std::vector<FileFilter>& filters) override;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace velkon::ui
