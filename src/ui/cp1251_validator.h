// Limits what can be typed into a text box whose text travels in a fixed-width field: at most
// that many bytes in the single-byte Cyrillic code page, and no character the code page lacks.
#pragma once

#include <QValidator>

class QLineEdit;

namespace velkon::ui {

class Cp1251Validator : public QValidator {
    Q_OBJECT
  public:
    // Validates `edit` and becomes its child.
    Cp1251Validator(int max_bytes, QLineEdit* edit);
    State validate(QString& input, int& pos) const override;
    // Call before the program puts `text` into the box: a text beyond the limit (which only
    // the program can put there) may then be shortened but not lengthened.
    void allow(const QString& text) { accepted_ = text; }

  private:
    int max_bytes_;
    // The text before the edit being validated (the box already holds the new one).
    QString accepted_;
};

}  // namespace velkon::ui
