// Gannet: the precursor dumper that Shiftscan starts with "raw.file.temp".

#include <cstdio>
#include <string>

#include "drivers/gannet/GannetRun.h"

int main(int argc, char** argv) {
  if (argc > 2) {
    std::printf("usage: Gannet [raw.file.temp]\n"
                "  reads the spectrum file named on the first line of the exchange file and\n"
                "  writes its MS2 precursors to raw.data.temp in the current directory\n");
    return 2;
  }
  const std::string exchange = argc == 2 ? argv[1] : gannet::kExchangeFile;
  return gannet::Run(exchange, gannet::kDumpFile, stdout);
}
