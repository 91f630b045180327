#include "propagation/PropagateOptions.h"

#include <filesystem>

#include "common/PathUtil.h"
#include "common/StandardOptions.h"

namespace {

namespace fs = std::filesystem;

std::string Absolute(const std::string& p) {
  if (p.empty()) return p;
  std::error_code ec;
  const fs::path a = fs::absolute(p, ec);
  return ec ? p : a.lexically_normal().string();
}

// The options that make up a job without a parameter file.
const char* const kJobOptions[] = {"pairs", "ids", "clusters", "spectra", "mod-count", "output", "name"};

}  // namespace

cli::CommandLine PropagateCommandLine() {
  cli::CommandLine line(
      "propagate",
      {"<job.para> [--sites] [--fdr LEVEL] [--threshold SCORE] [--decoy-prefix P[,P...]] [--added FILE] "
       "[--table FILE] [--max-q LEVEL] [--score-spectra DIR]",
       "--pairs P --ids F [--clusters C] [--spectra D] [--mod-count N] [--sites] [-o DIR] "
       "[--name JOB] [options]"},
      "Carries peptide identifications to unidentified spectra within clusters and across\n"
      "spectral pairs. With a parameter file the reports are \"<job>_InnerPropagate.txt\"\n"
      "(with a cluster file) and \"<job>_InterPropagate.txt\" beside it, and\n"
      "\"pair_with_result.txt\" in the current directory. With --pairs and --ids all of\n"
      "them, and the parameter file used (\"<name>.para\"), go into the output folder.\n"
      "The summary goes to standard output, progress and messages to standard error.");
  line.Add({"pairs", 0, "P", "", "pair file, or a folder of .csv/.txt pair files"});
  line.Add({"ids", 0, "F", "", "identification result file (.tagram, .spectra, .pep.xml, .mzid)"});
  line.Add({"clusters", 0, "C", "", "cluster file: inner propagation runs first"});
  line.Add({"spectra", 0, "D", "", "folder of the DTA spectrum files (for --sites)"});
  line.Add({"mod-count", 0, "N", "1", "most undetermined sites placed together, 1 to 3"});
  line.Add(cli::standard::Output("of the reports and the parameter file").Default(".").Alias("out-dir"));
  line.Add({"name", 0, "JOB", "propagation", "job name: <name>.para, <name>_InterPropagate.txt, ..."});
  line.Add({"sites", 0, "", "", "place the modification sites (also IsModSiteDetermined=1)"});
  line.Add(cli::standard::Fdr());
  line.Add(cli::standard::IdThreshold().Alias("threshold"));
  line.Add(cli::standard::DecoyPrefix());
  line.Add({"added", 0, "FILE", "", "write every spectrum propagation identified, one line each"});
  line.Add({"table", 0, "FILE", "",
            "write the propagated identifications with score and q-value (transfer FDR), one line each"});
  line.Add({"max-q", 0, "LEVEL", "",
            "keep only identifications with q-value at or below LEVEL (0.01 or 1%) in the table and summary"});
  line.Add({"score-spectra", 0, "DIR", "",
            "folder of the propagated spectra's own files, searched before the data path when scoring"});
  line.Add(cli::standard::Quiet());
  return line;
}

bool JobFromOptions(const cli::CommandLine& line) {
  for (const char* name : kJobOptions)
    if (line.Has(name)) return true;
  return false;
}

bool ParaFromOptions(const cli::CommandLine& line, CPropagationPara& para, std::string& para_path,
                     std::string& error) {
  if (!line.Positionals().empty()) {
    error = "give either a parameter file or --pairs and --ids, not both";
    return false;
  }
  for (const char* name : {"pairs", "ids"}) {
    if (line.Value(name).empty()) {
      error = std::string("option --") + name + ": required without a parameter file";
      return false;
    }
  }
  for (const char* name : {"clusters", "spectra", "output", "name", "mod-count"}) {
    if (line.Has(name) && line.Value(name).empty()) {
      error = std::string("option --") + name + ": empty value";
      return false;
    }
  }
  const std::string count = line.Value("mod-count", "1");
  if (count != "1" && count != "2" && count != "3") {
    error = "option --mod-count: \"" + count + "\" is not 1, 2 or 3";
    return false;
  }
  const std::string name = line.Value("name", "propagation");
  if (name.find('/') != std::string::npos || name == "." || name == "..") {
    error = "option --name: \"" + name + "\" is a path, not a name";
    return false;
  }
  para = CPropagationPara();
  para.pair_file = Absolute(line.Value("pairs"));
  para.result_file = Absolute(line.Value("ids"));
  para.cluster_file = Absolute(line.Value("clusters"));
  para.dta_path = Absolute(line.Value("spectra"));
  para.mod_count = static_cast<std::int16_t>(count[0] - '0');
  para.is_mod_site_determined = line.Has("sites") ? 1 : 0;
  para.is_directory = path::IsDirectory(para.pair_file) ? 1 : 0;
  para.fdr_level = line.Value("fdr");
  para.score_threshold = line.Value("id-threshold");
  para.decoy_prefix = line.Value("decoy-prefix");
  para_path = path::Join(Absolute(line.Value("output", ".")), name + ".para");
  return true;
}

bool ParseQLevel(const std::string& text, double& level) {
  std::string number = text;
  double scale = 1.0;
  if (!number.empty() && number.back() == '%') {
    number.pop_back();
    scale = 0.01;
  }
  double value = 0.0;
  if (!cli::ParseFiniteNumber(number, value)) return false;
  value *= scale;
  if (value < 0.0 || value > 1.0) return false;
  level = value;
  return true;
}

bool FilterOptionsUsable(const cli::CommandLine& line, std::string& error) {
  // One option at a time, so that the message names the one at fault.
  for (const std::string name : {"fdr", "id-threshold"}) {
    CPropagationPara para;
    (name == "fdr" ? para.fdr_level : para.score_threshold) = line.Value(name);
    CIdentificationFilter filter;
    std::string why;
    if (!FilterFromPara(para, filter, why)) {
      error = "option --" + name + ": " + why;
      return false;
    }
  }
  return true;
}
