#pragma once
// The run summaries of `cluster` (common/RunSummary.h): a clustering's
// beside its cluster file and a pair search's beside its pair file (the
// spectral network writes its own, network/NetworkCommand.h). Each names the files the job
// read and wrote as its checks list them (JobChecks.h), so the summary and
// the output clash checks never disagree on what a job touches.

#include <cstddef>
#include <string>
#include <vector>

#include "common/RunSummary.h"
#include "drivers/cluster/QualityReport.h"

class CPara;
class CSpectralPairSearch;

namespace clusterjob {

struct JobOptions;

// What a finished clustering found beyond its parameters.
struct ClusteringOutcome {
  std::size_t spectra_read = 0;     // before the peak-count filter
  std::size_t spectra_kept = 0;
  const std::vector<int>* cluster_sizes = nullptr;  // size per cluster number (0: unused)
  const ThresholdChoice* choice = nullptr;          // with a target incorrect ratio
  const quality::Figures* curve_end = nullptr;      // with a curve: the figures at the threshold run
};

// What a finished pair search found.
struct PairSearchOutcome {
  std::size_t spectra = 0;
  std::size_t pairs = 0;
  const CSpectralPairSearch* search = nullptr;
  std::string shift_table;  // the mass-shift table written, "" for none (shift search)
};

// The mass shifts of a pair search's table ("mass,pairs,..." per line),
// most pairs first, equal counts in the table's order; an unreadable table
// gives none.
struct ShiftCount {
  double mass = 0.0;
  long pairs = 0;
};
std::vector<ShiftCount> ReadShiftCounts(const std::string& table);

// The summaries as they are written: "" or why the file could not be.
std::string WriteClusteringSummary(summary::CRunSummary& run, const CPara& para, const JobOptions& options,
                                   const ClusteringOutcome& outcome);
std::string WritePairSummary(summary::CRunSummary& run, const CPara& para, const JobOptions& options,
                             const PairSearchOutcome& outcome);

}  // namespace clusterjob
