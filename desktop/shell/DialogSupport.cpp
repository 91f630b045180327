#include "desktop/shell/DialogSupport.h"

#include <QDialog>
#include <QLayout>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <cmath>

#include "desktop/shell/core/Numbers.h"
#include "desktop/shell/core/UserMessage.h"

namespace desktop {

void CNumericKeyFilter::Install(QLineEdit* field) {
  field->installEventFilter(new CNumericKeyFilter(field));
}

bool CNumericKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  // Shortcuts (paste, select all, undo) and keys without text (arrows,
  // backspace, delete, tab) pass; of the printable keys only a number's own.
  if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  const QString text = key->text();
  if (text.isEmpty()) return false;
  for (const QChar c : text) {
    if (c.isPrint() && !c.isDigit() && c != QLatin1Char('.') && c != QLatin1Char('-')) return true;
    if (c.isDigit() && c.unicode() > 127) return true;
  }
  return false;
}

QLineEdit* NamedField(const char* name, const QString& text, bool numeric, int numericWidth) {
  auto* edit = new QLineEdit(text);
  edit->setObjectName(QLatin1String(name));
  if (numeric) {
    CNumericKeyFilter::Install(edit);
    edit->setMaximumWidth(numericWidth);
  }
  return edit;
}

QPushButton* NamedButton(const char* name, const QString& text) {
  auto* button = new QPushButton(text);
  button->setObjectName(QLatin1String(name));
  button->setAutoDefault(false);
  return button;
}

FileChoice OpenChoice(const QString& filter) {
  FileChoice choice;
  choice.filter = filter + QStringLiteral(";;All files (*)");
  return choice;
}

FileChoice SaveChoice(const QString& filter, const QString& suggested, const QString& suffix) {
  FileChoice choice = OpenChoice(filter);
  choice.kind = ChooserKind::SaveFile;
  choice.proposed = suggested;
  choice.defaultSuffix = suffix;
  return choice;
}

std::optional<QString> ChooseFolder(QWidget* parent, const QString& title, const QString& memoryKey) {
  FileChoice choice;
  choice.kind = ChooserKind::Directory;
  choice.title = title;
  choice.memoryKey = memoryKey;
  return ChooseFile(parent, choice);
}

CCompactLayout::CCompactLayout(QDialog* dialog, QWidget* advanced, QPushButton* toggle,
                               QString compactText, QString fullText)
    : dialog_(dialog),
      advanced_(advanced),
      toggle_(toggle),
      compactText_(std::move(compactText)),
      fullText_(std::move(fullText)) {
  width_ = dialog_->layout()->sizeHint().width();
  SetFull(false);
}

void CCompactLayout::SetFull(bool full) {
  full_ = full;
  advanced_->setVisible(full);
  advanced_->setEnabled(full);
  toggle_->setText(full ? fullText_ : compactText_);
  dialog_->layout()->invalidate();
  dialog_->setFixedSize(width_, dialog_->layout()->sizeHint().height());
  // A grown dialog is moved up as far as needed to stay on its screen.
  if (dialog_->isVisible() && dialog_->screen()) {
    const QRect screen = dialog_->screen()->availableGeometry();
    const int overflow = dialog_->frameGeometry().bottom() - screen.bottom();
    if (overflow > 0) dialog_->move(dialog_->x(), std::max(screen.top(), dialog_->y() - overflow));
  }
}

bool PathExists(const QString& path) {
  return !path.isEmpty() && QFileInfo::exists(path);
}

void CFieldChecks::Refuse(const char* label, const char* what, const QLineEdit* field) {
  problems_ << QStringLiteral("%1 must be %2: \"%3\"").arg(QLatin1String(label), QLatin1String(what), field->text());
}

void CFieldChecks::Decimal(const QLineEdit* field, const char* label, double low, bool lowIncluded, double high,
                           const char* what) {
  double value = 0.0;
  if (!ReadDecimal(field->text(), value) || value > high || (lowIncluded ? value < low : value <= low))
    Refuse(label, what, field);
}

void CFieldChecks::Whole(const QLineEdit* field, const char* label, int low, const char* what) {
  int value = 0;
  if (!ReadWhole(field->text(), value) || value < low) Refuse(label, what, field);
}

void CFieldChecks::Range(const char* label, const QLineEdit* lower, const QLineEdit* upper, bool whole,
                         double least, bool strict) {
  const auto read = [whole](const QLineEdit* field, double& value) {
    int number = 0;
    if (!whole) return ReadDecimal(field->text(), value);
    if (!ReadWhole(field->text(), number)) return false;
    value = number;
    return true;
  };
  QString what = whole ? QStringLiteral("a whole number") : QStringLiteral("a number");
  if (!std::isinf(least)) what += QStringLiteral(", %1 or more").arg(least);
  const auto refuse = [&](const char* end, const QLineEdit* field) {
    problems_ << QStringLiteral("%1: the %2 end must be %3: \"%4\"")
                     .arg(QLatin1String(label), QLatin1String(end), what, field->text());
  };
  double low = 0.0, high = 0.0;
  const bool lowRead = read(lower, low) && low >= least, highRead = read(upper, high) && high >= least;
  if (!lowRead) refuse("lower", lower);
  if (!highRead) refuse("upper", upper);
  if (lowRead && highRead && (strict ? low >= high : low > high))
    problems_ << QStringLiteral("%1: the lower end %2 must lie below the upper end %3.")
                     .arg(QLatin1String(label), lower->text(), upper->text());
}

bool CFieldChecks::Passed(QWidget* dialog, const QString& title) const {
  if (problems_.isEmpty()) return true;
  ShowMessage(dialog, MessageKind::Warning, title, problems_.join(QLatin1Char('\n')));
  return false;
}

}  // namespace desktop
