#pragma once
// The run summary of `propagate` (common/RunSummary.h), written beside the
// job's parameter file and named after it ("<name>.summary.json"): its
// files, its filter, and its counts taken from the job's own summary and,
// once the propagated identifications were scored, their transfer
// confidence per route.

#include <string>
#include <vector>

#include "common/RunSummary.h"
#include "propagation/PropagationPara.h"
#include "propagation/PropagationSummary.h"
#include "propagation/TransferConfidence.h"

// Every count of the job's summary, under its own key.
summary::CJson PropagationCounts(const CPropagationSummary& counts);

// Per route ("within_clusters", "through_pairs", "together"): propagated,
// scored and at or below `level`.
summary::CJson TransferCounts(const std::vector<CTransferRow>& rows, double level);

// What a finished job writes into its summary besides the counts.
struct PropagationRun {
  std::string para_path;
  const CPropagationPara* para = nullptr;
  bool sites = false;
  std::vector<std::string> score_spectra;  // every --score-spectra folder
  std::string added_path;             // "" for none
  std::string table_path;             // "" for none
  const CTransferSettings* transfer = nullptr;  // null when nothing was scored
};

void FillPropagationSummary(const PropagationRun& run, const CPropagationSummary& counts,
                            const std::vector<CTransferRow>& transfers, summary::CRunSummary& summary);
