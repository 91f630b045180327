// mzML, mzXML and MS2 through the importer the programs use, under the
// extension the harness is built with. The content check, the offset-index
// check and the indexed copy run in this process; MSToolkit runs in the
// reading program mzreader, and whatever it does with the input (refuse it,
// crash, misread it) must come back as a load error, never end this process.

#include <cstdlib>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "spectra/MzImporter.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::Silence();
  // MSToolkit's own leaks in the reading program are not ours to find; they
  // would turn every load into a reported crash of the reader.
  ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::WriteInput(data, size, TESSERA_FUZZ_EXTENSION);
  CMzImporter importer;
  std::vector<msdata::CSpectrum> spectra;
  const bool loaded = importer.Load(path, spectra, true);
  if (loaded && (spectra.empty() || importer.ScanInfo().size() != spectra.size())) std::abort();
  if (!loaded && importer.LastError().empty()) std::abort();
  return 0;
}
