#include "desktop/shell/DialogSupport.h"

#include <QDialog>
#include <QLayout>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

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

}  // namespace desktop
