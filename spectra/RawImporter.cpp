#include "spectra/RawImporter.h"

bool CRawImporter::Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                        bool replace) {
  if (replace) spectra.clear();
  last_error_ = path +
                ": vendor raw files cannot be read on Linux; convert it to mzML first, "
                "for example with ProteoWizard: msconvert --mzML \"" +
                path + "\"";
  return false;
}
