#pragma once
// The dialog in which the user sets up a Shiftscan job: it checks the paths,
// writes the Shiftscan configuration file, and keeps its path for the job
// runner.
//
// Controls carry object names (fileType, filePath, massLower, massUpper,
// timeLower, timeUpper, modMassLower, modMassUpper, findPair, ppthres,
// dtaName, pairPath, postSearch, identSpectFile, tdScore, tDeltaC, massTol,
// massRes, maxNData, detectComb; buttons filePathBrowse, pairPathBrowse,
// identSpectFileBrowse, layoutToggle, topOk, topCancel, saveAs, ok,
// cancel), so that a script or a test can fill them and press the buttons.
//
// Its defaults are the ones this dialog has always had; Shiftscan's options
// form offers the same. Values are checked before the configuration is
// saved, pair files of an earlier run in the pair folder are replaced only
// when the user agrees, and the dialog reopens with the values of its last
// saved configuration.

#include <QDialog>
#include <QString>
#include <memory>
#include <vector>

#include "desktop/shell/DialogSupport.h"
#include "moddetect/DetectionConfig.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;

class CShiftscanDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CShiftscanDlg(QWidget* parent = nullptr);

  // The last configuration file written while the dialog was open; empty
  // when none was.
  QString ConfigurationPath() const { return configurationPath_; }

  // The configuration the fields describe, each value as Shiftscan reads it
  // from the field's text.
  CDetectionConfig Configuration() const;
  // Writes that configuration's file (the one writer of the format); false
  // when the file cannot be created.
  bool WriteConfiguration(const QString& path);

 public slots:
  void OnSaveAs();
  void OnOk();
  void OnToggleLayout();
  void OnDataBrowse();

 private:
  void BuildControls();
  QHBoxLayout* BuildTopRow();
  QGroupBox* BuildDataGroup();
  // Mass, retention time and modification: the ranges of the run.
  std::vector<QGroupBox*> BuildRangeGroups();
  QGroupBox* BuildPairGroup();
  QGroupBox* BuildModeGroup();
  QGroupBox* BuildOtherGroup();
  QHBoxLayout* BuildBottomRow();
  void ConnectControls();
  void ApplyCheckRules();
  bool Validate();
  // "Save as...": true when a configuration file was written.
  bool SaveAs();
  // The numbers Shiftscan could not run with, one sentence each.
  QStringList NumberProblems() const;
  // The pair files of an earlier run in the pair folder.
  QStringList EarlierPairFiles() const;
  // The DTA name and pair folder a data path gives: its name without the
  // extension, and "pair" beside it.
  struct PairSettings {
    QString dtaName;
    QString pairPath;
  };
  static PairSettings PairSettingsFor(const QString& path);
  void DerivePairSettings();

  QString configurationPath_;
  bool closeAllowed_ = false;
  // The data path the pair settings were last derived from (or shown with).
  QString derivedFrom_;

  QComboBox* fileType_ = nullptr;
  QLineEdit* filePath_ = nullptr;
  QPushButton* filePathBrowse_ = nullptr;
  QLineEdit* massLower_ = nullptr;
  QLineEdit* massUpper_ = nullptr;
  QLineEdit* timeLower_ = nullptr;
  QLineEdit* timeUpper_ = nullptr;
  QLineEdit* modMassLower_ = nullptr;
  QLineEdit* modMassUpper_ = nullptr;
  QCheckBox* findPair_ = nullptr;
  QLineEdit* ppthres_ = nullptr;
  QLineEdit* dtaName_ = nullptr;
  QLineEdit* pairPath_ = nullptr;
  QPushButton* pairPathBrowse_ = nullptr;
  QCheckBox* postSearch_ = nullptr;
  QLineEdit* identSpectFile_ = nullptr;
  QPushButton* identSpectFileBrowse_ = nullptr;
  QLineEdit* tdScore_ = nullptr;
  QLineEdit* tDeltaC_ = nullptr;
  QLineEdit* massTol_ = nullptr;
  QLineEdit* massRes_ = nullptr;
  QLineEdit* maxNData_ = nullptr;
  QCheckBox* detectComb_ = nullptr;
  QPushButton* topOk_ = nullptr;
  QPushButton* topCancel_ = nullptr;
  QPushButton* layoutToggle_ = nullptr;
  QPushButton* saveAs_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  std::unique_ptr<desktop::CCompactLayout> layout_;
};
