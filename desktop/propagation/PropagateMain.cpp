// propagate: runs one propagation job from its parameter file and prints
// what it found.
//
//   propagate <job.para> [--sites] [--fdr LEVEL] [--threshold SCORE]
//             [--decoy-prefix P[,P...]] [--added FILE]
//
// Modification sites are placed when --sites is given or when the file says
// IsModSiteDetermined=1 (the desktop passes its check box, whose state the
// file records). --fdr, --threshold and --decoy-prefix replace the file's
// FdrLevel, ScoreThreshold and DecoyPrefix for search-engine result files.
// --added writes every spectrum that propagation identified, one
// "<name>\t<identification>\t<cluster|pairs>" line each.

#include <cstdio>
#include <set>
#include <string>

#include "desktop/propagation/Propagation.h"
#include "desktop/propagation/PropagationPara.h"

namespace {

int Usage() {
  std::printf(
      "usage: propagate <job.para> [--sites] [--fdr LEVEL] [--threshold SCORE] "
      "[--decoy-prefix P[,P...]] [--added FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string para_path;
  std::string fdr, threshold, decoy, added_path;
  bool sites = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string* value = arg == "--fdr"            ? &fdr
                         : arg == "--threshold"    ? &threshold
                         : arg == "--decoy-prefix" ? &decoy
                         : arg == "--added"        ? &added_path
                                                   : nullptr;
    if (value) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return Usage();
      *value = argv[++i];
    } else if (arg == "--sites") {
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
  job.OverrideFilter(fdr, threshold, decoy);
  const bool ok = job.Run(para_path, sites);
  const CPropagationSummary& summary = job.summary();
  for (const std::string& line : summary.result_report) std::printf("%s\n", line.c_str());
  if (!ok) {
    std::printf("Propagation failed: %s\n", para_path.c_str());
    return 1;
  }

  std::printf("Identified before propagation: %d\n", summary.identified_before);
  std::printf("Identified spectra present in the %s: %d of %d\n",
              job.para().cluster_file.empty() ? "pair files" : "cluster file",
              summary.identified_in_job, summary.identified_before);
  if (!job.para().cluster_file.empty()) {
    std::printf("Inner propagation: %d clusters identified, %d spectra newly identified, %d conflicting clusters\n",
                summary.inner_clusters_identified, summary.inner_new_spectra,
                summary.inner_conflicts);
  }
  std::printf("Inter propagation: %d newly identified (%d spectra counted through clusters) from %d pair file(s)\n",
              summary.inter_new_nodes, summary.inter_new_spectra, summary.pair_files);
  std::printf("Spectra identified by propagation: %d\n", summary.added_spectra);
  std::printf("Site determination: %s\n", sites ? "on" : "off");
  std::set<std::string> shown;
  std::printf("Output files:\n");
  for (const std::string& output : summary.outputs) {
    if (shown.insert(output).second) std::printf("  %s\n", output.c_str());
  }
  if (!added_path.empty()) {
    std::FILE* out = std::fopen(added_path.c_str(), "wb");
    bool written = out != nullptr;
    for (const auto& [name, added] : job.added()) {
      if (written)
        written = std::fprintf(out, "%s\t%s\t%s\n", name.c_str(), added.identification.c_str(),
                               added.via) > 0;
    }
    if (out && std::fclose(out) != 0) written = false;
    if (!written) {
      std::printf("Can not save file:%s\n", added_path.c_str());
      return 1;
    }
    std::printf("  %s\n", added_path.c_str());
  }
  return 0;
}
