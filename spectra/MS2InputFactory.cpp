#include "spectra/MS2Input.h"
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
