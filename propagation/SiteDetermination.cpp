#include <cstddef>
#include <filesystem>
#include <system_error>

#include "common/Notifier.h"
#include "common/OptionTool.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "propagation/PeptideText.h"
#include "propagation/Propagation.h"

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

}  // namespace

std::string CPropagation::ResolveSpectrumPath(const std::string& name) {
  const std::string exact = peptide_text::SpectrumPath(data_path_, name);
  if (path::IsRegularFile(exact)) return exact;
  // Names reach the job upper-cased (the pair and cluster readers do so), and
  // this file system tells case apart: look the name up without regard to case.
  if (listed_directory_ != data_path_ || !directory_listed_) {
    directory_listing_.clear();
    std::error_code ec;
    const std::string directory = data_path_.empty() ? std::string(".") : data_path_;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string file = it->path().filename().string();
      directory_listing_.emplace(text::ToUpper(file), file);
    }
    listed_directory_ = data_path_;
    directory_listed_ = true;
  }
  const auto found = directory_listing_.find(text::ToUpper(name));
  if (found == directory_listing_.end()) return exact;
  return peptide_text::SpectrumPath(data_path_, found->second);
}

bool CPropagation::ScoreSafely(const std::string& spectrum_path, const std::string& sequence,
                               const FixedMods& fixed, double mass, std::vector<double>& scores) {
  try {
    Score(spectrum_path, sequence, fixed, mass, scores);
    return true;
  } catch (const COptionToolException& e) {
    notify::Message("Can not open file:" + e.path());
    return false;
  }
}

int CPropagation::DetermineSite(const std::string& identification, const std::string& name,
                                double shift, std::int32_t mark) {
  const std::string spectrum_path = ResolveSpectrumPath(name);
  const std::string sequence = peptide_text::Sequence(identification);
  const std::vector<peptide_text::CItem> items =
      peptide_text::ParseItems(identification, modifications_);

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
  if (!ScoreSafely(spectrum_path, sequence, FixedFrom(items, std::vector<bool>(items.size())), shift,
                   scores_))
    return -1;

  std::vector<int> ties;
  const int site = peptide_text::ChooseSite(scores_, &ties);
  const int last = static_cast<int>(sequence.size()) - 1;
  std::map<char, double>& counts = site_statistics_[mark];
  for (const int position : ties) {
    if (position > last) continue;
    counts[sequence[static_cast<std::size_t>(position)]] += 1.0;
    if (position == 0) counts['*'] += 1.0;
    if (position == last) counts['#'] += 1.0;
  }
  return site;
}

std::string CPropagation::DetermineSites(const std::string& name,
                                         const std::string& identification) {
  const std::string spectrum_path = ResolveSpectrumPath(name);
  const std::string sequence = peptide_text::Sequence(identification);
  const std::vector<peptide_text::CItem> items =
      peptide_text::ParseItems(identification, modifications_);

  std::vector<std::size_t> open;  // indexes of the undetermined items
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].position == -1) open.push_back(i);
  }
  if (!path::IsRegularFile(spectrum_path)) {
    notify::Message("File: " + spectrum_path + " does not exist!");
    return identification;
  }
  const std::size_t u = open.size();
  const std::size_t length = sequence.size();
  // Beyond three modifications the enumeration grows too fast to be useful.
  if (u == 0 || u > 3 || static_cast<long>(u) > para_.mod_count || length == 0)
    return identification;
  for (const std::size_t index : open) {
    if (!items[index].has_mass) return identification;
  }

  std::vector<bool> skip(items.size(), false);
  for (const std::size_t index : open) skip[index] = true;
  const FixedMods fixed = FixedFrom(items, skip);
  const double last_mass = items[open[u - 1]].mass;

  // Positions of the first u-1 items are enumerated, the last item's
  // positions are scored by the scorer: the list holds length^u scores,
  // first item major.
  scores_.clear();
  std::vector<std::size_t> prefix(u - 1, 0);
  for (;;) {
    FixedMods with = fixed;
    for (std::size_t j = 0; j + 1 < u; ++j)
      with.emplace_back(static_cast<int>(prefix[j]), items[open[j]].mass);
    const std::size_t before = scores_.size();
    if (!ScoreSafely(spectrum_path, sequence, with, last_mass, scores_)) return identification;
    scores_.resize(before + length, 0.0);  // one score per position, whatever the scorer gave
    std::size_t j = u - 1;
    while (j > 0) {
      if (++prefix[j - 1] < length) break;
      prefix[j - 1] = 0;
      --j;
    }
    if (j == 0) break;
  }

  std::vector<int> ties;
  int chosen = peptide_text::ChooseSite(scores_, &ties);
  if (chosen < 0) return identification;
  if (u > 1) chosen = ties.front();  // the first maximum of the enumeration

  // Sites of each item from a flat index, first item major.
  auto sites_of = [u, length](std::size_t index) {
    std::vector<int> sites(u);
    for (std::size_t j = u; j-- > 0;) {
      sites[j] = static_cast<int>(index % length);
      index /= length;
    }
    return sites;
  };

  const double weight = 1.0 / static_cast<double>(ties.size());
  for (const int tie : ties) {
    const std::vector<int> sites = sites_of(static_cast<std::size_t>(tie));
    for (std::size_t j = 0; j < u; ++j) {
      std::map<char, double>& counts = site_statistics_[items[open[j]].mark];
      const std::size_t position = static_cast<std::size_t>(sites[j]);
      counts[sequence[position]] += weight;
      if (position == 0) counts['*'] += weight;
      if (position == length - 1) counts['#'] += weight;
    }
  }

  const std::vector<int> sites = sites_of(static_cast<std::size_t>(chosen));
  std::vector<std::pair<std::size_t, int>> placed;
  for (std::size_t j = 0; j < u; ++j) placed.emplace_back(open[j], sites[j]);
  return peptide_text::WithPositions(identification, items, placed);
}
