#pragma once
// Scores one peptide against one spectrum by hand: for every residue, the
// KSDP score of the peptide with a modification of the given mass on that
// residue, with fixed modifications picked per residue from "modify.ini".
//
// The modification mass is checked as it is typed (a number with "." as its
// decimal point) and again when scoring; the dialog shows the spectrum's
// precursor beside the peptide's mass with its modifications, and asks
// before scoring a peptide that does not fit the precursor. The best site is
// marked. A file of several spectra lets the user pick one. Enter scores.

#include <QDialog>
#include <QStringList>
#include <string>
#include <vector>

#include "common/Spectrum.h"
#include "scoring/Modification.h"
#include "scoring/ResidueTable.h"

class CEditableListCtrl;
class CLetterEdit;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;

class CKSDPScoreDlg : public QDialog {
  Q_OBJECT

 public:
  // Columns of the residue list.
  enum Column { kIndexColumn = 0, kResidueColumn, kModificationColumn, kScoreColumn };

  // Beyond this difference between the peptide with its modifications and
  // the precursor (MH+, Da), scoring asks first.
  static constexpr double kPrecursorTolerance = 0.5;

  // "aa.ini" and "modify.ini" are read from `program_directory` (the
  // program's own directory when empty). A missing file is said once, here;
  // the dialog still opens, without modification choices.
  explicit CKSDPScoreDlg(QWidget* parent = nullptr, std::string program_directory = std::string());

  // The entries offered for the Modification cell of `row`: "<Null>", then
  // the modifications that apply to the row's residue and terminal place.
  QStringList ModificationChoices(int row) const;

  // The Score button: fills the score column and marks the best site, or
  // leaves the column empty and says why. True when scores were written.
  bool Score();
  const std::vector<double>& Scores() const { return scores_; }
  const std::string& Sequence() const { return sequence_; }
  const std::vector<CModification>& Modifications() const { return modifications_; }
  // Where the spectrum chooser starts while the path field is empty.
  void SetBrowseFolder(const std::string& folder) { browseFolder_ = folder; }

  // The MS2 spectra of the file in the path field, read when first asked
  // for (the names offered when there are several); empty when it cannot
  // be read.
  QStringList SpectrumNames();
  // Picks the spectrum to score among several.
  void SelectSpectrum(int index);
  // The line comparing precursor and peptide, as shown.
  QString MassCheckText() const;
  // The row of the highest score; -1 before scoring.
  int BestRow() const;

 private:
  void BuildControls();
  // Reads the modifications and the residue table.
  void LoadTables();
  void BrowseSpectrum();
  void RebuildList();
  void TakeChoice(int row, int column, const QString& text);
  void SayProblem(const std::string& text);
  // Reads the file in the path field once it has changed; false with the
  // reason kept when it holds no usable spectrum.
  bool LoadSpectra();
  const msdata::CSpectrum* ChosenSpectrum();
  // The fixed modifications of the list: (row, mass).
  std::vector<std::pair<int, double>> FixedModifications() const;
  // The peptide's MH+ with its fixed modifications and `modMass`.
  double PeptideMass(double modMass) const;
  void UpdateMassCheck();
  bool ConfirmPrecursor(const msdata::CSpectrum& spectrum, double modMass);
  // The mass typed, and a file and peptide that can be scored; says what
  // is wrong otherwise.
  bool CheckInputs(double& mass);
  // The KSDP scores of the peptide on the spectrum, one per residue; false,
  // having said why, when there are none.
  bool RunScorer(const msdata::CSpectrum& spectrum, double mass, std::vector<double>& scores);
  void MarkBestSite();
  // Empties the score column and the best-site mark.
  void ClearScores();
  void RememberInput() const;

  QLineEdit* pathEdit_;
  QComboBox* spectrumChoice_;
  CLetterEdit* sequenceEdit_;
  QLineEdit* massEdit_;
  QLabel* massCheck_;
  QLabel* bestSite_;
  CEditableListCtrl* list_;
  QTimer* loadTimer_;

  std::string programDirectory_;
  std::string spectrumPath_;
  std::string browseFolder_;
  std::string sequence_;
  std::vector<CModification> modifications_;
  CResidueTable residues_;
  std::vector<int> choice_;  // per row: index into modifications_, -1 for none
  std::vector<double> scores_;

  // The spectra of the file named by spectrumPath_, once read.
  std::vector<msdata::CSpectrum> spectra_;
  std::string loadedPath_;
  bool spectraRead_ = false;
  std::string loadProblem_;
  // A DTA file is scored as it stands.
  bool isDtaFile_ = false;
};
