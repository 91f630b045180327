#include "desktop/shell/propagation_ui/FileChooser.h"

#include <QFileDialog>

namespace desktop {
namespace {

FileChooser& CurrentChooser() {
  static FileChooser chooser;
  return chooser;
}

QString ShowFileDialog(QWidget* parent, const FileChoice& choice) {
  switch (choice.kind) {
    case ChooserKind::OpenFile:
      return QFileDialog::getOpenFileName(parent, choice.title, choice.proposed, choice.filter);
    case ChooserKind::SaveFile: {
      // The dialog asks before it replaces an existing file, after it has
      // added the suffix, so the question is about the file really written.
      QFileDialog dialog(parent, choice.title, choice.proposed, choice.filter);
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      dialog.setDefaultSuffix(choice.defaultSuffix);
      if (dialog.exec() != QDialog::Accepted) return QString();
      return dialog.selectedFiles().value(0);
    }
    case ChooserKind::Directory:
      return QFileDialog::getExistingDirectory(parent, choice.title, choice.proposed,
                                               QFileDialog::ShowDirsOnly);
  }
  return QString();
}

}  // namespace

QString ChooseFile(QWidget* parent, const FileChoice& choice) {
  const FileChooser& chooser = CurrentChooser();
  if (chooser) return chooser(parent, choice);
  return ShowFileDialog(parent, choice);
}

FileChooser SetFileChooser(FileChooser chooser) {
  FileChooser previous = std::move(CurrentChooser());
  CurrentChooser() = std::move(chooser);
  return previous;
}

}  // namespace desktop
