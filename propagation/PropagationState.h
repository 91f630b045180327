#pragma once
// What the passes of one propagation job work on: the identifications as
// they grow, what the clusters stand for, the site statistics and the
// counts the job reports. The job (CPropagation) owns it and hands it to
// each pass in turn; no pass keeps it beyond its call.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "propagation/PropagationSummary.h"
#include "resultfiles/ResultFile.h"

// Mark -> residue key (a letter, "*" for the N-terminus, "#" for the
// C-terminus) -> how often a site fell there.
using SiteStatistics = std::map<std::int32_t, std::map<char, double>>;

// A spectrum that propagation identified: the identification it got, the
// way it came ("cluster" or "pairs"), where it came from (the cluster's
// label, or the pair partner it crossed from) and the node that carried it
// (the spectrum itself, or its cluster's label).
struct CPropagationAdded {
  std::string identification;
  const char* via = "";
  std::string source;
  std::string node;
};

struct CPropagationState {
  // Spectrum name, cluster label or single spectrum -> identification.
  ResultMap results;
  ModificationList modifications;
  // The folder of the spectrum files.
  std::string data_path;
  // Cluster label (or single spectrum) -> how many spectra it stands for.
  std::map<std::string, std::int32_t> cluster_sizes;
  // Cluster label -> its members, for the clusters of two or more.
  std::map<std::string, std::vector<std::string>> cluster_members;
  SiteStatistics site_statistics;
  // Residue key -> how many placed identifications hold it.
  std::map<char, int> residue_counts;
  // Every spectrum (cluster members, not labels) propagation identified; the
  // first pass to reach a spectrum decides.
  std::map<std::string, CPropagationAdded> added;
  // Names are matched upper-cased; they are printed as the pair and cluster
  // files (else the result file) wrote them.
  NameSpellings spellings;
  // Each spectrum the result files identified -> its run, for tracing a
  // propagated identification back to the run it came from.
  std::map<std::string, std::string> search_runs;
  // ... and its identification as the result files gave it.
  std::map<std::string, std::string> search_identifications;
  CPropagationSummary summary;
};
