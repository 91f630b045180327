// The peak-array checks of the reading program (spectra/mzreader/ArrayCheck.h)
// on any text: the first byte picks an mzML spectrum or an mzXML scan. Bad
// base64, zlib data that ends or lies, counts of any size: an answer, never
// a read out of bounds or a run-away allocation.

#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "spectra/mzreader/ArrayCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    mzreader::CheckMzxmlScan(text);
  } else {
    mzreader::CheckMzmlSpectrum(text);
  }
  return 0;
}
