// The per-day record file `base/DDMMYY.dat` in the program folder: a "Start: " header written
// at the first start of a day, then one binding record a line (CP1251, CR LF).
#pragma once

#include <filesystem>
#include <string>

#include "model/window_model.h"
#include "seams/seams.h"

namespace velkon {

class DayFile {
  public:
    // The file's path is the form variable `day_file`, set by start-up.
    DayFile(FormVars& vars, Dialogs& dialogs) : vars_(vars), dialogs_(dialogs) {}

    // Appends one line (CR LF added), whole or not at all. A failure is reported in a message
    // box and returns false; it never stops the caller. A line break inside `line` is refused
    // the same way: it would start a line of its own.
    bool append_record(const std::string& line);

    enum class Binding { Written, NotWritten, Refused };
    // The binding record "serial;SIM;IMEI". A field holding a line break or ";" would forge a
    // record or shift the fields: it is refused with a message naming the field, nothing is
    // written, and the caller gets Refused. NotWritten: the write failed (already reported).
    Binding append_binding(const std::string& serial, const std::string& sim,
                           const std::string& imei);

  private:
    FormVars& vars_;
    Dialogs& dialogs_;
};

// Writes the header "Start: <now>" and an empty line unless the file already begins with a
// header (an earlier start of the day); a file without one gets it in front of its records.
// A symbolic link in the file's place is refused (ELOOP). Returns 0 or the errno of the failing
// call.
int start_day_file(const std::filesystem::path& path, const std::string& now);

}  // namespace velkon
