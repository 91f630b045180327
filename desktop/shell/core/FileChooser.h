#pragma once
// The one road by which every dialog of the desktop program asks the user
// for a file or a folder. Tests replace the chooser so that no modal file
// dialog ever opens under them.

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace desktop {

enum class ChooserKind { OpenFile, SaveFile, Directory };

struct FileChoice {
  ChooserKind kind = ChooserKind::OpenFile;
  QString title;
  // Qt name filters ("pair file (*.csv);;All files (*)"), unused for folders.
  // Each pattern is offered in every usual spelling (see CaseTolerantFilters).
  QString filter;
  QString proposed;       // starting folder, or a proposed file name or path
  QString defaultSuffix;  // added by the save dialog to a name typed without one
  int* filterIndex = nullptr;  // when set, receives the position of the filter picked
};

// The chosen path; nothing when the user cancelled. A save dialog may answer
// an empty path (confirmed without a name); callers say so.
std::optional<QString> ChooseFile(QWidget* parent, const FileChoice& choice);

using FileChooser = std::function<std::optional<QString>(QWidget* parent, const FileChoice& choice)>;

// Replaces the chooser (an empty one restores the file dialogs) and returns
// the previous one.
FileChooser SetFileChooser(FileChooser chooser);

// On a case-sensitive file system "*.mzml" would hide "run.mzML", so each
// pattern "*.ext" is widened to its lower-case, upper-case and usual
// mixed-case spellings ("*.mzML", "*.pepXML", "*.mzIdentML", ...).
QString CaseTolerantFilters(const QString& filters);

}  // namespace desktop
