#pragma once
// Synthetic MGF files for load benchmarks: many perturbed copies of the MS2
// spectra of a real run, so that the file looks like real data (peak counts,
// m/z ranges, number formats) at any size.

#include <cstdint>
#include <string>
#include <vector>

#include "common/Spectrum.h"

namespace bench {

// Reads the MS2 spectra of a run (mzML, mzXML, MS2, MGF, by extension).
bool LoadTemplates(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                   std::string& error);

// Writes `count` spectra to `output`: copy i is template i mod M, with the
// precursor m/z moved by up to +-5 ppm, every peak m/z by up to +-0.05,
// intensities scaled by factors in [0.7, 1.3], about 10% of the peaks dropped
// and 1 to 3 noise peaks added; TITLE base.i.i.z.dta, SCANS i (i from 1).
// The same seed gives the same file on every platform.
bool WriteSyntheticMgf(const std::vector<msdata::CSpectrum>& templates, std::size_t count,
                       const std::string& output, std::uint64_t seed, std::string& error);

}  // namespace bench
