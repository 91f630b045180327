#pragma once
// How many of a job's spectral pairs join spectra of two different
// peptides, told by the pairs whose two ends the search identified: a pair
// of one peptide (up to its modifications) is a true pair, a pair of two is
// a false one. Few pairs are judged so, the fewer the higher the
// similarity; so the chance that a pair is false is fitted to their
// similarities (a logistic curve) and summed over all the pairs above each
// threshold, with an interval from refits to resampled judged pairs.

#include <map>
#include <string>
#include <utility>
#include <vector>

class CPropagation;

struct CPairErrorRate {
  double threshold = 0.0;  // pairs of at least this similarity
  int pairs = 0;           // how many
  int judged = 0;          // of them, pairs whose two ends the search identified
  int wrong = 0;           // of those, pairs of two peptides
  double share = 0.0;      // the estimated share of false pairs among `pairs`
  double low = 0.0;        // its 95% interval
  double high = 0.0;
};

// The logistic curve P(false | similarity) = 1 / (1 + exp(-(a + b s)))
// fitted to judged pairs (similarity, false) by maximum likelihood, a
// little shrunk so that a set without false (or true) pairs still fits.
struct CLogisticFit {
  double a = 0.0;
  double b = 0.0;
  double operator()(double similarity) const;
};
CLogisticFit FitLogistic(const std::vector<std::pair<double, bool>>& judged);

// The rates at `thresholds` over pairs (name, name, similarity), with
// `peptide_of` giving each end's peptide key ("" when not identified).
std::vector<CPairErrorRate> PairErrorRates(
    const std::vector<std::pair<std::pair<std::string, std::string>, double>>& pairs,
    const std::vector<double>& thresholds, const std::map<std::string, std::string>& peptide_of);

// The same for a finished job: its pair files (sixth field the similarity)
// and the identifications the result files gave, at thresholds 0.3 to 0.9
// in steps of 0.1 that some pair reaches; none with fewer than 10 judged
// pairs.
std::vector<CPairErrorRate> JobPairErrorRates(const CPropagation& job);

// Summary lines: a heading and one line per threshold; "" without rates.
std::string PairErrorText(const std::vector<CPairErrorRate>& rates);
