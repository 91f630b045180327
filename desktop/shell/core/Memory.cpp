#include "desktop/shell/core/Memory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QWidget>

#include "desktop/shell/core/HistogramSettings.h"

namespace desktop {
namespace {

bool& Enabled() {
  static bool enabled = false;
  return enabled;
}

QSettings Store() { return QSettings(QLatin1String(kOrganisation), QLatin1String(kApplication)); }

// The controls whose values are the user's, in the order they were made:
// restoring in that order lets a later field keep its own value where an
// earlier one would have derived it.
QList<QWidget*> NamedControls(const QWidget* dialog, const QStringList& skip) {
  QList<QWidget*> controls;
  for (QWidget* child : dialog->findChildren<QWidget*>()) {
    const QString name = child->objectName();
    if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || skip.contains(name)) continue;
    if (qobject_cast<QLineEdit*>(child) && child->parent() && qobject_cast<QComboBox*>(child->parent())) continue;
    if (qobject_cast<QLineEdit*>(child) || qobject_cast<QCheckBox*>(child) || qobject_cast<QComboBox*>(child))
      controls << child;
  }
  return controls;
}

}  // namespace

void EnableMemory(bool on) { Enabled() = on; }
bool MemoryEnabled() { return Enabled(); }

QVariant Recall(const QString& key, const QVariant& fallback) {
  if (!Enabled()) return fallback;
  return Store().value(key, fallback);
}

void Remember(const QString& key, const QVariant& value) {
  if (Enabled()) Store().setValue(key, value);
}

void RememberFields(const QWidget* dialog, const QString& group, const QStringList& skip) {
  if (!Enabled()) return;
  QSettings store = Store();
  store.beginGroup(group);
  for (QWidget* control : NamedControls(dialog, skip)) {
    if (auto* edit = qobject_cast<QLineEdit*>(control)) store.setValue(edit->objectName(), edit->text());
    if (auto* box = qobject_cast<QCheckBox*>(control)) store.setValue(box->objectName(), box->isChecked());
    if (auto* list = qobject_cast<QComboBox*>(control)) store.setValue(list->objectName(), list->currentIndex());
  }
}

void RecallFields(QWidget* dialog, const QString& group, const QStringList& skip) {
  if (!Enabled()) return;
  QSettings store = Store();
  store.beginGroup(group);
  for (QWidget* control : NamedControls(dialog, skip)) {
    const QVariant value = store.value(control->objectName());
    if (!value.isValid()) continue;
    if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->setText(value.toString());
    if (auto* box = qobject_cast<QCheckBox*>(control)) box->setChecked(value.toBool());
    if (auto* list = qobject_cast<QComboBox*>(control)) {
      const int index = value.toInt();
      if (index >= 0 && index < list->count()) list->setCurrentIndex(index);
    }
  }
}

void RememberHistogramSettings(const CHistogramSettings& settings) {
  Remember(QStringLiteral("Histogram/massLow"), settings.massLow);
  Remember(QStringLiteral("Histogram/massHigh"), settings.massHigh);
  Remember(QStringLiteral("Histogram/peakWidth"), settings.peakWidth);
  Remember(QStringLiteral("Histogram/unimodTolerance"), settings.unimodTolerance);
}

void RecallHistogramSettings(CHistogramSettings& settings) {
  const double low = Recall(QStringLiteral("Histogram/massLow"), settings.massLow).toDouble();
  const double high = Recall(QStringLiteral("Histogram/massHigh"), settings.massHigh).toDouble();
  const int width = Recall(QStringLiteral("Histogram/peakWidth"), settings.peakWidth).toInt();
  const double tolerance = Recall(QStringLiteral("Histogram/unimodTolerance"), settings.unimodTolerance).toDouble();
  // Only what the parameters dialog would have accepted comes back.
  if (low < high) {
    settings.massLow = low;
    settings.massHigh = high;
  }
  if (width >= 1) settings.peakWidth = width;
  if (tolerance >= 0.0) settings.unimodTolerance = tolerance;
}

void MoveOldRecentFiles() {
  if (!Enabled()) return;
  const QString group = QStringLiteral("Recent File List");
  QSettings store = Store();
  if (!store.childGroups().contains(group)) {
    // The placeholder name an application wizard once filled in.
    QSettings old(QStringLiteral("应用程序向导生成的本地应用程序"), QLatin1String(kApplication));
    old.beginGroup(group);
    const QStringList keys = old.childKeys();
    for (const QString& key : keys) store.setValue(group + QLatin1Char('/') + key, old.value(key));
  }
}

}  // namespace desktop
