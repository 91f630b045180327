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
std::string PeptidesOfSpectra(const std::string& path, const CFilterChoice& filter,
                              const std::vector<msdata::CSpectrum>& spectra, std::vector<int>& peptide_of,
                              std::ostream& out);

// The threshold for a target incorrect ratio: the lowest step of 0.01 at
// which the ratio, and the ratio of every higher step, stays at or below
// `target`, counted only where enough identified spectra are clustered.
struct ThresholdChoice {
  bool chosen = false;
  quality::Figures at;              // the figures at the chosen threshold
  std::size_t most_identified = 0;  // identified clustered spectra at the lowest step
};
ThresholdChoice ChooseThreshold(const std::vector<quality::Figures>& rows, double target);

// What the choice says: the threshold with the estimate and its 95%
// interval, or why none was chosen.
std::string DescribeChoice(const ThresholdChoice& choice, double target, double kept_threshold);

// Draws the curve table `table` as the picture `picture` (.png or .svg)
// with the plot program. "" or why it could not.
std::string DrawCurvePicture(const std::string& table, const std::string& picture);

}  // namespace clusterjob
