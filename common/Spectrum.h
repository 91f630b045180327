#pragma once
// The spectrum record shared by the clustering engine, Shiftscan, the
// spectrum readers and the mass-shift library.

#include <string>
#include <utility>
#include <vector>

namespace msdata {

// (m/z, intensity)
using Peak = std::pair<double, double>;
using PeakList = std::vector<Peak>;

// Mass of a proton, used to turn precursor m/z and charge into MH+.
inline constexpr double kProtonMass = 1.007276;

class CSpectrum {
 public:
  CSpectrum() = default;
  CSpectrum(const CSpectrum&) = default;
  CSpectrum(CSpectrum&&) noexcept = default;
  CSpectrum& operator=(const CSpectrum&) = default;
  CSpectrum& operator=(CSpectrum&&) noexcept = default;
  virtual ~CSpectrum() = default;

  int charge = 0;
  // Singly protonated precursor mass (MH+) in daltons, as on a DTA first line.
  double precursor_mass = 0.0;
  double precursor_mz = 0.0;
  // DTA-style file name: prefix.firstscan.lastscan.charge.dta
  std::string name;
  // Ascending in m/z as loaded.
  PeakList peaks;

  // Further fields; 0 (or -1 for scans) where the source format has none.
  double retention_time = 0.0;  // seconds
  int first_scan = -1;
  int last_scan = -1;
};

// MH+ from a precursor m/z and charge: (m/z - proton) * z + proton.
double MHFromMz(double mz, int charge);
// m/z from MH+ and charge; the MH+ itself for charge 0 or below.
double MzFromMH(double mh, int charge);

// The one charge check of every reader: a whole number below 1000 in
// magnitude. Larger values are damage, not ions, and would make work that
// loops over charge states run for minutes.
inline constexpr int kMaxAbsCharge = 999;
bool ChargeFromNumber(double value, int& charge);

// Precursors that no ion has. Every MH+ is at least a proton's mass and so
// is every m/z (charge 1 or more); a precursor beyond 100,000 m/z or
// 10,000,000 Da MH+ is damage, not a measurement, and would make work sized
// by mass (histograms, mass indexes) take gigabytes. Each answers nullptr
// for a usable value, else why not, worded to follow the record a reader
// names ("has a precursor m/z below a proton's mass, which no ion has").
inline constexpr double kMaxPrecursorMz = 1e5;
inline constexpr double kMaxPrecursorMH = 1e7;
const char* PrecursorMzProblem(double mz);
const char* PrecursorMHProblem(double mh);

}  // namespace msdata
