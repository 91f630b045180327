#include "desktop/shell/ShiftscanDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

#include "common/TextUtil.h"
#include "desktop/shell/core/Memory.h"
#include "desktop/shell/core/UserMessage.h"

namespace {

// The Linux raw-file dumper reads the open formats that vendor raw files are
// converted to, so those are offered with "*.RAW", first of all together.
const QString kRawFilter = QStringLiteral(
    "RAW, mzML or mzXML run (*.RAW *.mzML *.mzXML);;RAW file (*.RAW);;mzML or mzXML run (*.mzML *.mzXML)");
const QString kMs2Filter = QStringLiteral("MS2 file (*.ms2)");
const QString kDataFolderTitle = QStringLiteral("Directory of data files:");
const QString kMemoryGroup = QStringLiteral("ShiftscanDialog");
// The names Shiftscan gives its pair files ("pair_m15.994900_p0.98.csv").
const QString kPairFilePattern = QStringLiteral("pair_m*_p*.csv");

QLineEdit* Field(const char* name, const QString& text, bool numeric) {
  QLineEdit* edit = desktop::NamedField(name, text, numeric, 100);
  if (!numeric) edit->setMinimumWidth(240);
  return edit;
}

QCheckBox* Check(const char* name, const QString& text, bool checked) {
  auto* box = new QCheckBox(text);
  box->setObjectName(QLatin1String(name));
  box->setChecked(checked);
  return box;
}

QLabel* Note(const char* text) {
  auto* label = new QLabel(QLatin1String(text));
  label->setStyleSheet(QStringLiteral("color: palette(dark)"));
  return label;
}

// A group of rows: label, field, and an optional note or button after it.
// Fields stand right after their labels, in one column across the groups of
// a side; what width is left goes behind the notes.
struct Rows {
  explicit Rows(const char* title) : box(new QGroupBox(QLatin1String(title))), grid(new QGridLayout(box)) {
    grid->setColumnMinimumWidth(0, 100);
    grid->setColumnStretch(2, 1);
  }
  void Add(const char* label, QWidget* field, QWidget* after = nullptr) {
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(QLatin1String(label)), row, 0);
    grid->addWidget(field, row, 1);
    if (after) grid->addWidget(after, row, 2, Qt::AlignLeft);
  }
  QGroupBox* box;
  QGridLayout* grid;
};

}  // namespace

CShiftscanDlg::CShiftscanDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Shiftscan Parameters Setting"));
  BuildControls();
  ApplyCheckRules();
  desktop::RecallFields(this, kMemoryGroup);
  derivedFrom_ = filePath_->text();
}

void CShiftscanDlg::BuildControls() {
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(BuildTopRow());
  outer->addWidget(BuildDataGroup());

  // Below the separator: what the compact layout leaves out.
  auto* advanced = new QWidget;
  advanced->setObjectName(QStringLiteral("advanced"));
  auto* column = new QVBoxLayout(advanced);
  column->setContentsMargins(0, 0, 0, 0);
  auto* separator = new QFrame;
  separator->setFrameShape(QFrame::HLine);
  separator->setFrameShadow(QFrame::Sunken);
  column->addWidget(separator);

  // Two columns, so that the full layout fits a small screen.
  auto* left = new QVBoxLayout;
  auto* right = new QVBoxLayout;
  auto* columns = new QHBoxLayout;
  columns->addLayout(left);
  columns->addLayout(right);
  column->addLayout(columns);
  for (QGroupBox* group : BuildRangeGroups()) left->addWidget(group);
  right->addWidget(BuildPairGroup());
  left->addWidget(BuildModeGroup());
  left->addStretch(1);
  right->addWidget(BuildOtherGroup());
  right->addStretch(1);

  column->addLayout(BuildBottomRow());
  column->addWidget(
      Note("Method: modifications found from mass and retention-time differences of precursor pairs."));
  outer->addWidget(advanced);

  layout_ = std::make_unique<desktop::CCompactLayout>(this, advanced, layoutToggle_, QStringLiteral("&More>>"),
                                                      QStringLiteral("<<&Less"));
  ConnectControls();
}

QHBoxLayout* CShiftscanDlg::BuildTopRow() {
  auto* topRow = new QHBoxLayout;
  topOk_ = desktop::NamedButton("topOk", QStringLiteral("OK"));
  topOk_->setDefault(true);
  topCancel_ = desktop::NamedButton("topCancel", QStringLiteral("Cancel"));
  layoutToggle_ = desktop::NamedButton("layoutToggle", QString());
  topRow->addStretch(1);
  topRow->addWidget(topOk_);
  topRow->addWidget(topCancel_);
  topRow->addWidget(layoutToggle_);
  return topRow;
}

QGroupBox* CShiftscanDlg::BuildDataGroup() {
  Rows data("Data");
  fileType_ = new QComboBox;
  fileType_->setObjectName(QStringLiteral("fileType"));
  fileType_->addItems({QStringLiteral("RAW"), QStringLiteral("DTA"), QStringLiteral("MS2")});
  fileType_->setCurrentIndex(0);
  filePath_ = Field("filePath", QString(), false);
  filePathBrowse_ = desktop::NamedButton("filePathBrowse", QStringLiteral("..."));
  data.Add("File type", fileType_, Note("RAW/DTA/MS2/"));
  data.Add("File path", filePath_, filePathBrowse_);
  // The path takes the width here: it is the one long text of the group.
  data.grid->setColumnStretch(1, 1);
  data.grid->setColumnStretch(2, 0);
  return data.box;
}

std::vector<QGroupBox*> CShiftscanDlg::BuildRangeGroups() {
  Rows mass("Mass");
  massLower_ = Field("massLower", QStringLiteral("0"), true);
  massUpper_ = Field("massUpper", QStringLiteral("1000000"), true);
  mass.Add("Lower (Da)", massLower_, Note("precursor MH+"));
  mass.Add("Upper (Da)", massUpper_, Note("precursor MH+"));
  Rows time("Retention Time");
  timeLower_ = Field("timeLower", QStringLiteral("0"), true);
  timeUpper_ = Field("timeUpper", QStringLiteral("1000000"), true);
  time.Add("Lower (s)", timeLower_, Note("as the run gives it: seconds in mzML and mzXML"));
  time.Add("Upper (s)", timeUpper_);
  Rows modification("Modification");
  modMassLower_ = Field("modMassLower", QStringLiteral("1"), true);
  modMassUpper_ = Field("modMassUpper", QStringLiteral("200"), true);
  modification.Add("Mass lower (Da)", modMassLower_, Note("minimal modification mass, whole Da"));
  modification.Add("Mass upper (Da)", modMassUpper_, Note("maximal modification mass, whole Da"));
  return {mass.box, time.box, modification.box};
}

QGroupBox* CShiftscanDlg::BuildPairGroup() {
  Rows pair("Pair");
  findPair_ = Check("findPair", QStringLiteral("Report spectral pairs"), true);
  pair.grid->addWidget(findPair_, 0, 0, 1, 3);
  ppthres_ = Field("ppthres", QStringLiteral("0.98"), true);
  dtaName_ = Field("dtaName", QString(), false);
  pairPath_ = Field("pairPath", QString(), false);
  pairPathBrowse_ = desktop::NamedButton("pairPathBrowse", QStringLiteral("..."));
  pair.Add("ppthres", ppthres_, Note("threshold of posterior probability"));
  pair.Add("DTA name", dtaName_);
  pair.grid->addWidget(Note("prefix of DTA files, e.g. XXXXX for XXXXX.1234.1234.2.dta"), pair.grid->rowCount(),
                       1, 1, 2);
  pair.Add("Pair path", pairPath_, pairPathBrowse_);
  return pair.box;
}

QGroupBox* CShiftscanDlg::BuildModeGroup() {
  Rows mode("Mode");
  postSearch_ = Check("postSearch", QStringLiteral("limited to DB search results"), false);
  mode.grid->addWidget(postSearch_, 0, 0, 1, 3);
  identSpectFile_ = Field("identSpectFile", QString(), false);
  identSpectFileBrowse_ = desktop::NamedButton("identSpectFileBrowse", QStringLiteral("..."));
  mode.Add("Identified result", identSpectFile_, identSpectFileBrowse_);
  return mode.box;
}

QGroupBox* CShiftscanDlg::BuildOtherGroup() {
  Rows other("Other");
  tdScore_ = Field("tdScore", QStringLiteral("10"), true);
  tDeltaC_ = Field("tDeltaC", QStringLiteral("0.3"), true);
  massTol_ = Field("massTol", QStringLiteral("5"), true);
  massRes_ = Field("massRes", QStringLiteral("0.01"), true);
  maxNData_ = Field("maxNData", QStringLiteral("5000"), true);
  detectComb_ = Check("detectComb", QStringLiteral("Detect combinatorial modifications"), true);
  other.Add("T_d_score", tdScore_, Note("lowest d-score of a shift"));
  other.Add("T_delta_C", tDeltaC_, Note("lowest excess over the background"));
  other.Add("Mass tolerance (ppm)", massTol_, Note("precursors this close are one"));
  other.Add("Massres (Da)", massRes_, Note("width of the mass bins"));
  other.Add("Max data", maxNData_, Note("most precursors kept"));
  other.grid->addWidget(detectComb_, other.grid->rowCount(), 0, 1, 3);
  return other.box;
}

QHBoxLayout* CShiftscanDlg::BuildBottomRow() {
  auto* bottomRow = new QHBoxLayout;
  saveAs_ = desktop::NamedButton("saveAs", QStringLiteral("Save as..."));
  ok_ = desktop::NamedButton("ok", QStringLiteral("OK"));
  cancel_ = desktop::NamedButton("cancel", QStringLiteral("Cancel"));
  bottomRow->addWidget(saveAs_);
  bottomRow->addStretch(1);
  bottomRow->addWidget(ok_);
  bottomRow->addWidget(cancel_);
  return bottomRow;
}

void CShiftscanDlg::ConnectControls() {
  connect(findPair_, &QCheckBox::toggled, this, &CShiftscanDlg::ApplyCheckRules);
  connect(postSearch_, &QCheckBox::toggled, this, &CShiftscanDlg::ApplyCheckRules);
  connect(filePathBrowse_, &QPushButton::clicked, this, &CShiftscanDlg::OnDataBrowse);
  connect(pairPathBrowse_, &QPushButton::clicked, this, [this] {
    if (auto folder = desktop::ChooseFolder(this, kDataFolderTitle, QStringLiteral("pairs"))) pairPath_->setText(*folder);
  });
  connect(identSpectFileBrowse_, &QPushButton::clicked, this, [this] {
    desktop::FileChoice choice = desktop::OpenChoice(QStringLiteral("spectra file (*.spectra)"));
    choice.memoryKey = QStringLiteral("identifications");
    const auto file = desktop::ChooseFile(this, choice);
    if (!file) return;
    if (desktop::PathExists(*file)) {
      identSpectFile_->setText(*file);
    } else {
      desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(),
                           QStringLiteral("Can not find file: ") + *file);
    }
  });
  connect(layoutToggle_, &QPushButton::clicked, this, &CShiftscanDlg::OnToggleLayout);
  connect(saveAs_, &QPushButton::clicked, this, &CShiftscanDlg::OnSaveAs);
  connect(topOk_, &QPushButton::clicked, this, &CShiftscanDlg::OnOk);
  connect(ok_, &QPushButton::clicked, this, &CShiftscanDlg::OnOk);
  connect(topCancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CShiftscanDlg::ApplyCheckRules() {
  const bool pairs = findPair_->isChecked();
  ppthres_->setEnabled(pairs);
  dtaName_->setEnabled(pairs);
  pairPath_->setEnabled(pairs);
  pairPathBrowse_->setEnabled(pairs);
  const bool limited = postSearch_->isChecked();
  identSpectFile_->setEnabled(limited);
  identSpectFileBrowse_->setEnabled(limited);
}

void CShiftscanDlg::OnToggleLayout() {
  layout_->SetFull(!layout_->IsFull());
  ApplyCheckRules();
  topOk_->setVisible(!layout_->IsFull());
  topCancel_->setVisible(!layout_->IsFull());
}

void CShiftscanDlg::OnDataBrowse() {
  switch (fileType_->currentIndex()) {
    case 1: {
      const auto folder = desktop::ChooseFolder(this, kDataFolderTitle, QStringLiteral("data"));
      if (!folder) return;
      filePath_->setText(*folder);
      break;
    }
    case 0:
    case 2: {
      desktop::FileChoice choice = desktop::OpenChoice(fileType_->currentIndex() == 0 ? kRawFilter : kMs2Filter);
      choice.memoryKey = QStringLiteral("data");
      const auto file = desktop::ChooseFile(this, choice);
      if (file) {
        if (!desktop::PathExists(*file)) {
          desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(),
                               QStringLiteral("Can not find file: ") + *file);
          return;
        }
        filePath_->setText(*file);
      }
      // Cancelled: the pair settings still follow the path already typed.
      break;
    }
    default:
      return;
  }
  DerivePairSettings();
}

CShiftscanDlg::PairSettings CShiftscanDlg::PairSettingsFor(const QString& path) {
  int separator = path.lastIndexOf(QLatin1Char('/'));
  if (separator < 0) separator = path.lastIndexOf(QLatin1Char('\\'));
  const QString name = path.mid(separator + 1);
  const QString directory = path.left(separator + 1);
  // A file loses its extension (".mzML" as well as ".raw"); a folder of DTA
  // files loses the last four characters of its name.
  PairSettings settings;
  if (QFileInfo(path).isDir()) {
    settings.dtaName = name.left(std::max(0, static_cast<int>(name.size()) - 4));
  } else {
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    settings.dtaName = dot > 0 ? name.left(dot) : name;
  }
  settings.pairPath = directory + QStringLiteral("pair");
  return settings;
}

void CShiftscanDlg::DerivePairSettings() {
  const PairSettings settings = PairSettingsFor(filePath_->text());
  dtaName_->setText(settings.dtaName);
  pairPath_->setText(settings.pairPath);
  derivedFrom_ = filePath_->text();
  if (!QFileInfo::exists(settings.pairPath)) QDir().mkpath(settings.pairPath);
}

bool CShiftscanDlg::Validate() {
  if (!desktop::PathExists(filePath_->text())) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(), QStringLiteral("Wrong data path!"));
    return false;
  }
  // A path typed instead of browsed has not set the pair settings; they
  // follow from it as from a browse, keeping a DTA name typed meanwhile.
  if (findPair_->isChecked() && pairPath_->text().isEmpty()) {
    const QString typedName = dtaName_->text();
    DerivePairSettings();
    if (!typedName.isEmpty()) dtaName_->setText(typedName);
  }
  // Settings that still show what an earlier path gave (as the dialog
  // remembers them) follow a path typed since: the DTA name names the
  // spectra in the pair files, and another run's name would match none.
  const PairSettings earlier = PairSettingsFor(derivedFrom_);
  if (findPair_->isChecked() && filePath_->text() != derivedFrom_ && dtaName_->text() == earlier.dtaName &&
      pairPath_->text() == earlier.pairPath)
    DerivePairSettings();
  if (findPair_->isChecked() && !desktop::PathExists(pairPath_->text())) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(), QStringLiteral("Wrong pair path!"));
    return false;
  }
  QStringList problems = NumberProblems();
  std::string refused;
  if (problems.isEmpty() && !Configuration().Validate(refused)) problems << QString::fromStdString(refused);
  if (!problems.isEmpty()) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(), problems.join(QLatin1Char('\n')));
    return false;
  }
  return true;
}

QStringList CShiftscanDlg::NumberProblems() const {
  desktop::CFieldChecks checks;
  checks.Range("Mass", massLower_, massUpper_, false, 0.0, false);
  checks.Range("Retention time", timeLower_, timeUpper_, false, 0.0, false);
  checks.Range("Modification mass", modMassLower_, modMassUpper_, true, -std::numeric_limits<double>::infinity(),
               false);
  if (findPair_->isChecked())
    checks.Decimal(ppthres_, "ppthres", 0.0, false, 1.0, "a probability above 0 and at most 1");
  checks.Decimal(tdScore_, "T_d_score", 0.0, true, 1e300, "a number, 0 or more");
  checks.Decimal(tDeltaC_, "T_delta_C", 0.0, true, 1e300, "a number, 0 or more");
  checks.Decimal(massTol_, "Mass tolerance", 0.0, false, 1e6, "a tolerance above 0 ppm");
  checks.Decimal(massRes_, "Massres", 0.0, false, 1e6, "a bin width above 0 Da");
  checks.Whole(maxNData_, "Max data", 1, "a whole number, 1 or more");
  return checks.Problems();
}

QStringList CShiftscanDlg::EarlierPairFiles() const {
  if (!findPair_->isChecked() || pairPath_->text().isEmpty()) return {};
  const QDir folder(pairPath_->text());
  QStringList files;
  for (const QString& name : folder.entryList({kPairFilePattern}, QDir::Files)) files << folder.filePath(name);
  return files;
}

bool CShiftscanDlg::SaveAs() {
  if (!Validate()) {
    closeAllowed_ = false;
    return false;
  }
  desktop::FileChoice choice = desktop::SaveChoice(QStringLiteral("para file (*.txt)"), QString(), QStringLiteral("txt"));
  choice.memoryKey = QStringLiteral("parameters");
  const auto path = desktop::ChooseFile(this, choice);
  if (!path) return false;
  if (path->isEmpty()) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(),
                         QStringLiteral("You have to write a name..."));
    return false;
  }
  if (!WriteConfiguration(*path)) {
    desktop::ShowMessage(this, desktop::MessageKind::Error, windowTitle(),
                         QStringLiteral("Can not save file: ") + *path);
    return false;
  }
  desktop::RememberFields(this, kMemoryGroup);
  return true;
}

void CShiftscanDlg::OnSaveAs() { SaveAs(); }

void CShiftscanDlg::OnOk() {
  closeAllowed_ = true;
  if (!Validate()) return;
  // The job writes a pair file per shift it finds; an earlier run's files
  // for other shifts would be read with the new ones.
  const QStringList earlier = EarlierPairFiles();
  QStringList shown = earlier.mid(0, 5);
  if (earlier.size() > shown.size()) shown << QStringLiteral("... %1 pair files in all").arg(earlier.size());
  if (!desktop::ConfirmReplace(this, windowTitle(), shown)) return;
  const bool written = SaveAs();
  if (!closeAllowed_) return;
  if (written)
    for (const QString& file : earlier) QFile::remove(file);
  accept();
}

CDetectionConfig CShiftscanDlg::Configuration() const {
  // Each field is read as Shiftscan reads its value from the file: texts
  // without blanks at their ends, numbers by their numeric beginning.
  auto textOf = [](const QLineEdit* field) { return text::Trim(field->text().toStdString()); };
  auto realOf = [](const QLineEdit* field) { return text::AtoF(field->text().toStdString()); };
  auto wholeOf = [](const QLineEdit* field) { return text::AtoI(field->text().toStdString()); };
  CDetectionConfig config;
  config.SetDataPath(textOf(filePath_));
  const int type = fileType_->currentIndex();
  // No selection wrote no file type, which reads as the default one.
  config.SetFileType(type >= DETECTION_FILE_RAW && type <= DETECTION_FILE_MS2 ? type : DETECTION_FILE_RAW);
  config.SetMassWindow(realOf(massLower_), realOf(massUpper_));
  config.SetTimeWindow(realOf(timeLower_), realOf(timeUpper_));
  config.SetShiftRange(wholeOf(modMassLower_), wholeOf(modMassUpper_));
  config.SetPairOutput(findPair_->isChecked(), realOf(ppthres_), textOf(pairPath_));
  config.SetTitlePrefix(textOf(dtaName_));
  config.SetIdentifiedOnly(postSearch_->isChecked(), textOf(identSpectFile_));
  config.SetThresholds(realOf(tdScore_), realOf(tDeltaC_));
  config.SetRedundancyTolerancePpm(realOf(massTol_));
  config.SetMassBinWidth(realOf(massRes_));
  config.SetMaxPrecursors(wholeOf(maxNData_));
  config.SetDetectCombinations(detectComb_->isChecked());
  return config;
}

bool CShiftscanDlg::WriteConfiguration(const QString& path) {
  if (!Configuration().WriteConfigFile(path.toStdString())) return false;
  configurationPath_ = path;
  return true;
}
