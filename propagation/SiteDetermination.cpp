#include "propagation/SiteDetermination.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

#include "common/Notifier.h"
#include "common/OptionTool.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "propagation/PeptideText.h"
#include "scoring/PeptideScoreFactory.h"

namespace fs = std::filesystem;

namespace {

using FixedMods = std::vector<std::pair<int, double>>;

FixedMods FixedFrom(const std::vector<peptide_text::CItem>& items, const std::vector<bool>& skip) {
  FixedMods fixed;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (skip[i] || !items[i].has_mass || items[i].position < 0) continue;
    fixed.emplace_back(items[i].position, items[i].mass);
  }
  return fixed;
}

// Counts a site on residue `position` of `sequence`, and on the terminus
// that residue touches.
void CountSite(std::map<char, double>& counts, const std::string& sequence, std::size_t position,
               double weight) {
  counts[sequence[position]] += weight;
  if (position == 0) counts['*'] += weight;
  if (position == sequence.size() - 1) counts['#'] += weight;
}

// The site of each of `open_count` items from a flat placement index, first
// item major.
std::vector<int> SitesOf(std::size_t index, std::size_t open_count, std::size_t length) {
  std::vector<int> sites(open_count);
  for (std::size_t j = open_count; j-- > 0;) {
    sites[j] = static_cast<int>(index % length);
    index /= length;
  }
  return sites;
}

// Indexes of the items whose site is not determined yet.
std::vector<std::size_t> OpenItems(const std::vector<peptide_text::CItem>& items) {
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].position == -1) open.push_back(i);
  }
  return open;
}

}  // namespace

const CResidueTable& CSiteDeterminer::Residues() {
  if (!residues_) {
    try {
      residues_ = CResidueTable::FromDirectory(program_directory_);
    } catch (const COptionToolException&) {
      // The scorer says that "aa.ini" is missing; the built-in masses still
      // tell a residue that can carry a shift from one that cannot.
      residues_ = CResidueTable();
    }
  }
  return *residues_;
}

bool CSiteDeterminer::RuleOutImpossible(const std::string& sequence, const FixedMods& fixed,
                                        const std::vector<double>& open_masses) {
  const std::size_t length = sequence.size();
  std::vector<double> base(length, 0.0);
  for (std::size_t i = 0; i < length; ++i) base[i] = Residues().Get(sequence[i]).mono_mass;
  for (const auto& [position, mass] : fixed) {
    if (position >= 0 && static_cast<std::size_t>(position) < length)
      base[static_cast<std::size_t>(position)] += mass;
  }
  bool any = false;
  const std::size_t placements = std::min(scores_.size(), [&] {
    std::size_t n = 1;
    for (std::size_t j = 0; j < open_masses.size(); ++j) n *= length;
    return n;
  }());
  for (std::size_t index = 0; index < placements; ++index) {
    std::vector<double> masses = base;
    const std::vector<int> sites = SitesOf(index, open_masses.size(), length);
    for (std::size_t j = 0; j < sites.size(); ++j) masses[static_cast<std::size_t>(sites[j])] += open_masses[j];
    bool possible = true;
    for (const int site : sites) possible = possible && masses[static_cast<std::size_t>(site)] > 0.0;
    if (possible)
      any = true;
    else
      scores_[index] = std::numeric_limits<double>::lowest();
  }
  return any;
}

CSiteDeterminer::CSiteDeterminer(std::string program_directory)
    : program_directory_(std::move(program_directory)) {}

std::string CSiteDeterminer::ResolveSpectrumPath(const std::string& data_path, const std::string& name) {
  const std::string exact = peptide_text::SpectrumPath(data_path, name);
  if (path::IsRegularFile(exact)) return exact;
  // Names reach the job upper-cased (the pair and cluster readers do so), and
  // this file system tells case apart: look the name up without regard to case.
  if (listed_directory_ != data_path || !directory_listed_) {
    directory_listing_.clear();
    std::error_code ec;
    const std::string directory = data_path.empty() ? std::string(".") : data_path;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string file = it->path().filename().string();
      directory_listing_.emplace(text::ToUpper(file), file);
    }
    listed_directory_ = data_path;
    directory_listed_ = true;
  }
  const auto found = directory_listing_.find(text::ToUpper(name));
  if (found == directory_listing_.end()) return exact;
  return peptide_text::SpectrumPath(data_path, found->second);
}

void CSiteDeterminer::Score(const std::string& spectrum_path, const std::string& sequence,
                            const FixedMods& fixed, double mass, std::vector<double>& scores) {
  if (scorer_) {
    scorer_(spectrum_path, sequence, fixed, mass, scores);
    return;
  }
  CPeptideScoreFactory factory;
  factory.GetKSDPScore(spectrum_path, sequence, fixed, mass, scores, program_directory_);
}

bool CSiteDeterminer::ScoreSafely(const std::string& spectrum_path, const std::string& sequence,
                                  const FixedMods& fixed, double mass, std::vector<double>& scores) {
  try {
    Score(spectrum_path, sequence, fixed, mass, scores);
    return true;
  } catch (const COptionToolException& e) {
    notify::Message("Can not open file:" + e.path());
    return false;
  }
}

int CSiteDeterminer::DetermineSite(CPropagationState& state, const std::string& identification,
                                   const std::string& name, double shift, std::int32_t mark) {
  const std::string spectrum_path = ResolveSpectrumPath(state.data_path, name);
  const std::string sequence = peptide_text::Sequence(identification);
  const std::vector<peptide_text::CItem> items =
      peptide_text::ParseItems(identification, state.modifications);

  scores_.clear();
  if (!path::IsRegularFile(spectrum_path)) {
    notify::Message("File: " + spectrum_path + " does not exist!");
    return -1;
  }
  // Too short a peptide gives no useful site; the user learns which spectrum
  // kept its modification unplaced.
  if (sequence.size() <= 3) {
    notify::Message("Peptide " + sequence + " is too short to place a modification on: " +
                    spectrum_path);
    return -1;
  }
  const FixedMods fixed = FixedFrom(items, std::vector<bool>(items.size()));
  if (!ScoreSafely(spectrum_path, sequence, fixed, shift, scores_)) return -1;
  // The mark gets its column in the site table even when no position won.
  std::map<char, double>& counts = state.site_statistics[mark];
  // A loss heavier than a residue cannot sit on it, whatever the scorer says.
  if (!RuleOutImpossible(sequence, fixed, {shift})) return -1;

  std::vector<int> ties;
  const int site = peptide_text::ChooseSite(scores_, &ties);
  for (const int position : ties) {
    // A scorer may give more scores than the sequence has residues.
    if (static_cast<std::size_t>(position) >= sequence.size()) continue;
    CountSite(counts, sequence, static_cast<std::size_t>(position), 1.0);
  }
  return site;
}

bool CSiteDeterminer::ScorePlacements(const std::string& spectrum_path, const std::string& sequence,
                                      const FixedMods& fixed, const std::vector<double>& open_masses) {
  const std::size_t open_count = open_masses.size();
  const std::size_t length = sequence.size();
  scores_.clear();
  std::vector<std::size_t> prefix(open_count - 1, 0);
  for (;;) {
    FixedMods with = fixed;
    for (std::size_t j = 0; j + 1 < open_count; ++j)
      with.emplace_back(static_cast<int>(prefix[j]), open_masses[j]);
    const std::size_t before = scores_.size();
    if (!ScoreSafely(spectrum_path, sequence, with, open_masses[open_count - 1], scores_)) return false;
    scores_.resize(before + length, 0.0);  // one score per position, whatever the scorer gave
    // The next prefix, its last item fastest.
    std::size_t j = open_count - 1;
    while (j > 0) {
      if (++prefix[j - 1] < length) break;
      prefix[j - 1] = 0;
      --j;
    }
    if (j == 0) return true;
  }
}

std::string CSiteDeterminer::DetermineSites(CPropagationState& state, std::int16_t mod_count,
                                            const std::string& name,
                                            const std::string& identification) {
  const std::string spectrum_path = ResolveSpectrumPath(state.data_path, name);
  const std::string sequence = peptide_text::Sequence(identification);
  const std::vector<peptide_text::CItem> items =
      peptide_text::ParseItems(identification, state.modifications);

  const std::vector<std::size_t> open = OpenItems(items);
  if (!path::IsRegularFile(spectrum_path)) {
    notify::Message("File: " + spectrum_path + " does not exist!");
    return identification;
  }
  const std::size_t open_count = open.size();
  const std::size_t length = sequence.size();
  // Beyond three modifications the enumeration grows too fast to be useful.
  if (open_count == 0 || open_count > 3 || static_cast<long>(open_count) > mod_count || length == 0)
    return identification;
  std::vector<double> open_masses;
  std::vector<bool> skip(items.size(), false);
  for (const std::size_t index : open) {
    if (!items[index].has_mass) return identification;
    open_masses.push_back(items[index].mass);
    skip[index] = true;
  }
  const FixedMods fixed = FixedFrom(items, skip);
  if (!ScorePlacements(spectrum_path, sequence, fixed, open_masses)) return identification;
  if (!RuleOutImpossible(sequence, fixed, open_masses)) return identification;

  std::vector<int> ties;
  int chosen = peptide_text::ChooseSite(scores_, &ties);
  if (chosen < 0) return identification;
  if (open_count > 1) chosen = ties.front();  // the first maximum of the enumeration

  // Every tied placement counts, each with an equal share.
  const double weight = 1.0 / static_cast<double>(ties.size());
  for (const int tie : ties) {
    const std::vector<int> sites = SitesOf(static_cast<std::size_t>(tie), open_count, length);
    for (std::size_t j = 0; j < open_count; ++j)
      CountSite(state.site_statistics[items[open[j]].mark], sequence,
                static_cast<std::size_t>(sites[j]), weight);
  }

  const std::vector<int> sites = SitesOf(static_cast<std::size_t>(chosen), open_count, length);
  std::vector<std::pair<std::size_t, int>> placed;
  for (std::size_t j = 0; j < open_count; ++j) placed.emplace_back(open[j], sites[j]);
  return peptide_text::WithPositions(identification, items, placed);
}
