#pragma once
// The precise clustering mode of cluster type 0: group-average linkage over
// the scored pairs of spectra whose precursors lie within the tolerance of
// each other, instead of single linkage within blocks.
//
// Single linkage merges two clusters on their one best pair, so a single
// pair of look-alike spectra of two peptides joins everything both have
// gathered. Group average merges two clusters only when the mean score of
// every pair between them (pairs never scored, their precursors too far
// apart, count 0) exceeds the threshold: one good pair among many poor ones
// no longer suffices. The mean of a merged cluster towards a third is the
// size-weighted mean of its two parts', never above the best of them, so
// merge scores never rise and the merges of one run above any floor are
// exactly what a run at that floor makes: the threshold curve holds.
//
// Pairs are those of spectra within the precursor tolerance of each other
// by MH+, whatever their charges, not of blocks of one charge measured from
// a first spectrum: replicates that straddle a block's edge still meet, and
// so do a peptide's spectra at two charges (a consensus spectrum takes its
// head's charge, as every consensus spectrum does).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "clustering/ClusterTypes.h"
#include "clustering/PeakSelect.h"
#include "clustering/PeakSource.h"
#include "clustering/RepresentativeSpectra.h"
#include "clustering/SingleLinkage.h"
#include "common/Spectrum.h"

namespace precise {

struct Settings {
  double precursor_ion_tol = 20.0;
  Tolerance_Type precursor_ion_tol_type = TOLERANCE_PPM;
  int floor = 0;              // packed mean score a merge must exceed
  double fragment_tol = 0.5;  // daltons, "Dot Product"
  // Whether spectra of unequal charge may share a cluster (by MH+); their
  // scores are weighed up (see UnequalChargeWeight in the source).
  bool across_charges = true;
  bool representatives = false;  // choose one member per cluster
  int threads = 1;
  const CPeakSource* peak_source = nullptr;  // not owned; null: peaks in the spectra
};

struct Result {
  std::vector<ClusterLink> links;    // one per spectrum, list positions
  std::vector<int> representatives;  // with Settings::representatives: clusters of two or more, by head
  std::size_t pairs_scored = 0;
  std::size_t pairs_above = 0;  // packed score above the floor
};

// Group-average merging of k items from their scored pairs (`edges`, each
// pair at most once, items as 0..k-1; a pair without an edge scores 0).
// The pair of clusters with the highest packed mean, sum of scores over
// product of sizes truncated, is merged while it exceeds `floor` (ties: the
// lowest first item, then the lowest second; a cluster is named by its
// lowest item). Returns the merges in order, each naming one item of
// either cluster. The sums are kept per cluster for its neighbours, or, for
// groups where most pairs score, in a full matrix (kAuto chooses); the
// merges are the same either way.
enum class Storage { kAuto, kNeighbours, kMatrix };
std::vector<linkage::Merge> AverageLinkage(std::size_t k, const std::vector<linkage::Edge>& edges, int floor,
                                           Storage storage = Storage::kAuto);

// Clusters the whole list. `merges`, when given, receives every merge in
// list positions (highest mean first within each group of spectra that
// reach each other). The result does not depend on the thread count.
Result Cluster(const std::vector<msdata::CSpectrum>& spectra, const CPeakSelect& selection,
               const Settings& settings, std::vector<linkage::Merge>* merges = nullptr);

}  // namespace precise
