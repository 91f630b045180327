#pragma once
// The job's side of the clustering quality figures: which spectra the
// identifications name (and with which peptide), the threshold curve file,
// and the threshold chosen for a target share of incorrectly clustered
// spectra.

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "clustering/ClusterQuality.h"
#include "common/Spectrum.h"
#include "resultfiles/Identifications.h"

namespace clusterjob {

// A peptide number per spectrum of the list (-1: not identified), from the
// identifications of `path` read as every program reads them. Peptides are
// told by their sequence, I and L alike; modifications do not count.
// Returns the empty string or why the file cannot be used; says on `out`
// how many spectra of the job the file names.
std::string PeptidesOfSpectra(const std::vector<std::string>& paths, const CFilterChoice& filter,
                              const std::vector<msdata::CSpectrum>& spectra, std::vector<int>& peptide_of,
                              std::ostream& out);

// The one-sided 95% upper bound of the estimated incorrect ratio of `f`
// (quality::Figures::IncorrectRatio): its differing pairs taken as a
// Poisson count at its 95% upper bound, each weighing what those seen weigh
// on average, or, with none seen, what a pair in a cluster of two weighs.
// 1 for fewer than kLeastIdentifiedClustered identified clustered spectra.
double IncorrectUpperBound(const quality::Figures& f);

// The threshold for a target incorrect ratio: the lowest step of 0.01
// whose estimated ratio holds with 95% confidence, its upper bound at or
// below `target`. A few identified spectra, none of them wrong, never make
// a threshold: with no identified pair differing, the bound still allows
// as many wrong spectra as three differing pairs in clusters of two.
struct ThresholdChoice {
  bool chosen = false;
  quality::Figures at;              // the figures at the chosen step, else at the closest
  double upper = 1.0;               // the 95% upper bound at `at`
  std::size_t most_identified = 0;  // identified clustered spectra at the step with most
  std::size_t needed = 0;           // the least that step needs to hold the target with none differing
};
ThresholdChoice ChooseThreshold(const std::vector<quality::Figures>& rows, double target);

// The least identified spectra among `clustered` clustered ones that could
// hold `target`: the count whose bound is at or below it with no
// identified pair differing.
std::size_t LeastIdentifiedFor(double target, std::size_t clustered);

// What the choice says: the threshold with the estimate and its bound, or
// a warning that none holds and why (too few identified clustered spectra,
// or too many of them incorrect), with the threshold the run keeps.
std::string DescribeChoice(const ThresholdChoice& choice, double target, double kept_threshold);

// Draws the curve table `table` as the picture `picture` (.png or .svg)
// with the plot program. "" or why it could not.
std::string DrawCurvePicture(const std::string& table, const std::string& picture);

}  // namespace clusterjob
