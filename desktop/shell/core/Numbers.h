#pragma once
// Numbers typed by the user. The decimal point is "." whatever the language
// of the desktop: parameter files and tables are written with it, and a
// comma in "15,994915" must not silently stand for something else.

#include <QString>
#include <QValidator>

namespace desktop {

// The whole text (blanks at the ends aside) as a finite decimal number:
// digits with an optional sign, point and exponent; nothing else.
bool ReadDecimal(const QString& text, double& value);
// The whole text as a whole number within the int range.
bool ReadWhole(const QString& text, int& value);

// Lets a field hold only what can become a decimal number as it is typed:
// an optional leading minus, digits and one point. A typed or pasted comma
// becomes the point.
class CDecimalValidator : public QValidator {
  Q_OBJECT
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override;
};

}  // namespace desktop
