#include "ui/cp1251_validator.h"

#include <QLineEdit>

#include "protocol/cp1251.h"

namespace velkon::ui {

Cp1251Validator::Cp1251Validator(int max_bytes, QLineEdit* edit)
    : QValidator(edit), max_bytes_(max_bytes), accepted_(edit->text()) {
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { accepted_ = text; });
}

QValidator::State Cp1251Validator::validate(QString& input, int&) const {
    const auto bytes = cp1251_length(input.toStdString());
    if (!bytes) return Invalid;
    if (static_cast<int>(*bytes) <= max_bytes_) return Acceptable;
    // Beyond the limit only when the program put such a text there: it may be shortened.
    const auto before = cp1251_length(accepted_.toStdString());
    return before && *bytes <= *before ? Intermediate : Invalid;
}

}  // namespace velkon::ui
