#pragma once
// Other explanations of a propagated spectrum: the mass shifts the job's
// data show (the pairs' shifts and the shift tables of the pair search and
// Shiftscan), the isotope errors that mimic a shift, and the peptides of a
// protein database that fit a spectrum's precursor with one of those shifts.
// A transfer is only as good as its margin over the best of these.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The mass of a 13C isotope step: a precursor picked one or two peaks above
// its monoisotopic one looks like a shift of that many steps.
inline constexpr double kIsotopeStep = 1.0033548;

// A mass shift the job's data show, and in how many pairs (or table rows'
// counts) it was seen.
struct CObservedShift {
  double mass = 0.0;
  int count = 0;
};

// Shifts within `tolerance` of their group's lightest member merged into
// one: the count-weighted mean mass, the counts summed; lightest first.
std::vector<CObservedShift> GroupShifts(std::vector<CObservedShift> shifts, double tolerance);

// Reads a shift table, "<shift>,<count>,..." per line (the pair search's and
// Shiftscan's "temp.temp"), appending to `shifts`. False with `error` naming
// the file, the line and its text when a line holds no shift and count, or
// the file cannot be read.
bool ReadShiftTable(const std::string& path, std::vector<CObservedShift>& shifts, std::string& error);

// The shifts of the pair files' pairs (their fifth field), one each.
std::vector<CObservedShift> PairFileShifts(const std::vector<std::string>& pair_files);

// A shift read as an isotope error of another explanation: `base` (0 for
// the unmodified peptide) plus `steps` isotope steps (-2, -1, 1 or 2).
struct CIsotopeRelation {
  double base = 0.0;
  int steps = 0;
};

// The explanation of which `shift` is an isotope error, within `tolerance`:
// the unmodified peptide, or an observed shift (either sign) seen at least
// as often as the shift itself (its own group's count, 0 when it has none),
// the unmodified peptide first, then the most often seen; nullopt when
// there is none.
std::optional<CIsotopeRelation> IsotopeErrorOf(double shift, const std::vector<CObservedShift>& observed,
                                               double tolerance);
