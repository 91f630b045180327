#include "clustering/Para.h"
#include "fuzz/FuzzSupport.h"

TESSERA_FUZZ_SILENT_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CPara para;
  para.ReadParaFile(fuzzsupport::WriteInput(data, size, ".para"));
  return 0;
}
