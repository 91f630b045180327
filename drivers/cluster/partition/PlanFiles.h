#pragma once
// The plan and the manifest in the work folder: what `--plan` leaves for the
// workflow and for `--merge`.
//
// plan.txt holds "key=value" lines (cluster_type, spectra, parts).
// manifest.tsv holds a header and one line per part: part, mass_from,
// mass_to, owned_from, owned_to (precursor MH+ in daltons), spectra, owned
// (spectra the part owns), work (estimated pairs to score), first and
// owned_first (positions in the job's ordered spectrum list), largest (type
// 0: spectra in the part's largest block, whose score matrix dominates its
// memory; 0 for type 1).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace partition {

struct PartEntry {
  std::string name;
  double mass_from = 0.0;
  double mass_to = 0.0;
  double owned_from = 0.0;
  double owned_to = 0.0;
  std::size_t count = 0;
  std::size_t owned_count = 0;
  std::uint64_t work = 0;
  std::size_t first = 0;
  std::size_t owned_first = 0;
  std::size_t largest = 0;  // type 0: the part's largest block
};

struct PlanInfo {
  int cluster_type = 0;
  std::size_t spectra = 0;
};

// "part_000", "part_001", ...
std::string PartName(std::size_t k);

bool WritePlanFiles(const std::string& work, const PlanInfo& info,
                    const std::vector<PartEntry>& parts);
// False with `why` when the files are missing or damaged.
bool ReadPlanFiles(const std::string& work, PlanInfo& info, std::vector<PartEntry>& parts,
                   std::string& why);

}  // namespace partition
