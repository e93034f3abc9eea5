// Why a file operation failed, in plain Russian. Every file error the program reports goes
// through here, so the same fault is always worded the same way.
#pragma once

#include <string>

namespace velkon {

// `error` is the errno of the call that failed, captured right after it.
std::string file_error_text(int error);

}  // namespace velkon
