#include "desktop/shell/propagation_ui/PropagationDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "propagation/Propagation.h"
#include "desktop/shell/core/FileChooser.h"
#include "desktop/shell/core/Memory.h"
#include "desktop/shell/core/UserMessage.h"

namespace {

const QString kTitle = QStringLiteral("Propagation");
const QString kMemoryGroup = QStringLiteral("PropagationDialog");
const QString kParaFilter = QStringLiteral("parameters file (*.para)");
// Search engines' files are offered beside the toolkit's own formats.
const QString kResultFilter = QStringLiteral(
    "identification files (*.spectra *.tagram *.pep.xml *.pepXML *.mzid *.mzIdentML);;"
    "Tagram file (*.Tagram *.tagram);;Kiln file (*.spectra);;pepXML file (*.pep.xml *.pepXML);;"
    "mzIdentML file (*.mzid *.mzIdentML);;All files (*)");

QString ToQ(const std::string& s) { return QString::fromStdString(s); }
std::string FromQ(const QString& s) { return s.toStdString(); }

}  // namespace

CPropagationDlg::CPropagationDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PropagationDialog"));
  setWindowTitle(kTitle);
  // The controls are made in the order in which Tab walks through them.
  CreateEdits();
  const PathButtons browse = CreateBrowseButtons();
  CreateOptions();
  QLayout* buttons = CreateButtonRow();
  ArrangeControls(browse, buttons);
  para_.mod_count = 1;
  ShowPara();
  desktop::RecallFields(this, kMemoryGroup);
  TakeEditTexts();
  para_.mod_count = static_cast<std::int16_t>(modCountCombo_->currentIndex() + 1);
  para_.is_mod_site_determined = siteCheck_->isChecked() ? 1 : 0;
  para_.is_directory = directoryCheck_->isChecked() ? 1 : 0;
}

QLineEdit* CPropagationDlg::NewEdit(const char* name) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QLatin1String(name));
  // A typed path makes the saved file stale just as a chosen one does;
  // otherwise OK would run the job on inputs other than the ones shown.
  connect(edit, &QLineEdit::textEdited, this, [this] { ClearSaved(); });
  return edit;
}

void CPropagationDlg::CreateEdits() {
  pairEdit_ = NewEdit("pairEdit");
  resultEdit_ = NewEdit("resultEdit");
  clusterEdit_ = NewEdit("clusterEdit");
  dataEdit_ = NewEdit("dataEdit");
  for (QLineEdit* path : {pairEdit_, resultEdit_, clusterEdit_, dataEdit_}) path->setMinimumWidth(380);
  fdrEdit_ = NewEdit("fdrEdit");
  fdrEdit_->setPlaceholderText(QStringLiteral("0.01 (1%)"));
  thresholdEdit_ = NewEdit("scoreThresholdEdit");
  thresholdEdit_->setPlaceholderText(QStringLiteral("none (FDR cut)"));
  decoyEdit_ = NewEdit("decoyPrefixEdit");
  decoyEdit_->setPlaceholderText(QStringLiteral("DECOY_,rev_,XXX_"));
}

CPropagationDlg::PathButtons CPropagationDlg::CreateBrowseButtons() {
  const struct {
    const char* name;
    void (CPropagationDlg::*browse)();
  } kinds[] = {{"pairBrowse", &CPropagationDlg::BrowsePair},
               {"resultBrowse", &CPropagationDlg::BrowseResult},
               {"clusterBrowse", &CPropagationDlg::BrowseCluster},
               {"dataBrowse", &CPropagationDlg::BrowseData}};
  PathButtons buttons{};
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    buttons[i] = new QPushButton(QStringLiteral("..."), this);
    buttons[i]->setObjectName(QLatin1String(kinds[i].name));
    buttons[i]->setFixedWidth(32);
    connect(buttons[i], &QPushButton::clicked, this, kinds[i].browse);
  }
  return buttons;
}

void CPropagationDlg::CreateOptions() {
  siteCheck_ = new QCheckBox(QStringLiteral("Mod Site Determination"), this);
  siteCheck_->setObjectName(QStringLiteral("siteCheck"));
  directoryCheck_ = new QCheckBox(QStringLiteral("Browse Pair Files as A Directory"), this);
  directoryCheck_->setObjectName(QStringLiteral("directoryCheck"));
  connect(siteCheck_, &QCheckBox::clicked, this, [this](bool on) {
    para_.is_mod_site_determined = on ? 1 : 0;
    ClearSaved();
  });
  connect(directoryCheck_, &QCheckBox::clicked, this, [this](bool on) {
    para_.is_directory = on ? 1 : 0;
    ClearSaved();
  });

  modCountCombo_ = new QComboBox(this);
  modCountCombo_->setObjectName(QStringLiteral("modCountCombo"));
  modCountCombo_->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
  modCountCombo_->setCurrentIndex(0);
  connect(modCountCombo_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
    para_.mod_count = static_cast<std::int16_t>(index + 1);
    ClearSaved();
  });
}

QLayout* CPropagationDlg::CreateButtonRow() {
  auto* loadButton = new QPushButton(QStringLiteral("Load"), this);
  loadButton->setObjectName(QStringLiteral("loadButton"));
  auto* saveButton = new QPushButton(QStringLiteral("Save as"), this);
  saveButton->setObjectName(QStringLiteral("saveAsButton"));
  auto* okButton = new QPushButton(QStringLiteral("OK"), this);
  okButton->setObjectName(QStringLiteral("okButton"));
  okButton->setDefault(true);
  auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  connect(loadButton, &QPushButton::clicked, this, [this] { Load(); });
  connect(saveButton, &QPushButton::clicked, this, [this] { SaveAs(); });
  connect(okButton, &QPushButton::clicked, this, &CPropagationDlg::accept);
  connect(cancelButton, &QPushButton::clicked, this, &CPropagationDlg::reject);

  auto* row = new QHBoxLayout;
  row->addWidget(loadButton);
  row->addWidget(saveButton);
  row->addStretch();
  row->addWidget(okButton);
  row->addWidget(cancelButton);
  return row;
}

void CPropagationDlg::ArrangeControls(const PathButtons& browse, QLayout* buttons) {
  auto* grid = new QGridLayout;
  const struct {
    const char* label;
    QLineEdit* edit;
  } rows[] = {{"Pair File", pairEdit_}, {"Result File", resultEdit_}, {"Cluster File", clusterEdit_},
              {"Data Path", dataEdit_}};
  for (int row = 0; row < static_cast<int>(browse.size()); ++row) {
    grid->addWidget(new QLabel(QLatin1String(rows[row].label), this), row, 0);
    grid->addWidget(rows[row].edit, row, 1);
    grid->addWidget(browse[row], row, 2);
  }

  auto* checks = new QHBoxLayout;
  checks->addWidget(siteCheck_);
  checks->addSpacing(24);
  checks->addWidget(directoryCheck_);
  checks->addStretch();

  QWidget* filterBox = CreateFilterGroup();

  auto* modCount = new QHBoxLayout;
  modCount->addWidget(new QLabel(QStringLiteral("Mod Count"), this));
  modCount->addWidget(modCountCombo_);
  modCount->addWidget(
      new QLabel(QStringLiteral("(If mod count is over n, mod sites won't be determined!)"), this));
  modCount->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(checks);
  layout->addLayout(grid);
  layout->addWidget(filterBox);
  layout->addLayout(modCount);
  layout->addLayout(buttons);
}

// Only pepXML and mzIdentML files are filtered; empty fields keep the
// readers' defaults, shown greyed.
QWidget* CPropagationDlg::CreateFilterGroup() {
  auto* filterBox = new QGroupBox(QStringLiteral("Search-engine results (pepXML, mzIdentML)"), this);
  auto* filterGrid = new QGridLayout(filterBox);
  filterGrid->addWidget(new QLabel(QStringLiteral("FDR Level"), filterBox), 0, 0);
  filterGrid->addWidget(fdrEdit_, 0, 1);
  filterGrid->addWidget(new QLabel(QStringLiteral("Score Threshold"), filterBox), 0, 2);
  filterGrid->addWidget(thresholdEdit_, 0, 3);
  filterGrid->addWidget(new QLabel(QStringLiteral("Decoy Prefix"), filterBox), 1, 0);
  filterGrid->addWidget(decoyEdit_, 1, 1, 1, 3);
  return filterBox;
}

bool CPropagationDlg::IsModSiteDetermined() const { return siteCheck_->isChecked(); }

void CPropagationDlg::TakeChosenPath(QLineEdit* edit, const QString& chosen) {
  if (chosen.isEmpty()) return;
  edit->setText(QDir::toNativeSeparators(chosen));
  ClearSaved();
}

void CPropagationDlg::BrowsePair() {
  desktop::FileChoice choice;
  choice.proposed = pairEdit_->text();
  if (directoryCheck_->isChecked()) {
    choice.kind = desktop::ChooserKind::Directory;
    choice.title = QStringLiteral("Directory of pair files:");
  } else {
    choice.title = QStringLiteral("Pair file");
    // Both kinds at once: the pair search writes .csv, older runs .txt.
    choice.filter = QStringLiteral("pair files (*.csv *.txt);;All files (*)");
  }
  choice.memoryKey = QStringLiteral("pairs");
  TakeChosenPath(pairEdit_, desktop::ChooseFile(this, choice).value_or(QString()));
}

void CPropagationDlg::BrowseResult() {
  desktop::FileChoice choice;
  choice.title = QStringLiteral("Result file");
  choice.filter = kResultFilter;
  choice.proposed = resultEdit_->text();
  choice.memoryKey = QStringLiteral("identifications");
  TakeChosenPath(resultEdit_, desktop::ChooseFile(this, choice).value_or(QString()));
}

void CPropagationDlg::BrowseCluster() {
  desktop::FileChoice choice;
  choice.title = QStringLiteral("Cluster file");
  choice.filter = QStringLiteral("cluster file (*.csv);;All files (*)");
  choice.proposed = clusterEdit_->text();
  choice.memoryKey = QStringLiteral("clusters");
  TakeChosenPath(clusterEdit_, desktop::ChooseFile(this, choice).value_or(QString()));
}

void CPropagationDlg::BrowseData() {
  desktop::FileChoice choice;
  choice.kind = desktop::ChooserKind::Directory;
  choice.title = QStringLiteral("Directory of data files:");
  choice.proposed = dataEdit_->text();
  choice.memoryKey = QStringLiteral("data");
  TakeChosenPath(dataEdit_, desktop::ChooseFile(this, choice).value_or(QString()));
}

void CPropagationDlg::TakeEditTexts() {
  para_.cluster_file = FromQ(clusterEdit_->text());
  para_.pair_file = FromQ(pairEdit_->text());
  para_.result_file = FromQ(resultEdit_->text());
  para_.dta_path = FromQ(dataEdit_->text());
  para_.fdr_level = FromQ(fdrEdit_->text().trimmed());
  para_.score_threshold = FromQ(thresholdEdit_->text().trimmed());
  para_.decoy_prefix = FromQ(decoyEdit_->text().trimmed());
}

void CPropagationDlg::ShowPara() {
  pairEdit_->setText(ToQ(para_.pair_file));
  resultEdit_->setText(ToQ(para_.result_file));
  clusterEdit_->setText(ToQ(para_.cluster_file));
  dataEdit_->setText(ToQ(para_.dta_path));
  fdrEdit_->setText(ToQ(para_.fdr_level));
  thresholdEdit_->setText(ToQ(para_.score_threshold));
  decoyEdit_->setText(ToQ(para_.decoy_prefix));
  const int index = para_.mod_count - 1;
  modCountCombo_->setCurrentIndex(index >= 0 && index < modCountCombo_->count() ? index : -1);
  siteCheck_->setChecked(para_.is_mod_site_determined != 0);
  directoryCheck_->setChecked(para_.is_directory != 0);
}

bool CPropagationDlg::CheckPaths() {
  const struct {
    const char* field;
    const QLineEdit* edit;
    bool required;
  } paths[] = {{"Result File", resultEdit_, true},
               {"Pair File", pairEdit_, true},
               {"Data Path", dataEdit_, false},
               {"Cluster File", clusterEdit_, false}};
  QStringList problems;
  for (const auto& path : paths) {
    if (!path.required && path.edit->text().isEmpty()) continue;
    const QString problem = desktop::PathProblem(QLatin1String(path.field), path.edit->text());
    if (!problem.isEmpty()) problems << problem;
  }
  if (problems.isEmpty()) return true;
  desktop::ShowMessage(this, desktop::MessageKind::Warning, kTitle, problems.join(QLatin1Char('\n')));
  return false;
}

bool CPropagationDlg::SaveAs() {
  TakeEditTexts();
  if (!CheckPaths()) return false;
  std::string message;
  // A filter value the job would refuse is said now, not after the run.
  CIdentificationFilter filter;
  if (!FilterFromPara(para_, filter, message)) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, kTitle, ToQ(message));
    return false;
  }
  para_.mod_count = static_cast<std::int16_t>(modCountCombo_->currentIndex() + 1);
  para_.is_mod_site_determined = siteCheck_->isChecked() ? 1 : 0;
  para_.is_directory = directoryCheck_->isChecked() ? 1 : 0;

  const std::string name = ProposeParaFileName(para_.pair_file);
  const std::string directory =
      saveDirectory_.empty() ? FromQ(QDir::currentPath()) : saveDirectory_;
  desktop::FileChoice choice;
  choice.kind = desktop::ChooserKind::SaveFile;
  choice.title = QStringLiteral("Save parameters file");
  choice.filter = kParaFilter;
  choice.defaultSuffix = QStringLiteral("para");
  choice.memoryKey = QStringLiteral("propagationParameters");
  choice.proposed = ToQ(path::Join(directory, name.empty() ? name : name + ".para"));
  std::string chosen = FromQ(desktop::ChooseFile(this, choice).value_or(QString()));
  if (chosen.empty()) return false;
  // The job names its reports by dropping ".para"; a name without it would
  // lose its last five characters instead.
  if (!text::EndsWith(text::ToLower(chosen), ".para")) chosen += ".para";

  if (!WritePropagationParaFile(chosen, para_)) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, kTitle,
                         ToQ("Can not save file: " + chosen));
    return false;
  }
  paraPath_ = chosen;
  saved_ = true;
  desktop::RememberFields(this, kMemoryGroup);
  return true;
}

bool CPropagationDlg::Load() {
  desktop::FileChoice choice;
  choice.title = QStringLiteral("Load parameters file");
  choice.filter = kParaFilter;
  // The folder last used for these files, else the working directory.
  choice.proposed = desktop::MemoryEnabled() ? QString() : ToQ(saveDirectory_);
  choice.memoryKey = QStringLiteral("propagationParameters");
  const std::string chosen = FromQ(desktop::ChooseFile(this, choice).value_or(QString()));
  if (chosen.empty()) return false;
  // Read from empty values, as the job reads the file: a key the file
  // leaves empty must not keep a path typed earlier, or the dialog would
  // show inputs the job never sees.
  CPropagationPara loaded;
  if (!ReadPropagationParaFile(chosen, loaded)) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, kTitle,
                         ToQ("Can not open file: " + chosen));
    return false;
  }
  para_ = loaded;
  paraPath_ = chosen;
  ShowPara();
  saved_ = true;
  return true;
}

void CPropagationDlg::accept() {
  if (!CheckPaths()) return;
  if ((paraPath_.empty() || !saved_) && !SaveAs()) return;
  // The reports of an earlier run of this parameter file, and the pair copy
  // every run writes in the working directory, go only when the user agrees.
  QStringList existing;
  for (const std::string& output : JobOutputs(para_, paraPath_)) {
    const QFileInfo info(ToQ(output));
    if (info.exists()) existing << info.absoluteFilePath();
  }
  if (!desktop::ConfirmReplace(this, kTitle, existing)) return;
  desktop::RememberFields(this, kMemoryGroup);
  QDialog::accept();
}
