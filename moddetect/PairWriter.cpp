#include "moddetect/PairWriter.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "moddetect/PairWindow.h"

namespace {

constexpr double kWriteWindow = 0.4;

std::string NormalisedDirectory(const std::string& pairpath) {
  std::string dir = pairpath;
  if (!dir.empty() && dir.back() == '\\') dir.back() = '/';
  return dir;
}

}  // namespace

std::string CPairWriter::PairFileName(double delta_mass, double ppthres) {
  char name[128];
  std::snprintf(name, sizeof name, "pair_m%.6lf_p%.2lf.csv", delta_mass, ppthres);
  return name;
}

namespace {

// Advances `at` over one or more decimal digits; false when there is none.
bool SkipDigits(const std::string& s, std::size_t& at, std::size_t exactly = 0) {
  const std::size_t begin = at;
  while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at;
  return exactly == 0 ? at > begin : at - begin == exactly;
}

bool SkipText(const std::string& s, std::size_t& at, const char* text) {
  const std::string t(text);
  if (s.compare(at, t.size(), t) != 0) return false;
  at += t.size();
  return true;
}

}  // namespace

bool CPairWriter::IsPairFileName(const std::string& name) {
  std::size_t at = 0;
  if (!SkipText(name, at, "pair_m")) return false;
  if (at < name.size() && name[at] == '-') ++at;
  return SkipDigits(name, at) && SkipText(name, at, ".") && SkipDigits(name, at, 6) && SkipText(name, at, "_p") &&
         SkipDigits(name, at) && SkipText(name, at, ".") && SkipDigits(name, at, 2) && SkipText(name, at, ".csv") &&
         at == name.size();
}

int CPairWriter::RemoveEarlierPairFiles(const std::string& pairpath) {
  const std::string dir = NormalisedDirectory(pairpath);
  std::error_code ec;
  int removed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.empty() ? "." : dir, ec)) {
    const std::string name = entry.path().filename().string();
    const auto type = entry.symlink_status(ec).type();
    if (!IsPairFileName(name) ||
        (type != std::filesystem::file_type::regular && type != std::filesystem::file_type::symlink))
      continue;
    if (std::filesystem::remove(entry.path(), ec)) ++removed;
  }
  return removed;
}

std::string CPairWriter::PairFilePath(const std::string& pairpath, const std::string& name) {
  const std::string dir = NormalisedDirectory(pairpath);
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

namespace {

// Writes the pairs within the window around `window_center` that state
// `state` explains with at least `ppthres` posterior probability; answers
// the number of lines.
int WriteStatePairs(std::FILE* f, const std::vector<PrecursorRecord>& reduced, const CMixtureEvaluator& eval,
                    std::int32_t state, double window_center, double ppthres) {
  int lines = 0;
  ForEachPairNearShift(
      reduced, window_center, [](double offset) { return std::fabs(offset) <= kWriteWindow; },
      [&](std::size_t light, std::size_t heavy) {
        const PrecursorRecord& l = reduced[light];
        const PrecursorRecord& h = reduced[heavy];
        const double dm = h.mh - l.mh;
        const float point[2] = {static_cast<float>(dm), static_cast<float>(h.retention_time - l.retention_time)};
        if (eval.Posterior(state, point) < ppthres) return;
        std::fprintf(f, "%s,%lf,%s,%lf,%lf,%lf,%d\n", h.title.c_str(), h.mh, l.title.c_str(), l.mh, dm, 0.0, 1);
        ++lines;
      });
  return lines;
}

}  // namespace

int CPairWriter::WritePairs(const std::vector<PrecursorRecord>& reduced, const CGaussianMixture& mixture,
                            const std::string& pairpath, double ppthres,
                            std::vector<ModificationRecord>& results) {
  const std::int32_t k_count = mixture.StateCount();
  if (reduced.size() < 2 || k_count < 2) return 0;
  const double w0 = std::trunc(static_cast<double>(mixture.Means()(0, 0)) + 0.5);
  if (!std::isfinite(w0)) return 0;
  const std::string dir = NormalisedDirectory(pairpath);
  if (!dir.empty()) path::CreateDirectory(dir);

  const CMixtureEvaluator eval(mixture);
  int files = 0;
  for (std::int32_t s = 0; s + 1 < k_count; ++s) {
    const float mean = mixture.Means()(static_cast<std::uint32_t>(s), 0);
    const std::string file = PairFilePath(pairpath, PairFileName(mean, ppthres));
    safefile::CSafeFile out;
    if (!out.Open(file)) {
      failed_file_ = file;
      return -1;
    }
    const int lines = WriteStatePairs(out.Get(), reduced, eval, s, w0, ppthres);
    if (!out.Commit()) {
      failed_file_ = file;
      return -1;
    }
    ++files;
    for (ModificationRecord& r : results) {
      if (r.delta_mass == static_cast<double>(mean)) {
        r.pair_count = lines;
        break;
      }
    }
  }
  return files;
}
