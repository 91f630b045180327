#include "propagation/InterPropagation.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <vector>

#include "common/TextUtil.h"
#include "propagation/PeptideText.h"
#include "propagation/PropagationInternal.h"
#include "propagation/SiteDetermination.h"

namespace {

using propagation_detail::Appendf;

constexpr std::int32_t kEdgeOpen = 0;
constexpr std::int32_t kEdgeUsed = -1;
constexpr std::int32_t kEdgeConflict = -2;
constexpr std::int32_t kConflictNode = -1;

// The pair line with its fifth field replaced by the shift in the direction
// the identification travelled; a short line is padded to five fields.
std::string WithShift(const std::string& line, double shift) {
  std::vector<std::string> fields = text::Split(line, ',');
  while (fields.size() < 5) fields.emplace_back();
  char value[64];
  std::snprintf(value, sizeof value, "%lf", shift);
  fields[4] = value;
  std::string joined;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) joined += ',';
    joined += fields[i];
  }
  return joined;
}

std::string Item(int site, double shift, std::int32_t mark) {
  char item[96];
  std::snprintf(item, sizeof item, " %d,%f,%d", site, shift, mark);
  return item;
}

// Residue keys in report order: the N-terminus, the residues, the C-terminus.
int KeyRank(char key) {
  if (key == '*') return 0;
  if (key == '#') return 2;
  return 1;
}

std::int32_t Lookup(const std::map<std::string, std::int32_t>& table, const std::string& key) {
  const auto it = table.find(key);
  return it == table.end() ? 0 : it->second;
}

// One pair file's walk: the pairs as edges between spectra, and per spectrum
// (node) the pass that identified it (0 for identifications present before,
// kConflictNode for conflict nodes) and the number of edges it lies from one
// of those (its depth).
class CPairWalk {
 public:
  CPairWalk(const std::string& pair_file, const CPairPassSettings& settings, CPropagationState& state,
            CSiteDeterminer& sites)
      : pair_file_(pair_file), settings_(settings), state_(state), sites_(sites) {}

  void ReadPairs();
  void RunPasses(std::string& copy);
  void PlaceOpenSites();
  void RecordAdded();
  void AppendReport(std::string& out);

 private:
  bool Identified(const std::string& name) const {
    const auto it = state_.results.find(name);
    return it != state_.results.end() && propagation_detail::HasPeptide(it->second);
  }
  void Progress(const std::string& stage) const {
    if (settings_.progress) settings_.progress(stage);
  }
  // An edge with one identified end, in pass `pass`; true when the
  // identification travelled.
  bool CarryAcross(std::size_t edge, bool from_first, std::int32_t pass, std::string& copy);
  // An edge whose ends both carry identifications.
  void JudgeIdentifiedEnds(std::size_t edge, std::int32_t pass);
  // The report's sections; each returns how many entries it listed.
  int AppendConflictEdges(std::string& out);
  int AppendConflictNodes(std::string& out) const;
  void AppendResults(std::string& out, int conflicts);
  void AppendSiteTable(std::string& out) const;

  const std::string& pair_file_;
  const CPairPassSettings& settings_;
  CPropagationState& state_;
  CSiteDeterminer& sites_;

  // Edge i joins names_[2i] and names_[2i+1]; lines_[i] is its pair line.
  std::vector<std::string> names_;
  std::vector<double> shifts_;
  std::vector<std::int32_t> marks_;
  std::vector<std::string> lines_;
  std::vector<std::int32_t> edge_state_;
  std::map<std::string, std::int32_t> node_pass_;
  std::map<std::string, std::int32_t> node_depth_;
  // The marks of the modifications that reached a node, in order (negated
  // when carried from a pair's first spectrum to its second).
  std::map<std::string, std::vector<std::int32_t>> history_;
  // The node each newly identified node got its identification from.
  std::map<std::string, std::string> source_;
  int same_result_edges_ = 0;
};

void CPairWalk::ReadPairs() {
  CResultFileFactory().GetPair_(pair_file_, names_, shifts_, marks_, &state_.spellings);
  for (const std::int32_t mark : marks_) state_.site_statistics.try_emplace(mark);
  for (const auto& entry : state_.results) {
    node_pass_[entry.first] = 0;
    node_depth_[entry.first] = 0;
  }
  edge_state_.assign(shifts_.size(), kEdgeOpen);

  // The pair lines themselves, read the way the pair reader reads them so
  // that line i belongs to edge i.
  std::ifstream in(pair_file_, std::ios::binary);
  std::string line;
  while (in && text::ReadLine(in, line)) lines_.push_back(line);
  lines_.resize(shifts_.size());
}

void CPairWalk::RunPasses(std::string& copy) {
  bool changed = true;
  for (std::int32_t pass = 1; changed; ++pass) {
    changed = false;
    Progress("inter propagation: " + pair_file_ + ", pass " + std::to_string(pass));
    for (std::size_t i = 0; i < edge_state_.size(); ++i) {
      const std::string& a = names_[2 * i];
      const std::string& b = names_[2 * i + 1];
      if (edge_state_[i] < 0 || node_pass_[a] < 0 || node_pass_[b] < 0) continue;
      const bool a_known = Identified(a);
      const bool b_known = Identified(b);
      if (a_known != b_known) {
        if (CarryAcross(i, a_known, pass, copy)) changed = true;
      } else if (a_known) {
        JudgeIdentifiedEnds(i, pass);
      }
    }
  }
}

bool CPairWalk::CarryAcross(std::size_t edge, bool from_first, std::int32_t pass, std::string& copy) {
  const std::string& from = from_first ? names_[2 * edge] : names_[2 * edge + 1];
  const std::string& to = from_first ? names_[2 * edge + 1] : names_[2 * edge];
  if (node_pass_[from] == pass) return false;  // found in this pass: not a source yet
  // Carried from the first spectrum to the second, the shift changes sign
  // (the first spectrum is the heavier one) and the mark enters the history
  // negated; the item itself keeps the mark as written.
  const double shift = from_first ? -shifts_[edge] : shifts_[edge];
  const std::int32_t mark = marks_[edge];
  const std::string source = state_.results[from];

  int site = -1;
  if (settings_.after_inner && settings_.determine_sites)
    site = sites_.DetermineSite(state_, source, to, shift, mark);
  copy += WithShift(lines_[edge], shift);
  copy += '\n';

  const std::int32_t entered = (from_first && mark >= 0) ? -mark : mark;
  const std::vector<std::int32_t> source_history = history_[from];
  if (!source_history.empty() && source_history.back() + entered == 0) {
    // The pair takes back the last modification that reached the source.
    const std::size_t last_item = source.rfind(' ');
    state_.results[to] = source.substr(0, last_item == std::string::npos ? source.size() : last_item);
    history_[to] = std::vector<std::int32_t>(source_history.begin(), source_history.end() - 1);
  } else {
    state_.results[to] = source + Item(site, shift, mark);
    std::vector<std::int32_t> grown = source_history;
    grown.push_back(entered);
    history_[to] = std::move(grown);
  }
  edge_state_[edge] = kEdgeUsed;
  source_[to] = from;
  node_depth_[to] = node_depth_[from] + 1;
  node_pass_[to] = pass;
  return true;
}

void CPairWalk::JudgeIdentifiedEnds(std::size_t edge, std::int32_t pass) {
  const std::string& a = names_[2 * edge];
  const std::string& b = names_[2 * edge + 1];
  const std::int32_t pa = node_pass_[a];
  const std::int32_t pb = node_pass_[b];
  if (pa == pass || pb == pass) return;
  if (peptide_text::SamePeptide(state_.results[a], state_.results[b])) {
    ++same_result_edges_;
    edge_state_[edge] = kEdgeUsed;
  } else if (pa == pb) {
    edge_state_[edge] = kEdgeConflict;
  } else if (pa - pb == 1) {
    node_pass_[a] = kConflictNode;
  } else if (pb - pa == 1) {
    node_pass_[b] = kConflictNode;
  }
}

void CPairWalk::PlaceOpenSites() {
  std::size_t placed_count = 0;
  for (const auto& [name, pass] : node_pass_) {
    if (pass < 1) continue;
    const auto it = state_.results.find(name);
    if (it == state_.results.end() || it->second.find("-1,") == std::string::npos) continue;
    // Scoring is the slow part of a large job; a line per hundred spectra.
    if (placed_count++ % 100 == 0)
      Progress("site determination: " + pair_file_ + ", spectrum " + std::to_string(placed_count));
    const std::string placed = sites_.DetermineSites(state_, settings_.mod_count, name, it->second);
    if (placed == it->second) continue;
    it->second = placed;
    for (const char residue : peptide_text::Sequence(placed)) ++state_.residue_counts[residue];
    ++state_.residue_counts['*'];
    ++state_.residue_counts['#'];
  }
}

void CPairWalk::RecordAdded() {
  for (const auto& [name, depth] : node_depth_) {
    if (depth < 1 || node_pass_[name] < 0) continue;
    const auto it = state_.results.find(name);
    if (it == state_.results.end() || !propagation_detail::HasPeptide(it->second)) continue;
    const std::string& source = source_[name];
    // A cluster label stands for its members.
    const auto members = state_.cluster_members.find(name);
    if (members == state_.cluster_members.end()) {
      state_.added.emplace(name, CPropagationAdded{it->second, "pairs", source, name});
      continue;
    }
    for (const std::string& member : members->second)
      state_.added.emplace(member, CPropagationAdded{it->second, "pairs", source, name});
  }
  state_.summary.added_spectra = static_cast<int>(state_.added.size());
}

void CPairWalk::AppendReport(std::string& out) {
  const int conflict_edges = AppendConflictEdges(out);
  const int conflict_nodes = AppendConflictNodes(out);
  AppendResults(out, conflict_edges + conflict_nodes);
  AppendSiteTable(out);
}

int CPairWalk::AppendConflictEdges(std::string& out) {
  Appendf(out, "Conflict edges:\n");
  int count = 0;
  for (std::size_t i = 0; i < edge_state_.size(); ++i) {
    if (edge_state_[i] != kEdgeConflict) continue;
    const std::string& a = names_[2 * i];
    const std::string& b = names_[2 * i + 1];
    Appendf(out, "%s %s %s %s %lf\n", a.c_str(), b.c_str(), state_.results[a].c_str(),
            state_.results[b].c_str(), shifts_[i]);
    ++count;
  }
  Appendf(out, "Sum=%d\n", count);
  return count;
}

int CPairWalk::AppendConflictNodes(std::string& out) const {
  Appendf(out, "\nConflict nodes:\n");
  int count = 0;
  for (const auto& [name, pass] : node_pass_) {
    if (pass != kConflictNode) continue;
    Appendf(out, "%s\n", name.c_str());
    ++count;
  }
  Appendf(out, "Sum=%d\n", count);
  return count;
}

void CPairWalk::AppendResults(std::string& out, int conflicts) {
  Appendf(out, "\nPropagation result:\n");
  int new_nodes = 0;
  int new_spectra = 0;
  std::map<std::int32_t, int> per_depth;
  for (const auto& [name, identification] : state_.results) {
    if (Lookup(node_pass_, name) < 0 || !propagation_detail::HasPeptide(identification)) continue;
    const std::int32_t depth = Lookup(node_depth_, name);
    Appendf(out, "%d %s %s\n", depth, name.c_str(), identification.c_str());
    ++per_depth[depth];
    if (depth > 0) {
      ++new_nodes;
      new_spectra += Lookup(state_.cluster_sizes, name);
    }
  }
  Appendf(out, "Sum=%d\n", new_nodes);
  Appendf(out, "Interpropagation new spectral num:%d\n", new_spectra);
  Appendf(out, "Same result edges: %d\n", same_result_edges_);
  Appendf(out, "Conflict num: %d\n", conflicts);
  Appendf(out, "normal edges with result: %d\n", new_nodes + same_result_edges_);
  for (const auto& [depth, count] : per_depth) Appendf(out, "Propogate times %d : %d\n", depth, count);
  state_.summary.inter_new_nodes += new_nodes;
  state_.summary.inter_new_spectra += new_spectra;
}

void CPairWalk::AppendSiteTable(std::string& out) const {
  const SiteStatistics& statistics = state_.site_statistics;
  const std::map<char, int>& residue_counts = state_.residue_counts;
  Appendf(out, "#\tAA");
  for (const auto& entry : statistics) Appendf(out, "\tID%d", entry.first);
  Appendf(out, "\n");

  // One row per residue key that a site or a residue count fell on.
  std::set<char> keys;
  for (const auto& entry : residue_counts) keys.insert(entry.first);
  for (const auto& mark : statistics)
    for (const auto& entry : mark.second) keys.insert(entry.first);
  std::vector<char> ordered(keys.begin(), keys.end());
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](char x, char y) { return KeyRank(x) < KeyRank(y); });
  for (const char key : ordered) {
    const auto count_it = residue_counts.find(key);
    const int count = count_it == residue_counts.end() ? 0 : count_it->second;
    if (key == '*')
      Appendf(out, "N-term\t%d", count);
    else if (key == '#')
      Appendf(out, "C-term\t%d", count);
    else
      Appendf(out, "%c\t%d", key, count);
    for (const auto& mark : statistics) {
      const auto it = mark.second.find(key);
      Appendf(out, "\t%.2lf", it == mark.second.end() ? 0.0 : it->second);
    }
    Appendf(out, "\n");
  }
}

}  // namespace

void PropagateAcrossPairs(const std::string& pair_file, const CPairPassSettings& settings,
                          CPropagationState& state, CSiteDeterminer& sites, std::string& copy,
                          std::string& report) {
  CPairWalk walk(pair_file, settings, state, sites);
  walk.ReadPairs();
  walk.RunPasses(copy);
  if (!settings.after_inner && settings.determine_sites) walk.PlaceOpenSites();
  walk.RecordAdded();
  walk.AppendReport(report);
  ++state.summary.pair_files;
}
