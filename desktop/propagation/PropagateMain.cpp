// propagate: runs one propagation job from its parameter file and prints
// what it found.
//
//   propagate <job.para> [--sites]
//
// Modification sites are placed when --sites is given or when the file says
// IsModSiteDetermined=1 (the desktop passes its check box, whose state the
// file records).

#include <cstdio>
#include <set>
#include <string>

#include "desktop/propagation/Propagation.h"
#include "desktop/propagation/PropagationPara.h"

namespace {

int Usage() {
  std::printf("usage: propagate <job.para> [--sites]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string para_path;
  bool sites = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--sites") {
      sites = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage();
    } else if (para_path.empty()) {
      para_path = arg;
    } else {
      return Usage();
    }
  }
  if (para_path.empty()) return Usage();

  CPropagationPara para;
  if (ReadPropagationParaFile(para_path, para) && para.is_mod_site_determined != 0) sites = true;

  CPropagation job;
  if (!job.Run(para_path, sites)) {
    std::printf("Propagation failed: %s\n", para_path.c_str());
    return 1;
  }

  const CPropagationSummary& summary = job.summary();
  std::printf("Identified before propagation: %d\n", summary.identified_before);
  if (!job.para().cluster_file.empty()) {
    std::printf("Inner propagation: %d clusters identified, %d spectra newly identified, %d conflicting clusters\n",
                summary.inner_clusters_identified, summary.inner_new_spectra,
                summary.inner_conflicts);
  }
  std::printf("Inter propagation: %d newly identified (%d spectra counted through clusters) from %d pair file(s)\n",
              summary.inter_new_nodes, summary.inter_new_spectra, summary.pair_files);
  std::printf("Site determination: %s\n", sites ? "on" : "off");
  std::set<std::string> shown;
  std::printf("Output files:\n");
  for (const std::string& output : summary.outputs) {
    if (shown.insert(output).second) std::printf("  %s\n", output.c_str());
  }
  return 0;
}
