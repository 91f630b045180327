#include "propagation/InnerPropagation.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "propagation/PeptideText.h"
#include "propagation/PropagationInternal.h"

namespace {

using propagation_detail::Appendf;
using propagation_detail::HasPeptide;

bool Identified(const ResultMap& results, const std::string& name) {
  const auto result = results.find(name);
  return result != results.end() && HasPeptide(result->second);
}

// What a cluster's members say: one identification per peptide (the first
// member's, with L read as I), and how many members have none.
struct CMembersSay {
  std::vector<std::string> distinct;
  int unidentified = 0;
};

CMembersSay IdentificationsOf(const std::vector<std::string>& members, const ResultMap& results) {
  CMembersSay said;
  std::vector<std::string> keys;
  for (const std::string& member : members) {
    if (!Identified(results, member)) {
      ++said.unidentified;
      continue;
    }
    const std::string& identification = results.at(member);
    const std::string key = peptide_text::PeptideKey(identification);
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
    keys.push_back(key);
    said.distinct.push_back(identification);
  }
  return said;
}

// One "<spectra> <label or name> <identification>" line of the report.
struct CResultLine {
  std::int32_t count;
  std::string name;
  std::string identification;
};

}  // namespace

void PropagateWithinClusters(const ClusterMap& clusters, CPropagationState& state,
                             std::string& report, ResultMap& cluster_results) {
  Appendf(report, "Conflict peptides:\n");
  std::vector<CResultLine> lines;
  int conflicts = 0;
  int sum = 0;
  const std::int32_t cluster_count = static_cast<std::int32_t>(clusters.size());
  for (std::int32_t k = 1; k <= cluster_count; ++k) {
    const auto found = clusters.find(k);
    if (found == clusters.end()) continue;
    const std::vector<std::string>& members = found->second;
    const std::int32_t n = static_cast<std::int32_t>(members.size());
    const CMembersSay said = IdentificationsOf(members, state.results);

    if (said.distinct.size() >= 2) {
      Appendf(report, "Cluster:%d", k);
      for (const std::string& identification : said.distinct) Appendf(report, " %s", identification.c_str());
      Appendf(report, "\n");
      ++conflicts;
    } else if (n == 1) {
      state.cluster_sizes[members[0]] = 1;
      if (said.distinct.size() == 1) {
        cluster_results[members[0]] = said.distinct[0];
        lines.push_back({1, members[0], said.distinct[0]});
        sum += 1;
      }
    } else if (n >= 2) {
      const std::string label = peptide_text::ClusterLabel(members);
      state.cluster_sizes[label] = n;
      state.cluster_members[label] = members;
      if (said.distinct.size() == 1) {
        cluster_results[label] = said.distinct[0];
        lines.push_back({n, label, said.distinct[0]});
        sum += n;
        ++state.summary.inner_clusters_identified;
        state.summary.inner_new_spectra += said.unidentified;
        for (const std::string& member : members) {
          if (!Identified(state.results, member))
            state.added.emplace(member, CPropagationAdded{said.distinct[0], "cluster", label, label});
        }
      }
    }
  }

  Appendf(report, "Conflict num:%d\n", conflicts);
  Appendf(report, "\nInner propagation result:\n");
  for (const CResultLine& line : lines)
    Appendf(report, "%d %s %s\n", line.count, line.name.c_str(), line.identification.c_str());
  Appendf(report, "sum=%d\n", sum);
  state.summary.inner_conflicts += conflicts;
  state.summary.added_spectra = static_cast<int>(state.added.size());
}
