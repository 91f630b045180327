#pragma once
// How good a clustering is, the way clustering studies report it, from the
// identifications of some of its spectra: the share of spectra in clusters
// of two or more (clustered ratio), the share of identified clustered
// spectra whose peptide is not their cluster's majority (incorrect ratio),
// and the share of pairs of identified spectra of one peptide that share a
// cluster (completeness). Single linkage merges in descending score, so the
// merges of one run give these figures for every higher threshold.
//
// A wrong spectrum shows only where its cluster holds another identified
// spectrum: with a share q of the spectra identified, a mixed cluster of two
// shows its error with chance q squared, while a large cluster nearly always
// shows it. Counting wrong spectra among the identified ones therefore
// misses most errors of small clusters. Pairs do not have that bias: each
// pair of a cluster is an identified pair with the same chance q squared,
// whatever the cluster's size. So the incorrect ratio is estimated from the
// identified pairs within clusters that differ in peptide: a cluster whose
// majority peptide has m spectra has at least m differing pairs for each
// wrong spectrum (exactly m when the others are of one peptide), so each
// differing pair stands for at most 1 / m wrong spectra, m estimated from
// the cluster's identified spectra; the sum over clusters, divided by q
// squared (q: identified share of the clustered spectra), estimates the
// wrong spectra of all clustered ones.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "clustering/SingleLinkage.h"

namespace quality {

struct Figures {
  double threshold = 0.0;
  int floor = 0;  // packed score the threshold does not merge at
  std::size_t spectra = 0;
  std::size_t clustered = 0;  // in clusters of two or more
  std::size_t clusters = 0;   // of two or more
  std::size_t identified_clustered = 0;
  std::size_t incorrect = 0;  // identified clustered, not their cluster's majority
  std::uint64_t pairs_together = 0;  // identified pairs of one peptide in one cluster
  std::uint64_t pairs_same_peptide = 0;
  std::uint64_t identified_pairs = 0;    // identified pairs within clusters
  std::uint64_t differing_pairs = 0;     // of those, pairs of two peptides
  double differing_per_member = 0.0;     // sum over clusters of their differing pairs / majority

  double ClusteredRatio() const;
  // The estimate of the share of all clustered spectra that are not their
  // cluster's majority (see above), not only of the identified ones.
  double IncorrectRatio() const;
  // The share of identified clustered spectra not their cluster's
  // majority, as counted.
  double IdentifiedIncorrectRatio() const;
  double Completeness() const;
};

// The incorrect ratio that differing pairs weighing `differing_per_member`
// (as Figures::differing_per_member) stand for in the clustering of `f`.
double IncorrectRatioFor(const Figures& f, double differing_per_member);

// Fewer identified clustered spectra than this give no incorrect ratio.
inline constexpr std::size_t kLeastIdentifiedClustered = 20;

// Figures of a clustering given as a cluster number per spectrum, and a
// peptide number per spectrum (-1: not identified).
Figures FiguresOf(const std::vector<int>& cluster_of, const std::vector<int>& peptide_of);

// Figures after every merge scoring above each floor, for the thresholds
// from 1.0 down to `lowest` in steps of 0.01 and, below 1.0, just under
// every merge score (where the figures change), highest first. `merges`
// are in spectrum positions, of a run at `lowest` or lower.
std::vector<Figures> Curve(std::size_t spectra, std::vector<linkage::Merge> merges,
                           const std::vector<int>& peptide_of, double lowest);

// The table: threshold, clustered_ratio, incorrect_ratio, completeness,
// clusters ("NA" where a ratio cannot be estimated).
std::string CurveTable(const std::vector<Figures>& rows);

}  // namespace quality
