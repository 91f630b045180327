#pragma once
// What a propagation job achieved, and the summary lines the programs print
// from it.

#include <map>
#include <string>
#include <utility>
#include <vector>

// Identifications carried from the spectra of one run to those of another
// (or the same) run.
struct CRunTransfers {
  int propagated = 0;
  int within_clusters = 0;
  int through_pairs = 0;
  int confident = 0;  // at q <= the summary's level, once scored
};

struct CPropagationSummary {
  int identified_before = 0;         // spectra identified by the result file
  int inner_clusters_identified = 0; // clusters of 2 or more given one peptide
  int inner_conflicts = 0;           // clusters whose members disagree
  int inner_new_spectra = 0;         // unidentified members of those clusters
  int inter_new_nodes = 0;           // nodes identified through pairs
  int inter_new_spectra = 0;         // the same, counted in spectra (cluster sizes)
  int pair_files = 0;                // pair files processed
  // Identified spectra of the result file that the cluster file (or,
  // without one, the pair files) lists: none means the identifications
  // belong to another run.
  int identified_in_job = 0;
  int added_spectra = 0;             // spectra identified by propagation
  // What a search-engine reader kept and dropped, one line each.
  std::vector<std::string> result_report;
  std::vector<std::string> outputs;  // files written, in the order written
  // The transfer confidence lines, once the propagated identifications
  // were scored (CPropagation::AssessTransfers); empty before.
  std::string transfer_confidence;
  // (source run, target run) -> what was carried between them; an
  // identification from a cluster whose identified members come from
  // several runs counts once for each.
  std::map<std::pair<std::string, std::string>, CRunTransfers> transfers_between_runs;
  bool transfers_scored = false;  // `confident` counted
};

// "Transfers between runs:" and a line per ordered pair of runs, when the
// spectra of two or more runs took part; else "".
std::string RunTransfersText(const CPropagationSummary& summary);

// The summary lines of a finished job: the identifications before, those
// present in the job's files (the cluster file in `cluster_mode`, else the
// pair files), the counts of each pass, the site-determination switch, and
// the files written ("  <path>" lines under "Output files:"), each once. With
// `absolute_paths` the files are named by their absolute paths.
std::string SummaryText(const CPropagationSummary& summary, bool cluster_mode, bool determines_sites,
                        bool absolute_paths);
