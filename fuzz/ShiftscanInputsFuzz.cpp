// The Shiftscan configuration, the precursor dump and the identified-spectra
// list: the first byte picks the parser, the rest is its input.

#include <sstream>

#include "fuzz/FuzzSupport.h"
#include "moddetect/DetectionConfig.h"
#include "moddetect/PairCollector.h"
#include "moddetect/PrecursorList.h"

TESSERA_FUZZ_SILENT_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::istringstream in(fuzzsupport::AsText(data + 1, size - 1));
  switch (data[0] % 3) {
    case 0: {
      CDetectionConfig config;
      config.ReadConfig(in);
      std::string message;
      config.Validate(message);
      break;
    }
    case 1: {
      CPrecursorList list;
      list.ReadDump(in);
      break;
    }
    default: {
      CPairCollector collector;
      collector.LoadIdentifiedSpectra(in);
      break;
    }
  }
  return 0;
}
