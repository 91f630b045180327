#include <sstream>

#include "common/Dta.h"
#include "fuzz/FuzzSupport.h"

TESSERA_FUZZ_SILENT_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(fuzzsupport::AsText(data, size));
  msdata::CSpectrum spectrum;
  std::string error;
  msdata::ReadDta(in, spectrum, error);
  return 0;
}
