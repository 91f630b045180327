#include "desktop/shell/core/Numbers.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace desktop {

bool ReadDecimal(const QString& text, double& value) {
  static const QRegularExpression decimal(QStringLiteral("^[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?$"));
  const QString trimmed = text.trimmed();
  if (!decimal.match(trimmed).hasMatch()) return false;
  bool ok = false;
  // QString reads numbers in the C locale, whatever the user's.
  const double v = trimmed.toDouble(&ok);
  if (!ok || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool ReadWhole(const QString& text, int& value) {
  static const QRegularExpression whole(QStringLiteral("^[-+]?\\d+$"));
  const QString trimmed = text.trimmed();
  if (!whole.match(trimmed).hasMatch()) return false;
  bool ok = false;
  const int v = trimmed.toInt(&ok);
  if (!ok) return false;
  value = v;
  return true;
}

QValidator::State CDecimalValidator::validate(QString& input, int& pos) const {
  Q_UNUSED(pos);
  input.replace(QLatin1Char(','), QLatin1Char('.'));
  static const QRegularExpression partial(QStringLiteral("^-?\\d*\\.?\\d*$"));
  return partial.match(input).hasMatch() ? Acceptable : Invalid;
}

}  // namespace desktop
