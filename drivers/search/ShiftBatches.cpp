#include "drivers/search/ShiftBatches.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <tuple>

#include "common/TextUtil.h"

namespace search {

namespace {

// "C 31.97": the key under which shifts count as one modification.
std::string KeyOf(const CShift& shift) {
  char key[64];
  std::snprintf(key, sizeof key, "%c %.2f", shift.residue, shift.mass);
  return key;
}

}  // namespace

std::map<char, double> SearchedResidueMasses(const CResidueTable& table, const std::map<char, double>& additions) {
  std::map<char, double> masses;
  for (char r = 'A'; r <= 'Z'; ++r) {
    const double mass = table.Get(r).mono_mass;
    if (mass <= 0.0) continue;
    const auto added = additions.find(r);
    masses[r] = mass + (added == additions.end() ? 0.0 : added->second);
  }
  return masses;
}

std::vector<CShift> ShiftsOf(const std::string& sequence, const std::string& modifications,
                             const std::map<char, double>& residue_masses) {
  std::vector<int> sites;
  std::map<int, double> at;
  for (const std::string& item : text::Split(modifications, ' ')) {
    const std::vector<std::string> fields = text::Split(item, ',');
    if (fields.size() != 3) continue;  // "<position>,<number>" of the first search
    const int site = text::AtoI(fields[0]);
    if (site < 0) continue;
    if (!at.count(site)) sites.push_back(site);
    at[site] += text::AtoF(fields[1]);
  }
  std::vector<CShift> shifts;
  for (const int site : sites) {
    if (static_cast<std::size_t>(site) >= sequence.size()) continue;
    const char residue = sequence[site];
    const auto mass = residue_masses.find(residue);
    if (mass == residue_masses.end() || mass->second + at[site] <= 0.0) continue;
    shifts.push_back({residue, at[site]});
  }
  return shifts;
}

CShiftPlan PlanBatches(const std::vector<std::vector<CShift>>& identifications, int slots) {
  std::map<std::string, int> count;
  std::map<std::string, double> sum;
  std::map<std::string, char> residue;
  struct CSet {
    std::vector<std::string> keys;
    std::string text;
    int occurrences = 0;
    int weight = 0;
  };
  std::map<std::string, CSet> sets;
  CShiftPlan plan;
  for (const std::vector<CShift>& shifts : identifications) {
    if (shifts.empty()) continue;
    CSet set;
    for (const CShift& shift : shifts) {
      const std::string key = KeyOf(shift);
      ++count[key];
      sum[key] += shift.mass;
      residue[key] = shift.residue;
      if (std::find(set.keys.begin(), set.keys.end(), key) == set.keys.end()) {
        set.text += (set.keys.empty() ? "" : ",") + key;
        set.keys.push_back(key);
      }
    }
    if (static_cast<int>(set.keys.size()) > slots) {
      ++plan.too_many;
      continue;
    }
    CSet& kept = sets[set.text];
    if (kept.keys.empty()) kept = set;
    ++kept.occurrences;
  }
  std::vector<CSet> order;
  for (auto& [text, set] : sets) {
    for (const std::string& key : set.keys) set.weight += count[key];
    order.push_back(set);
  }
  std::sort(order.begin(), order.end(), [](const CSet& a, const CSet& b) {
    return std::make_tuple(-a.weight, -a.occurrences, a.text) < std::make_tuple(-b.weight, -b.occurrences, b.text);
  });
  // First fit; each batch keeps its shifts in the order they joined it.
  std::vector<std::vector<std::string>> batches;
  for (const CSet& set : order) {
    std::size_t b = 0;
    for (; b < batches.size(); ++b) {
      std::size_t more = 0;
      for (const std::string& key : set.keys)
        more += std::find(batches[b].begin(), batches[b].end(), key) == batches[b].end();
      if (batches[b].size() + more <= static_cast<std::size_t>(slots)) break;
    }
    if (b == batches.size()) batches.emplace_back();
    for (const std::string& key : set.keys)
      if (std::find(batches[b].begin(), batches[b].end(), key) == batches[b].end()) batches[b].push_back(key);
  }
  std::set<std::pair<char, std::string>> distinct;
  for (std::size_t b = 0; b < batches.size(); ++b) {
    for (const std::string& key : batches[b]) {
      const CShiftMod mod{static_cast<int>(b) + 1, count[key], residue[key], sum[key] / count[key]};
      char mass[32];
      std::snprintf(mass, sizeof mass, "%.6f", mod.mass);
      distinct.insert({mod.residue, mass});
      plan.mods.push_back(mod);
    }
  }
  plan.batches = static_cast<int>(batches.size());
  plan.distinct = static_cast<int>(distinct.size());
  return plan;
}

namespace {

// How many of `mod` a peptide of `sequence` can carry.
int Room(const CVariableMod& mod, const std::string& sequence) {
  int sites = 0;
  for (const char residue : mod.residues) {
    if (residue == 'n' || residue == 'c')
      ++sites;
    else
      sites += static_cast<int>(std::count(sequence.begin(), sequence.end(), residue));
  }
  return std::min(sites, mod.most);
}

// Every sum of up to `left` modifications of `mods[from..]`, at most
// `room[i]` of each.
void Sums(const std::vector<CVariableMod>& mods, const std::vector<int>& room, std::size_t from, int left, double sum,
          std::vector<double>& sums) {
  if (from == mods.size()) {
    sums.push_back(sum);
    return;
  }
  for (int n = 0; n <= std::min(left, room[from]); ++n)
    Sums(mods, room, from + 1, left - n, sum + n * mods[from].mass, sums);
}

std::vector<double> SumsOn(const std::vector<CVariableMod>& mods, const std::string& sequence, int most) {
  std::vector<int> room;
  for (const CVariableMod& mod : mods) room.push_back(Room(mod, sequence));
  std::vector<double> sums;
  Sums(mods, room, 0, most, 0.0, sums);
  return sums;
}

}  // namespace

std::vector<CVariableMod> ParseVariableMods(const std::vector<std::string>& values) {
  std::vector<CVariableMod> mods;
  for (const std::string& value : values) {
    std::istringstream fields(value);
    CVariableMod mod;
    int binary = 0;
    if (!(fields >> mod.mass >> mod.residues >> binary >> mod.most) || mod.mass == 0.0) continue;
    mods.push_back(mod);
  }
  return mods;
}

bool CanCarry(double shift, const std::string& sequence, const std::vector<CVariableMod>& search_mods,
              const std::vector<CVariableMod>& first_mods, int most, double tolerance) {
  const std::vector<double> added = SumsOn(search_mods, sequence, most);
  const std::vector<double> first = SumsOn(first_mods, sequence, most);
  for (const double a : added)
    for (const double f : first)
      if (std::fabs(a - f - shift) <= tolerance) return true;
  return false;
}

}  // namespace search
