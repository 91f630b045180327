#include "desktop/shell/propagation_ui/KSDPScoreDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "common/Dta.h"
#include "common/Notifier.h"
#include "common/OptionTool.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "desktop/shell/core/BusyCursor.h"
#include "desktop/shell/core/Memory.h"
#include "desktop/shell/core/Numbers.h"
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
    "A DTA file is needed, or a spectrum file (.mgf, .mzML, .mzXML, .ms2, .dtas, .pkl) of MS2 spectra.";

constexpr double kWaterMass = 18.010565;
// Path, sequence and mass come back when the dialog is opened again.
const QString kMemoryGroup = QStringLiteral("KSDPDialog");
const QStringList kNotRemembered = {QStringLiteral("inPlaceCombo"), QStringLiteral("spectrumChoice")};
// How long typing in the path field must pause before the file is read.
constexpr int kLoadDelayMilliseconds = 300;

// The MS2 spectra of a file; false with `why` when it holds none. A DTA
// file (or a file of a type no reader knows, tried as DTA text) gives one.
bool ReadSpectra(const std::string& path, std::vector<msdata::CSpectrum>& spectra, bool& isDta,
                 std::string& why) {
  spectra.clear();
  isDta = false;
  if (!path::Exists(path)) {
    why = desktop::PathProblem(QStringLiteral("File Path"), QString::fromStdString(path)).toStdString();
    return false;
  }
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
    if (spectrum.name.empty()) spectrum.name = path::BaseName(path);
    spectra.push_back(std::move(spectrum));
    isDta = true;
    return true;
  }
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, false));
  if (!importer || !importer->Load(path, spectra, true)) {
    why = importer ? importer->LastError() : path + ": no reader for this file type";
    spectra.clear();
    return false;
  }
  if (spectra.empty()) {
    why = path + " holds no MS2 spectrum. " + kWhatIsNeeded;
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
  desktop::RecallFields(this, kMemoryGroup, kNotRemembered);
  UpdateMassCheck();
}

void CKSDPScoreDlg::BuildControls() {
  pathEdit_ = new QLineEdit(this);
  pathEdit_->setObjectName(QStringLiteral("pathEdit"));
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  browse->setObjectName(QStringLiteral("browseButton"));
  browse->setFixedWidth(32);
  browse->setAutoDefault(false);
  spectrumChoice_ = new QComboBox(this);
  spectrumChoice_->setObjectName(QStringLiteral("spectrumChoice"));
  auto* spectrumLabel = new QLabel(QStringLiteral("Spectrum"), this);
  sequenceEdit_ = new CLetterEdit(this);
  sequenceEdit_->setObjectName(QStringLiteral("sequenceEdit"));
  massEdit_ = new QLineEdit(this);
  massEdit_->setObjectName(QStringLiteral("massEdit"));
  massEdit_->setValidator(new desktop::CDecimalValidator(massEdit_));
  massCheck_ = new QLabel(this);
  massCheck_->setObjectName(QStringLiteral("massCheck"));
  massCheck_->setWordWrap(true);
  bestSite_ = new QLabel(this);
  bestSite_->setObjectName(QStringLiteral("bestSite"));
  list_ = new CEditableListCtrl(this);
  list_->setObjectName(QStringLiteral("residueList"));
  list_->SetColumnEditable(kModificationColumn, true);
  auto* scoreButton = new QPushButton(QStringLiteral("Score"), this);
  scoreButton->setObjectName(QStringLiteral("scoreButton"));
  // Enter anywhere in the dialog scores.
  scoreButton->setDefault(true);
  auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  cancelButton->setAutoDefault(false);
  loadTimer_ = new QTimer(this);
  loadTimer_->setSingleShot(true);
  loadTimer_->setInterval(kLoadDelayMilliseconds);

  connect(browse, &QPushButton::clicked, this, &CKSDPScoreDlg::BrowseSpectrum);
  // Scores belong to the spectrum, peptide and masses they were made with;
  // any change of those takes them away.
  connect(pathEdit_, &QLineEdit::textChanged, this, [this](const QString& text) {
    spectrumPath_ = text.toStdString();
    spectraRead_ = false;
    ClearScores();
    loadTimer_->start();
  });
  connect(loadTimer_, &QTimer::timeout, this, [this] {
    LoadSpectra();
    UpdateMassCheck();
  });
  connect(spectrumChoice_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
    ClearScores();
    UpdateMassCheck();
  });
  connect(sequenceEdit_, &QLineEdit::textChanged, this, [this] {
    RebuildList();
    UpdateMassCheck();
  });
  connect(massEdit_, &QLineEdit::textChanged, this, [this] {
    ClearScores();
    UpdateMassCheck();
  });
  connect(list_, &CEditableListCtrl::ChoicesRequested, this,
          [this](int row, int, QStringList* choices) { *choices = ModificationChoices(row); });
  connect(list_, &CEditableListCtrl::EditEnded, this, &CKSDPScoreDlg::TakeChoice);
  connect(scoreButton, &QPushButton::clicked, this, [this] { Score(); });
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("File Path"), this), 0, 0);
  grid->addWidget(pathEdit_, 0, 1);
  grid->addWidget(browse, 0, 2);
  grid->addWidget(spectrumLabel, 1, 0);
  grid->addWidget(spectrumChoice_, 1, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Sequence"), this), 2, 0);
  grid->addWidget(sequenceEdit_, 2, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Mod Mass (Da)"), this), 3, 0);
  grid->addWidget(massEdit_, 3, 1, 1, 2);
  grid->addWidget(massCheck_, 4, 1, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(bestSite_, 1);
  buttons->addWidget(scoreButton);
  buttons->addWidget(cancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  // Room for the four columns side by side and a dozen residues.
  list_->setMinimumSize(390, 300);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 8);
  // Room for the readout's lines from the start: the dialog keeps its size
  // as the texts change.
  massCheck_->setMinimumHeight(3 * massCheck_->fontMetrics().lineSpacing());
  massCheck_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  spectrumChoice_->setEnabled(false);
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
  if (!path::IsRegularFile(aa_ini)) {
    missing.push_back(aa_ini);
  } else {
    try {
      residues_ = CResidueTable::FromDirectory(programDirectory_);
    } catch (const COptionToolException& e) {
      missing.push_back(e.path());
    }
  }
  if (!missing.empty()) {
    std::string text;
    for (const std::string& file : missing) text += "Can not open file: " + file + "\n";
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
      "spectrum files (*.dta *.mgf *.mzML *.mzXML *.ms2 *.dtas *.pkl);;dta files (*.dta);;All files (*)");
  choice.proposed =
      pathEdit_->text().isEmpty() ? QString::fromStdString(browseFolder_) : pathEdit_->text();
  choice.memoryKey = QStringLiteral("spectra");
  const QString chosen = desktop::ChooseFile(this, choice).value_or(QString());
  if (chosen.isEmpty()) return;
  pathEdit_->setText(chosen);
  loadTimer_->stop();
  LoadSpectra();
  UpdateMassCheck();
}

bool CKSDPScoreDlg::LoadSpectra() {
  const desktop::CBusyCursor busy;
  loadTimer_->stop();
  loadedPath_ = spectrumPath_;
  spectraRead_ = true;
  loadProblem_.clear();
  const bool read = ReadSpectra(spectrumPath_, spectra_, isDtaFile_, loadProblem_);
  const QSignalBlocker quiet(spectrumChoice_);
  spectrumChoice_->clear();
  for (const msdata::CSpectrum& spectrum : spectra_) {
    spectrumChoice_->addItem(QStringLiteral("%1  (MH+ %2 Da, %3+)")
                                 .arg(QString::fromStdString(spectrum.name))
                                 .arg(spectrum.precursor_mass, 0, 'f', 4)
                                 .arg(spectrum.charge));
  }
  // The choice is there for a file of several spectra; a single one shows
  // itself, greyed.
  spectrumChoice_->setEnabled(spectra_.size() > 1);
  return read;
}

QStringList CKSDPScoreDlg::SpectrumNames() {
  if (!spectraRead_ || loadedPath_ != spectrumPath_) LoadSpectra();
  QStringList names;
  for (const msdata::CSpectrum& spectrum : spectra_) names << QString::fromStdString(spectrum.name);
  return names;
}

void CKSDPScoreDlg::SelectSpectrum(int index) {
  SpectrumNames();
  if (index >= 0 && index < spectrumChoice_->count()) spectrumChoice_->setCurrentIndex(index);
}

const msdata::CSpectrum* CKSDPScoreDlg::ChosenSpectrum() {
  if (spectrumPath_.empty()) return nullptr;
  if (!spectraRead_ || loadedPath_ != spectrumPath_) LoadSpectra();
  if (spectra_.empty()) return nullptr;
  const int index = std::max(0, spectrumChoice_->currentIndex());
  return index < static_cast<int>(spectra_.size()) ? &spectra_[static_cast<std::size_t>(index)] : nullptr;
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
  bestSite_->clear();
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
  ClearScores();
  UpdateMassCheck();
}

std::vector<std::pair<int, double>> CKSDPScoreDlg::FixedModifications() const {
  std::vector<std::pair<int, double>> fixed;
  const int n = static_cast<int>(sequence_.size());
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
  return fixed;
}

double CKSDPScoreDlg::PeptideMass(double modMass) const {
  double mass = kWaterMass + msdata::kProtonMass + modMass;
  for (char residue : sequence_) mass += residues_.Get(residue).mono_mass;
  for (const auto& [row, fixedMass] : FixedModifications()) mass += fixedMass;
  return mass;
}

QString CKSDPScoreDlg::MassCheckText() const { return massCheck_->text(); }

void CKSDPScoreDlg::UpdateMassCheck() {
  QStringList parts;
  const msdata::CSpectrum* spectrum = ChosenSpectrum();
  const bool precursorKnown = spectrum && spectrum->precursor_mass > 0.0;
  if (precursorKnown)
    parts << QStringLiteral("Precursor MH+ %1 Da (%2+)").arg(spectrum->precursor_mass, 0, 'f', 4).arg(spectrum->charge);
  else
    parts << QStringLiteral("Precursor: no spectrum read");
  double modMass = 0.0;
  const bool massRead = desktop::ReadDecimal(massEdit_->text(), modMass);
  bool far = false;
  if (sequence_.empty()) {
    parts << QStringLiteral("peptide: type its sequence");
  } else if (!massRead) {
    parts << QStringLiteral("Mod Mass: type the modification's mass in Da");
  } else {
    const double peptide = PeptideMass(modMass);
    parts << QStringLiteral("peptide MH+ with modifications %1 Da").arg(peptide, 0, 'f', 4);
    if (precursorKnown) {
      const double difference = peptide - spectrum->precursor_mass;
      far = std::fabs(difference) > kPrecursorTolerance;
      parts << QStringLiteral("difference %1%2 Da")
                   .arg(difference >= 0 ? QStringLiteral("+") : QString())
                   .arg(difference, 0, 'f', 4);
    }
  }
  massCheck_->setText(parts.join(QStringLiteral("; ")));
  // The same colour as a warning: the peptide does not fit this spectrum.
  massCheck_->setStyleSheet(far ? QStringLiteral("color: #c00000") : QString());
}

bool CKSDPScoreDlg::ConfirmPrecursor(const msdata::CSpectrum& spectrum, double modMass) {
  if (spectrum.precursor_mass <= 0.0) return true;
  const double peptide = PeptideMass(modMass);
  const double difference = peptide - spectrum.precursor_mass;
  if (std::fabs(difference) <= kPrecursorTolerance) return true;
  return desktop::ShowMessage(
      this, desktop::MessageKind::Question, kTitle,
      QStringLiteral("The peptide with its modifications has MH+ %1 Da, the precursor of %2 %3 Da: they "
                     "differ by %4 Da, more than %5 Da. The modification mass may be wrong.\nScore anyway?")
          .arg(peptide, 0, 'f', 4)
          .arg(QString::fromStdString(spectrum.name))
          .arg(spectrum.precursor_mass, 0, 'f', 4)
          .arg(difference, 0, 'f', 4)
          .arg(kPrecursorTolerance));
}

void CKSDPScoreDlg::ClearScores() {
  scores_.clear();
  bestSite_->clear();
  for (int row = 0; row < list_->rowCount(); ++row) {
    for (int column = 0; column < list_->columnCount(); ++column) {
      QTableWidgetItem* cell = list_->item(row, column);
      if (!cell) continue;
      if (column == kScoreColumn) cell->setText(QString());
      cell->setBackground(QBrush());
      QFont plain = cell->font();
      plain.setBold(false);
      cell->setFont(plain);
    }
  }
}

bool CKSDPScoreDlg::CheckInputs(double& mass) {
  if (!desktop::ReadDecimal(massEdit_->text(), mass)) {
    SayProblem(massEdit_->text().trimmed().isEmpty()
                   ? std::string("Mod Mass: type the mass (Da) of the modification whose site is sought.")
                   : "Mod Mass \"" + massEdit_->text().toStdString() +
                         "\" is not a number; the decimal point is \".\".");
    return false;
  }
  if (!path::Exists(spectrumPath_)) {
    SayProblem(desktop::PathProblem(QStringLiteral("File Path"), QString::fromStdString(spectrumPath_)).toStdString());
    return false;
  }
  if (sequence_.size() <= 3) {
    SayProblem("The sequence needs more than 3 residues to be scored against " + spectrumPath_);
    return false;
  }
  if (PeptideMass(mass) <= msdata::kProtonMass) {
    SayProblem("A modification of " + massEdit_->text().toStdString() + " Da would leave the peptide no mass.");
    return false;
  }
  return true;
}

bool CKSDPScoreDlg::RunScorer(const msdata::CSpectrum& spectrum, double mass, std::vector<double>& scores) {
  // The scorer reads DTA text: a DTA file as it stands, any other spectrum
  // written out as one.
  QTemporaryDir scratch;
  std::string dta_path = spectrumPath_;
  if (!isDtaFile_) {
    dta_path = path::Join(scratch.path().toStdString(), spectrum.name.empty() ? "spectrum.dta" : spectrum.name);
    if (!scratch.isValid() || !msdata::WriteDta(spectrum, dta_path)) {
      SayProblem("Can not save file: " + dta_path);
      return false;
    }
  }
  std::string heard;
  try {
    notify::ScopedHandler listen([&heard](const std::string& m) { heard += m + "\n"; });
    CPeptideScoreFactory().GetKSDPScore(dta_path, sequence_, FixedModifications(), mass, scores,
                                        programDirectory_);
  } catch (const COptionToolException& e) {
    heard += "Can not open file: " + e.path() + "\n";
  }
  // A spectrum the scorer could not read scores zeros, which would look
  // like a result.
  if (!heard.empty() || scores.size() != sequence_.size()) {
    SayProblem(heard.empty() ? "No scores for " + spectrumPath_ : heard);
    return false;
  }
  return true;
}

bool CKSDPScoreDlg::Score() {
  ClearScores();
  double mass = 0.0;
  if (!CheckInputs(mass)) return false;
  const msdata::CSpectrum* spectrum = ChosenSpectrum();
  if (!spectrum) {
    SayProblem("Can not read spectrum file: " + spectrumPath_ + "\n" + loadProblem_);
    return false;
  }
  std::vector<double> scores;
  if (!ConfirmPrecursor(*spectrum, mass) || !RunScorer(*spectrum, mass, scores)) return false;
  scores_ = std::move(scores);
  char buffer[64];
  for (int row = 0; row < static_cast<int>(scores_.size()); ++row) {
    std::snprintf(buffer, sizeof buffer, "%f", scores_[static_cast<std::size_t>(row)]);
    list_->item(row, kScoreColumn)->setText(QString::fromLatin1(buffer));
  }
  MarkBestSite();
  RememberInput();
  return true;
}

int CKSDPScoreDlg::BestRow() const {
  if (scores_.empty()) return -1;
  return static_cast<int>(std::max_element(scores_.begin(), scores_.end()) - scores_.begin());
}

void CKSDPScoreDlg::MarkBestSite() {
  const int best = BestRow();
  if (best < 0) return;
  // Equal best scores are all marked: the spectrum cannot tell those
  // sites apart.
  QStringList sites;
  for (int row = 0; row < static_cast<int>(scores_.size()); ++row) {
    if (scores_[static_cast<std::size_t>(row)] != scores_[static_cast<std::size_t>(best)]) continue;
    sites << QStringLiteral("%1%2").arg(QChar(sequence_[static_cast<std::size_t>(row)])).arg(row + 1);
    for (int column = 0; column < list_->columnCount(); ++column) {
      QTableWidgetItem* cell = list_->item(row, column);
      QFont bold = cell->font();
      bold.setBold(true);
      cell->setFont(bold);
      cell->setBackground(QColor(255, 236, 160));
    }
  }
  bestSite_->setText(QStringLiteral("%1: %2 (KSDP %3)")
                         .arg(sites.size() == 1 ? QStringLiteral("Best site") : QStringLiteral("Best sites"),
                              sites.join(QStringLiteral(", ")))
                         .arg(scores_[static_cast<std::size_t>(best)], 0, 'f', 4));
}

void CKSDPScoreDlg::RememberInput() const { desktop::RememberFields(this, kMemoryGroup, kNotRemembered); }
