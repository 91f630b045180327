#pragma once
// The one road by which the propagation and KSDP dialogs ask the user for a
// file or a folder. Tests replace the chooser so that no modal file dialog
// ever opens under them.

#include <QString>
#include <functional>

class QWidget;

namespace desktop {

enum class ChooserKind { OpenFile, SaveFile, Directory };

struct FileChoice {
  ChooserKind kind = ChooserKind::OpenFile;
  QString title;
  QString filter;    // Qt filter text ("pair file (*.csv);;..."), unused for folders
  QString proposed;  // starting folder or proposed file path
  QString defaultSuffix;  // added by the save dialog to a name typed without one
};

// The chosen path, or an empty text when the user cancelled.
QString ChooseFile(QWidget* parent, const FileChoice& choice);

using FileChooser = std::function<QString(QWidget* parent, const FileChoice& choice)>;

// Replaces the chooser (an empty one restores the file dialogs) and returns
// the previous one.
FileChooser SetFileChooser(FileChooser chooser);

}  // namespace desktop
