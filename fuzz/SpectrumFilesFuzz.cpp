// The text spectrum formats, through the importer the programs use. The
// format is chosen by the harness's build definition.

#include <memory>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "spectra/MS2Input.h"

TESSERA_FUZZ_SILENT_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::WriteInput(data, size, TESSERA_FUZZ_EXTENSION);
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(TESSERA_FUZZ_FORMAT, false));
  std::vector<msdata::CSpectrum> spectra;
  importer->Load(path, spectra, true);
  return 0;
}
