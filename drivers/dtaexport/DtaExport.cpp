#include "drivers/dtaexport/DtaExport.h"

#include <memory>
#include <vector>

#include "common/Dta.h"
#include "common/PathUtil.h"
#include "spectra/MS2Input.h"

namespace dtaexport {

int Run(int argc, const char* const* argv, std::ostream& out) {
  if (argc != 3) {
    out << kUsage << "\n";
    return 2;
  }
  const std::string input = argv[1];
  const std::string directory = argv[2];

  MS2FormatType type = MS2_FORMAT_MZML;
  std::string why;
  if (!CMS2InputFactory::FormatFromPath(input, type, why)) {
    out << why << "\n";
    return 1;
  }
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, true));
  std::vector<msdata::CSpectrum> spectra;
  if (!importer || !importer->Load(input, spectra, true)) {
    out << (importer ? importer->LastError() : "no reader for " + input) << "\n";
    return 1;
  }
  if (!path::CreateDirectory(directory)) {
    out << "Cannot create directory: " << directory << "\n";
    return 1;
  }
  for (const msdata::CSpectrum& spectrum : spectra) {
    const std::string target = path::Join(directory, spectrum.name);
    // Never let a source spectrum be replaced by its own export.
    if (target == input) continue;
    if (!msdata::WriteDta(spectrum, target)) {
      out << "Cannot write file: " << target << "\n";
      return 1;
    }
  }
  out << spectra.size() << " spectra of " << input << " written to " << directory << "\n";
  return 0;
}

}  // namespace dtaexport
