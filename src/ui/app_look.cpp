#include "ui/app_look.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

#include "model/window_model.h"

namespace velkon::ui {

void apply_application_look(QApplication& app) {
    // Fusion draws the same everywhere, so the window looks as laid out on any desktop.
    if (QStyle* style = QStyleFactory::create("Fusion")) app.setStyle(style);
    app.setFont(control_font(Font{}));
    // Qt's own texts (a line edit's context menu, standard buttons) in Russian whatever the
    // desktop's language: the program speaks Russian throughout.
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        app.installTranslator(translator);
    } else {
        delete translator;
    }
}

QFont control_font(const Font& font) {
    QFont qfont(kFontFamily);
    qfont.setPointSizeF(font.points);
    qfont.setBold(font.bold);
    return qfont;
}

}  // namespace velkon::ui
