#include <cstdio>
#include <fstream>
#include <map>
#include <set>

#include "common/Notifier.h"
#include "common/TextUtil.h"
#include "propagation/PeptideText.h"
#include "propagation/Propagation.h"
#include "propagation/PropagationInternal.h"

namespace {

constexpr std::int32_t kEdgeOpen = 0;
constexpr std::int32_t kEdgeUsed = -1;
constexpr std::int32_t kEdgeConflict = -2;
constexpr std::int32_t kConflictNode = -1;

// The pair line with its fifth field replaced by the shift in the direction
// the identification travelled; a short line is padded to five fields.
std::string WithShift(const std::string& line, double shift) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string::npos) {
      fields.push_back(line.substr(start));
      break;
    }
    fields.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
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

}  // namespace

bool CPropagation::InterPropagate(const std::string& pair_file, bool determine_sites,
                                  bool after_inner) {
  std::string copy, report;
  PropagatePairs(pair_file, determine_sites, after_inner, copy, report);
  const bool copied = SaveOutput(kPairCopyName, copy);
  return SaveOutput(output_base_ + "_InterPropagate.txt", report) && copied;
}

void CPropagation::PropagatePairs(const std::string& pair_file, bool determine_sites,
                                  bool after_inner, std::string& copy, std::string& report) {
  FillModificationMasses();

  std::vector<std::string> names;
  std::vector<double> shifts;
  std::vector<std::int32_t> marks;
  CResultFileFactory().GetPair_(pair_file, names, shifts, marks);
  for (const std::int32_t mark : marks) site_statistics_.try_emplace(mark);

  std::map<std::string, std::int32_t> node_pass;
  std::map<std::string, std::int32_t> node_depth;
  std::map<std::string, std::vector<std::int32_t>> history;
  for (const auto& entry : results_) {
    node_pass[entry.first] = 0;
    node_depth[entry.first] = 0;
  }
  const std::size_t edge_count = shifts.size();
  std::vector<std::int32_t> edge_state(edge_count, kEdgeOpen);

  // The pair lines themselves, read the way the pair reader reads them so
  // that line i belongs to edge i.
  std::vector<std::string> lines;
  {
    std::ifstream in(pair_file, std::ios::binary);
    std::string line;
    while (in && text::ReadLine(in, line)) lines.push_back(line);
  }
  lines.resize(edge_count);

  auto identified = [this](const std::string& name) {
    const auto it = results_.find(name);
    return it != results_.end() && propagation_detail::HasPeptide(it->second);
  };

  int same_result_edges = 0;
  bool changed = true;
  for (std::int32_t pass = 1; changed; ++pass) {
    changed = false;
    Progress("inter propagation: " + pair_file + ", pass " + std::to_string(pass));
    for (std::size_t i = 0; i < edge_count; ++i) {
      const std::string& a = names[2 * i];
      const std::string& b = names[2 * i + 1];
      if (edge_state[i] < 0 || node_pass[a] < 0 || node_pass[b] < 0) continue;
      const bool a_known = identified(a);
      const bool b_known = identified(b);
      if (!a_known && !b_known) continue;

      if (a_known != b_known) {
        // The direction: from the identified end to the other. Carried from
        // the first spectrum to the second, the shift changes sign (the first
        // spectrum is the heavier one) and the mark enters the history
        // negated; the item itself keeps the mark as written.
        const std::string& from = a_known ? a : b;
        const std::string& to = a_known ? b : a;
        if (node_pass[from] == pass) continue;  // found in this pass: not a source yet
        const double shift = a_known ? -shifts[i] : shifts[i];
        const std::int32_t k = marks[i];
        const std::string source = results_[from];

        int site = -1;
        if (after_inner && determine_sites) site = DetermineSite(source, to, shift, k);
        copy += WithShift(lines[i], shift);
        copy += '\n';

        const std::int32_t m = (a_known && k >= 0) ? -k : k;
        const std::vector<std::int32_t> source_history = history[from];
        if (!source_history.empty() && source_history.back() + m == 0) {
          // The pair takes back the last modification that reached the source.
          results_[to] = source.substr(0, source.rfind(' ') == std::string::npos
                                              ? source.size()
                                              : source.rfind(' '));
          history[to] = std::vector<std::int32_t>(source_history.begin(), source_history.end() - 1);
        } else {
          results_[to] = source + Item(site, shift, k);
          std::vector<std::int32_t> grown = source_history;
          grown.push_back(m);
          history[to] = std::move(grown);
        }
        edge_state[i] = kEdgeUsed;
        node_depth[to] = node_depth[from] + 1;
        node_pass[to] = pass;
        changed = true;
        continue;
      }

      const std::int32_t pa = node_pass[a];
      const std::int32_t pb = node_pass[b];
      if (pa == pass || pb == pass) continue;
      if (peptide_text::SamePeptide(results_[a], results_[b])) {
        ++same_result_edges;
        edge_state[i] = kEdgeUsed;
      } else if (pa == pb) {
        edge_state[i] = kEdgeConflict;
      } else if (pa - pb == 1) {
        node_pass[a] = kConflictNode;
      } else if (pb - pa == 1) {
        node_pass[b] = kConflictNode;
      }
    }
  }
  if (!after_inner && determine_sites) {
    std::size_t placed_count = 0;
    for (const auto& [name, pass] : node_pass) {
      if (pass < 1) continue;
      const auto it = results_.find(name);
      if (it == results_.end() || it->second.find("-1,") == std::string::npos) continue;
      // Scoring is the slow part of a large job; a line per hundred spectra.
      if (placed_count++ % 100 == 0)
        Progress("site determination: " + pair_file + ", spectrum " + std::to_string(placed_count));
      const std::string placed = DetermineSites(name, it->second);
      if (placed == it->second) continue;
      it->second = placed;
      for (const char residue : peptide_text::Sequence(placed)) ++residue_counts_[residue];
      ++residue_counts_['*'];
      ++residue_counts_['#'];
    }
  }

  for (const auto& [name, depth] : node_depth) {
    if (depth < 1 || node_pass[name] < 0) continue;
    const auto it = results_.find(name);
    if (it != results_.end() && propagation_detail::HasPeptide(it->second)) RecordAdded(name, it->second);
  }
  summary_.added_spectra = static_cast<int>(added_.size());

  AppendInterReport(report, names, shifts, edge_state, node_pass, node_depth, same_result_edges);
  ++summary_.pair_files;
}

void CPropagation::AppendInterReport(std::string& out,
                                    const std::vector<std::string>& names,
                                    const std::vector<double>& shifts,
                                    const std::vector<std::int32_t>& edge_state,
                                    const std::map<std::string, std::int32_t>& node_pass,
                                    const std::map<std::string, std::int32_t>& node_depth,
                                    int same_result_edges) {
  using propagation_detail::Appendf;
  auto lookup = [](const std::map<std::string, std::int32_t>& table, const std::string& key) {
    const auto it = table.find(key);
    return it == table.end() ? 0 : it->second;
  };

  Appendf(out, "Conflict edges:\n");
  int conflict_edges = 0;
  for (std::size_t i = 0; i < edge_state.size(); ++i) {
    if (edge_state[i] != kEdgeConflict) continue;
    const std::string& a = names[2 * i];
    const std::string& b = names[2 * i + 1];
    Appendf(out, "%s %s %s %s %lf\n", a.c_str(), b.c_str(), results_[a].c_str(),
                 results_[b].c_str(), shifts[i]);
    ++conflict_edges;
  }
  Appendf(out, "Sum=%d\n", conflict_edges);

  Appendf(out, "\nConflict nodes:\n");
  int conflict_nodes = 0;
  for (const auto& [name, pass] : node_pass) {
    if (pass != kConflictNode) continue;
    Appendf(out, "%s\n", name.c_str());
    ++conflict_nodes;
  }
  Appendf(out, "Sum=%d\n", conflict_nodes);

  Appendf(out, "\nPropagation result:\n");
  int new_nodes = 0;
  int new_spectra = 0;
  std::map<std::int32_t, int> per_depth;
  for (const auto& [name, identification] : results_) {
    if (lookup(node_pass, name) < 0 || !propagation_detail::HasPeptide(identification)) continue;
    const std::int32_t depth = lookup(node_depth, name);
    Appendf(out, "%d %s %s\n", depth, name.c_str(), identification.c_str());
    ++per_depth[depth];
    if (depth > 0) {
      ++new_nodes;
      new_spectra += lookup(cluster_sizes_, name);
    }
  }
  Appendf(out, "Sum=%d\n", new_nodes);
  Appendf(out, "Interpropagation new spectral num:%d\n", new_spectra);
  Appendf(out, "Same result edges: %d\n", same_result_edges);
  Appendf(out, "Conflict num: %d\n", conflict_edges + conflict_nodes);
  Appendf(out, "normal edges with result: %d\n", new_nodes + same_result_edges);
  for (const auto& [depth, count] : per_depth)
    Appendf(out, "Propogate times %d : %d\n", depth, count);

  Appendf(out, "#\tAA");
  for (const auto& entry : site_statistics_) Appendf(out, "\tID%d", entry.first);
  Appendf(out, "\n");

  // One row per residue key that a site or a residue count fell on.
  std::set<char> keys;
  for (const auto& entry : residue_counts_) keys.insert(entry.first);
  for (const auto& mark : site_statistics_)
    for (const auto& entry : mark.second) keys.insert(entry.first);
  std::vector<char> ordered(keys.begin(), keys.end());
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](char x, char y) { return KeyRank(x) < KeyRank(y); });
  for (const char key : ordered) {
    const auto count_it = residue_counts_.find(key);
    const int count = count_it == residue_counts_.end() ? 0 : count_it->second;
    if (key == '*')
      Appendf(out, "N-term\t%d", count);
    else if (key == '#')
      Appendf(out, "C-term\t%d", count);
    else
      Appendf(out, "%c\t%d", key, count);
    for (const auto& mark : site_statistics_) {
      const auto it = mark.second.find(key);
      Appendf(out, "\t%.2lf", it == mark.second.end() ? 0.0 : it->second);
    }
    Appendf(out, "\n");
  }

  summary_.inter_new_nodes += new_nodes;
  summary_.inter_new_spectra += new_spectra;
}
