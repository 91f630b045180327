#pragma once
// PKL (Micromass peak list) input. Spectra are separated by blank lines; each
// starts with a header line "precursor-m/z precursor-intensity charge" and
// continues with "m/z intensity" peak lines. Spectra are named from the file's
// base name and their 1-based position (run.3.3.2.dta). A charge of 0 is
// unknown: the spectrum is loaded once each for charges 2 and 3. There is no
// retention time. A spectrum with a bad line is skipped and reported; the load
// fails only when none is usable.

#include "spectra/MS2Input.h"

class CPklImporter : public CMS2Input {
 public:
  explicit CPklImporter(bool verbose = false) : verbose_(verbose) {}
  bool Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
            bool replace) override;

 private:
  bool verbose_;
};
