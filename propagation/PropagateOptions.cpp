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
      {"<job.para> [--ids FILE]... [--sites] [--fdr LEVEL] [--threshold SCORE] [--decoy-prefix P[,P...]] [--added FILE] "
       "[--table FILE] [--max-q LEVEL] [--score-spectra DIR]",
       "--pairs FILE|DIR --ids FILE [--ids FILE]... [--clusters FILE] [--spectra DIR] [--mod-count N] [--sites] [-o DIR] "
       "[--name JOB] [options]"},
      "Carries peptide identifications to unidentified spectra within clusters and across\n"
      "spectral pairs. With a parameter file the reports are \"<job>_InnerPropagate.txt\"\n"
      "(with a cluster file) and \"<job>_InterPropagate.txt\" beside it, and\n"
      "\"pair_with_result.txt\" in the current directory. With --pairs and --ids all of\n"
      "them, and the parameter file used (\"<name>.para\"), go into the output folder.\n"
      "The summary goes to standard output, progress and messages to standard error.");
  line.Add(cli::Path("pairs", "FILE|DIR", "pair file, or a folder of .csv/.txt pair files"));
  line.Add(cli::standard::Ids(
      "here .tagram, .spectra, .pep.xml, .mzid; repeat it for several runs' files, whose identifications are "
      "joined (a spectrum identified differently by two: the better score)"));
  line.Add(cli::Path("clusters", "FILE", "cluster file: inner propagation runs first"));
  line.Add(cli::Path("spectra", "DIR", "folder of the DTA spectrum files (for --sites)"));
  line.Add(cli::Integer("mod-count", "N", "most undetermined sites placed together, 1 to 3", "1").Range(1, 3));
  line.Add(cli::standard::Output("of the reports and the parameter file").Default(".").Alias("out-dir"));
  line.Add(cli::Text("name", "JOB", "job name: <name>.para, <name>_InterPropagate.txt, ...", "propagation"));
  line.Add(cli::Flag("sites", "place the modification sites (also IsModSiteDetermined=1)"));
  line.Add(cli::standard::Fdr());
  line.Add(cli::standard::IdThreshold().Alias("threshold"));
  line.Add(cli::standard::DecoyPrefix());
  line.Add(cli::Path("added", "FILE", "write every spectrum propagation identified, one line each"));
  line.Add(cli::Path("table", "FILE",
                     "write the propagated identifications with score and q-value (transfer FDR), one line each"));
  line.Add(cli::Fraction("max-q", "LEVEL",
                         "keep only identifications with q-value at or below LEVEL (0.01 or 1%) in the table and "
                         "summary"));
  line.Add(cli::Path("score-spectra", "DIR",
                     "folder of the propagated spectra's own files, searched before the data path when scoring; "
                     "repeat it for several folders, searched in the order given"));
  line.Add(cli::Path("shifts", "FILE",
                     "shift table (\"<shift>,<count>,...\" rows: the pair search's or Shiftscan's temp.temp) whose "
                     "shifts, with the pairs', explain the scored spectra; repeatable"));
  line.Add(cli::Path("fasta", "FILE",
                     "protein database whose other peptides (with the observed shifts) compete with each transfer; "
                     "repeatable"));
  line.Add(cli::standard::Quiet());
  return line;
}

bool JobFromOptions(const cli::CommandLine& line) {
  // A parameter file's job takes --ids as more result files.
  for (const char* name : kJobOptions)
    if (line.Has(name) && (std::string(name) != "ids" || line.Positionals().empty())) return true;
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
  const std::string name = line.Value("name", "propagation");
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    error = "option --name: \"" + name + "\" is a path, not a name";
    return false;
  }
  para = CPropagationPara();
  para.pair_file = Absolute(line.Value("pairs"));
  const std::vector<std::string> ids = line.Values("ids");
  para.result_file = Absolute(ids.front());
  for (std::size_t i = 1; i < ids.size(); ++i) para.more_result_files.push_back(Absolute(ids[i]));
  para.cluster_file = Absolute(line.Value("clusters"));
  para.dta_path = Absolute(line.Value("spectra"));
  para.mod_count = static_cast<std::int16_t>(line.Integer("mod-count", 1));
  para.is_mod_site_determined = line.Has("sites") ? 1 : 0;
  para.is_directory = path::IsDirectory(para.pair_file) ? 1 : 0;
  para.fdr_level = line.Value("fdr");
  para.score_threshold = line.Value("id-threshold");
  para.decoy_prefix = line.Value("decoy-prefix");
  para_path = path::Join(Absolute(line.Value("output", ".")), name + ".para");
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
