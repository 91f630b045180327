#pragma once
// Spectra for Python: the record of the spectrum readers with where it came
// from, its peaks seen as two numpy arrays without a copy.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "common/Spectrum.h"

namespace tessera_py {

struct PySpectrum {
  std::string name;        // DTA-style name, as every output names the spectrum
  std::string file;        // the file read (a DTA file of a folder)
  std::string run;         // the run: the file's base name, or a DTA name's prefix
  std::string native_id;   // mzML id; "" for other formats
  std::string title;       // MGF TITLE; "" for other formats
  int scan = -1;           // the scan the file states; -1 when the name's scan is a position
  long index = 0;          // 0-based position among the file's spectra
  double retention_time = 0.0;  // seconds; 0 where the format has none
  double precursor_mz = 0.0;
  double precursor_mass = 0.0;  // MH+
  int charge = 0;
  // The reader's own peak list, taken over as it was loaded: Python sees
  // its m/z and intensity columns as two arrays over it (a stride of one
  // peak), so that a large run holds its peaks once and nothing besides.
  msdata::PeakList peaks;
};

// The engine's record of a Python spectrum (peaks copied once).
msdata::CSpectrum ToRecord(const PySpectrum& spectrum);

void RegisterSpectra(pybind11::module_& m);

}  // namespace tessera_py
