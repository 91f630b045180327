// Vellum: one run (mzML or mzXML) to its ".qdx" peak list.

#include <cstdio>
#include <iostream>

#include "common/CommandLine.h"
#include "rawreader/MzRawfile.h"
#include "rawreader/Vellum.h"

int main(int argc, char** argv) {
  if (cli::AsksForHelpOrVersion(argc, argv) || (argc > 1 && argv[1][0] == '-' && argv[1][1] != '\0')) {
    cli::CommandLine line("Vellum", {"<run.mzML | run.mzXML>"},
                          "Writes the MS2 peak lists of a run to <run>.qdx beside it (an existing\n"
                          ".qdx is never overwritten).");
    const int status = line.Report(line.Parse(argc, argv), std::cout, std::cerr);
    return status >= 0 ? status : 2;
  }
  CMzRawfile raw;
  return vellum::Main(argc, argv, raw, stdout, stderr);
}
