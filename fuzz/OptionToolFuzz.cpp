#include "common/OptionTool.h"
#include "fuzz/FuzzSupport.h"

TESSERA_FUZZ_SILENT_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::WriteInput(data, size, ".ini");
  try {
    COptionTool tool("Oxidation", path);
    tool.GetString("Mass", "");
    tool.GetInteger("Count", 0);
    char out[64];
    COptionTool::_GetPrivateProfileString("MOD1", "name", "", out, sizeof out, path.c_str());
  } catch (const COptionToolException&) {
  }
  return 0;
}
