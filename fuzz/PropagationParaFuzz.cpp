#include <sstream>

#include "propagation/PropagationPara.h"
#include "fuzz/FuzzSupport.h"

TESSERA_FUZZ_SILENT_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(fuzzsupport::AsText(data, size));
  CPropagationPara para;
  ReadPropagationPara(in, para);
  return 0;
}
