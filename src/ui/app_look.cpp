#include "ui/app_look.h"

#include <QApplication>
#include <QStyleFactory>

#include "model/window_model.h"

namespace velkon::ui {

void apply_application_look(QApplication& app) {
    // Fusion draws the same everywhere, so the window looks as laid out on any desktop.
    if (QStyle* style = QStyleFactory::create("Fusion")) app.setStyle(style);
    app.setFont(control_font(Font{}));
}

QFont control_font(const Font& font) {
    QFont qfont(kFontFamily);
    qfont.setPointSizeF(font.points);
    qfont.setBold(font.bold);
    return qfont;
}

}  // namespace velkon::ui
