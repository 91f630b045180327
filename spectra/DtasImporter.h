#pragma once
// DTAS input: several DTA spectra in one text file.
//
// Layout: spectra follow one another, separated by one or more blank lines.
// Each spectrum starts with its header line and continues with one
// "m/z intensity" line per peak, exactly as in a DTA file. The header line is
// either
//     MH+ charge                      e.g. "1234.567800 2"
// or a DTA-style name before them
//     name MH+ charge                 e.g. "run.120.120.2.dta 1234.567800 2"
// A spectrum without a name is named from the file's base name and its 1-based
// position in the file (run.3.3.2.dta for the third). A charge of 0 means the
// first value is an m/z of unknown charge: the spectrum is loaded once each
// for charges 2 and 3. There is no retention time. A spectrum with a bad line
// is skipped and reported; the load fails only when none is usable.

#include "spectra/MS2Input.h"

class CDtasImporter : public CMS2Input {
 public:
  explicit CDtasImporter(bool verbose = false) : verbose_(verbose) {}
  bool Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
            bool replace) override;

 private:
  bool verbose_;
};
