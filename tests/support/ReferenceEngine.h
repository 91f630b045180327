#pragma once
// Straightforward versions of the engine's hot paths, written step by step
// as the algorithms are stated: every pair prepares its spectra afresh, the
// score matrix is rescanned after every merge, every second spectrum is
// visited, mass-shift gaps are searched linearly. Tests and benchmarks hold
// the fast engine to their output.

#include <string>
#include <vector>

#include "clustering/PeakSelect.h"
#include "clustering/RepresentativeSpectra.h"
#include "clustering/Similarity.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/SpectralPairSearch.h"
#include "common/Spectrum.h"

namespace reference {

// The score of lists already arranged for the method, by plain nested loops.
double Score(const CSimilarity& similarity, const msdata::PeakList& first,
             const msdata::PeakList& second, double delta);
// Arranges both lists as Compute does, then scores them like Score.
double Compute(const CSimilarity& similarity, msdata::PeakList& first, msdata::PeakList& second,
               double delta);

struct ClusterOutcome {
  std::vector<ClusterLink> links;
  std::vector<int> representatives;
  std::string progress;  // the progress text Run prints
};

// Block cutting and clustering of a whole list with the strategy's
// tolerance and threshold.
ClusterOutcome Cluster(const std::vector<msdata::CSpectrum>& spectra,
                       const CSimilarityCluster& strategy, CSimilarity& similarity,
                       const CPeakSelect& peak_select);

struct PairOutcome {
  std::string pairs;   // pair file text
  std::string scores;  // score log text
};

PairOutcome PairSearch(const std::vector<msdata::CSpectrum>& spectra,
                       const CSpectralPairSearch& strategy, CSimilarity& similarity,
                       const CPeakSelect& peak_select);

std::string ShiftSearch(const std::vector<msdata::CSpectrum>& spectra,
                        const CSpectralPairSearch& strategy, CSimilarity& similarity,
                        const CPeakSelect& peak_select);

std::vector<CSpectralPairSearch::ShiftGroup> GroupShifts(std::vector<double> differences,
                                                         double tolerance);

}  // namespace reference
