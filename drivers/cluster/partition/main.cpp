// `cluster-partition`: plans a clustering job as parts and merges the parts'
// files into the files of one run. The workflow in workflows/cluster.smk
// runs it around one `cluster` job per part.

#include <iostream>
#include <string>
#include <vector>

#include "drivers/cluster/partition/Partition.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--plan") {
    return partition::RunPlan({args.begin() + 1, args.end()}, std::cout);
  }
  if (!args.empty() && args[0] == "--merge") {
    return partition::RunMerge({args.begin() + 1, args.end()}, std::cout);
  }
  std::cout << partition::kPlanUsage << "\n" << partition::kMergeUsage << "\n";
  return 1;
}
