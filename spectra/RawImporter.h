#pragma once
// Vendor raw files (Thermo .raw) need the vendor's own reader, which does not
// run on Linux. This importer only says so, and how to get a readable file.

#include "spectra/MS2Input.h"

class CRawImporter : public CMS2Input {
 public:
  bool Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
            bool replace) override;
};
