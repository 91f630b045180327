#include "drivers/cluster/partition/PlanFiles.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "drivers/cluster/partition/Partition.h"

namespace partition {

namespace {

constexpr const char* kHeader =
    "part\tmass_from\tmass_to\towned_from\towned_to\tspectra\towned\twork\tfirst\towned_first\tlargest"
    "\tnames";

// FNV-1a, 64 bits.
std::uint64_t Fnv1a(std::string_view text, std::uint64_t hash = 14695981039346656037ull) {
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string Hex(std::uint64_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%016" PRIx64, value);
  return buffer;
}

}  // namespace

std::string PartName(std::size_t k) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "part_%03zu", k);
  return buffer;
}

bool IsPartName(const std::string& name) {
  const std::string prefix = "part_";
  return name.size() >= prefix.size() + 3 && name.compare(0, prefix.size(), prefix) == 0 &&
         name.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

std::uint64_t NameChecksum(std::string_view name) {
  // Mixed once more (a multiply and shift of the murmur finaliser), so that
  // sums of names that differ in one character do not cancel out.
  std::uint64_t h = Fnv1a(name);
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

std::string ManifestText(const std::vector<PartEntry>& parts) {
  std::ostringstream manifest;
  manifest << kHeader << "\n";
  for (const PartEntry& e : parts) {
    char masses[160];
    std::snprintf(masses, sizeof masses, "%.6f\t%.6f\t%.6f\t%.6f", e.mass_from, e.mass_to,
                  e.owned_from, e.owned_to);
    manifest << e.name << '\t' << masses << '\t' << e.count << '\t' << e.owned_count << '\t'
             << e.work << '\t' << e.first << '\t' << e.owned_first << '\t' << e.largest << '\t'
             << Hex(e.names) << "\n";
  }
  return manifest.str();
}

std::string PlanId(const std::string& parameter_text, const std::string& manifest_text) {
  return Hex(Fnv1a(manifest_text, Fnv1a(parameter_text)));
}

bool WriteManifest(const std::string& work, const std::string& manifest_text) {
  return safefile::WriteWholeFile(path::Join(work, kManifestFile), manifest_text);
}

bool WritePlanFile(const std::string& work, const PlanInfo& info, std::size_t parts) {
  std::ostringstream plan;
  plan << "cluster_type=" << info.cluster_type << "\n"
       << "spectra=" << info.spectra << "\n"
       << "parts=" << parts << "\n"
       << "plan_id=" << info.plan_id << "\n";
  return safefile::WriteWholeFile(path::Join(work, kPlanFile), plan.str());
}

std::vector<std::string> RecordedParts(const std::string& work) {
  std::vector<std::string> names;
  std::ifstream manifest(path::Join(work, kManifestFile), std::ios::binary);
  std::string line;
  while (manifest && text::ReadLine(manifest, line)) {
    const std::string name = line.substr(0, line.find('\t'));
    if (IsPartName(name)) names.push_back(name);
  }
  return names;
}

bool ReadPlanFiles(const std::string& work, PlanInfo& info, std::vector<PartEntry>& parts,
                   std::string& why) {
  const std::string plan_path = path::Join(work, kPlanFile);
  std::ifstream plan(plan_path, std::ios::binary);
  if (!plan) {
    why = "No plan in " + work + " (run the plan first)";
    return false;
  }
  std::string line;
  std::size_t expected = 0;
  bool have_type = false;
  while (text::ReadLine(plan, line)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    if (key == "cluster_type") {
      info.cluster_type = text::AtoI(value);
      have_type = true;
    } else if (key == "spectra") {
      info.spectra = static_cast<std::size_t>(std::strtoull(value.c_str(), nullptr, 10));
    } else if (key == "parts") {
      expected = static_cast<std::size_t>(std::strtoull(value.c_str(), nullptr, 10));
    } else if (key == "plan_id") {
      info.plan_id = value;
    }
  }
  std::ifstream manifest(path::Join(work, kManifestFile), std::ios::binary);
  parts.clear();
  bool header = true;
  while (manifest && text::ReadLine(manifest, line)) {
    if (header) {
      header = false;
      continue;
    }
    if (text::Trim(line).empty()) continue;
    std::istringstream fields(line);
    PartEntry e;
    if (!(fields >> e.name >> e.mass_from >> e.mass_to >> e.owned_from >> e.owned_to >>
          e.count >> e.owned_count >> e.work >> e.first >> e.owned_first >> e.largest >> std::hex >>
          e.names) ||
        !IsPartName(e.name)) {
      why = "Damaged manifest line in " + path::Join(work, kManifestFile) + ": " + line;
      return false;
    }
    parts.push_back(e);
  }
  if (!have_type || info.plan_id.empty() || parts.empty() || parts.size() != expected) {
    why = "The plan in " + work + " is incomplete";
    return false;
  }
  return true;
}

}  // namespace partition
