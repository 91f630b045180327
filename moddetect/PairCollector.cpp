#include "moddetect/PairCollector.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

#include "common/DtaName.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "moddetect/DetectionConfig.h"
#include "moddetect/PairWindow.h"
#include "resultfiles/Identifications.h"
#include "resultfiles/ResultFile.h"

namespace {

constexpr double kPairWindow = 0.48;

// Last scan number of a spectrum title. Titles are DTA-style names; a
// prefix holding dots is handled by reading the fields from the end, and a
// title without the extension by reading "base first last" from the front.
bool TitleLastScan(const std::string& title, std::int32_t& scan) {
  msdata::DtaNameParts parts;
  if (msdata::ParseDtaName(title, parts) || msdata::ParseDtaName(title + ".DTA", parts)) {
    scan = parts.last_scan;
    return true;
  }
  std::string spaced = title;
  std::replace(spaced.begin(), spaced.end(), '.', ' ');
  std::vector<char> base(spaced.size() + 1, '\0');
  int first = 0, last = 0;
  if (std::sscanf(spaced.c_str(), "%s %d %d", base.data(), &first, &last) != 3) return false;
  scan = last;
  return true;
}

}  // namespace

CPairCollector::CPairCollector() {
  delta_mass_.reserve(2000);
  delta_time_.reserve(2000);
  delta_scan_.reserve(2000);
}

bool IdentificationFilterOf(const CDetectionConfig& config, CIdentificationFilter& filter, std::string& message) {
  if (!FilterFromChoice({config.FdrLevel(), config.ScoreThreshold(), config.DecoyPrefix()}, filter, message)) {
    message = "Error: " + message;
    return false;
  }
  filter.modify_ini_directory = path::ProgramDirectory();
  return true;
}

bool CPairCollector::LoadIdentifiedSpectra(const std::string& p, const CIdentificationFilter& filter) {
  identified_.clear();
  report_.clear();
  std::ifstream in;
  if (!text::OpenInput(in, p)) {
    notify::Message("Can not open file:" + p);
    return false;
  }
  if (!std::unique_ptr<CResultFile>(CResultFileFactory().GetResult(p))) {
    LoadIdentifiedSpectra(in);
    return true;
  }
  in.close();
  CIdentifications loaded;
  std::string error;
  const bool read = LoadIdentifications(p, filter, loaded, error);
  report_ = std::move(loaded.report);
  // A file read in part is no basis for choosing pairs.
  if (!read) return false;
  const ResultMap& results = loaded.results;
  for (const auto& [title, identification] : results) {
    // Entries without a peptide name spectra that were searched, not found.
    if (!identification.empty() && identification[0] != ' ') AddIdentifiedTitle(title);
  }
  FinishIdentified();
  return true;
}

void CPairCollector::LoadIdentifiedSpectra(std::istream& in) {
  identified_.clear();
  std::string line;
  while (text::ReadLine(in, line)) {
    std::replace(line.begin(), line.end(), '\t', ' ');
    if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
    const std::size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    // Skip the first field, its comma and the character after it, then one
    // word and its blank: the next word is the spectrum title.
    std::string rest = comma + 2 <= line.size() ? line.substr(comma + 2) : std::string();
    const std::size_t blank = rest.find(' ');
    if (blank == std::string::npos) continue;
    rest = rest.substr(blank + 1);
    AddIdentifiedTitle(rest.substr(0, rest.find(' ')));
  }
  FinishIdentified();
}

void CPairCollector::AddIdentifiedTitle(const std::string& title) {
  std::int32_t scan = 0;
  const std::string upper = text::ToUpper(title);
  if (upper.empty() || !TitleLastScan(upper, scan) || scan < 0) return;
  identified_.push_back(scan);
}

void CPairCollector::FinishIdentified() {
  std::sort(identified_.begin(), identified_.end());
  identified_.erase(std::unique(identified_.begin(), identified_.end()), identified_.end());
}

bool CPairCollector::IsIdentified(std::int32_t scan) const {
  return std::binary_search(identified_.begin(), identified_.end(), scan);
}

bool CPairCollector::CollectPairs(const std::vector<PrecursorRecord>& reduced, std::int32_t w,
                                  bool post_search) {
  delta_mass_.clear();
  delta_time_.clear();
  delta_scan_.clear();
  if (reduced.size() < 2) return false;
  ForEachPairNearShift(
      reduced, w, [](double offset) { return std::fabs(offset) < kPairWindow; },
      [&](std::size_t light, std::size_t heavy) {
        const PrecursorRecord& l = reduced[light];
        const PrecursorRecord& h = reduced[heavy];
        if (post_search && !IsIdentified(l.scan) && !IsIdentified(h.scan)) return;
        delta_mass_.push_back(h.mh - l.mh);
        delta_time_.push_back(h.retention_time - l.retention_time);
        // Scan numbers come from the dump unchecked; their difference must
        // not overflow.
        delta_scan_.push_back(static_cast<std::int32_t>(static_cast<std::int64_t>(h.scan) - l.scan));
      });
  return true;
}
