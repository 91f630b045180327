#include "spectra/MzImporter.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "spectra/ImportSupport.h"
#include "spectra/MzFileCheck.h"
#include "spectra/MzReaderProcess.h"

namespace {

using mzstream::ScanRecord;
using spectra::MzFileKind;
using spectra::MzReadResult;

bool ReadWholeFile(const std::string& path, std::string& content) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) return false;
  content.clear();
  char buffer[1 << 16];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) content.append(buffer, n);
  return !std::ferror(f.get());
}

// The first 64 KB of the file; false when it cannot be opened.
bool ReadHead(const std::string& path, std::string& head) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) return false;
  head = spectra::ReadFilePiece(f.get(), 0, 65536);
  return true;
}

bool NamedRight(MzFileKind kind, const std::string& path) {
  const std::string ext = path::Extension(path);
  return (kind == MzFileKind::kMzML && ext == "mzml") ||
         (kind == MzFileKind::kMzXML && ext == "mzxml") ||
         (kind == MzFileKind::kMS2 && ext == "ms2");
}

// Reads a temporary copy of `path` with a fresh offset index. On failure
// `error` says why, unless only the copy could not be made and `error`
// already holds the reason of the first attempt.
bool ReadIndexedCopy(const std::string& program, const std::string& path, MzFileKind kind,
                     std::vector<ScanRecord>& records, std::string& error) {
  std::string copy_error;
  std::string copy;
  {
    std::string content;
    if (!ReadWholeFile(path, content)) {
      copy_error = "cannot be read";
    } else {
      copy = spectra::WriteIndexedCopy(content, kind, copy_error);
    }
  }
  if (copy.empty()) {
    if (error.empty()) error = copy_error;
    return false;
  }
  std::string retry_error;
  const bool ok =
      spectra::ReadWithMzReader(program, copy, kind, records, retry_error) == MzReadResult::kRead;
  unlink(copy.c_str());
  if (!ok) {
    // MSToolkit names the file it was given; the user knows only theirs.
    for (std::size_t at = retry_error.find(copy); at != std::string::npos;
         at = retry_error.find(copy, at + path.size())) {
      retry_error.replace(at, copy.size(), path);
    }
    error = retry_error;
  }
  return ok;
}

// Every MS2 scan of `path` as the reading program reports it.
bool ReadRecords(const std::string& program, const std::string& path, MzFileKind kind, bool verbose,
                 std::vector<ScanRecord>& records, std::string& error) {
  const bool named_right = NamedRight(kind, path);
  if (kind == MzFileKind::kMS2) {
    if (!named_right) {
      error = "MS2 files are read only under the extension .ms2";
      return false;
    }
    return spectra::ReadWithMzReader(program, path, kind, records, error) == MzReadResult::kRead;
  }
  if (named_right && spectra::HasUsableIndex(path, kind)) {
    const MzReadResult result = spectra::ReadWithMzReader(program, path, kind, records, error);
    if (result == MzReadResult::kRead) return true;
    // A copy would not start it either, nor mend a damaged scan.
    if (result == MzReadResult::kNotStarted || result == MzReadResult::kDamaged) return false;
  }
  // No index, a broken one, or a name MSToolkit does not know: read a copy
  // with a fresh index.
  if (verbose) notify::Message(path + ": no usable offset index; reading an indexed copy");
  return ReadIndexedCopy(program, path, kind, records, error);
}

}  // namespace

bool CMzImporter::Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                       bool replace) {
  last_error_.clear();
  scan_info_.clear();
  if (replace) spectra.clear();
  std::string head;
  if (!path::IsRegularFile(path) || !ReadHead(path, head)) {
    last_error_ = "Cannot open file: " + path;
    return false;
  }
  const MzFileKind kind = spectra::KindFromContent(head);
  if (kind == MzFileKind::kUnknown) {
    last_error_ = path + ": not an mzML, mzXML or MS2 file";
    return false;
  }
  std::vector<ScanRecord> records;
  std::string error;
  const std::string program = program_.empty() ? spectra::DefaultMzReaderProgram() : program_;
  if (!ReadRecords(program, path, kind, verbose_, records, error)) {
    last_error_ = path + ": " + error;
    return false;
  }
  return AddSpectra(path, records, spectra);
}

namespace {

// "" when every peak is a finite m/z above 0 with a finite intensity, else
// which is not. The reading program checks the arrays themselves; this
// catches what decodes from them to no peak at all.
std::string DamagedPeak(const ScanRecord& r) {
  for (const msdata::Peak& peak : r.peaks) {
    if (!(std::isfinite(peak.first) && peak.first > 0.0 && std::isfinite(peak.second))) {
      char values[96];
      std::snprintf(values, sizeof values, "%g, intensity %g", peak.first, peak.second);
      return "scan " + std::to_string(r.scan) + ": the peak arrays are damaged (a peak at m/z " + values + ")";
    }
  }
  return std::string();
}

}  // namespace

bool CMzImporter::AddSpectra(const std::string& path, std::vector<mzstream::ScanRecord>& records,
                             std::vector<msdata::CSpectrum>& spectra) {
  const std::string base = path::BaseName(path);
  const std::string file = path::FileName(path);
  spectra::SpectrumSink sink(spectra, false);
  sink.SetOriginHook(&origin_hook_);
  sink.SetHook(&hook_);
  std::size_t without_precursor = 0;
  spectra::ProblemLog refused;  // precursors no ion has
  for (ScanRecord& r : records) {
    if (const std::string damaged = DamagedPeak(r); !damaged.empty()) {
      last_error_ = path + ": " + damaged;
      return false;
    }
    if (!(r.mz > 0.0)) {  // an MS2 without a precursor m/z cannot be used
      ++without_precursor;
      continue;
    }
    CMS2Input::Origin origin;
    origin.file = file;
    origin.run = base;
    origin.native_id = r.native_id;
    // Scan numbers of ids without "scan=" are positions MSToolkit made up.
    if (r.native_id.empty() || r.native_id.find("scan=") != std::string::npos) origin.scan = r.scan;
    origin.index = static_cast<std::size_t>(r.index);
    sink.SetOrigin(origin);
    // The scan facts go with the spectra that reach the list (a hook may
    // keep some out), so that they stay side by side.
    const std::size_t before = spectra.size();
    if (const char* why = sink.Add(base, r.scan, r.last_scan, r.charges, r.mz, r.rt_seconds, std::move(r.peaks))) {
      refused.Add("scan " + std::to_string(r.scan) + " " + why);
      continue;
    }
    const std::size_t copies = spectra.size() - before;
    for (std::size_t k = 0; k < copies; ++k) {
      scan_info_.push_back(MzScanInfo{r.scan, r.precursor_scan, r.instrument, r.activation});
    }
  }
  if (sink.Added() == 0) {
    last_error_ = path + ": no MS2 spectrum with a precursor in the file";
    if (refused.Count() > 0) last_error_ += "; first: " + refused.First();
    return false;
  }
  if (without_precursor > 0) {
    notify::Message(path + ": skipped " + std::to_string(without_precursor) +
                    " MS2 scans without a precursor m/z");
  }
  if (refused.Count() > 0) notify::Message(refused.Summary(path));
  sink.ReportRenamed(path);
  return true;
}
