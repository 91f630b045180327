// Gannet: the precursor dumper that Shiftscan starts with "raw.file.temp".

#include <cstdio>
#include <iostream>
#include <string>

#include "common/CommandLine.h"
#include "drivers/gannet/GannetRun.h"

int main(int argc, char** argv) {
  cli::CommandLine line("Gannet", {"[raw.file.temp]"},
                        "Reads the spectrum file named on the first line of the exchange file and\n"
                        "writes its MS2 precursors to raw.data.temp in the current directory.");
  const cli::Outcome outcome = line.Parse(argc, argv);
  if (outcome == cli::Outcome::kRun && line.Positionals().size() > 1) {
    std::cerr << line.Usage();
    return 2;
  }
  const int status = line.Report(outcome, std::cout, std::cerr);
  if (status >= 0) return status;
  const std::string exchange = line.Positionals().empty() ? gannet::kExchangeFile : line.Positionals()[0];
  return gannet::Run(exchange, gannet::kDumpFile, stdout, stderr);
}
