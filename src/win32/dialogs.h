// The handlers' message, question and input boxes as Win32 dialogs: MessageBoxW with the title
// and icon asked for, and a small modal input box of our own.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "seams/seams.h"

namespace velkon::win32 {

class Win32Dialogs : public Dialogs {
  public:
    // The window the boxes belong to (nullptr: none); it is disabled while a box is shown.
    void set_owner(HWND owner) { owner_ = owner; }

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
    HWND owner_ = nullptr;
};

// The MessageBoxW flags of a message box with `icon`.
UINT message_box_flags(Dialogs::Icon icon);

// The filter text of the file boxes: "name\0patterns\0" per filter, ";" between patterns.
std::wstring file_filter_text(const std::vector<Dialogs::FileFilter>& filters);

}  // namespace velkon::win32
