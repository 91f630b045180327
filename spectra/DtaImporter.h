#pragma once
// DTA input: one DTA file, or a directory whose "*.dta" files (any case) are
// read in byte order of their names, so that a load is the same on every
// machine. A file keeps its own name when that name is DTA-style; otherwise it
// is named from its stem and its position in the listing. DTA files carry no
// retention time. A file whose charge is 0 holds an m/z with no charge: it
// gives one spectrum each for charges 2 and 3. In a directory, a file that
// cannot be read is skipped and reported; a single file that cannot be read
// fails the load.

#include "spectra/MS2Input.h"

class CDtaImporter : public CMS2Input {
 public:
  explicit CDtaImporter(bool verbose = false) : verbose_(verbose) {}
  bool Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
            bool replace) override;

 private:
  bool verbose_;
};
