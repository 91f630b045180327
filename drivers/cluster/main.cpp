// `cluster`: the console driver of the clustering engine. The desktop
// program starts it with the path of a cluster parameter file; users may
// give spectrum files and options instead (see ClusterOptions.h).

#include <iostream>
#include <string>
#include <vector>

#include "drivers/cluster/ClusterOptions.h"
#include "drivers/cluster/partition/Partition.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  // Partitioned runs (workflows/cluster.smk): plan the parts, merge them.
  if (!args.empty() && args[0] == "--plan") return partition::RunPlan({args.begin() + 1, args.end()}, std::cout);
  if (!args.empty() && args[0] == "--merge") return partition::RunMerge({args.begin() + 1, args.end()}, std::cout);
  cli::CommandLine line = clusterjob::ClusterCommandLine();
  const int answered = line.Report(line.Parse(args), std::cout, std::cerr);
  if (answered >= 0) return answered;
  return clusterjob::RunParsedCommandLine(line, std::cout, std::cerr);
}
