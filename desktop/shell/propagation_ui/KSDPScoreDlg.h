#pragma once
// Scores one peptide against one spectrum by hand: for every residue, the
// KSDP score of the peptide with a modification of the given mass on that
// residue, with fixed modifications picked per residue from "modify.ini".

#include <QDialog>
#include <QStringList>
#include <string>
#include <vector>

#include "scoring/Modification.h"

class CEditableListCtrl;
class CLetterEdit;
class QLineEdit;

class CKSDPScoreDlg : public QDialog {
  Q_OBJECT

 public:
  // Columns of the residue list.
  enum Column { kIndexColumn = 0, kResidueColumn, kModificationColumn, kScoreColumn };

  // "aa.ini" and "modify.ini" are read from `program_directory` (the
  // program's own directory when empty). A missing file is said once, here;
  // the dialog still opens, without modification choices.
  explicit CKSDPScoreDlg(QWidget* parent = nullptr, std::string program_directory = std::string());

  // The entries offered for the Modification cell of `row`: "<Null>", then
  // the modifications that apply to the row's residue and terminal place.
  QStringList ModificationChoices(int row) const;

  // The Score button: fills the score column, or leaves it empty and says
  // why. True when scores were written.
  bool Score();
  const std::vector<double>& Scores() const { return scores_; }
  const std::string& Sequence() const { return sequence_; }
  const std::vector<CModification>& Modifications() const { return modifications_; }
  // Where the spectrum chooser starts while the path field is empty.
  void SetBrowseFolder(const std::string& folder) { browseFolder_ = folder; }

 private:
  void BuildControls();
  // Reads the modifications and checks for the residue table.
  void LoadTables();
  void BrowseSpectrum();
  void RebuildList();
  void TakeChoice(int row, int column, const QString& text);
  void SayProblem(const std::string& text);

  QLineEdit* pathEdit_;
  CLetterEdit* sequenceEdit_;
  QLineEdit* massEdit_;
  CEditableListCtrl* list_;

  std::string programDirectory_;
  std::string spectrumPath_;
  std::string browseFolder_;
  std::string sequence_;
  std::vector<CModification> modifications_;
  std::vector<int> choice_;  // per row: index into modifications_, -1 for none
  std::vector<double> scores_;
};
