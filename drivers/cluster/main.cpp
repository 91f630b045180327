// `cluster`: the console driver of the clustering engine. The desktop
// program starts it with the path of a cluster parameter file; users may
// give spectrum files and options instead (see ClusterOptions.h).

#include <iostream>
#include <string>
#include <vector>

#include "drivers/cluster/ClusterJob.h"
#include "drivers/cluster/ClusterOptions.h"
#include "drivers/cluster/partition/Partition.h"

int main(int argc, char** argv) {
  // Partitioned runs (workflows/cluster.smk): plan the parts, merge them.
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (!all.empty() && all[0] == "--plan") return partition::RunPlan({all.begin() + 1, all.end()}, std::cout);
  if (!all.empty() && all[0] == "--merge") return partition::RunMerge({all.begin() + 1, all.end()}, std::cout);
  cli::CommandLine line = clusterjob::ClusterCommandLine();
  const cli::Outcome outcome = line.Parse(argc, argv);
  const int answered = line.Report(outcome, std::cout, std::cerr);
  if (answered >= 0) return answered;
  if (clusterjob::WantsOptionsForm(line)) return clusterjob::RunOptionsForm(line, std::cout, std::cerr);
  for (const auto& [name, value] : line.Given()) {
    if (name != "shift-search" && name != "threads" && name != "mgf" && name != "no-wait") {
      std::cerr << "cluster: option --" << name << " needs an output folder (-o) or --write-para\n" << line.Usage();
      return 2;
    }
  }
  // The parameter-file contract, exactly as the desktop program relies on it.
  std::vector<std::string> args(argv + 1, argv + argc);
  return clusterjob::Run(args, std::cout);
}
