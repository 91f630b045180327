#include "desktop/shell/DialogSupport.h"

#include <QDialog>
#include <QFileDialog>
#include <QLayout>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

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

namespace {

// Spellings under which files of one extension are met.
QStringList Spellings(const QString& pattern) {
  QStringList out{pattern};
  const int dot = pattern.lastIndexOf(QLatin1Char('.'));
  if (!pattern.startsWith(QLatin1String("*.")) || dot != 1) return out;
  const QString ext = pattern.mid(2);
  const QString lower = ext.toLower();
  QStringList forms{lower, ext.toUpper()};
  if (lower == QLatin1String("mzml")) forms << QStringLiteral("mzML");
  if (lower == QLatin1String("mzxml")) forms << QStringLiteral("mzXML");
  for (const QString& form : forms) {
    const QString spelled = QStringLiteral("*.") + form;
    if (!out.contains(spelled)) out << spelled;
  }
  return out;
}

}  // namespace

QString QtNameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QString description = parts[i];
    const int open = description.indexOf(QLatin1Char('('));
    if (open >= 0) description = description.left(open);
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
      patterns << Spellings(pattern.trimmed());
    filters << description.trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
  }
  filters << QStringLiteral("All files (*)");
  return filters.join(QStringLiteral(";;"));
}

CFileChooser CFileChooser::Standard() {
  CFileChooser chooser;
  chooser.openFile = [](QWidget* parent, const QString& filter) -> std::optional<QString> {
    const QString path = QFileDialog::getOpenFileName(parent, QString(), QString(), QtNameFilters(filter));
    if (path.isEmpty()) return std::nullopt;
    return path;
  };
  chooser.saveFile = [](QWidget* parent, const QString& filter, const QString& suggested,
                        const QString& suffix) -> std::optional<QString> {
    QFileDialog dialog(parent, QString(), QString(), QtNameFilters(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
  };
  chooser.folder = [](QWidget* parent, const QString& title) -> std::optional<QString> {
    const QString path = QFileDialog::getExistingDirectory(parent, title);
    if (path.isEmpty()) return std::nullopt;
    return path;
  };
  return chooser;
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
