#pragma once
// Peaks of a run's spectra held apart from the spectrum list. A run of a
// million spectra cannot keep every raw peak in memory as loaded; it keeps
// the peaks each spectrum is compared by (after peak selection) and reads
// the raw peaks again when a spectrum file is written. Positions are those
// of the spectrum list handed to the engine.

#include <cstddef>

#include "common/Spectrum.h"

class CPeakSource {
 public:
  virtual ~CPeakSource() = default;
  // The peaks the job's peak selection keeps of the spectrum at `position`,
  // ascending in m/z, intensities as loaded.
  virtual void Selected(std::size_t position, msdata::PeakList& peaks) const = 0;
  // Its peaks as loaded. Throws std::runtime_error when they cannot be had
  // again (the input was changed or removed during the run). Safe to call
  // from several threads at once, like Selected.
  virtual void Raw(std::size_t position, msdata::PeakList& peaks) const = 0;
};
