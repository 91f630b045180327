#pragma once
// Cluster type 1: score every pair of spectra whose precursor masses differ
// by an amount in [lower_mass, upper_mass], write the well-scoring pairs,
// and build a histogram of the observed mass differences.

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "clustering/Cluster.h"
#include "clustering/ShiftHistogram.h"

class CSpectralPairSearch : public CCluster {
 public:
  CSpectralPairSearch(CSpectraProcess* spectra_process, double precursor_ion_tol,
                      Tolerance_Type precursor_ion_tol_type, double threshold)
      : CCluster(spectra_process, nullptr, CLUSTER_SPECTRAL_PAIR, precursor_ion_tol,
                 precursor_ion_tol_type, threshold) {}

  // Writes the pair file (`cluster_result`), appends to "score.txt" (unless
  // `score_log` is off) and replaces "temp.temp", both in the working
  // directory. Without the log, pairs that provably cannot score above the
  // threshold are not scored (CPairSearchJoin); the files are the same. With method 7
  // ("Comprehensive") the similarity settings end as the last pair left them.
  void Run(std::vector<msdata::CSpectrum>& spectra, CSimilarity* similarity,
           CPeakSelect* peak_select) override;

  // For doubly charged pairs 6 to 200 Da apart: finds the integer shift
  // that best aligns the lighter spectrum with the heavier one and writes
  // the pairs scoring above the threshold, with that shift, to the pair
  // file. Writes nothing else. A pair for which no tried shift scores above
  // 0 gets the rounded mass difference as its shift.
  virtual void ShiftSearch(std::vector<msdata::CSpectrum>& spectra, CSimilarity* similarity,
                           CPeakSelect* peak_select);

  // First spectra are scored on this many threads; the files do not depend
  // on it.
  int worker_threads = 1;
  // Whether Run may let go of each spectrum's raw peaks once it has
  // prepared them (the driver's list is not used again; half the memory of
  // a large search).
  bool release_raw_peaks = false;
  // Figures of the last Run: pairs scored, and those above the threshold
  // (the lines of the pair file).
  std::size_t pairs_scored = 0;
  std::size_t pairs_above = 0;
  // Pairs of the mass window the method scores, and whether the join left
  // out those that could not pass (only without the score log).
  std::size_t pairs_in_window = 0;
  bool joined = false;
  // With `decoy_pairs`: pairs of a spectrum with a later spectrum's decoy
  // (DecoySpectra.h) scored as its pairs with that spectrum are, and those
  // above the threshold, the expected number of chance pairs among
  // `pairs_above`. Counted, never written.
  std::size_t decoy_pairs_scored = 0;
  std::size_t decoy_pairs_above = 0;

  // "Pairs above the threshold: M; expected false pairs (decoys): D (P%)."
  // with P = 100 D / M to one decimal, left out when M is 0.
  static std::string DecoyEstimate(std::size_t above, std::size_t decoys_above);

  static constexpr const char* kScoreLog = "score.txt";
  static constexpr const char* kHistogramFile = "temp.temp";

  using ShiftGroup = shifts::ShiftGroup;
  // Groups sorted differences whose neighbours lie closer than `tolerance`,
  // smallest gaps first, so that no group grows as wide as the tolerance.
  // Groups come out by member count, descending; equal counts in ascending
  // order of difference.
  static std::vector<ShiftGroup> GroupShifts(std::vector<double> differences, double tolerance);

  // Appends "%.4lf\n" of value, character for character as printf writes
  // it, without printf for the values a score log holds.
  static void AppendScoreLine(std::string& out, double value);

  // The mass difference of one pair-file line: its fifth comma-separated
  // field (the last one when there are fewer), read like atof.
  static double PairLineDifference(const std::string& line);

  // Reads the pair file and writes the histogram to `histogram_path`. A
  // pair file that cannot be read is reported and leaves no histogram.
  // Differences beyond `run_size` are sorted in runs beside the pair file
  // (ShiftHistogram.h), so memory does not grow with the pairs.
  static bool WriteMassShiftHistogram(const std::string& pair_file, double tolerance,
                                      const std::string& histogram_path = kHistogramFile,
                                      std::size_t run_size = std::size_t{8} << 20);

 private:
  void Search(std::vector<msdata::CSpectrum>& spectra, const CSimilarity& configured,
              const CPeakSelect& selection, std::FILE* pairs_file, std::FILE* log_file, int& last_method);
};
