#include "drivers/cluster/OutputFolder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "clustering/SpectralPairSearch.h"
#include "common/ErrorMarker.h"
#include "common/PathUtil.h"
#include "common/RunSummary.h"
#include "common/TextUtil.h"
#include "drivers/cluster/loading/SpectrumOrigins.h"

namespace clusterjob {

namespace fs = std::filesystem;

namespace {

// The spectrum names of an earlier cluster file ("row,name,cluster,mass";
// a name may hold commas, the numbers do not).
std::set<std::string> NamesInClusterFile(const std::string& path) {
  std::set<std::string> names;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (in && text::ReadLine(in, line)) {
    const std::size_t first = line.find(',');
    const std::size_t last = line.rfind(',');
    if (first == std::string::npos || last == first) continue;
    const std::size_t before = line.rfind(',', last - 1);
    if (before == first) continue;
    names.insert(line.substr(first + 1, before - first - 1));
  }
  return names;
}

bool EndsWithDta(const std::string& name) {
  return name.size() > 4 && text::EqualsNoCase(name.substr(name.size() - 4), ".dta");
}

// A file's name without the suffix of the temporary name under which it
// was being written ("<name>.part-..."), when a run was cut short.
std::string WrittenName(const std::string& name) {
  const std::size_t part = name.rfind(".part-");
  return part == std::string::npos ? name : name.substr(0, part);
}

bool IsInput(const fs::path& file, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    if (safefile::SameFile(file.string(), input)) return true;
  }
  return false;
}

// Removes a file or a link (never what it points to); folders stay.
bool RemoveOurs(const fs::path& file, const std::vector<std::string>& inputs) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(file, ec);
  if (ec || !(fs::is_regular_file(status) || fs::is_symlink(status))) return false;
  if (IsInput(file, inputs)) return false;
  return fs::remove(file, ec);
}

}  // namespace

bool LockOutputFolder(safefile::CFolderLock& lock, const std::string& folder, bool no_wait) {
  return lock.Acquire(folder, no_wait ? safefile::CFolderLock::Mode::kNoWait : safefile::CFolderLock::Mode::kWait,
                      [](const std::string& busy) {
                        std::fprintf(stderr, "Another run is using %s; waiting for it to end...\n", busy.c_str());
                      });
}

std::size_t ClearEarlierOutputs(const std::string& folder, const std::vector<std::string>& inputs) {
  const fs::path root(folder);
  const std::set<std::string> listed = NamesInClusterFile((root / kClusterFile).string());
  const std::set<std::string> fixed = {kParaName,
                                       kClusterFile,
                                       summary::SummaryPathFor(kClusterFile),
                                       summary::SummaryPathFor(kPairFile),
                                       kClusterTableName,
                                       kPairFile,
                                       CSpectralPairSearch::kHistogramFile,
                                       CSpectralPairSearch::kScoreLog,
                                       kCombinedInput,
                                       kSpectraMgf,
                                       marker::kErrorMarkerFile};
  std::vector<fs::path> earlier;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root, ec)) {
    const std::string name = entry.path().filename().string();
    // cluster.para is replaced by this run; only a cut write of it goes.
    if (fixed.count(WrittenName(name)) != 0 && name != kParaName) earlier.push_back(entry.path());
  }
  // A link in place of the spectra folder is never followed: the files
  // behind it are not ours.
  const fs::path spectra = root / kSpectraFolder;
  if (fs::is_directory(fs::symlink_status(spectra, ec))) {
    for (const auto& entry : fs::directory_iterator(spectra, ec)) {
      const std::string name = WrittenName(entry.path().filename().string());
      if (EndsWithDta(name) || listed.count(name) != 0) earlier.push_back(entry.path());
    }
  }
  std::size_t removed = 0;
  for (const fs::path& file : earlier) {
    if (RemoveOurs(file, inputs)) ++removed;
  }
  return removed;
}

void RemoveFreshFolder(const std::string& folder) {
  const fs::path root(folder);
  std::error_code ec;
  // remove() takes a folder only when it is empty.
  if (fs::is_directory(fs::symlink_status(root / kSpectraFolder, ec))) fs::remove(root / kSpectraFolder, ec);
  if (fs::is_regular_file(fs::symlink_status(root / safefile::kLockFileName, ec)))
    fs::remove(root / safefile::kLockFileName, ec);
  fs::remove(root, ec);
}

}  // namespace clusterjob
