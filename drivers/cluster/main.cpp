// `cluster`: the console driver of the clustering engine. The desktop
// program starts it with the path of a cluster parameter file.

#include <iostream>
#include <string>
#include <vector>

#include "drivers/cluster/ClusterJob.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return clusterjob::Run(args, std::cout);
}
