#include "drivers/cluster/partition/PlanFiles.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "drivers/cluster/partition/Partition.h"

namespace partition {

namespace {

constexpr const char* kHeader =
    "part\tmass_from\tmass_to\towned_from\towned_to\tspectra\towned\twork\tfirst\towned_first\tlargest";

}  // namespace

std::string PartName(std::size_t k) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "part_%03zu", k);
  return buffer;
}

bool WritePlanFiles(const std::string& work, const PlanInfo& info,
                    const std::vector<PartEntry>& parts) {
  std::ofstream manifest(path::Join(work, kManifestFile), std::ios::binary | std::ios::trunc);
  manifest << kHeader << "\n";
  for (const PartEntry& e : parts) {
    char masses[160];
    std::snprintf(masses, sizeof masses, "%.6f\t%.6f\t%.6f\t%.6f", e.mass_from, e.mass_to,
                  e.owned_from, e.owned_to);
    manifest << e.name << '\t' << masses << '\t' << e.count << '\t' << e.owned_count << '\t'
             << e.work << '\t' << e.first << '\t' << e.owned_first << '\t' << e.largest << "\n";
  }
  manifest.close();
  // The plan is written last: its presence says the parts are complete.
  std::ofstream plan(path::Join(work, kPlanFile), std::ios::binary | std::ios::trunc);
  plan << "cluster_type=" << info.cluster_type << "\n"
       << "spectra=" << info.spectra << "\n"
       << "parts=" << parts.size() << "\n";
  plan.close();
  return !manifest.fail() && !plan.fail();
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
          e.count >> e.owned_count >> e.work >> e.first >> e.owned_first >> e.largest)) {
      why = "Damaged manifest line in " + path::Join(work, kManifestFile) + ": " + line;
      return false;
    }
    parts.push_back(e);
  }
  if (!have_type || parts.empty() || parts.size() != expected) {
    why = "The plan in " + work + " is incomplete";
    return false;
  }
  return true;
}

}  // namespace partition
