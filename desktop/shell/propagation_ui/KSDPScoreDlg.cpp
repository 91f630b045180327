#include "desktop/shell/propagation_ui/KSDPScoreDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>

#include "common/Dta.h"
#include "common/Notifier.h"
#include "common/OptionTool.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "desktop/shell/core/UserMessage.h"
#include "desktop/shell/propagation_ui/EditableListCtrl.h"
#include "desktop/shell/core/FileChooser.h"
#include "desktop/shell/propagation_ui/LetterEdit.h"
#include "scoring/PeptideScoreFactory.h"
#include "spectra/MS2Input.h"

namespace {

const QString kTitle = QStringLiteral("KSDP Score");
const char* const kNull = "<Null>";
const char* const kWhatIsNeeded =
    "A DTA file is needed, or a spectrum file (.mgf, .mzML, .mzXML, .ms2, .dtas, .pkl) that holds "
    "exactly one MS2 spectrum.";

// The DTA file the scorer reads for `path`: the file itself when it is DTA
// text, else its one MS2 spectrum written into `scratch`. False with `why`
// when the file cannot serve.
bool PrepareSpectrum(const std::string& path, const QTemporaryDir& scratch, std::string& dta_path,
                     std::string& why) {
  if (path::IsDirectory(path)) {
    why = path + " is a folder, not a spectrum file. " + kWhatIsNeeded;
    return false;
  }
  MS2FormatType type = MS2_FORMAT_DTA;
  std::string unknown;
  const bool known = CMS2InputFactory::FormatFromPath(path, type, unknown);
  if (!known && path::Extension(path) == "raw") {
    why = unknown;
    return false;
  }
  // DTA files come under any name; whatever the reader does not know is
  // tried as DTA text.
  if (!known || type == MS2_FORMAT_DTA) {
    msdata::CSpectrum spectrum;
    if (!msdata::ReadDta(path, spectrum, why)) {
      why += ". " + std::string(kWhatIsNeeded);
      return false;
    }
    if (spectrum.peaks.empty()) {
      why = path + " holds no peaks.";
      return false;
    }
    dta_path = path;
    return true;
  }
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, false));
  std::vector<msdata::CSpectrum> spectra;
  if (!importer || !importer->Load(path, spectra, true)) {
    why = importer ? importer->LastError() : path + ": no reader for this file type";
    return false;
  }
  if (spectra.size() != 1) {
    why = path + " holds " + std::to_string(spectra.size()) + " MS2 spectra. " + kWhatIsNeeded;
    return false;
  }
  dta_path = path::Join(scratch.path().toStdString(), spectra[0].name);
  if (!scratch.isValid() || !msdata::WriteDta(spectra[0], dta_path)) {
    why = "Can not save file:" + dta_path;
    return false;
  }
  return true;
}

}  // namespace

CKSDPScoreDlg::CKSDPScoreDlg(QWidget* parent, std::string program_directory)
    : QDialog(parent),
      programDirectory_(program_directory.empty() ? path::ProgramDirectory()
                                                  : std::move(program_directory)) {
  setObjectName(QStringLiteral("KSDPScoreDialog"));
  setWindowTitle(kTitle);
  BuildControls();
  LoadTables();
  RebuildList();
}

void CKSDPScoreDlg::BuildControls() {
  pathEdit_ = new QLineEdit(this);
  pathEdit_->setObjectName(QStringLiteral("pathEdit"));
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  browse->setObjectName(QStringLiteral("browseButton"));
  browse->setFixedWidth(32);
  sequenceEdit_ = new CLetterEdit(this);
  sequenceEdit_->setObjectName(QStringLiteral("sequenceEdit"));
  massEdit_ = new QLineEdit(this);
  massEdit_->setObjectName(QStringLiteral("massEdit"));
  list_ = new CEditableListCtrl(this);
  list_->setObjectName(QStringLiteral("residueList"));
  list_->SetColumnEditable(kModificationColumn, true);
  auto* scoreButton = new QPushButton(QStringLiteral("Score"), this);
  scoreButton->setObjectName(QStringLiteral("scoreButton"));
  auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton->setObjectName(QStringLiteral("cancelButton"));

  connect(browse, &QPushButton::clicked, this, &CKSDPScoreDlg::BrowseSpectrum);
  connect(pathEdit_, &QLineEdit::textChanged, this,
          [this](const QString& text) { spectrumPath_ = text.toStdString(); });
  connect(sequenceEdit_, &QLineEdit::textChanged, this, &CKSDPScoreDlg::RebuildList);
  connect(list_, &CEditableListCtrl::ChoicesRequested, this,
          [this](int row, int, QStringList* choices) { *choices = ModificationChoices(row); });
  connect(list_, &CEditableListCtrl::EditEnded, this, &CKSDPScoreDlg::TakeChoice);
  connect(scoreButton, &QPushButton::clicked, this, [this] { Score(); });
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("File Path"), this), 0, 0);
  grid->addWidget(pathEdit_, 0, 1);
  grid->addWidget(browse, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Sequence"), this), 1, 0);
  grid->addWidget(sequenceEdit_, 1, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Mod Mass"), this), 2, 0);
  grid->addWidget(massEdit_, 2, 1, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(scoreButton);
  buttons->addWidget(cancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  // Room for the four columns side by side and a dozen residues.
  list_->setMinimumSize(390, 300);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 8);
}

// Without the tables the dialog still opens; the user learns once, here,
// where they were looked for.
void CKSDPScoreDlg::LoadTables() {
  std::vector<std::string> missing;
  try {
    modifications_ = LoadModificationsFromDirectory(programDirectory_);
  } catch (const COptionToolException& e) {
    missing.push_back(e.path());
  }
  const std::string aa_ini = path::Join(programDirectory_, "aa.ini");
  if (!path::IsRegularFile(aa_ini)) missing.push_back(aa_ini);
  if (!missing.empty()) {
    std::string text;
    for (const std::string& file : missing) text += "Can not open file:" + file + "\n";
    text += "Modification choices need modify.ini, scoring needs aa.ini.";
    SayProblem(text);
  }
}

void CKSDPScoreDlg::SayProblem(const std::string& text) {
  desktop::ShowMessage(this, desktop::MessageKind::Warning, kTitle, QString::fromStdString(text));
}

void CKSDPScoreDlg::BrowseSpectrum() {
  desktop::FileChoice choice;
  choice.title = QStringLiteral("Open dta file");
  choice.filter = QStringLiteral(
      "dta files (*.dta);;spectrum files (*.dta *.mgf *.mzML *.mzXML *.ms2 *.dtas *.pkl);;All files (*)");
  choice.proposed =
      pathEdit_->text().isEmpty() ? QString::fromStdString(browseFolder_) : pathEdit_->text();
  const QString chosen = desktop::ChooseFile(this, choice).value_or(QString());
  if (!chosen.isEmpty()) pathEdit_->setText(chosen);
}

void CKSDPScoreDlg::RebuildList() {
  list_->clear();
  list_->setRowCount(0);
  list_->setColumnCount(4);
  list_->setHorizontalHeaderLabels({QStringLiteral("#"), QStringLiteral("AA"),
                                    QStringLiteral("Modification"), QStringLiteral("KSDP Score")});
  const int widths[] = {30, 30, 150, 150};
  for (int c = 0; c < 4; ++c) list_->setColumnWidth(c, widths[c]);

  sequence_ = text::ToUpper(sequenceEdit_->text().toStdString());
  const int n = static_cast<int>(sequence_.size());
  list_->setRowCount(n);
  for (int i = 0; i < n; ++i) {
    list_->setItem(i, kIndexColumn, new QTableWidgetItem(QString::number(i + 1)));
    list_->setItem(i, kResidueColumn, new QTableWidgetItem(QString(QChar(sequence_[i]))));
    list_->setItem(i, kModificationColumn, new QTableWidgetItem);
    list_->setItem(i, kScoreColumn, new QTableWidgetItem);
  }
  choice_.assign(n, -1);
  scores_.clear();
}

QStringList CKSDPScoreDlg::ModificationChoices(int row) const {
  QStringList choices{QLatin1String(kNull)};
  const int n = static_cast<int>(sequence_.size());
  if (row < 0 || row >= n) return choices;
  const bool first = row == 0;
  const bool last = row == n - 1;
  for (const CModification& mod : modifications_) {
    if (mod.residues.find(sequence_[row]) == std::string::npos) continue;
    bool fits = false;
    switch (mod.terminal) {
      case MOD_TERMINAL_NONE: fits = true; break;
      case MOD_TERMINAL_PEP_N:
      case MOD_TERMINAL_PRO_N: fits = first; break;
      case MOD_TERMINAL_PEP_C:
      case MOD_TERMINAL_PRO_C: fits = last; break;
    }
    if (fits) choices << QString::fromStdString(mod.name);
  }
  return choices;
}

void CKSDPScoreDlg::TakeChoice(int row, int column, const QString& text) {
  if (column != kModificationColumn || row < 0 || row >= static_cast<int>(choice_.size())) return;
  choice_[row] = -1;
  for (std::size_t i = 0; i < modifications_.size(); ++i) {
    if (QString::fromStdString(modifications_[i].name) == text) {
      choice_[row] = static_cast<int>(i);
      break;
    }
  }
}

bool CKSDPScoreDlg::Score() {
  const int n = static_cast<int>(sequence_.size());
  std::vector<std::pair<int, double>> fixed;
  for (int row = 0; row < n; ++row) {
    const QTableWidgetItem* cell = list_->item(row, kModificationColumn);
    const std::string name = cell ? cell->text().toStdString() : std::string();
    if (name.empty() || name == kNull) continue;
    for (const CModification& mod : modifications_) {
      if (mod.name == name) {
        fixed.emplace_back(row, mod.mass);
        break;
      }
    }
  }
  const double mass = text::AtoF(massEdit_->text().toStdString());
  scores_.clear();
  for (int row = 0; row < n; ++row) list_->item(row, kScoreColumn)->setText(QString());

  if (!path::Exists(spectrumPath_)) {
    SayProblem("File: " + spectrumPath_ + " does not exist!");
    return false;
  }
  if (n <= 3) {
    SayProblem("The sequence needs more than 3 residues to be scored against " + spectrumPath_);
    return false;
  }
  QTemporaryDir scratch;
  std::string dta_path;
  std::string why;
  if (!PrepareSpectrum(spectrumPath_, scratch, dta_path, why)) {
    SayProblem("Can not read spectrum file:" + spectrumPath_ + "\n" + why);
    return false;
  }

  std::vector<double> scores;
  std::string heard;
  try {
    notify::ScopedHandler listen([&heard](const std::string& m) { heard += m + "\n"; });
    CPeptideScoreFactory().GetKSDPScore(dta_path, sequence_, fixed, mass, scores,
                                        programDirectory_);
  } catch (const COptionToolException& e) {
    heard += "Can not open file:" + e.path() + "\n";
  }
  // A spectrum the scorer could not read scores zeros, which would look
  // like a result.
  if (!heard.empty() || static_cast<int>(scores.size()) != n) {
    SayProblem(heard.empty() ? "No scores for " + spectrumPath_ : heard);
    return false;
  }
  scores_ = std::move(scores);
  char buffer[64];
  for (int row = 0; row < n; ++row) {
    std::snprintf(buffer, sizeof buffer, "%f", scores_[row]);
    list_->item(row, kScoreColumn)->setText(QString::fromLatin1(buffer));
  }
  return true;
}
