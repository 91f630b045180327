#include "spectra/MS2Input.h"

#include "common/PathUtil.h"
#include "spectra/DtaImporter.h"
#include "spectra/DtasImporter.h"
#include "spectra/MgfImporter.h"
#include "spectra/MzImporter.h"
#include "spectra/PklImporter.h"
#include "spectra/RawImporter.h"

CMS2Input* CMS2InputFactory::GetImporter(MS2FormatType type, bool verbose) {
  switch (type) {
    case MS2_FORMAT_DTA:
      return new CDtaImporter(verbose);
    case MS2_FORMAT_DTAS:
      return new CDtasImporter(verbose);
    case MS2_FORMAT_MGF:
      return new CMgfImporter(verbose);
    case MS2_FORMAT_PKL:
      return new CPklImporter(verbose);
    case MS2_FORMAT_MZML:
    case MS2_FORMAT_MS2:
      return new CMzImporter(verbose);
    case MS2_FORMAT_RAW:
      return new CRawImporter();
  }
  return nullptr;
}

bool CMS2InputFactory::FormatFromPath(const std::string& path, MS2FormatType& type,
                                      std::string& why) {
  const std::string ext = path::Extension(path);
  if (path::IsDirectory(path) || ext == "dta") {
    type = MS2_FORMAT_DTA;
  } else if (ext == "dtas") {
    type = MS2_FORMAT_DTAS;
  } else if (ext == "mgf") {
    type = MS2_FORMAT_MGF;
  } else if (ext == "pkl") {
    type = MS2_FORMAT_PKL;
  } else if (ext == "mzml" || ext == "mzxml") {
    type = MS2_FORMAT_MZML;
  } else if (ext == "ms2") {
    type = MS2_FORMAT_MS2;
  } else if (ext == "raw") {
    why = path +
          " is a vendor raw file, which cannot be read on Linux. Convert it to mzML (for example: "
          "msconvert --mzML \"" +
          path + "\") and give the mzML file instead.";
    return false;
  } else {
    why = path + ": unknown spectrum file type \"" + ext +
          "\" (known: DTA directory or .dta, .dtas, .mgf, .pkl, .mzML, .mzXML, .ms2)";
    return false;
  }
  return true;
}
