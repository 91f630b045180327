#include "propagation/PropagationSummaryFile.h"

#include "common/CommandLine.h"
#include "common/PathUtil.h"

namespace {

// A filter value as a number when it is one ("0.05"), else as written.
summary::CJson Value(const std::string& text) {
  double number = 0.0;
  if (cli::ParseFiniteNumber(text, number)) return summary::CJson(number);
  return summary::CJson(text);
}

void AddInputIfGiven(summary::CRunSummary& summary, const char* role, const std::string& path) {
  if (!path.empty()) summary.AddInput(role, path);
}

// Lists may go to standard output or a device: only files are outputs.
void AddOutputIfFile(summary::CRunSummary& summary, const char* role, const std::string& path) {
  if (!path.empty() && path::IsRegularFile(path)) summary.AddOutput(role, path);
}

}  // namespace

summary::CJson PropagationCounts(const CPropagationSummary& counts) {
  summary::CJson json = summary::CJson::Object();
  json.Set("identified_before", counts.identified_before);
  json.Set("identified_in_job", counts.identified_in_job);
  json.Set("clusters_identified", counts.inner_clusters_identified);
  json.Set("conflicting_clusters", counts.inner_conflicts);
  json.Set("propagated_within_clusters", counts.inner_new_spectra);
  json.Set("propagated_through_pairs", counts.inter_new_nodes);
  json.Set("propagated_through_pairs_spectra", counts.inter_new_spectra);
  json.Set("pair_files", counts.pair_files);
  json.Set("identified_by_propagation", counts.added_spectra);
  return json;
}

summary::CJson TransferCounts(const std::vector<CTransferRow>& rows, double level) {
  struct Route {
    const char* key;
    int propagated = 0, scored = 0, confident = 0;
  };
  Route cluster{"within_clusters"}, pairs{"through_pairs"}, together{"together"};
  for (const CTransferRow& row : rows) {
    for (Route* route : {row.route == "cluster" ? &cluster : &pairs, &together}) {
      ++route->propagated;
      if (row.scored) ++route->scored;
      if (row.scored && row.q_value <= level) ++route->confident;
    }
  }
  summary::CJson json = summary::CJson::Object();
  json.Set("level", level);
  for (const Route* route : {&cluster, &pairs, &together}) {
    summary::CJson& counts = json[route->key];
    counts.Set("propagated", route->propagated);
    counts.Set("scored", route->scored);
    counts.Set("confident", route->confident);
  }
  return json;
}

void FillPropagationSummary(const PropagationRun& run, const CPropagationSummary& counts,
                            const std::vector<CTransferRow>& transfers, summary::CRunSummary& summary) {
  const CPropagationPara& para = *run.para;
  summary.AddInput("parameter file", run.para_path);
  AddInputIfGiven(summary, "identifications", para.result_file);
  for (const std::string& more : para.more_result_files) AddInputIfGiven(summary, "identifications", more);
  AddInputIfGiven(summary, "cluster file", para.cluster_file);
  AddInputIfGiven(summary, para.is_directory ? "pair folder" : "pair file", para.pair_file);
  AddInputIfGiven(summary, "spectra", para.dta_path);
  for (const std::string& folder : run.score_spectra) AddInputIfGiven(summary, "scored spectra", folder);

  summary::CJson& p = summary.Parameters();
  p.Set("mod_count", static_cast<int>(para.mod_count));
  p.Set("sites", run.sites);
  if (!para.fdr_level.empty()) p.Set("fdr_level", Value(para.fdr_level));
  if (!para.score_threshold.empty()) p.Set("score_threshold", Value(para.score_threshold));
  if (!para.decoy_prefix.empty()) p.Set("decoy_prefix", para.decoy_prefix);
  if (run.transfer) {
    p.Set("shuffled_decoys", run.transfer->shuffled_decoys);
    if (run.transfer->max_q) p.Set("max_q", *run.transfer->max_q);
  }

  summary.Counts() = PropagationCounts(counts);
  if (run.transfer) {
    const double level = run.transfer->max_q ? *run.transfer->max_q : run.transfer->level;
    summary::CJson transfer = TransferCounts(transfers, level);
    summary.Counts().Set("confident", transfer["together"]["confident"]);
    summary.Details().Set("transfer_confidence", transfer);
  }
  if (!counts.transfers_between_runs.empty()) {
    summary::CJson& between = summary.Details().Set("transfers_between_runs", summary::CJson::Array());
    for (const auto& [runs, transfers] : counts.transfers_between_runs) {
      summary::CJson& item = between.Append(summary::CJson::Object());
      item.Set("from", runs.first);
      item.Set("to", runs.second);
      item.Set("propagated", transfers.propagated);
      item.Set("within_clusters", transfers.within_clusters);
      item.Set("through_pairs", transfers.through_pairs);
      if (counts.transfers_scored) item.Set("confident", transfers.confident);
    }
  }

  for (const std::string& output : counts.outputs) AddOutputIfFile(summary, "report", output);
  AddOutputIfFile(summary, "added list", run.added_path);
  AddOutputIfFile(summary, "propagation table", run.table_path);
}
