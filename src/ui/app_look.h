// The look shared by the program and the front end's tests: one style on every machine and a
// font with Cyrillic glyphs at the window's sizes.
#pragma once

#include <QFont>

class QApplication;

namespace velkon {
struct Font;
}

namespace velkon::ui {

inline constexpr const char* kFontFamily = "DejaVu Sans";

void apply_application_look(QApplication& app);

// The window's font at a control's size and weight.
QFont control_font(const Font& font);

}  // namespace velkon::ui
