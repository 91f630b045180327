#include "propagation/PropagationSummary.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "propagation/PropagationInternal.h"

std::string RunTransfersText(const CPropagationSummary& summary) {
  using propagation_detail::Appendf;
  std::set<std::string> runs;
  for (const auto& [between, counts] : summary.transfers_between_runs) {
    runs.insert(between.first);
    runs.insert(between.second);
  }
  if (runs.size() < 2) return {};
  std::string text = "Transfers between runs:\n";
  for (const auto& [between, counts] : summary.transfers_between_runs) {
    Appendf(text, "  %s -> %s: %d (within clusters %d, through pairs %d", between.first.c_str(),
            between.second.c_str(), counts.propagated, counts.within_clusters, counts.through_pairs);
    if (summary.transfers_scored) Appendf(text, ", confident %d", counts.confident);
    text += ")\n";
  }
  return text;
}

std::string SummaryText(const CPropagationSummary& summary, bool cluster_mode, bool determines_sites,
                        bool absolute_paths) {
  using propagation_detail::Appendf;
  std::string text;
  Appendf(text, "Identified before propagation: %d\n", summary.identified_before);
  Appendf(text, "Identified spectra present in the %s: %d of %d\n",
          cluster_mode ? "cluster file" : "pair files", summary.identified_in_job,
          summary.identified_before);
  if (cluster_mode) {
    Appendf(text,
            "Inner propagation: %d clusters identified, %d spectra newly identified, %d "
            "conflicting clusters\n",
            summary.inner_clusters_identified, summary.inner_new_spectra, summary.inner_conflicts);
  }
  Appendf(text,
          "Inter propagation: %d newly identified (%d spectra counted through clusters) from %d "
          "pair file(s)\n",
          summary.inter_new_nodes, summary.inter_new_spectra, summary.pair_files);
  Appendf(text, "Spectra identified by propagation: %d\n", summary.added_spectra);
  Appendf(text, "Site determination: %s\n", determines_sites ? "on" : "off");
  text += summary.transfer_confidence;
  text += RunTransfersText(summary);
  text += "Output files:\n";
  std::set<std::string> shown;
  for (const std::string& output : summary.outputs) {
    std::string name = output;
    if (absolute_paths) {
      std::error_code ec;
      const std::filesystem::path full = std::filesystem::absolute(output, ec);
      if (!ec) name = full.lexically_normal().string();
    }
    if (shown.insert(name).second) text += "  " + name + "\n";
  }
  return text;
}
