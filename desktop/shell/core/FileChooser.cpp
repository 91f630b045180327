#include "desktop/shell/core/FileChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QRegularExpression>
#include <QStringList>
#include <QTreeView>

#include "desktop/shell/core/Memory.h"

namespace desktop {
namespace {

FileChooser& CurrentChooser() {
  static FileChooser chooser;
  return chooser;
}

// Extensions whose files usually carry capitals inside the name's end.
const char* const kMixedCaseExtensions[] = {"mzML", "mzXML", "pepXML", "mzIdentML", "Tagram"};

QStringList Spellings(const QString& pattern) {
  QStringList out{pattern};
  if (!pattern.startsWith(QLatin1String("*.")) || pattern.size() < 3) return out;
  const QString ext = pattern.mid(2);
  const QString lower = ext.toLower();
  QStringList forms{lower, ext.toUpper()};
  for (const char* mixed : kMixedCaseExtensions) {
    // ".pep.xml" keeps its dot; only a whole extension takes a mixed form.
    if (lower == QString::fromLatin1(mixed).toLower()) forms << QString::fromLatin1(mixed);
  }
  for (const QString& form : forms) {
    const QString spelled = QStringLiteral("*.") + form;
    if (!out.contains(spelled)) out << spelled;
  }
  return out;
}

std::optional<QString> ShowFileDialog(QWidget* parent, const FileChoice& choice) {
  QString path;
  if (choice.kind == ChooserKind::Directory) {
    path = QFileDialog::getExistingDirectory(parent, choice.title, choice.proposed, QFileDialog::ShowDirsOnly);
  } else {
    // The save dialog asks before it replaces an existing file, after it has
    // added the suffix, so the question is about the file really written.
    const QString filters = CaseTolerantFilters(choice.filter);
    QFileDialog dialog(parent, choice.title, choice.proposed, filters);
    const bool save = choice.kind == ChooserKind::SaveFile;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(choice.defaultSuffix);
    // Qt's own size leaves the size, type and date columns cut to a few
    // letters each; the paths here are long.
    QSize size(860, 520);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
      size = size.boundedTo(screen->availableGeometry().size() * 0.9);
    dialog.resize(size.expandedTo(dialog.minimumSizeHint()));
    // The detail view's size, type and date columns keep widths too narrow
    // for their texts; the name takes what is left. (Measuring the texts
    // instead would read every entry of a folder of thousands of spectra.)
    if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
      QHeaderView* header = details->header();
      header->setStretchLastSection(false);
      header->setSectionResizeMode(0, QHeaderView::Stretch);
      const int widths[] = {0, 90, 150, 150};
      for (int column = 1; column < 4 && column < header->count(); ++column)
        header->resizeSection(column, widths[column]);
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    if (choice.filterIndex)
      *choice.filterIndex = static_cast<int>(filters.split(QStringLiteral(";;")).indexOf(dialog.selectedNameFilter()));
    return dialog.selectedFiles().value(0);
  }
  if (path.isEmpty()) return std::nullopt;
  return path;
}

}  // namespace

QString CaseTolerantFilters(const QString& filters) {
  static const QRegularExpression patternList(QStringLiteral("\\(([^()]*)\\)\\s*$"));
  QStringList out;
  for (const QString& filter : filters.split(QStringLiteral(";;"), Qt::SkipEmptyParts)) {
    const QRegularExpressionMatch match = patternList.match(filter);
    if (!match.hasMatch()) {
      out << filter;
      continue;
    }
    QStringList patterns;
    for (const QString& pattern : match.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      for (const QString& spelled : Spellings(pattern))
        if (!patterns.contains(spelled)) patterns << spelled;
    }
    out << filter.left(match.capturedStart(1)) + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return out.join(QStringLiteral(";;"));
}

std::optional<QString> ChooseFile(QWidget* parent, const FileChoice& choice) {
  FileChoice asked = choice;
  const QString key = QStringLiteral("Folders/") + choice.memoryKey;
  if (!choice.memoryKey.isEmpty()) asked.proposed = StartingPlace(choice.proposed, Recall(key).toString());
  const FileChooser& chooser = CurrentChooser();
  const std::optional<QString> chosen = chooser ? chooser(parent, asked) : ShowFileDialog(parent, asked);
  if (chosen && !chosen->isEmpty() && !choice.memoryKey.isEmpty()) {
    const QFileInfo info(*chosen);
    Remember(key, choice.kind == ChooserKind::Directory ? info.absoluteFilePath() : info.absolutePath());
  }
  return chosen;
}

QString StartingPlace(const QString& proposed, const QString& rememberedFolder) {
  if (rememberedFolder.isEmpty() || !QFileInfo(rememberedFolder).isDir()) return proposed;
  if (proposed.isEmpty()) return rememberedFolder;
  // A bare name is proposed in the remembered folder; a path keeps its own.
  if (!proposed.contains(QLatin1Char('/')) && !proposed.contains(QLatin1Char('\\')))
    return QDir(rememberedFolder).filePath(proposed);
  return proposed;
}

FileChooser SetFileChooser(FileChooser chooser) {
  FileChooser previous = std::move(CurrentChooser());
  CurrentChooser() = std::move(chooser);
  return previous;
}

}  // namespace desktop
