#include "moddetect/ResultOutput.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "common/SafeFile.h"

namespace {

void PartnerMasses(const std::vector<ModificationRecord>& results, const ModificationRecord& r, double& mass1,
                   double& mass2) {
  mass1 = mass2 = 0.0;
  if (r.type != 1 && r.type != 2) return;
  const auto n = static_cast<std::int32_t>(results.size());
  if (r.first_partner >= 0 && r.first_partner < n) mass1 = results[static_cast<std::size_t>(r.first_partner)].delta_mass;
  if (r.second_partner >= 0 && r.second_partner < n) mass2 = results[static_cast<std::size_t>(r.second_partner)].delta_mass;
}

}  // namespace

void PrintResultTable(std::ostream& out, const std::vector<ModificationRecord>& results) {
  out << " delta_mass  delta_time   d-score   type         mass1         mass2" << std::endl;
  char line[256];
  for (const ModificationRecord& r : results) {
    double mass1 = 0.0, mass2 = 0.0;
    PartnerMasses(results, r, mass1, mass2);
    std::snprintf(line, sizeof line, "%11.5f  %10.3f   %7.1f   %4d   %11.5f   %11.5f\n", r.delta_mass, r.delta_time,
                  r.d_score, r.type, mass1, mass2);
    out << line;
  }
  out.flush();
}

bool WriteResultFile(const std::string& path, std::vector<ModificationRecord>& results) {
  const std::size_t n = results.size();
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return results[a].pair_count > results[b].pair_count;
  });
  std::vector<std::int32_t> new_position(n);
  for (std::size_t i = 0; i < n; ++i) new_position[order[i]] = static_cast<std::int32_t>(i);
  std::vector<ModificationRecord> sorted;
  sorted.reserve(n);
  for (std::size_t i : order) {
    ModificationRecord r = results[i];
    if (r.first_partner >= 0 && static_cast<std::size_t>(r.first_partner) < n)
      r.first_partner = new_position[static_cast<std::size_t>(r.first_partner)];
    if (r.second_partner >= 0 && static_cast<std::size_t>(r.second_partner) < n)
      r.second_partner = new_position[static_cast<std::size_t>(r.second_partner)];
    sorted.push_back(r);
  }
  results.swap(sorted);

  safefile::CSafeFile out;
  if (!out.Open(path)) return false;
  std::FILE* f = out.Get();
  for (const ModificationRecord& r : results) {
    double mass1 = 0.0, mass2 = 0.0;
    PartnerMasses(results, r, mass1, mass2);
    std::fprintf(f, "%11.5f,%d,%10.3f,%7.1f,%4d,%11.5f,%11.5f\n", r.delta_mass, r.pair_count, r.delta_time, r.d_score,
                 r.type, mass1, mass2);
  }
  return out.Commit();
}
