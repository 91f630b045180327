#include "spectra/DtaImporter.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/Dta.h"
#include "common/DtaName.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "spectra/ImportSupport.h"

namespace {

// Adds one DTA spectrum read from `file`; `position` is its 1-based place in
// the listing, used when the file name is not DTA-style. "" when it was
// added, else why not, naming the file.
std::string AddDta(msdata::CSpectrum&& s, const std::string& file, std::size_t position,
                   spectra::SpectrumSink& sink) {
  msdata::DtaNameParts parts;
  const std::string name = path::FileName(file);
  const bool dta_style = msdata::ParseDtaName(name, parts) && !parts.prefix.empty() &&
                         text::EqualsNoCase(path::Extension(name), "dta");
  const std::string run = dta_style ? parts.prefix : path::BaseName(name);
  CMS2Input::Origin origin;
  origin.file = name;
  origin.run = run;
  origin.scan = dta_style ? parts.first_scan : -1;
  origin.index = position - 1;
  sink.SetOrigin(origin);
  const char* refused = nullptr;
  if (s.charge <= 0) {
    const int scan = dta_style ? parts.first_scan : static_cast<int>(position);
    const int last = dta_style ? parts.last_scan : static_cast<int>(position);
    refused = sink.Add(dta_style ? parts.prefix : path::BaseName(name), scan, last, {}, s.precursor_mass,
                       0.0, std::move(s.peaks));
    return refused ? file + ": the header " + refused : std::string();
  }
  // In a DTA directory the file name is the spectrum's identity: results name
  // it, and the clustering copies it by that name. Consensus spectra
  // ("10.2-20.2-31.2.dta") are not DTA-style and keep their names too.
  s.first_scan = dta_style ? parts.first_scan : static_cast<int>(position);
  s.last_scan = dta_style ? parts.last_scan : static_cast<int>(position);
  s.name = name;
  s.retention_time = 0.0;
  refused = sink.AddNamed(std::move(s));
  return refused ? file + ": the header " + refused : std::string();
}

// The "*.dta" files of a directory (any case of the extension), in byte
// order of their names, so that every machine loads the same order.
bool ListDtaFiles(const std::string& path, std::vector<std::string>& files, std::string& error) {
  std::error_code ec;
  for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec)) continue;
    const std::string name = it->path().filename().string();
    if (text::EqualsNoCase(path::Extension(name), "dta")) files.push_back(name);
  }
  if (ec) {
    error = "Cannot read directory: " + path + " (" + ec.message() + ")";
    return false;
  }
  std::sort(files.begin(), files.end());
  return true;
}

}  // namespace

bool CDtaImporter::Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                        bool replace) {
  last_error_.clear();
  if (replace) spectra.clear();
  spectra::SpectrumSink sink(spectra, false);
  sink.SetOriginHook(&origin_hook_);
  sink.SetHook(&hook_);
  std::string error;

  if (!path::IsDirectory(path)) {
    msdata::CSpectrum s;
    if (!path::IsRegularFile(path)) {
      last_error_ = "Cannot open file: " + path;
      return false;
    }
    if (!msdata::ReadDta(path, s, error)) {
      last_error_ = error;
      return false;
    }
    last_error_ = AddDta(std::move(s), path, 1, sink);
    sink.ReportRenamed(path);
    return last_error_.empty();
  }

  std::vector<std::string> files;
  if (!ListDtaFiles(path, files, last_error_)) return false;

  spectra::ProblemLog problems;
  spectra::Progress progress(verbose_, path);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string file = path::Join(path, files[i]);
    msdata::CSpectrum s;
    if (!msdata::ReadDta(file, s, error)) {
      problems.Add(error);
    } else if (const std::string refused = AddDta(std::move(s), file, i + 1, sink); !refused.empty()) {
      problems.Add(refused);
    }
    progress.Update(i + 1, files.size());
  }
  if (sink.Added() == 0) {
    last_error_ = files.empty() ? "No DTA file in directory: " + path
                                : path + ": no DTA file could be read; first problem: " +
                                      problems.First();
    return false;
  }
  sink.ReportRenamed(path);
  if (problems.Count() > 0) notify::Message(problems.Summary(path));
  return true;
}
