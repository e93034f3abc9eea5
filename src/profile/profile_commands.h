// The window's profile buttons on page «Сервер»: «Сохранить профиль…» keeps what the pages
// «Трекер» and «Сервер» show in a profile file, «Загрузить профиль…» puts a profile (or a copy
// of a written frame, "123.cfg") into those fields for «Установить» to write as usual. Files are
// picked with the standard file boxes, starting in the folder "profiles" of the program folder.
#pragma once

#include <filesystem>

#include "model/window_model.h"
#include "seams/seams.h"
#include "tracker/tracker.h"

namespace velkon {

inline constexpr const char* kProfilesFolderName = "profiles";

class ProfileCommands {
  public:
    ProfileCommands(WindowModel& model, Dialogs& dialogs, Tracker& tracker,
                    std::filesystem::path program_folder);

    // «Сохранить профиль…»: a value «Установить» would refuse is refused here too, with its
    // message, before any file box opens.
    void save();
    // «Загрузить профиль…»: all or nothing; a bad file leaves every field as it was and says why.
    void load();

    std::filesystem::path folder() const { return program_folder_ / kProfilesFolderName; }

  private:
    // Creates the profile folder when missing; a link or a file in its place is refused with a
    // message.
    bool own_folder_ready();

    WindowModel& m_;
    Dialogs& dialogs_;
    Tracker& tracker_;  // the mapping between the record and the two pages
    std::filesystem::path program_folder_;
};

}  // namespace velkon
