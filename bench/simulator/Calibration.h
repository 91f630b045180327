#pragma once
// Figures that say whether simulated spectra look like a real run to the
// clustering: peak counts, intensity ranges, charges, and the cosine of
// pairs of spectra of the same and of different peptides, scored as the
// clustering scores them ("Dot Product" at 0.5 Da after its peak selection:
// method 2, 50 peaks, 5 per 100 Da, square roots of the intensities).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Spectrum.h"

namespace simulator {

// What is known of a spectrum for pairing: `group` names peptide,
// modifications and charge (empty: unidentified), `peptide` the sequence.
struct CPairLabel {
  std::string group;
  std::string peptide;
};

struct CSetFigures {
  std::size_t spectra = 0;
  std::array<std::size_t, 3> charges{};  // 2+ (and below), 3+, 4+ and above
  std::vector<double> peaks;              // per spectrum
  std::vector<double> compared_peaks;     // left after the peak selection
  std::vector<double> base_peak;          // largest intensity
  std::vector<double> lowest_peak;        // smallest intensity
  std::vector<double> median_to_base;     // median intensity over the largest
  std::vector<double> same_cosines;       // pairs of one group
  std::vector<double> same_weights;       // theirs, so that each spectrum counts alike
  std::size_t same_pairs = 0;             // such pairs in the set, scored or not
  std::vector<double> different_cosines;  // pairs of different peptides
};

// Collects the figures of a set of spectra. Pairs are taken among the
// labelled spectra: every pair when there are at most `max_pairs` of a kind,
// otherwise `max_pairs` drawn at random (seeded). Same-group pairs are
// weighed so that every spectrum of a group counts alike.
class CFigureCollector {
 public:
  CFigureCollector(std::size_t max_pairs, std::uint64_t seed);

  // `label` may be empty (the spectrum then counts only for the peak figures).
  void Add(const msdata::CSpectrum& spectrum, const CPairLabel& label);
  // Scores the pairs; call once after the last Add.
  CSetFigures Finish();

 private:
  void SameGroupPairs();
  void DifferentPeptidePairs();

  std::size_t max_pairs_;
  std::uint64_t seed_;
  CSetFigures figures_;
  std::vector<msdata::PeakList> prepared_;  // of the labelled spectra
  std::vector<CPairLabel> labels_;
};

// The cosine of two spectra as the clustering scores them.
msdata::PeakList PrepareForCosine(const msdata::PeakList& peaks);
double CosineOfPrepared(const msdata::PeakList& first, const msdata::PeakList& second);

// A Markdown table of the figures of two sets side by side.
std::string FigureTable(const CSetFigures& first, const std::string& first_title,
                        const CSetFigures& second, const std::string& second_title);

}  // namespace simulator
