// dtaexport: one DTA file per MS2 spectrum of a spectrum file.

#include <iostream>

#include "drivers/dtaexport/DtaExport.h"

int main(int argc, char** argv) { return dtaexport::Run(argc, argv, std::cout); }
