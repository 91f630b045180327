#include "desktop/shell/propagation_ui/LetterEdit.h"

#include <QKeyEvent>
#include <QValidator>

namespace {

bool IsLetter(QChar c) {
  return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
         (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

// Pasted or dropped text bypasses the key filter; the validator strips it
// down to its letters instead of refusing it whole.
class LetterValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override {
    QString letters;
    int kept_before_cursor = 0;
    for (int i = 0; i < input.size(); ++i) {
      if (!IsLetter(input[i])) continue;
      letters += input[i];
      if (i < pos) ++kept_before_cursor;
    }
    input = letters;
    pos = kept_before_cursor;
    return Acceptable;
  }
};

}  // namespace

CLetterEdit::CLetterEdit(QWidget* parent) : QLineEdit(parent) {
  setValidator(new LetterValidator(this));
}

void CLetterEdit::keyPressEvent(QKeyEvent* event) {
  const QString typed = event->text();
  const bool control = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
  if (!control && event->key() != Qt::Key_Backspace && !typed.isEmpty() &&
      !(typed.size() == 1 && IsLetter(typed[0])) && typed[0].isPrint()) {
    event->accept();  // swallowed: the field never sees it
    return;
  }
  QLineEdit::keyPressEvent(event);
}
