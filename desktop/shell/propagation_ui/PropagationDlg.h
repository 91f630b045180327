#pragma once
// The propagation dialog: edits the inputs of a propagation job, loads and
// saves them as a ".para" parameter file, and on OK leaves the path of a
// parameter file that matches what the dialog shows.

#include <QDialog>
#include <QString>
#include <array>
#include <string>

#include "propagation/PropagationPara.h"

class QCheckBox;
class QComboBox;
class QLayout;
class QLineEdit;
class QPushButton;

class CPropagationDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CPropagationDlg(QWidget* parent = nullptr);

  // Where the save dialog proposes the parameter file (the document's
  // working directory); the current directory when empty.
  void SetSaveDirectory(const std::string& directory) { saveDirectory_ = directory; }

  // The parameter file written by "Save as" or read by "Load".
  const std::string& ParaPath() const { return paraPath_; }
  // The members as last taken from the controls or a loaded file.
  const CPropagationPara& Para() const { return para_; }
  bool IsModSiteDetermined() const;
  // True while the parameter file matches what the dialog shows.
  bool IsSaved() const { return saved_; }

  // The handlers of the three buttons; each answers whether it succeeded.
  bool SaveAs();
  bool Load();

 public slots:
  void accept() override;

 private:
  // The four "..." buttons, in the order of their rows: pair, result,
  // cluster, data.
  using PathButtons = std::array<QPushButton*, 4>;

  QLineEdit* NewEdit(const char* name);
  void CreateEdits();
  PathButtons CreateBrowseButtons();
  // The two check boxes and the mod count choice.
  void CreateOptions();
  QLayout* CreateButtonRow();
  void ArrangeControls(const PathButtons& browse, QLayout* buttons);
  QWidget* CreateFilterGroup();

  void BrowsePair();
  void BrowseResult();
  void BrowseCluster();
  void BrowseData();
  // Puts a chosen path into an edit; a cancelled chooser changes nothing.
  void TakeChosenPath(QLineEdit* edit, const QString& chosen);
  void TakeEditTexts();
  void ShowPara();
  void ClearSaved() { saved_ = false; }
  // The input paths as the job needs them (the result and pair files, and
  // the cluster file and data path when given); each problem is said,
  // naming its field. True when there is none.
  bool CheckPaths();

  QCheckBox* siteCheck_;
  QCheckBox* directoryCheck_;
  QLineEdit* pairEdit_;
  QLineEdit* resultEdit_;
  QLineEdit* clusterEdit_;
  QLineEdit* dataEdit_;
  // The search-engine filter; empty means the readers' defaults, and then
  // nothing is written for it.
  QLineEdit* fdrEdit_;
  QLineEdit* thresholdEdit_;
  QLineEdit* decoyEdit_;
  QComboBox* modCountCombo_;

  CPropagationPara para_;
  std::string paraPath_;
  std::string saveDirectory_;
  bool saved_ = false;
};
