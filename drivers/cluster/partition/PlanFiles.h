#pragma once
// The plan and the manifest in the work folder: what `--plan` leaves for the
// workflow and for `--merge`.
//
// plan.txt holds "key=value" lines (cluster_type, spectra, parts, plan_id).
// manifest.tsv holds a header and one line per part: part, mass_from,
// mass_to, owned_from, owned_to (precursor MH+ in daltons), spectra, owned
// (spectra the part owns), work (estimated pairs to score), first and
// owned_first (positions in the job's ordered spectrum list), largest (type
// 0: spectra in the part's largest block, whose score matrix dominates its
// memory; 0 for type 1), names (a checksum of the part's spectrum names).
//
// The manifest is written before the part folders, so that it records
// every folder the plan makes (a later plan in the same work folder removes
// those and no other); plan.txt is written last, its presence saying that
// the parts are complete. The plan identifier is a checksum of the job's
// parameter file and the manifest: every part folder carries it in
// "plan.id", and the merge takes only parts of its own plan.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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
  std::uint64_t names = 0;  // NamesChecksum of the part's spectra
};

struct PlanInfo {
  int cluster_type = 0;
  std::size_t spectra = 0;
  std::string plan_id;
};

// "part_000", "part_001", ...
std::string PartName(std::size_t k);
// True for a name PartName gives.
bool IsPartName(const std::string& name);

// A checksum of a set of spectrum names whatever their order: the sum of
// NameChecksum over the names (a name twice counts twice).
std::uint64_t NameChecksum(std::string_view name);

// The manifest's text, and the plan identifier of a job's parameter file
// text with that manifest.
std::string ManifestText(const std::vector<PartEntry>& parts);
std::string PlanId(const std::string& parameter_text, const std::string& manifest_text);

// Written whole, never through a link planted at their names.
bool WriteManifest(const std::string& work, const std::string& manifest_text);
bool WritePlanFile(const std::string& work, const PlanInfo& info, std::size_t parts);
// False with `why` when the files are missing or damaged.
bool ReadPlanFiles(const std::string& work, PlanInfo& info, std::vector<PartEntry>& parts,
                   std::string& why);
// The part folders the manifest in `work` records, whether or not its plan
// was completed.
std::vector<std::string> RecordedParts(const std::string& work);

}  // namespace partition
