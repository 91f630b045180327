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
  // When set, the chooser starts in the folder last chosen under this key
  // (while `proposed` names no folder of its own) and remembers the folder
  // of the path chosen. Choosers of one kind of file share a key.
  QString memoryKey;
};

// The chosen path; nothing when the user cancelled. A save dialog may answer
// an empty path (confirmed without a name); callers say so. The chooser is
// asked with the starting place that the memory key gives.
std::optional<QString> ChooseFile(QWidget* parent, const FileChoice& choice);

// Where a chooser under a memory key starts: the remembered folder for an
// empty proposal, the proposed bare name inside it, else the proposal.
QString StartingPlace(const QString& proposed, const QString& rememberedFolder);

using FileChooser = std::function<std::optional<QString>(QWidget* parent, const FileChoice& choice)>;

// Replaces the chooser (an empty one restores the file dialogs) and returns
// the previous one.
FileChooser SetFileChooser(FileChooser chooser);

// On a case-sensitive file system "*.mzml" would hide "run.mzML", so each
// pattern "*.ext" is widened to its lower-case, upper-case and usual
// mixed-case spellings ("*.mzML", "*.pepXML", "*.mzIdentML", ...).
QString CaseTolerantFilters(const QString& filters);

}  // namespace desktop
