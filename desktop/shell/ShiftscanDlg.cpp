#include "desktop/shell/ShiftscanDlg.h"

#include <QCheckBox>
#include <QComboBox>
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
#include <fstream>

#include "desktop/shell/core/UserMessage.h"

namespace {

// The Linux raw-file dumper reads the open formats that vendor raw files are
// converted to, so those are offered beside "*.RAW".
const QString kRawFilter = QStringLiteral("RAW file (*.RAW);;mzML or mzXML run (*.mzML *.mzXML)");
const QString kMs2Filter = QStringLiteral("MS2 file (*.ms2)");
const QString kDataFolderTitle = QStringLiteral("Directory of data files:");

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

const char* Flag(const QCheckBox* box) { return box->isChecked() ? "1" : "0"; }

}  // namespace

CShiftscanDlg::CShiftscanDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Shiftscan Parameters Setting"));
  BuildControls();
  ApplyCheckRules();
}

void CShiftscanDlg::BuildControls() {
  auto* outer = new QVBoxLayout(this);

  auto* topRow = new QHBoxLayout;
  topOk_ = desktop::NamedButton("topOk", QStringLiteral("OK"));
  topOk_->setDefault(true);
  topCancel_ = desktop::NamedButton("topCancel", QStringLiteral("Cancel"));
  layoutToggle_ = desktop::NamedButton("layoutToggle", QString());
  topRow->addStretch(1);
  topRow->addWidget(topOk_);
  topRow->addWidget(topCancel_);
  topRow->addWidget(layoutToggle_);
  outer->addLayout(topRow);

  Rows data("Data");
  fileType_ = new QComboBox;
  fileType_->setObjectName(QStringLiteral("fileType"));
  fileType_->addItems({QStringLiteral("RAW"), QStringLiteral("DTA"), QStringLiteral("MS2")});
  fileType_->setCurrentIndex(0);
  filePath_ = Field("filePath", QString(), false);
  auto* filePathBrowse = desktop::NamedButton("filePathBrowse", QStringLiteral("..."));
  data.Add("File type", fileType_, Note("RAW/DTA/MS2/"));
  data.Add("File path", filePath_, filePathBrowse);
  // The path takes the width here: it is the one long text of the group.
  data.grid->setColumnStretch(1, 1);
  data.grid->setColumnStretch(2, 0);
  outer->addWidget(data.box);

  // Below the separator: what the compact layout leaves out.
  auto* advanced = new QWidget;
  advanced->setObjectName(QStringLiteral("advanced"));
  auto* column = new QVBoxLayout(advanced);
  column->setContentsMargins(0, 0, 0, 0);
  auto* separator = new QFrame;
  separator->setFrameShape(QFrame::HLine);
  separator->setFrameShadow(QFrame::Sunken);
  column->addWidget(separator);

  Rows mass("Mass");
  massLower_ = Field("massLower", QStringLiteral("0"), true);
  massUpper_ = Field("massUpper", QStringLiteral("1000000"), true);
  mass.Add("Lower", massLower_, Note("m/z"));
  mass.Add("Upper", massUpper_, Note("m/z"));
  Rows time("Retention Time");
  timeLower_ = Field("timeLower", QStringLiteral("0"), true);
  timeUpper_ = Field("timeUpper", QStringLiteral("1000000"), true);
  time.Add("Lower", timeLower_);
  time.Add("Upper", timeUpper_);
  // Two columns, so that the full layout fits a small screen.
  auto* left = new QVBoxLayout;
  auto* right = new QVBoxLayout;
  auto* columns = new QHBoxLayout;
  columns->addLayout(left);
  columns->addLayout(right);
  column->addLayout(columns);
  left->addWidget(mass.box);
  left->addWidget(time.box);

  Rows modification("Modification");
  modMassLower_ = Field("modMassLower", QStringLiteral("1"), true);
  modMassUpper_ = Field("modMassUpper", QStringLiteral("200"), true);
  modification.Add("Mass lower", modMassLower_, Note("m/z  minimal modification mass"));
  modification.Add("Mass upper", modMassUpper_, Note("m/z  maximal modification mass"));
  left->addWidget(modification.box);

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
  right->addWidget(pair.box);

  Rows mode("Mode");
  postSearch_ = Check("postSearch", QStringLiteral("limited to DB search results"), false);
  mode.grid->addWidget(postSearch_, 0, 0, 1, 3);
  identSpectFile_ = Field("identSpectFile", QString(), false);
  identSpectFileBrowse_ = desktop::NamedButton("identSpectFileBrowse", QStringLiteral("..."));
  mode.Add("Identified result", identSpectFile_, identSpectFileBrowse_);
  left->addWidget(mode.box);
  left->addStretch(1);

  Rows other("Other");
  tdScore_ = Field("tdScore", QStringLiteral("10"), true);
  tDeltaC_ = Field("tDeltaC", QStringLiteral("0.3"), true);
  massTol_ = Field("massTol", QStringLiteral("5"), true);
  massRes_ = Field("massRes", QStringLiteral("0.01"), true);
  maxNData_ = Field("maxNData", QStringLiteral("5000"), true);
  detectComb_ = Check("detectComb", QStringLiteral("Detect combinatorial modifications"), true);
  other.Add("T_d_score", tdScore_);
  other.Add("T_delta_C", tDeltaC_);
  other.Add("Mass tolerence", massTol_);
  other.Add("Massres", massRes_);
  other.Add("Max data", maxNData_);
  other.grid->addWidget(detectComb_, other.grid->rowCount(), 0, 1, 3);
  right->addWidget(other.box);
  right->addStretch(1);

  auto* bottomRow = new QHBoxLayout;
  auto* saveAs = desktop::NamedButton("saveAs", QStringLiteral("Save as..."));
  auto* ok = desktop::NamedButton("ok", QStringLiteral("OK"));
  auto* cancel = desktop::NamedButton("cancel", QStringLiteral("Cancel"));
  bottomRow->addWidget(saveAs);
  bottomRow->addStretch(1);
  bottomRow->addWidget(ok);
  bottomRow->addWidget(cancel);
  column->addLayout(bottomRow);
  column->addWidget(
      Note("Method: modifications found from mass and retention-time differences of precursor pairs."));
  outer->addWidget(advanced);

  layout_ = std::make_unique<desktop::CCompactLayout>(this, advanced, layoutToggle_, QStringLiteral("&More>>"),
                                                      QStringLiteral("<<&Less"));

  connect(findPair_, &QCheckBox::toggled, this, &CShiftscanDlg::ApplyCheckRules);
  connect(postSearch_, &QCheckBox::toggled, this, &CShiftscanDlg::ApplyCheckRules);
  connect(filePathBrowse, &QPushButton::clicked, this, &CShiftscanDlg::OnDataBrowse);
  connect(pairPathBrowse_, &QPushButton::clicked, this, [this] {
    if (auto folder = desktop::ChooseFolder(this, kDataFolderTitle)) pairPath_->setText(*folder);
  });
  connect(identSpectFileBrowse_, &QPushButton::clicked, this, [this] {
    const auto file = desktop::ChooseFile(this, desktop::OpenChoice(QStringLiteral("spectra file (*.spectra)")));
    if (!file) return;
    if (desktop::PathExists(*file)) {
      identSpectFile_->setText(*file);
    } else {
      desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(),
                           QStringLiteral("Can not find file:") + *file);
    }
  });
  connect(layoutToggle_, &QPushButton::clicked, this, &CShiftscanDlg::OnToggleLayout);
  connect(saveAs, &QPushButton::clicked, this, &CShiftscanDlg::OnSaveAs);
  connect(topOk_, &QPushButton::clicked, this, &CShiftscanDlg::OnOk);
  connect(ok, &QPushButton::clicked, this, &CShiftscanDlg::OnOk);
  connect(topCancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
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
      const auto folder = desktop::ChooseFolder(this, kDataFolderTitle);
      if (!folder) return;
      filePath_->setText(*folder);
      break;
    }
    case 0:
    case 2: {
      const auto file = desktop::ChooseFile(this, desktop::OpenChoice(fileType_->currentIndex() == 0 ? kRawFilter : kMs2Filter));
      if (file) {
        if (!desktop::PathExists(*file)) {
          desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(),
                               QStringLiteral("Can not find file:") + *file);
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

void CShiftscanDlg::DerivePairSettings() {
  const QString path = filePath_->text();
  int separator = path.lastIndexOf(QLatin1Char('/'));
  if (separator < 0) separator = path.lastIndexOf(QLatin1Char('\\'));
  const QString name = path.mid(separator + 1);
  const QString directory = path.left(separator + 1);
  // A file loses its extension (".mzML" as well as ".raw"); a folder of DTA
  // files loses the last four characters of its name.
  QString dtaName;
  if (QFileInfo(path).isDir()) {
    dtaName = name.left(std::max(0, static_cast<int>(name.size()) - 4));
  } else {
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    dtaName = dot > 0 ? name.left(dot) : name;
  }
  dtaName_->setText(dtaName);
  const QString pairDirectory = directory + QStringLiteral("pair");
  pairPath_->setText(pairDirectory);
  if (!QFileInfo::exists(pairDirectory)) QDir().mkpath(pairDirectory);
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
  if (findPair_->isChecked() && !desktop::PathExists(pairPath_->text())) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(), QStringLiteral("Wrong pair path!"));
    return false;
  }
  return true;
}

void CShiftscanDlg::OnSaveAs() {
  if (!Validate()) {
    closeAllowed_ = false;
    return;
  }
  const auto path = desktop::ChooseFile(
      this, desktop::SaveChoice(QStringLiteral("para file (*.txt)"), QString(), QStringLiteral("txt")));
  if (!path) return;
  if (path->isEmpty()) {
    desktop::ShowMessage(this, desktop::MessageKind::Warning, windowTitle(),
                         QStringLiteral("You have to write a name..."));
    return;
  }
  if (!WriteConfiguration(*path)) {
    desktop::ShowMessage(this, desktop::MessageKind::Error, windowTitle(),
                         QStringLiteral("Can not save file:") + *path);
  }
}

void CShiftscanDlg::OnOk() {
  closeAllowed_ = true;
  OnSaveAs();
  if (closeAllowed_) accept();
}

bool CShiftscanDlg::WriteConfiguration(const QString& path) {
  std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  auto line = [&out](const char* key, const QString& value) { out << key << value.toStdString() << '\n'; };
  static const char* const kFileTypes[] = {"filetype=RAW", "filetype=DTA", "filetype=MS2"};

  out << "[DATA]\n";
  line("filepath=", filePath_->text());
  const int type = fileType_->currentIndex();
  if (type >= 0 && type < 3) out << kFileTypes[type] << '\n';
  line("masslower=", massLower_->text());
  line("massupper=", massUpper_->text());
  line("timelower=", timeLower_->text());
  line("timeupper=", timeUpper_->text());
  out << "[MODIFICATION]\n";
  line("modmasslower=", modMassLower_->text());
  line("modmassupper=", modMassUpper_->text());
  out << "[PAIR]\n";
  out << "findpair=" << Flag(findPair_) << '\n';
  line("ppthres=", ppthres_->text());
  line("dtaname=", dtaName_->text());
  line("pairpath=", pairPath_->text());
  out << "[MODE]\n";
  out << "postsearch=" << Flag(postSearch_) << '\n';
  line("identspectfile=", identSpectFile_->text());
  out << "[OTHER]\n";
  line("T_d_score=", tdScore_->text());
  line("T_delta_c=", tDeltaC_->text());
  line("masstol=", massTol_->text());
  line("massres=", massRes_->text());
  line("maxndata=", maxNData_->text());
  out << "detectcomb=" << Flag(detectComb_) << '\n';
  out.close();
  if (!out) return false;
  configurationPath_ = path;
  return true;
}
