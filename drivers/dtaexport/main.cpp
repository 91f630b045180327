// dtaexport: one DTA file per MS2 spectrum of a spectrum file.

#include <iostream>

#include "drivers/dtaexport/DtaExport.h"

int main(int argc, char** argv) {
  const int status = dtaexport::Run(argc, argv, std::cout, std::cerr);
  std::cout.flush();
  return std::cout ? status : 1;
}
