// tessera-confirm: the shift-aware confirmation of propagated
// identifications (ConfirmRun.h).

#include <iostream>

#include "drivers/search/ConfirmRun.h"

int main(int argc, char** argv) {
  const int status = search::RunConfirmProgram(argc, argv, std::cout, std::cerr);
  std::cout.flush();
  return std::cout ? status : 1;
}
