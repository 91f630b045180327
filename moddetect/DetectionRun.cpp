#include "moddetect/DetectionRun.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "common/ErrorMarker.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "moddetect/ResultOutput.h"

namespace {

constexpr int kBannerWidth = 75;

std::string Padded(const std::string& s) {
  std::string line = s;
  if (line.size() < static_cast<std::size_t>(kBannerWidth)) line.resize(kBannerWidth, ' ');
  return line + "|";
}

}  // namespace

CDetectionRun::CDetectionRun(std::ostream& out, bool clear_console)
    : out_(out),
      reasons_(&out),
      clear_console_(clear_console),
      config_(std::make_unique<CDetectionConfig>()),
      precursors_(std::make_unique<CPrecursorList>()),
      collector_(std::make_unique<CPairCollector>()),
      detector_(std::make_unique<CModificationDetector>()),
      writer_(std::make_unique<CPairWriter>()),
      combiner_(std::make_unique<CCombinationFinder>()) {}

std::string CDetectionRun::JoinArguments(int argc, const char* const* argv) {
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) joined += ' ';
    joined += argv[i];
  }
  return joined;
}

void CDetectionRun::PrintBanner() {
  if (clear_console_) out_ << "\033[H\033[2J";
  const std::string dashes = std::string(kBannerWidth, '-') + "|";
  char version[64];
  std::snprintf(version, sizeof version, "Tessera version %s", kVersion);
  out_ << dashes << std::endl;
  out_ << version << std::endl;
  out_ << Padded("Shiftscan: fast detection of protein modifications") << std::endl;
  out_ << Padded("Tessera project, 2026") << std::endl;
  out_ << dashes << std::endl;
}

int CDetectionRun::Fail(const std::string& reason) {
  // The reason is the last line: a program that started this run shows the
  // end of its console as the cause.
  *reasons_ << reason << std::endl;
  marker::CreateErrorMarker();
  return 1;
}

void CDetectionRun::ReduceRedundancy() {
  precursors_->SortByChargeMass();
  const std::size_t limit = config_->MaxPrecursors() > 1 ? static_cast<std::size_t>(config_->MaxPrecursors()) : 1;
  for (;;) {
    precursors_->RemoveRedundancy(config_->RedundancyTolerancePpm());
    const std::size_t kept = precursors_->Reduced().size();
    // One precursor cannot be reduced further, and a tolerance that does
    // not grow (zero, negative, NaN) or has grown without bound would
    // double for ever.
    if (kept <= limit || kept <= 1) break;
    const double tol = config_->RedundancyTolerancePpm();
    if (!std::isfinite(tol)) break;
    config_->SetRedundancyTolerancePpm(tol > 0.0 ? tol * 2.0 : 1.0);
  }
}

std::string CDetectionRun::ReadCheckedConfiguration(const std::string& config_path) {
  if (!config_->ReadConfigFile(config_path)) return "Error: parameter file: " + config_path + " does not exist!";
  std::string invalid;
  if (!config_->Validate(invalid)) return invalid;
  if (config_->IdentifiedOnly()) {
    // Post-search mode without its identifications would quietly find
    // nothing; the file is checked before the data are read.
    std::ifstream ids;
    if (!text::OpenInput(ids, config_->IdentificationFile()))
      return "Error: cannot read the identification file: " + config_->IdentificationFile();
    if (!IdentificationFilterOf(*config_, filter_, invalid)) return invalid;
  }
  // The run's own files in the working folder are replaced as it goes: none
  // of them may be its input.
  for (const char* own : {kResultFile, kRawFileTemp, kRawDataTemp}) {
    const bool own_dump_as_input = own == kRawDataTemp && config_->FileType() == DETECTION_FILE_DUMP;
    if (!own_dump_as_input && (safefile::SameFile(config_->DataPath(), own) ||
                               safefile::SameFile(config_->IdentificationFile(), own)))
      return std::string("Error: the input ") + own + " would be overwritten by the run";
  }
  if (!summary_path_.empty() && (safefile::SameFile(config_->DataPath(), summary_path_) ||
                                 safefile::SameFile(config_->IdentificationFile(), summary_path_)))
    return "Error: the input " + summary_path_ + " would be overwritten by the run summary";
  // Pair files are part of the result asked for: a folder that cannot hold
  // them fails the run before any work, not silently after it.
  const std::string& pair_folder = config_->PairFolder();
  if (config_->WritePairFiles() && !pair_folder.empty() && !path::CreateDirectory(pair_folder))
    return "Error: cannot create the pair folder: " + pair_folder;
  return std::string();
}

bool CDetectionRun::LoadIdentifications() {
  if (!config_->IdentifiedOnly()) return true;
  const std::string& file = config_->IdentificationFile();
  const bool loaded = collector_->LoadIdentifiedSpectra(file, filter_);
  for (const std::string& line : collector_->Report()) out_ << line << std::endl;
  if (loaded && collector_->IdentifiedCount() == 0)
    out_ << "Warning: " << file << " names no identified spectrum; no pair can be collected" << std::endl;
  return loaded;
}

bool CDetectionRun::DetectAllShifts() {
  out_ << "Detecting modifications.." << std::flush;
  const auto& reduced = precursors_->Reduced();
  for (std::int32_t shift = config_->FirstShift(); shift <= config_->LastShift(); ++shift) {
    collector_->CollectPairs(reduced, shift, config_->IdentifiedOnly());
    detector_->SetPairs(*collector_);
    detector_->SetParameters(config_->MinDScore(), config_->MinBinExcess(), config_->MassBinWidth(), shift);
    if (detector_->Detect() && config_->WritePairFiles() &&
        writer_->WritePairs(reduced, detector_->WorkingMixture(), config_->PairFolder(),
                            config_->PairProbabilityThreshold(), detector_->MutableResults()) < 0) {
      out_ << std::endl;  // ends the progress line before the reason
      return false;
    }
    out_ << shift << ".." << std::flush;
    if (shift == config_->LastShift()) break;  // shift + 1 would overflow at INT_MAX
  }
  out_ << "finishing.." << std::flush;
  combiner_->FindCombinations(reduced, detector_->MutableResults());
  out_ << "done" << std::endl;
  return true;
}

int CDetectionRun::Run(const std::string& config_path) {
  const std::string refused = ReadCheckedConfiguration(config_path);
  if (!refused.empty()) return Fail(refused);
  // An earlier run's table must never pass for this run's when this one
  // fails.
  path::RemoveFile(kResultFile);
  if (!summary_path_.empty()) path::RemoveFile(summary_path_);
  precursors_->SetSource(config_->DataPath(), config_->FileType(), config_->TitlePrefix());
  PrintBanner();

  out_ << "Reading data..." << std::flush;
  const auto start = std::chrono::steady_clock::now();
  const bool read_ok = precursors_->ReadData(*config_);
  out_ << "done(" << precursors_->Records().size() << ")" << std::endl;
  if (!read_ok) return Fail("Error: no precursors could be read from " + config_->DataPath());

  out_ << "Removing redundancy..." << std::flush;
  ReduceRedundancy();
  out_ << "done(" << precursors_->Reduced().size() << ")" << std::endl;

  if (!LoadIdentifications())
    return Fail("Error: cannot read the identification file: " + config_->IdentificationFile());
  // The pair folder holds this run's pairs only: a reader of the folder
  // must not mix in the shifts of an earlier run.
  if (config_->WritePairFiles()) CPairWriter::RemoveEarlierPairFiles(config_->PairFolder());
  if (!DetectAllShifts()) return Fail("Cannot write file: " + writer_->LastFailedFile());

  auto& results = detector_->MutableResults();
  out_ << std::endl << config_->DataPath() << std::endl;
  out_ << results.size() << " potential modifications are discovered:" << std::endl;
  PrintResultTable(out_, results);

  const bool written = WriteResultFile(kResultFile, results);
  // Whole milliseconds, shown as seconds.
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  out_ << std::endl << "Total time consumed: " << static_cast<double>(ms.count()) * 0.001 << "s" << std::endl;
  if (!written) return Fail(std::string("Cannot write file: ") + kResultFile);
  return 0;
}
