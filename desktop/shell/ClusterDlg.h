#pragma once
// The dialog in which the user sets up a clustering job: it fills a CPara
// from its controls, writes the cluster parameter file, and tells the job
// runner what to start.
//
// Controls carry object names (experimentName, withConstraint, dataType,
// browseAsDirectory, dataPath, representativePath, clusterResult,
// similarityMethod, consensusMethod, threshold, spectralFiltering,
// peakSelection, topN, topM, precursorTol, precursorUnit, fragmentTol,
// fragmentUnit, mergeTol, mergeUnit, pairMassLower, pairMassUpper,
// pairMassTol, scoreLog; buttons dataBrowse, representativeBrowse,
// clusterResultBrowse, layoutToggle, saveAs, start, cancel), so that a
// script or a test can fill them and press the buttons.
//
// Values are checked before the parameter file is saved; a result of an
// earlier job that the new one would replace is named and replaced only
// when the user agrees. The dialog reopens with the values of its last
// confirmed use; clustering and the pair search each keep their own result
// name.

#include <QDialog>
#include <QString>
#include <memory>

#include "desktop/shell/DialogSupport.h"

class CTesseraDoc;
class QCheckBox;
class QComboBox;
class QLayout;
class QLineEdit;
class QPushButton;

class CClusterDlg : public QDialog {
  Q_OBJECT

 public:
  CClusterDlg(CTesseraDoc* doc, QWidget* parent = nullptr);

  // Read by the job runner after the dialog closed with OK. Program (the
  // back end's executable name, found in the program's directory) and
  // parameters stay empty until a parameter file has been written.
  QString Program() const { return program_; }
  QString Parameters() const { return parameters_; }
  QString DataPath() const { return dataPath_; }
  int DataTypeIndex() const { return dataTypeIndex_; }
  // 0: clustering with representatives ("With Constraint"), 1: spectral
  // pair search; as of the last save.
  int ClusterType() const { return clusterType_; }
  // The cluster or pair file the saved parameters name.
  QString ClusterResult() const { return clusterResult_; }
  bool IsSaved() const { return saved_; }
  double Threshold() const { return threshold_; }
  // Sets "With Constraint" for clustering (0) or the pair search (1).
  void SetClusterType(int clusterType);

  // The default result file of each job type, in the working directory:
  // a pair search must not replace the cluster file that propagation reads.
  static const char* DefaultResultName(int clusterType);
  // The result name last saved for a job type, else its default.
  QString RememberedResult(int clusterType) const;

  static const char* const kDataTypeNames[7];

 public slots:
  void OnSaveAs();
  void OnStart();
  void OnToggleLayout();
  void OnDataBrowse();

 private:
  void BuildControls();
  QLayout* BuildTopRow();
  QWidget* BuildInputGroup();
  QWidget* BuildOutputGroup();
  QWidget* BuildSimilarityGroup();
  QWidget* BuildClusterGroup();
  QWidget* BuildAdvancedPart();
  QWidget* BuildPreprocessGroup();
  QWidget* BuildToleranceGroup();
  QWidget* BuildMergeGroup();
  QWidget* BuildPairSearchGroup();
  int CurrentType() const;
  void ApplyConstraintRule();
  void OnConstraintToggled();
  void OnDataPathChanged(const QString& text);
  // The values the job cannot run with, said to the user; true when none.
  bool Validate();
  // Agreed by the user when the job would replace an earlier result.
  bool MayReplaceResults(int clusterType);
  QString WorkingPath(const char* name) const;

  CTesseraDoc* doc_;

  QString program_;
  QString parameters_;
  QString dataPath_;
  int dataTypeIndex_ = 0;
  int similarityIndex_ = 1;
  double threshold_ = 0.6;
  int clusterType_ = 0;
  QString clusterResult_;
  bool saved_ = false;
  // The result name of each job type while the other one is shown.
  QString resultNames_[2];

  QLineEdit* experimentName_ = nullptr;
  QCheckBox* withConstraint_ = nullptr;
  QComboBox* dataType_ = nullptr;
  QCheckBox* browseAsDirectory_ = nullptr;
  QLineEdit* dataPathEdit_ = nullptr;
  QLineEdit* representativePath_ = nullptr;
  QPushButton* representativeBrowse_ = nullptr;
  QLineEdit* clusterResultEdit_ = nullptr;
  QComboBox* similarityMethod_ = nullptr;
  QComboBox* consensusMethod_ = nullptr;
  QLineEdit* thresholdEdit_ = nullptr;
  QLineEdit* spectralFiltering_ = nullptr;
  QComboBox* peakSelection_ = nullptr;
  QLineEdit* topN_ = nullptr;
  QLineEdit* topM_ = nullptr;
  QLineEdit* precursorTol_ = nullptr;
  QComboBox* precursorUnit_ = nullptr;
  QLineEdit* fragmentTol_ = nullptr;
  QComboBox* fragmentUnit_ = nullptr;
  QLineEdit* mergeTol_ = nullptr;
  QComboBox* mergeUnit_ = nullptr;
  QLineEdit* pairMassLower_ = nullptr;
  QLineEdit* pairMassUpper_ = nullptr;
  QLineEdit* pairMassTol_ = nullptr;
  QCheckBox* scoreLog_ = nullptr;
  QPushButton* layoutToggle_ = nullptr;
  std::unique_ptr<desktop::CCompactLayout> layout_;
};
