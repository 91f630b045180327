#include "drivers/dtaexport/DtaExport.h"

#include <memory>
#include <vector>

#include "common/Dta.h"
#include "common/PathUtil.h"
#include "spectra/MS2Input.h"
#include "spectra/MgfWriter.h"

namespace dtaexport {

int Run(int argc, const char* const* argv, std::ostream& out) {
  std::vector<std::string> positional;
  std::string mgf;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--mgf" && i + 1 < argc && mgf.empty()) {
      mgf = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && positional.size() < 2) {
      positional.push_back(arg);
    } else {
      positional.clear();
      break;
    }
  }
  if (positional.empty() || (positional.size() == 1 && mgf.empty())) {
    out << kUsage << "\n";
    return 2;
  }
  const std::string input = positional[0];
  const std::string directory = positional.size() > 1 ? positional[1] : std::string();

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
  if (!mgf.empty()) {
    std::string error;
    if (mgf == input || !spectra::WriteMgfFile(mgf, spectra, error)) {
      out << (mgf == input ? "Cannot write file: " + mgf : error) << "\n";
      return 1;
    }
    out << spectra.size() << " spectra of " << input << " written to " << mgf << "\n";
  }
  if (directory.empty()) return 0;
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
