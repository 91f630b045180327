#include "desktop/shell/ClusterDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "clustering/Para.h"
#include "common/NameTables.h"
#include "common/TextUtil.h"
#include "desktop/shell/core/Memory.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/UserMessage.h"
#include "drivers/cluster/loading/SpectrumOrigins.h"

const char* const CClusterDlg::kDataTypeNames[7] = {"dta", "dtas", "mgf", "pkl", "mzml", "ms2", "raw"};

namespace {

const char* const kPeakSelectionNames[] = {"A:top N peaks", "B:top M peaks per 100 Da", "B+A"};
const char* const kConsensusNames[] = {"Consensus", "Most Similar", "All"};
const char* const kPrecursorUnits[] = {"Da", "ppm"};
const char* const kDaltonOnly[] = {"Da"};
// File patterns of the data types, in list order; "dta" is a folder.
const char* const kDataFilters[] = {"", "dtas file (*.dtas)", "mgf file (*.mgf)", "pkl file (*.pkl)",
                                    "mzML or mzXML run (*.mzML *.mzXML)", "ms2 file (*.ms2)",
                                    "raw file (*.raw)"};
const QString kMemoryGroup = QStringLiteral("ClusterDialog");
// The suggested name starts afresh with each day; the result name is kept
// for each job type apart.
const QStringList kNotRemembered = {QStringLiteral("experimentName"), QStringLiteral("clusterResult")};
// Where each job type's result name is kept, by cluster type.
const char* const kResultKeys[] = {"ClusterDialog/clusteringResult", "ClusterDialog/pairSearchResult"};

// "%Y_%b_%d" with English month names whatever the user's locale, so that
// the suggested file name does not change with the language setting.
QString ExperimentName(const QDate& date) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return QStringLiteral("%1_%2_%3")
      .arg(date.year(), 4, 10, QLatin1Char('0'))
      .arg(QLatin1String(kMonths[date.month() - 1]))
      .arg(date.day(), 2, 10, QLatin1Char('0'));
}

QLineEdit* Field(const char* name, const QString& text, bool numeric) {
  return desktop::NamedField(name, text, numeric, 90);
}

template <typename Names>
QComboBox* List(const char* name, const Names& entries, int selected) {
  auto* box = new QComboBox;
  box->setObjectName(QLatin1String(name));
  for (const char* entry : entries) box->addItem(QLatin1String(entry));
  box->setCurrentIndex(selected);
  return box;
}

std::string Std(const QString& text) { return text.toStdString(); }

// One row of a group: its label, its field and what stands beside the field
// (a button or a unit list), in the order Tab walks through them.
void AddRow(QGridLayout* grid, int row, const char* label, QWidget* field, QWidget* beside = nullptr) {
  grid->addWidget(new QLabel(QLatin1String(label)), row, 0);
  grid->addWidget(field, row, 1);
  if (beside) grid->addWidget(beside, row, 2);
}

}  // namespace

CClusterDlg::CClusterDlg(CTesseraDoc* doc, QWidget* parent)
    : QDialog(parent), doc_(doc) {
  setWindowTitle(QStringLiteral("Cluster Dialog"));
  for (int type : {CLUSTER_SIMILARITY, CLUSTER_SPECTRAL_PAIR}) resultNames_[type] = RememberedResult(type);
  BuildControls();
  ApplyConstraintRule();
  desktop::RecallFields(this, kMemoryGroup, kNotRemembered);
  saved_ = false;
}

const char* CClusterDlg::DefaultResultName(int clusterType) {
  return clusterType == CLUSTER_SPECTRAL_PAIR ? "pairs.csv" : "cluster.csv";
}

QString CClusterDlg::RememberedResult(int clusterType) const {
  const QString name = desktop::Recall(QLatin1String(kResultKeys[clusterType])).toString();
  return name.isEmpty() ? WorkingPath(DefaultResultName(clusterType)) : name;
}

int CClusterDlg::CurrentType() const {
  return withConstraint_->isChecked() ? CLUSTER_SIMILARITY : CLUSTER_SPECTRAL_PAIR;
}

QString CClusterDlg::WorkingPath(const char* name) const {
  return QString::fromStdString((doc_ ? doc_->GetWorkingDirectory() : std::string()) + name);
}

void CClusterDlg::SetClusterType(int clusterType) { withConstraint_->setChecked(clusterType == CLUSTER_SIMILARITY); }

// The groups in the dialog's own order, which is also the order in which Tab
// walks through them.
void CClusterDlg::BuildControls() {
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(BuildTopRow());
  outer->addWidget(BuildInputGroup());
  outer->addWidget(BuildOutputGroup());
  outer->addWidget(BuildSimilarityGroup());
  outer->addWidget(BuildClusterGroup());
  QWidget* advanced = BuildAdvancedPart();
  outer->addWidget(advanced);
  layout_ = std::make_unique<desktop::CCompactLayout>(this, advanced, layoutToggle_, QStringLiteral("&Advanced>>"),
                                                      QStringLiteral("<<&Normal"));
}

QLayout* CClusterDlg::BuildTopRow() {
  auto* top = new QGridLayout;
  experimentName_ = Field("experimentName", ExperimentName(QDate::currentDate()), false);
  withConstraint_ = new QCheckBox(QStringLiteral("With Constraint"));
  withConstraint_->setObjectName(QStringLiteral("withConstraint"));
  withConstraint_->setChecked(true);
  top->addWidget(new QLabel(QStringLiteral("Experiment name")), 0, 0);
  top->addWidget(experimentName_, 0, 1);
  top->addWidget(withConstraint_, 0, 2);
  connect(withConstraint_, &QCheckBox::toggled, this, &CClusterDlg::OnConstraintToggled);
  return top;
}

QWidget* CClusterDlg::BuildInputGroup() {
  auto* input = new QGroupBox(QStringLiteral("Input"));
  auto* grid = new QGridLayout(input);
  dataType_ = List("dataType", kDataTypeNames, 0);
  browseAsDirectory_ = new QCheckBox(QStringLiteral("Browse as directory"));
  browseAsDirectory_->setObjectName(QStringLiteral("browseAsDirectory"));
  dataPathEdit_ = Field("dataPath", QString(), false);
  dataPathEdit_->setMinimumWidth(320);
  auto* dataBrowse = desktop::NamedButton("dataBrowse", QStringLiteral("Browse"));
  AddRow(grid, 0, "Data type", dataType_, browseAsDirectory_);
  grid->addWidget(new QLabel(QStringLiteral("Data path")), 1, 0);
  grid->addWidget(dataPathEdit_, 1, 1, 1, 2);
  grid->addWidget(dataBrowse, 1, 3);
  connect(dataBrowse, &QPushButton::clicked, this, &CClusterDlg::OnDataBrowse);
  connect(dataPathEdit_, &QLineEdit::textChanged, this, &CClusterDlg::OnDataPathChanged);
  return input;
}

QWidget* CClusterDlg::BuildOutputGroup() {
  auto* output = new QGroupBox(QStringLiteral("Output"));
  auto* grid = new QGridLayout(output);
  const std::string last = doc_ ? doc_->GetLastDataPath() : std::string();
  representativePath_ =
      Field("representativePath", last.empty() ? QString() : QString::fromStdString(last + "_new"), false);
  representativeBrowse_ = desktop::NamedButton("representativeBrowse", QStringLiteral("Browse"));
  clusterResultEdit_ = Field("clusterResult", resultNames_[CLUSTER_SIMILARITY], false);
  auto* clusterResultBrowse = desktop::NamedButton("clusterResultBrowse", QStringLiteral("Browse"));
  AddRow(grid, 0, "Representative Spectra Path", representativePath_, representativeBrowse_);
  AddRow(grid, 1, "Clustering Result", clusterResultEdit_, clusterResultBrowse);
  connect(representativeBrowse_, &QPushButton::clicked, this, [this] {
    if (auto folder = desktop::ChooseFolder(this, QStringLiteral("Directory of representative spectral files:"),
                                            QStringLiteral("representatives"))) {
      representativePath_->setText(*folder);
      saved_ = false;
    }
  });
  connect(clusterResultBrowse, &QPushButton::clicked, this, [this] {
    desktop::FileChoice choice =
        desktop::SaveChoice(QStringLiteral("csv files (*.csv)"), clusterResultEdit_->text(), QStringLiteral("csv"));
    choice.memoryKey = QStringLiteral("results");
    if (auto file = desktop::ChooseFile(this, choice)) {
      clusterResultEdit_->setText(*file);
      saved_ = false;
    }
  });
  return output;
}

QWidget* CClusterDlg::BuildSimilarityGroup() {
  auto* similarity = new QGroupBox(QStringLiteral("Similarity"));
  auto* row = new QHBoxLayout(similarity);
  similarityMethod_ = List("similarityMethod", names::kSimilarMethodNames, similarityIndex_);
  row->addWidget(new QLabel(QStringLiteral("Similarity Method")));
  row->addWidget(similarityMethod_, 1);
  connect(similarityMethod_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
    similarityIndex_ = index;
    saved_ = false;
  });
  return similarity;
}

QWidget* CClusterDlg::BuildClusterGroup() {
  auto* cluster = new QGroupBox(QStringLiteral("Cluster"));
  auto* grid = new QGridLayout(cluster);
  consensusMethod_ = List("consensusMethod", kConsensusNames, 0);
  thresholdEdit_ = Field("threshold", QString::asprintf("%.2f", threshold_), true);
  layoutToggle_ = desktop::NamedButton("layoutToggle", QString());
  auto* saveAs = desktop::NamedButton("saveAs", QStringLiteral("Save as"));
  auto* start = desktop::NamedButton("start", QStringLiteral("Start"));
  start->setDefault(true);
  auto* cancel = desktop::NamedButton("cancel", QStringLiteral("Cancel"));
  AddRow(grid, 0, "Consensus Spectra Method", consensusMethod_);
  AddRow(grid, 1, "Threshold", thresholdEdit_, new QLabel(QStringLiteral("similarity, 0 to 1")));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(layoutToggle_);
  buttons->addStretch(1);
  buttons->addWidget(saveAs);
  buttons->addWidget(start);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 2, 0, 1, 3);
  // Short fields stay beside their labels; the spare width goes behind them.
  grid->setColumnStretch(2, 1);
  connect(thresholdEdit_, &QLineEdit::textChanged, this, [this](const QString& text) {
    threshold_ = text::AtoF(Std(text));
    saved_ = false;
  });
  connect(layoutToggle_, &QPushButton::clicked, this, &CClusterDlg::OnToggleLayout);
  connect(saveAs, &QPushButton::clicked, this, &CClusterDlg::OnSaveAs);
  connect(start, &QPushButton::clicked, this, &CClusterDlg::OnStart);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  return cluster;
}

// Below the separator: what the compact layout leaves out.
QWidget* CClusterDlg::BuildAdvancedPart() {
  auto* advanced = new QWidget;
  advanced->setObjectName(QStringLiteral("advanced"));
  auto* column = new QVBoxLayout(advanced);
  column->setContentsMargins(0, 0, 0, 0);
  auto* separator = new QFrame;
  separator->setFrameShape(QFrame::HLine);
  separator->setFrameShadow(QFrame::Sunken);
  column->addWidget(separator);
  column->addWidget(BuildPreprocessGroup());
  column->addWidget(BuildToleranceGroup());
  // Side by side, so that the full layout fits a small screen.
  auto* lastRow = new QHBoxLayout;
  lastRow->addWidget(BuildMergeGroup());
  lastRow->addWidget(BuildPairSearchGroup());
  column->addLayout(lastRow);
  return advanced;
}

QWidget* CClusterDlg::BuildPreprocessGroup() {
  auto* preprocess = new QGroupBox(QStringLiteral("Preprocess"));
  auto* grid = new QGridLayout(preprocess);
  spectralFiltering_ = Field("spectralFiltering", QStringLiteral("10"), true);
  peakSelection_ = List("peakSelection", kPeakSelectionNames, 2);
  topN_ = Field("topN", QStringLiteral("30"), true);
  topM_ = Field("topM", QStringLiteral("5"), true);
  grid->addWidget(new QLabel(QStringLiteral("Spectral filtering (peaks)")), 0, 0);
  grid->addWidget(spectralFiltering_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Spectra with fewer peaks than this are filtered out")), 0, 2, 1, 4);
  grid->addWidget(new QLabel(QStringLiteral("Peak selection")), 1, 0);
  grid->addWidget(peakSelection_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("N=")), 1, 2, Qt::AlignRight);
  grid->addWidget(topN_, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("M=")), 1, 4, Qt::AlignRight);
  grid->addWidget(topM_, 1, 5);
  grid->addWidget(new QLabel(QStringLiteral("N peaks of the spectrum, M peaks per 100 Da")), 2, 2, 1, 4);
  return preprocess;
}

QWidget* CClusterDlg::BuildToleranceGroup() {
  auto* tolerance = new QGroupBox(QStringLiteral("Similarity Tolerance"));
  auto* grid = new QGridLayout(tolerance);
  precursorTol_ = Field("precursorTol", QString::asprintf("%.3lf", 2.5), true);
  precursorUnit_ = List("precursorUnit", kPrecursorUnits, 0);
  fragmentTol_ = Field("fragmentTol", QStringLiteral("0.5"), true);
  fragmentUnit_ = List("fragmentUnit", kDaltonOnly, 0);
  AddRow(grid, 0, "Precursor tol", precursorTol_, precursorUnit_);
  AddRow(grid, 1, "Fragment tol", fragmentTol_, fragmentUnit_);
  grid->setColumnStretch(3, 1);
  return tolerance;
}

QWidget* CClusterDlg::BuildMergeGroup() {
  auto* merge = new QGroupBox(QStringLiteral("Cluster advance"));
  auto* grid = new QGridLayout(merge);
  mergeTol_ = Field("mergeTol", QStringLiteral("0.4"), true);
  mergeUnit_ = List("mergeUnit", kDaltonOnly, 0);
  AddRow(grid, 0, "Merge peak tol", mergeTol_, mergeUnit_);
  grid->addWidget(new QLabel(QStringLiteral("when generating consensus spectra")), 1, 0, 1, 4);
  grid->setColumnStretch(3, 1);
  return merge;
}

// The mass shifts a pair search looks for, and how close two shifts must be
// to count as one; clustering has no use for them.
QWidget* CClusterDlg::BuildPairSearchGroup() {
  auto* pairs = new QGroupBox(QStringLiteral("Spectral pair search"));
  auto* grid = new QGridLayout(pairs);
  pairMassLower_ = Field("pairMassLower", QStringLiteral("6"), true);
  pairMassUpper_ = Field("pairMassUpper", QStringLiteral("200"), true);
  pairMassTol_ = Field("pairMassTol", QStringLiteral("0.01"), true);
  for (QLineEdit* field : {pairMassLower_, pairMassUpper_, pairMassTol_}) field->setMaximumWidth(70);
  AddRow(grid, 0, "Mass shift (Da)", pairMassLower_, new QLabel(QStringLiteral("to")));
  grid->addWidget(pairMassUpper_, 0, 3);
  AddRow(grid, 1, "Mass tolerance (Da)", pairMassTol_);
  // Every scored pair, appended run after run: on large runs it takes far
  // longer to write than the search itself, so only on request.
  scoreLog_ = new QCheckBox(QStringLiteral("Write the score log (score.txt)"));
  scoreLog_->setObjectName(QStringLiteral("scoreLog"));
  grid->addWidget(scoreLog_, 2, 0, 1, 5);
  grid->setColumnStretch(4, 1);
  connect(scoreLog_, &QCheckBox::toggled, this, [this] { saved_ = false; });
  return pairs;
}

void CClusterDlg::ApplyConstraintRule() {
  const bool constrained = withConstraint_->isChecked();
  precursorTol_->setEnabled(constrained);
  precursorUnit_->setEnabled(constrained);
  representativePath_->setEnabled(constrained);
  // Its button too: a browse must not fill a field the user cannot edit.
  representativeBrowse_->setEnabled(constrained);
  consensusMethod_->setEnabled(constrained);
  for (QLineEdit* field : {pairMassLower_, pairMassUpper_, pairMassTol_}) field->setEnabled(!constrained);
  scoreLog_->setEnabled(!constrained);
}

void CClusterDlg::OnConstraintToggled() {
  ApplyConstraintRule();
  // Each job type has a result name of its own: the name shown was the
  // other type's, and the pair search must never be offered the cluster
  // file (nor clustering the pair file).
  const int type = CurrentType();
  resultNames_[1 - type] = clusterResultEdit_->text();
  clusterResultEdit_->setText(resultNames_[type]);
  saved_ = false;
}

void CClusterDlg::OnToggleLayout() {
  layout_->SetFull(!layout_->IsFull());
  ApplyConstraintRule();
  saved_ = false;
}

void CClusterDlg::OnDataBrowse() {
  dataTypeIndex_ = dataType_->currentIndex();
  if (!browseAsDirectory_->isChecked() && dataTypeIndex_ != MS2_FORMAT_DTA) {
    desktop::FileChoice choice = desktop::OpenChoice(QLatin1String(kDataFilters[dataTypeIndex_]));
    choice.memoryKey = QStringLiteral("data");
    const auto file = desktop::ChooseFile(this, choice);
    if (!file) return;
    if (!desktop::PathExists(*file)) {
      desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(),
                           QStringLiteral("Can not find file: ") + *file);
      return;
    }
    dataPathEdit_->setText(*file);
  } else {
    const auto folder = desktop::ChooseFolder(this, QStringLiteral("Directory of data files:"), QStringLiteral("data"));
    if (!folder) return;
    dataPathEdit_->setText(*folder);
  }
  dataPath_ = dataPathEdit_->text();
  saved_ = false;
}

void CClusterDlg::OnDataPathChanged(const QString& text) {
  dataPath_ = text;
  if (text.isEmpty()) return;
  representativePath_->setText(text + QStringLiteral("_new"));
  saved_ = false;
}

bool CClusterDlg::Validate() {
  desktop::CFieldChecks checks;
  const QString data = dataPathEdit_->text();
  if (data.isEmpty())
    checks.Add(QStringLiteral("Data path: choose the spectra to cluster first."));
  else if (!desktop::PathExists(data))
    checks.Add(desktop::PathProblem(QStringLiteral("Data path"), data));
  constexpr double kHuge = 1e9;
  checks.Decimal(thresholdEdit_, "Threshold", 0.0, true, 1.0, "a similarity from 0 to 1");
  checks.Whole(spectralFiltering_, "Spectral filtering", 0, "a whole number of peaks, 0 or more");
  checks.Whole(topN_, "N", 1, "a whole number of peaks, 1 or more");
  checks.Whole(topM_, "M", 1, "a whole number of peaks, 1 or more");
  checks.Decimal(precursorTol_, "Precursor tol", 0.0, false, kHuge, "a tolerance above 0");
  checks.Decimal(fragmentTol_, "Fragment tol", 0.0, false, kHuge, "a tolerance above 0 Da");
  checks.Decimal(mergeTol_, "Merge peak tol", 0.0, false, kHuge, "a tolerance above 0 Da");
  if (!withConstraint_->isChecked()) {
    checks.Range("Mass shift", pairMassLower_, pairMassUpper_, true, 0.0, true);
    checks.Decimal(pairMassTol_, "Mass tolerance", 0.0, false, kHuge, "a tolerance above 0 Da");
  }
  return checks.Passed(this, windowTitle());
}

bool CClusterDlg::MayReplaceResults(int clusterType) {
  QStringList existing;
  const QString result = clusterResultEdit_->text();
  if (!result.isEmpty() && QFileInfo::exists(result)) existing << result;
  // Clustering writes its per-spectrum table beside the cluster file under
  // one fixed name, whatever the cluster file is called.
  if (clusterType == CLUSTER_SIMILARITY && !result.isEmpty()) {
    const QString table = QFileInfo(result).absoluteDir().filePath(QLatin1String(clusterjob::kClusterTableName));
    if (QFileInfo::exists(table)) existing << table;
  }
  // Clustering writes its representative spectra into that folder.
  const QString representatives = representativePath_->text();
  if (clusterType == CLUSTER_SIMILARITY && !representatives.isEmpty() &&
      !QDir(representatives).entryList({QStringLiteral("*.dta")}, QDir::Files).isEmpty())
    existing << representatives + QStringLiteral(" (its .dta files)");
  return desktop::ConfirmReplace(this, windowTitle(), existing);
}

void CClusterDlg::OnSaveAs() {
  dataTypeIndex_ = dataType_->currentIndex();
  similarityIndex_ = similarityMethod_->currentIndex();
  const int clusterType = CurrentType();
  const QString clusterResult = clusterResultEdit_->text();
  if (!Validate() || !MayReplaceResults(clusterType)) return;

  // The order is binding: SetCluster takes the data and representative
  // objects that the first two setters create.
  CPara para;
  para.SetDataClass(static_cast<MS2FormatType>(dataTypeIndex_), Std(dataPath_),
                    Std(representativePath_->text()), Std(clusterResult),
                    text::AtoI(Std(spectralFiltering_->text())));
  para.SetRepresentativeClass(static_cast<Representative_Spectra>(consensusMethod_->currentIndex()),
                              text::AtoF(Std(mergeTol_->text())),
                              static_cast<Tolerance_Type>(mergeUnit_->currentIndex()));
  para.SetCluster(para.spectra_process.get(), para.representative_spectra.get(),
                  static_cast<Cluster_Type>(clusterType), text::AtoF(Std(precursorTol_->text())),
                  static_cast<Tolerance_Type>(precursorUnit_->currentIndex()), threshold_);
  para.SetSimilarMethod(static_cast<Similar_Method>(similarityIndex_), text::AtoF(Std(fragmentTol_->text())),
                        static_cast<Tolerance_Type>(fragmentUnit_->currentIndex()));
  para.SetPeakSelect(static_cast<Peak_Select_Method>(peakSelection_->currentIndex()),
                     text::AtoI(Std(topN_->text())), text::AtoI(Std(topM_->text())), 100);
  if (clusterType == CLUSTER_SPECTRAL_PAIR) {
    para.cluster->lower_mass = text::AtoI(Std(pairMassLower_->text()));
    para.cluster->upper_mass = text::AtoI(Std(pairMassUpper_->text()));
    para.cluster->cluster_masses_tol = text::AtoF(Std(pairMassTol_->text()));
    para.cluster->score_log = scoreLog_->isChecked();
  }

  desktop::FileChoice choice = desktop::SaveChoice(QStringLiteral("para file (*.txt)"),
                                                   experimentName_->text() + QStringLiteral(".txt"), QStringLiteral("txt"));
  choice.memoryKey = QStringLiteral("parameters");
  const auto path = desktop::ChooseFile(this, choice);
  if (!path) return;
  if (path->isEmpty()) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(),
                         QStringLiteral("You have to write a name..."));
    return;
  }
  // A file that was not written must not be handed to the back end as if
  // it had been.
  if (!para.WriteParaFile(Std(*path))) {
    desktop::ShowMessage(this, desktop::MessageKind::Error, windowTitle(),
                         QStringLiteral("Can not save file: ") + *path);
    return;
  }
  parameters_ = *path;
  program_ = QStringLiteral("cluster");
  clusterType_ = clusterType;
  clusterResult_ = clusterResult;
  saved_ = true;
  desktop::RememberFields(this, kMemoryGroup, kNotRemembered);
  desktop::Remember(QLatin1String(kResultKeys[clusterType]), clusterResult);
}

void CClusterDlg::OnStart() {
  if (!saved_) OnSaveAs();
  // A refused value or a cancelled save box keeps the dialog open with what
  // was typed; Cancel closes it.
  if (saved_) accept();
}
