// unimod-mono: writes the Unimod file the desktop program ships from the
// official Unimod XML.
#include <cstdio>

#include "resultfiles/unimod/UnimodConvert.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("Usage: unimod-mono <official unimod.xml> <output Unimod_mono.xml>\n");
    return 2;
  }
  const unimod::ConvertResult result = unimod::ConvertFile(argv[1], argv[2]);
  if (!result.ok) {
    std::printf("%s\n", result.error.c_str());
    return 1;
  }
  std::printf("%d modifications written to %s", result.written, argv[2]);
  if (result.skipped > 0) std::printf(" (%d without a mass delta left out)", result.skipped);
  std::printf("\n");
  return 0;
}
