// tessera-search: one run searched with Comet (SearchRun.h).

#include <iostream>

#include "drivers/search/SearchRun.h"

int main(int argc, char** argv) {
  const int status = search::RunSearchProgram(argc, argv, std::cout, std::cerr);
  std::cout.flush();
  return std::cout ? status : 1;
}
