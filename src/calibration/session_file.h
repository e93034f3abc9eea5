// A calibration session on disk: the session file the window keeps up to date after every change,
// the CSV export for a spreadsheet, and loading either of them back to go on.
//
// The session file is UTF-8 text of its own ("velkon-tarirovka 1" on the first line, one
// "key=value" per line, numbers with "."); the CSV is UTF-8 with a byte order mark, ";" between
// fields and the decimal separator the caller gives, so a spreadsheet in a Russian locale reads
// the numbers as numbers. Files are written whole or not at all.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "calibration/session.h"

namespace velkon::calibration {

inline constexpr std::string_view kSessionFolder = "tarirovka";
inline constexpr std::string_view kSessionExtension = ".tarirovka";
inline constexpr std::string_view kCsvHeader = "Объём, л;Уровень;Проверка";

std::string session_text(const Session& session);
std::string csv_text(const Session& session, char decimal);

struct Loaded {
    std::optional<Session> session;
    std::string error;  // Russian, when there is no session
};
// Either format, told apart by its content. A CSV may come from elsewhere: with or without the
// column names, level and volume in either order (named by the header; without one the volume
// comes first), ";", tab or "," between fields (a tab wins over ";", ";" over ","), "." or ","
// in numbers (with "," between fields a number's decimal separator can only be ".", unless it is
// in quotes), fields in quotes, empty rows and columns around the table, lines ended by LF, CR LF
// or CR. Numbers are kept to the three decimals the files are written with.
Loaded parse_saved(std::string_view text);
Loaded load_file(const std::filesystem::path& path);

// Writes `bytes` to a temporary file of its own in the target's folder and renames it over the
// target, so a failure at any point leaves the earlier file whole. The folder is created when
// missing. Returns the Russian reason of a failure, or nothing.
std::optional<std::string> write_whole(const std::filesystem::path& target, std::string_view bytes);

// A session file in the folder tarirovka/ of `program_folder`, written with write_whole. The
// folder is created when missing; a link in its place is refused, not followed out of the
// program folder.
std::optional<std::string> write_session(const std::filesystem::path& program_folder,
                                         const std::filesystem::path& target,
                                         std::string_view bytes);

// A file the user picked (the CSV export): a device or a pipe there is written into, anything
// else is replaced whole.
std::optional<std::string> write_export(const std::filesystem::path& target,
                                        std::string_view bytes);

// tarirovka/2026-12-10_09-15-30_4242.tarirovka in the program folder: the start's date and time
// from "DD.MM.YYYY HH:MM:SS", the serial number when known. A name already taken gets "_2", "_3".
std::filesystem::path new_session_path(const std::filesystem::path& program_folder,
                                       const std::string& started, const std::string& serial);

}  // namespace velkon::calibration
