#pragma once
// Quillon: precursor mass-shift analysis over lists of MS2 spectra.
//
// Free functions, exported from libQuillon.so under these names; their
// argument types are part of the exported symbols, so inputs that a function
// only reads are taken by value and outputs by reference, as callers of the
// library were built against. The functions read three fields of a spectrum:
// its charge, its precursor mass (MH+, Da) and its DTA-style name
// ("base.first.last.charge.dta").
//
// Nothing here prints or fails loudly: empty inputs give empty outputs.

#include <map>
#include <utility>
#include <vector>

#include "common/Spectrum.h"

namespace quillon {

// (count, mass) per bin, ascending in mass.
using Histogram = std::vector<std::pair<int, double>>;
// Integer mass shift minus 0.5 -> pairs (i, j) of spectrum positions.
using PairMap = std::map<double, std::vector<std::pair<int, int>>>;
// (mass difference, scan difference) per pair.
using MassScanPairs = std::vector<std::pair<double, int>>;

// Names of the difference dumps that ComputeMassXOnePoint_ leaves in the
// current directory. Dumps are written whole under a fresh name and renamed,
// so a link planted at one of these names is replaced, never written through.
inline constexpr const char* kMassDumpFile = "MassX.dat";
inline constexpr const char* kScanDumpFile = "RTX.dat";

// Writes `values` as a Python list of floats in pickle protocol 0: "(lp1\n",
// then "F%f\n" for the first value and "aF%f\n" for each further one, then
// "a.\n". An empty list ends with ".\n" right after "(lp1\n", so that it still
// loads (as []). False when the file cannot be written.
bool DumpFloatList(const std::vector<double>& values, const char* path);

}  // namespace quillon

using SpectrumList = std::vector<msdata::CSpectrum>;

// Stable sort by precursor mass, descending.
void SortSpectraByMass(SpectrumList& spectra);
// Stable sort by charge x 100000 + precursor mass, descending: charge groups
// from the highest charge down, each in descending mass.
void SortSpectraByMassAndCharge(SpectrumList& spectra);

// `spectra` in descending mass order. Neighbours whose masses differ by at most
// `ppm` (relative to the lighter one) form a group; each group keeps its
// middle spectrum (position (a + b) / 2 rounded down). `out` is replaced and
// ends in descending mass order.
void RemoveRedundancy_(SpectrumList spectra, SpectrumList& out, double ppm);

// Sorts `spectra` by mass, descending, and fills `index` (size: integer part of
// the largest mass + 1) with the first position of each integer mass, -1 for
// masses that no spectrum has. False, with `index` emptied and the list left
// as it was, for an empty list or one holding a mass that is not a finite
// number within 1,000,000 Da of 0: no precursor weighs that much, and the
// index would take a number per dalton.
bool GetMassIndex(SpectrumList& spectra, std::vector<int>& index);

// The first scan number of each spectrum's name (the scan number stands in for
// the retention time), appended to `scans`. A name without that field gives 0.
void GetRt_(SpectrumList spectra, std::vector<int>& scans);
void GetRawNumber_(SpectrumList spectra, std::vector<int>& scans);
// As GetRt_, and in `raw` the number after the last "." of the name's base
// part ("run.3" in "run.3.100.100.2.dta" gives 3); 0 when the base has no ".".
void GetRtRaw_(SpectrumList spectra, std::vector<int>& scans, std::vector<int>& raw);

// Histogram of all pairwise differences mass(i) - mass(j), i < j, with bins of
// `width` from `lower` (inclusive) to `upper` (exclusive). With `record`, the
// map receives, per integer shift (key: shift - 0.5), the pairs at which the
// difference entered that shift's key (the starting points that
// ComputeMassRTX_ walks from). Always true.
bool ComputeMassX_(SpectrumList spectra, double lower, double upper, double width,
                   quillon::Histogram& histogram, quillon::PairMap& pairs, bool record);

// For the pairs recorded under `key` by ComputeMassX_ (spectra in the same
// order, `scans` parallel to them), appends (mass difference, scan difference)
// of every pair from each recorded start while the difference stays below
// key + 1, and widens `max_scan_diff` / `min_scan_diff` (not reset here).
void ComputeMassRTX_(SpectrumList spectra, std::vector<int> scans, quillon::MassScanPairs& out,
                     quillon::PairMap& pairs, double key, int& max_scan_diff, int& min_scan_diff);

// Spectra in descending mass order. Collects the pairs (i, j), i < j, whose
// difference lies within `tolerance` (exclusive) of `centre`, and dumps their
// mass differences to "MassX.dat" and scan differences to "RTX.dat" in the
// current directory. The first two values are not used.
void ComputeMassXOnePoint_(SpectrumList spectra, double unused_lower, double unused_upper,
                           double tolerance, double centre,
                           std::vector<std::pair<int, int>>& pairs);

// One integer shift through the mass index of GetMassIndex (spectra as that
// call sorted them, descending in mass). Collects every pair (i, j), i before
// j, with |mass(i) - mass(j) - shift| < 0.5, i in list order and j ascending:
//  - `mass_diffs`: mass(i) - mass(j);
//  - `scan_diffs`: first scan of i minus first scan of j, as a real;
//  - `partner_flags`: 1 when the two spectra carry the same charge (the
//    partners of a modification usually do), else 0.
// The index only finds where each window starts, so a pass costs the pairs it
// collects plus one step per spectrum. The outputs are cleared first; false
// for an empty list (or an index that does not belong to it), else true.
bool ComputeMassXWithOnePosition_(SpectrumList spectra, std::vector<int> index,
                                  std::vector<double>& mass_diffs, std::vector<double>& scan_diffs,
                                  std::vector<int>& partner_flags, int shift);

// Sorts `spectra` (GetMassIndex) and collects, as above, the pairs of every
// shift from `first_shift` to `last_shift`, appended shift after shift to the
// cleared outputs. The list and its index are shared by every shift, not
// copied per shift. True (with empty outputs) for an empty list; false, with
// empty outputs, when GetMassIndex refuses a mass.
bool ComputeMassX_4Shiftscan_(SpectrumList& spectra, std::vector<double>& mass_diffs,
                              std::vector<double>& scan_diffs, std::vector<int>& partner_flags,
                              int first_shift, int last_shift);

// Position of the first bin with the largest count (only counts above 0 win;
// 0 when none does); -1 for an empty histogram.
int GetMaxNumIndex_(quillon::Histogram histogram);

// Background of a histogram: the bins are grouped into integer-mass cells
// (each keeps its largest bin), and the mean and standard deviation are taken
// over the lower cells, those with a count at most 2 x median - lowest.
// `compressed` receives the cells in ascending mass. An empty histogram gives
// 0, 0 and no cells.
void GetMeanAndVariance_(quillon::Histogram histogram, double& mean, double& sd,
                         quillon::Histogram& compressed);

// Bin width in daltons (0.01 to 0.10) at which the merged histogram's
// background varies most, `histogram` being binned at 0.01 Da.
double GetBestBin_(quillon::Histogram histogram);

// Positions of the bins whose count lies above the Gaussian background
// (mean, sd) with an upper-tail probability below `threshold`.
void GetModification_(quillon::Histogram histogram, std::vector<int>& positions, double mean,
                      double sd, double threshold);

// True when the upper-tail probability of `value` under the Gaussian
// background (mean, sd) is below `threshold`. With sd 0 any value above the
// mean passes.
bool IsFitPValue_(double& value, double mean, double sd, double threshold);
