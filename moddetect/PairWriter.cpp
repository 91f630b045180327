#include "moddetect/PairWriter.h"

#include <cmath>
#include <cstdio>

#include "common/PathUtil.h"
#include "common/SafeFile.h"

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

std::string CPairWriter::PairFilePath(const std::string& pairpath, const std::string& name) {
  const std::string dir = NormalisedDirectory(pairpath);
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

int CPairWriter::WritePairs(const std::vector<PrecursorRecord>& reduced, const CGaussianMixture& mixture,
                            const std::string& pairpath, double ppthres,
                            std::vector<ModificationRecord>& results) {
  const std::size_t n = reduced.size();
  const std::int32_t k_count = mixture.StateCount();
  if (n < 2 || k_count < 2) return 0;
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
    std::FILE* f = out.Get();
    int lines = 0;
    std::size_t l = 0, h = 1;
    while (h < n && l < n) {
      if (h <= l) h = l + 1;
      if (h >= n) break;
      const double diff = reduced[h].mh - reduced[l].mh - w0;
      if (std::fabs(diff) <= kWriteWindow) {
        for (std::size_t hp = h; hp < n && std::fabs(reduced[hp].mh - reduced[l].mh - w0) <= kWriteWindow; ++hp) {
          const double dm = reduced[hp].mh - reduced[l].mh;
          const float point[2] = {static_cast<float>(dm),
                                  static_cast<float>(reduced[hp].retention_time - reduced[l].retention_time)};
          if (eval.Posterior(s, point) >= ppthres) {
            std::fprintf(f, "%s,%lf,%s,%lf,%lf,%lf,%d\n", reduced[hp].title.c_str(), reduced[hp].mh,
                         reduced[l].title.c_str(), reduced[l].mh, dm, 0.0, 1);
            ++lines;
          }
        }
        ++l;
      } else if (diff <= 0) {
        ++h;
      } else {
        ++l;
      }
    }
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
