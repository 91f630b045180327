#include "rawreader/MzRawfile.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>

#include "common/TextUtil.h"
#include "spectra/MS2Input.h"
#include "spectra/MzImporter.h"

namespace {

constexpr std::int32_t kOk = 1;
constexpr std::int32_t kFailed = 0;

std::vector<std::string> Words(const std::string& s) {
  std::istringstream in(text::ToLower(s));
  std::vector<std::string> words;
  std::string w;
  while (in >> w) words.push_back(w);
  return words;
}

// A filter selects the scans whose filter text holds each of its words.
bool Matches(const std::string& scan_filter, const std::vector<std::string>& wanted) {
  const std::vector<std::string> have = Words(scan_filter);
  return std::all_of(wanted.begin(), wanted.end(), [&have](const std::string& w) {
    return std::find(have.begin(), have.end(), w) != have.end();
  });
}

}  // namespace

std::string BuildFilterText(const std::string& instrument, const std::string& activation,
                            double precursor_mz, const msdata::PeakList& peaks) {
  double low = 0.0, high = 0.0;
  if (!peaks.empty()) {
    low = peaks.front().first;
    high = peaks.back().first;
  }
  char text[512];
  std::snprintf(text, sizeof text, "%s + c NSI d Full ms2 %.2f@%s [%.2f-%.2f]",
                instrument.c_str(), precursor_mz, text::ToLower(activation).c_str(), low, high);
  return text;
}

std::int32_t CMzRawfile::Open(const std::string& path) {
  open_ = false;
  controller_ = false;
  scans_.clear();
  last_error_.clear();
  MS2FormatType type = MS2_FORMAT_MZML;
  std::string why;
  if (!CMS2InputFactory::FormatFromPath(path, type, why)) {
    last_error_ = why;
    return kFailed;
  }
  if (type != MS2_FORMAT_MZML) {
    last_error_ = path + ": Vellum reads runs in mzML or mzXML.";
    return kFailed;
  }
  CMzImporter importer(verbose_);
  std::vector<msdata::CSpectrum> spectra;
  if (!importer.Load(path, spectra, true)) {
    last_error_ = importer.LastError();
    return kFailed;
  }
  const std::vector<MzScanInfo>& info = importer.ScanInfo();
  for (std::size_t i = 0; i < spectra.size() && i < info.size(); ++i) {
    msdata::CSpectrum& s = spectra[i];
    const auto [at, added] = scans_.try_emplace(info[i].scan);
    Scan& scan = at->second;
    if (added) {
      scan.minutes = s.retention_time / 60.0;
      scan.filter = BuildFilterText(info[i].instrument, info[i].activation, s.precursor_mz, s.peaks);
      scan.peaks = std::move(s.peaks);
    }
    DXPrecursorInfo record;
    record.isolation_mz = s.precursor_mz;
    record.monoisotopic_mz = s.precursor_mz;
    record.charge = s.charge;
    record.scan = info[i].precursor_scan;
    scan.precursors.push_back(record);
  }
  if (scans_.empty()) {
    last_error_ = path + ": no MS2 scan in the run";
    return kFailed;
  }
  open_ = true;
  return kOk;
}

bool CMzRawfile::CheckOpen() {
  if (open_ && controller_) return true;
  last_error_ = open_ ? "no controller chosen" : "no run is open";
  return false;
}

std::int32_t CMzRawfile::SetCurrentController(std::int32_t type, std::int32_t number) {
  // The mass spectrometer (type 0, number 1) is the only controller an mzML
  // or mzXML run carries.
  if (!open_ || type != 0 || number != 1) {
    last_error_ = open_ ? "the run has no such controller" : "no run is open";
    return kFailed;
  }
  controller_ = true;
  return kOk;
}

std::int32_t CMzRawfile::GetFirstSpectrumNumber(std::int32_t& scan) {
  if (!CheckOpen()) return kFailed;
  scan = std::min<std::int32_t>(1, scans_.begin()->first);
  return kOk;
}

std::int32_t CMzRawfile::GetLastSpectrumNumber(std::int32_t& scan) {
  if (!CheckOpen()) return kFailed;
  scan = scans_.rbegin()->first;
  return kOk;
}

const CMzRawfile::Scan* CMzRawfile::Find(std::int32_t scan) {
  if (!CheckOpen()) return nullptr;
  const auto at = scans_.find(scan);
  if (at == scans_.end()) {
    last_error_ = "scan " + std::to_string(scan) + " is not an MS2 scan of the run";
    return nullptr;
  }
  return &at->second;
}

std::int32_t CMzRawfile::GetMassListFromScanNum(std::int32_t& scan, const std::string& filter,
                                                std::int32_t, std::int32_t, std::int32_t,
                                                std::int32_t, msdata::PeakList& mass_list,
                                                std::vector<std::int32_t>& flags,
                                                std::int32_t& peak_count) {
  if (!CheckOpen()) return kFailed;
  std::int32_t first = 0, last = 0;
  GetFirstSpectrumNumber(first);
  GetLastSpectrumNumber(last);
  if (scan < first || scan > last) {
    last_error_ = "scan " + std::to_string(scan) + " is outside the run (" +
                  std::to_string(first) + " to " + std::to_string(last) + ")";
    return kFailed;
  }
  const std::vector<std::string> wanted = Words(filter);
  const auto at = scans_.find(scan);
  if (at == scans_.end() || !Matches(at->second.filter, wanted)) {
    // As the vendor's control does, move to the next scan that matches.
    auto next = scans_.upper_bound(scan);
    while (next != scans_.end() && !Matches(next->second.filter, wanted)) ++next;
    scan = next != scans_.end() ? next->first : scan + 1;
    mass_list.clear();
    flags.clear();
    peak_count = 0;
    return kOk;
  }
  mass_list = at->second.peaks;
  flags.assign(mass_list.size(), 0);
  peak_count = static_cast<std::int32_t>(mass_list.size());
  return kOk;
}

std::int32_t CMzRawfile::RTFromScanNum(std::int32_t scan, double& minutes) {
  const Scan* s = Find(scan);
  if (!s) return kFailed;
  minutes = s->minutes;
  return kOk;
}

std::int32_t CMzRawfile::GetFilterForScanNum(std::int32_t scan, std::string& filter) {
  const Scan* s = Find(scan);
  if (!s) return kFailed;
  filter = s->filter;
  return kOk;
}

std::int32_t CMzRawfile::GetPrecursorInfoFromScanNum(std::int32_t scan,
                                                     std::vector<DXPrecursorInfo>& records,
                                                     std::int32_t& count) {
  const Scan* s = Find(scan);
  if (!s) return kFailed;
  records = s->precursors;
  count = static_cast<std::int32_t>(records.size());
  return kOk;
}
