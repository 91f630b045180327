#include "drivers/cluster/ClusterOptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <sstream>
#include <vector>

#include "clustering/Para.h"
#include "common/ErrorMarker.h"
#include "common/NameTables.h"
#include "common/PathUtil.h"
#include "common/PlotProgram.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "drivers/cluster/JobChecks.h"
#include "drivers/cluster/OutputFolder.h"
#include "drivers/cluster/loading/JobLoading.h"
#include "drivers/cluster/network/NetworkCommand.h"
#include "spectra/MS2Input.h"

namespace clusterjob {

namespace fs = std::filesystem;

namespace {

// The only options the parameter-file form takes.
constexpr const char* kJobOptionNames[] = {"shift-search", "threads", "mgf", "no-wait", "ids",
                                           "fdr", "decoy-prefix", "curve", "curve-plot", "target-incorrect",
                                           "network", "clusters", "propagated", "run", "plot",
                                           "decoy-pairs", "px"};
// Outputs that --write-para names; with -o they lie inside its folder.
constexpr const char* kOutputOptionNames[] = {"out-directory", "cluster-result"};

// A word of a small table, or its index.
int Choice(const std::string& text, std::initializer_list<const char*> words) {
  long index = 0;
  if (cli::ParseWholeNumber(text, index)) {
    return index >= 0 && index < static_cast<long>(words.size()) ? static_cast<int>(index) : -1;
  }
  int k = 0;
  for (const char* w : words) {
    if (text::EqualsNoCase(text, w)) return k;
    ++k;
  }
  return -1;
}

bool IsPairs(const cli::CommandLine& line) {
  return line.Has("type") && Choice(line.Value("type"), {"clusters", "pairs"}) == 1;
}

// "20ppm", "0.5Da", "0.5 da" or a bare number (daltons).
bool Tolerance(const std::string& text, double& value, Tolerance_Type& type) {
  std::string t = text::Trim(text);
  type = TOLERANCE_DA;
  for (const char* u : {"ppm", "da"}) {
    const std::size_t n = std::string(u).size();
    if (t.size() > n && text::EqualsNoCase(t.substr(t.size() - n), u)) {
      type = std::string(u) == "ppm" ? TOLERANCE_PPM : TOLERANCE_DA;
      t = text::Trim(t.substr(0, t.size() - n));
      break;
    }
  }
  return cli::ParseFiniteNumber(t, value) && value >= 0;
}

std::string Bad(const std::string& option, const std::string& value, const std::string& what) {
  return "option --" + option + ": " + what + ": \"" + value + "\"";
}

// Whole-number options, each setting the key of its name.
struct IntegerOption {
  const char* option;
  void (*set)(CPara& para, std::int32_t value);
};
const IntegerOption kIntegerOptions[] = {
    {"small-peaks-count-filter", [](CPara& p, std::int32_t v) { p.spectra_process->small_peaks_count_filter = v; }},
    {"whole-top-peak-num", [](CPara& p, std::int32_t v) { p.peak_select->whole_top_peak_num = v; }},
    {"part-top-peak-num", [](CPara& p, std::int32_t v) { p.peak_select->part_top_peak_num = v; }},
    {"part-top-peak-per-num", [](CPara& p, std::int32_t v) { p.peak_select->part_top_peak_per_num = v; }},
    {"lower-mass", [](CPara& p, std::int32_t v) { p.cluster->lower_mass = v; }},
    {"upper-mass", [](CPara& p, std::int32_t v) { p.cluster->upper_mass = v; }},
};

bool ReadIntegerOptions(const cli::CommandLine& line, CPara& para, std::string& error) {
  for (const IntegerOption& o : kIntegerOptions) {
    if (!line.Has(o.option)) continue;
    long v = 0;
    if (!cli::ParseWholeNumber(line.Value(o.option), v)) {
      error = Bad(o.option, line.Value(o.option), "not a whole number");
      return false;
    }
    o.set(para, static_cast<std::int32_t>(v));
  }
  return true;
}

// The methods and the representative type, by name or number.
bool ReadChoiceOptions(const cli::CommandLine& line, CPara& para, std::string& error) {
  if (line.Has("peak-select-method")) {
    const int m = Choice(line.Value("peak-select-method"), {"top-n", "top-m-per-window", "both"});
    if (m < 0) {
      error = Bad("peak-select-method", line.Value("peak-select-method"),
                  "not 0, 1, 2, top-n, top-m-per-window or both");
      return false;
    }
    para.peak_select->peak_select_method = static_cast<Peak_Select_Method>(m);
  }
  if (line.Has("similar-method")) {
    const std::string v = line.Value("similar-method");
    long index = names::SimilarMethodIndex(v);
    if (index < 0 && !(cli::ParseWholeNumber(v, index) && index >= 0 && index < 8)) {
      error = Bad("similar-method", v, "not a similarity method name or number 0-7");
      return false;
    }
    para.similarity->similar_method = static_cast<Similar_Method>(index);
  }
  if (line.Has("consensus-type")) {
    const int t = Choice(line.Value("consensus-type"), {"consensus", "most-similar", "both"});
    if (t < 0) {
      error = Bad("consensus-type", line.Value("consensus-type"), "not consensus, most-similar, both or 0-2");
      return false;
    }
    para.representative_spectra->consensus_type = static_cast<Representative_Spectra>(t);
  }
  return true;
}

// Tolerances with their unit, and the plain real values.
struct ToleranceOption {
  const char* option;
  void (*set)(CPara& para, double value, Tolerance_Type type);
};
const ToleranceOption kToleranceOptions[] = {
    {"fragment-tol",
     [](CPara& p, double v, Tolerance_Type t) {
       p.similarity->fragment_ion_tol = v;
       p.similarity->fragment_ion_tol_type = t;
     }},
    {"precursor-tol",
     [](CPara& p, double v, Tolerance_Type t) {
       p.cluster->precursor_ion_tol = v;
       p.cluster->precursor_ion_tol_type = t;
     }},
    {"consensus-tol",
     [](CPara& p, double v, Tolerance_Type t) {
       p.representative_spectra->consensus_fragment_tol = v;
       p.representative_spectra->consensus_fragment_tol_type = t;
     }},
};

bool ReadRealOptions(const cli::CommandLine& line, CPara& para, std::string& error) {
  for (const ToleranceOption& o : kToleranceOptions) {
    if (!line.Has(o.option)) continue;
    double v = 0;
    Tolerance_Type type = TOLERANCE_DA;
    if (!Tolerance(line.Value(o.option), v, type)) {
      error = Bad(o.option, line.Value(o.option), "not a tolerance such as 0.5Da or 20ppm");
      return false;
    }
    o.set(para, v, type);
  }
  for (const char* option : {"threshold", "cluster-masses-tol"}) {
    if (!line.Has(option)) continue;
    double v = 0;
    if (!cli::ParseFiniteNumber(line.Value(option), v)) {
      error = Bad(option, line.Value(option), "not a number");
      return false;
    }
    (std::string(option) == "threshold" ? para.cluster->threshold : para.cluster->cluster_masses_tol) = v;
  }
  return true;
}

// The data type of one input: a folder holds DTA files, a file's format
// is told by its name.
bool DataTypeOf(const std::string& input, int& data_type, std::ostream& err) {
  data_type = MS2_FORMAT_DTA;
  if (path::IsDirectory(input)) return true;
  MS2FormatType type = MS2_FORMAT_DTA;
  std::string why;
  if (!CMS2InputFactory::FormatFromPath(input, type, why)) {
    err << "cluster: " << why << "\n";
    return false;
  }
  data_type = type;
  return true;
}

// Writes the parameter file the options describe with the one writer of
// every job's file.
bool WriteParaOfOptions(const cli::CommandLine& line, const CPara& para, const std::string& para_path,
                        std::ostream& err) {
  if (!para.WriteParaFile(para_path)) {
    err << "cluster: cannot write the parameter file " << para_path << ": " << std::strerror(errno) << "\n";
    return false;
  }
  char kept[32];
  std::snprintf(kept, sizeof kept, "%.2f", para.cluster->threshold);
  if (line.Has("threshold") && std::atof(kept) != para.cluster->threshold) {
    err << "cluster: note: the parameter file keeps two decimals: threshold " << kept << "\n";
  }
  return true;
}

// Clustering scores with "Dot Product" at 0.5 Da whatever the parameter
// file says; the two options reach the file (a pair search run on it uses
// them) but change nothing here.
void WarnOfOptionsWithoutEffect(const cli::CommandLine& line, std::ostream& err) {
  if (IsPairs(line)) return;
  for (const char* option : {"similar-method", "fragment-tol"}) {
    if (line.Has(option)) {
      err << "cluster: warning: --" << option
          << " has no effect on clustering, which always scores \"Dot Product\" at 0.5 Da;"
             " it is written into the parameter file as given\n";
    }
  }
}

// Values the parameter set may not hold, and options that do not go
// together. Empty when the options make a job.
std::string CheckOptionValues(const cli::CommandLine& line, const CPara& para) {
  if (IsPairs(line) && line.Has("mgf")) return "option --mgf: a pair search writes no spectra (type clusters only)";
  if (!IsPairs(line) && line.Has("decoy-pairs")) return "option --decoy-pairs goes with type pairs";
  if (line.Has("threads")) {
    if (std::string refused = CheckThreads(text::AtoI(line.Value("threads"))); !refused.empty()) return refused;
  }
  const CCluster& c = *para.cluster;
  if (line.Has("lower-mass") && line.Has("upper-mass") && c.lower_mass > c.upper_mass) {
    return "option --lower-mass " + std::to_string(c.lower_mass) + " is above --upper-mass " +
           std::to_string(c.upper_mass);
  }
  return CheckParameterLimits(para);
}

// The parameter set of the options, checked before anything is written:
// answers the exit status of a refusal (usage, 2), else -1.
int ParaOfOptions(const cli::CommandLine& line, const std::string& data_path, int data_type,
                  const std::string& output_folder, CPara& para, std::ostream& err) {
  std::string error;
  if (!ParaFromOptions(line, data_path, data_type, output_folder, para, error) ||
      !(error = CheckOptionValues(line, para)).empty()) {
    err << "cluster: " << error << "\n";
    return 2;
  }
  WarnOfOptionsWithoutEffect(line, err);
  return -1;
}

// The inputs made absolute: the run moves into the output folder. Answers
// the exit status when one is missing, else -1.
int AbsoluteInputs(const cli::CommandLine& line, std::vector<std::string>& inputs, std::ostream& err) {
  for (const std::string& p : line.Positionals()) inputs.push_back(path::Absolute(p));
  for (const std::string& p : inputs) {
    if (!path::Exists(p)) {
      err << "cluster: no such spectrum file or folder: " << p << "\n";
      return 2;
    }
  }
  return -1;
}

int WriteParaOnly(const cli::CommandLine& line, const std::vector<std::string>& inputs, std::ostream& out,
                  std::ostream& err) {
  if (inputs.size() > 1) {
    err << "cluster: --write-para names one input (several are pooled only when run with -o)\n";
    return 2;
  }
  int data_type = MS2_FORMAT_DTA;
  if (inputs.size() == 1 && !DataTypeOf(inputs[0], data_type, err)) return 2;
  const std::string para_path = path::Absolute(line.Value("write-para"));
  CPara para;
  if (const int status = ParaOfOptions(line, inputs.empty() ? "" : inputs[0], data_type, "", para, err); status >= 0)
    return status;
  if (!WriteParaOfOptions(line, para, para_path, err)) return 1;
  out << "Parameter file: " << para_path << "\n";
  return 0;
}

// The data of the run: one input as it is, several pooled into one MGF
// file in the output folder (written later, by PoolInputs). Answers the
// exit status of a failure, else -1.
int DataOfInputs(const std::vector<std::string>& inputs, const std::string& output, std::string& data_path,
                 int& data_type, std::ostream& err) {
  if (inputs.size() > 1) {
    data_path = path::Join(output, kCombinedInput);
    data_type = MS2_FORMAT_MGF;
    return -1;
  }
  data_path = inputs[0];
  return DataTypeOf(data_path, data_type, err) ? -1 : 2;
}

// What the job would write over, checked before anything is written:
// answers the exit status of a refusal (usage, 2), else -1.
int CheckOutputsOfOptions(const CPara& para, const JobOptions& job, const std::string& output,
                          std::ostream& err) {
  std::string refused = CheckFileClashes(FilesOfJob(para, job));
  if (refused.empty()) refused = CheckJobPaths(para, false);
  if (refused.empty() && fs::is_symlink(fs::path(output) / kSpectraFolder))
    refused = "the spectra folder is a link, and the run writes only into a folder of its own: " +
              path::Join(output, kSpectraFolder);
  if (refused.empty()) return -1;
  err << "cluster: " << refused << "\n";
  return 2;
}

// The output folder made the run's own before anything is written into it:
// created, locked (a run refused by the lock leaves the running one's
// files as they are), the job checked whole (inputs that cannot be read,
// outputs that cannot be written: an earlier run's results stay when this
// one could not replace them) and cleared of what an earlier run wrote
// there. Answers the exit status of a failure, else -1.
int TakeOutputFolder(const std::string& output, const CPara& para, safefile::CFolderLock& lock, JobOptions& job,
                     std::ostream& err) {
  const bool fresh = !path::Exists(output);
  if (!path::CreateDirectory(output)) {
    err << "cluster: cannot create the output folder: " << output << "\n";
    return 1;
  }
  if (!LockOutputFolder(lock, output, job.no_wait)) {
    err << "cluster: another run is using the output folder " << output << "\n";
    return 1;
  }
  if (std::string refused = CheckJob(para, job); !refused.empty()) {
    err << "cluster: " << refused << "\n";
    lock.Release();
    if (fresh) RemoveFreshFolder(output);
    return 1;
  }
  job.folder_locked = true;
  std::vector<std::string> inputs;
  for (const JobFile& input : FilesOfJob(para, job).inputs) inputs.push_back(input.path);
  ClearEarlierOutputs(output, inputs);
  return -1;
}

// The job on the file the options wrote, in the output folder. The
// engine's console is progress here; the exit status says what the error
// marker would.
int RunInOutputFolder(const std::string& output, const JobOptions& job, bool quiet, std::ostream& err) {
  std::error_code ec;
  fs::current_path(output, ec);
  if (ec) {
    err << "cluster: cannot work in " << output << ": " << ec.message() << "\n";
    return 1;
  }
  std::ostringstream said;
  int status = 0;
  {
    cli::CDivertedStandardOutput diverted(quiet);
    status = Run(job, said);
  }
  marker::RemoveErrorMarker();
  if (status != 0 || !quiet) err << said.str();
  return status;
}

void ReportOptionsRun(const std::string& output, const std::string& para_path, bool pairs, const std::string& mgf,
                      std::ostream& out) {
  out << "Parameter file: " << para_path << "\n";
  if (pairs) {
    out << "Pair file: " << path::Join(output, kPairFile) << "\n"
        << "Mass-shift table: " << path::Join(output, "temp.temp") << "\n";
  } else {
    out << "Cluster file: " << path::Join(output, kClusterFile) << "\n"
        << "Spectra: " << path::Join(output, kSpectraFolder) << "\n";
    if (!mgf.empty()) out << "MGF file: " << mgf << "\n";
  }
}

}  // namespace

cli::CommandLine ClusterCommandLine() {
  cli::CommandLine line(
      "cluster",
      {"[--shift-search] [--threads N] [--mgf FILE] [--no-wait] [--plot FILE] <parameter file>",
       "[--ids FILE [--fdr LEVEL] [--target-incorrect X]] [--curve FILE] [--curve-plot FILE] <parameter file>",
       "[options] <spectrum file or DTA folder>... -o <output folder>",
       "--write-para FILE [options] [<spectrum file or DTA folder>...]",
       "--plan N <parameter file> <work folder> [--cuts P,...]   (parts of a job, workflows/cluster.smk)",
       "--merge <work folder>                                     (one run's files from the parts)",
       network::kNetworkSynopsis},
      "Clusters similar MS/MS spectra (type clusters) or searches spectral pairs whose\n"
      "precursor masses differ (type pairs). With options it writes into the output\n"
      "folder the parameter file it used (cluster.para), the cluster file\n"
      "(clusters.csv) or the pair file (pairs.csv) with the mass-shift table\n"
      "(temp.temp), and the spectra (spectra/); what an earlier run wrote there goes\n"
      "first. Inputs: mzML, mzXML, MGF, MS2, DTAS, PKL files or DTA folders; several\n"
      "inputs are clustered together.\n"
      "With a parameter file a failure also leaves error_happened.error.");
  line.Add({"output", 'o', "DIR", "", "output folder (created when missing)"});
  line.Add({"write-para", 0, "FILE", "", "only write the parameter file the options describe"});
  line.Add({"out-directory", 0, "DIR", "", "with --write-para: folder for the clustered spectra (-o: DIR/spectra)"});
  line.Add({"cluster-result", 0, "FILE", "", "with --write-para: the cluster or pair file (-o: in DIR)"});
  line.Add({"type", 0, "clusters|pairs", "clusters", "clustering, or spectral pair search"});
  line.Add({"small-peaks-count-filter", 0, "N", "10", "drop spectra with fewer peaks"});
  line.Add({"peak-select-method", 0, "M", "2", "0 top N, 1 top M per window, 2 both"});
  line.Add({"whole-top-peak-num", 0, "N", "50", "peaks kept overall"});
  line.Add({"part-top-peak-num", 0, "M", "5", "peaks kept per window"});
  line.Add({"part-top-peak-per-num", 0, "DA", "100", "window width"});
  line.Add({"similar-method", 0, "NAME|N", "\"Dot Product\"",
            "Intensity Score, Dot Product, Dot Product Mod, Dot Product Half, Dot Product X, Peak Count, "
            "Bonanza (pairs only: clustering always scores \"Dot Product\" at 0.5 Da)"});
  line.Add({"fragment-tol", 0, "TOL", "0.5Da",
            "fragment ion tolerance (Da or ppm; pairs only: clustering always scores at 0.5 Da)"});
  line.Add({"precursor-tol", 0, "TOL", "20ppm", "precursor tolerance (Da or ppm)"});
  line.Add({"consensus-type", 0, "TYPE", "consensus", "consensus, most-similar or both"});
  line.Add({"consensus-tol", 0, "TOL", "0.4Da", "consensus fragment tolerance (kept in the file)"});
  line.Add({"threshold", 0, "X", "0.6", "similarity threshold, 0 to 1 (two decimals are kept)"});
  line.Add({"lower-mass", 0, "DA", "0", "pairs: smallest precursor mass difference"});
  line.Add({"upper-mass", 0, "DA", "0", "pairs: largest precursor mass difference"});
  line.Add({"cluster-masses-tol", 0, "DA", "0.01", "pairs: width of the mass-shift groups"});
  line.Add({"score-log", 0, "", "",
            "pairs: also append the square root of every score to score.txt (one line per pair in the "
            "mass window: gigabytes on large runs, and every pair must then be scored)"});
  line.Add({"decoy-pairs", 0, "", "",
            "pairs: also score each spectrum against decoys of its partners (peaks moved 3 to 15 Da) and "
            "print the expected number of false pairs above the threshold"});
  line.Add({"shift-search", 0, "", "", "with a pairs parameter file: the shift search instead"});
  line.Add({"threads", 0, "N", "all", "scoring threads, at most 1024 (the files do not depend on it)"});
  line.Add({"mgf", 0, "FILE", "", "also write the output spectra into one MGF file (type clusters)"});
  line.Add({"px", 0, "ACCESSION", "",
            "clusters: USIs of this ProteomeXchange dataset (PXD000561) in clusters.tsv and --mgf"});
  line.Add({"no-wait", 0, "", "", "fail at once when another run uses the output (or, pairs, working) folder"});
  line.Add({"quiet", 'q', "", "", "no progress on standard error (options form)"});
  line.Add({"ids", 0, "FILE", "",
            "clusters: identifications (any result format) for the quality figures of --curve and "
            "--target-incorrect; pairs, with --network: the peptides of the network's nodes"});
  line.Add({"fdr", 0, "LEVEL", "0.01", "FDR level of search-engine identifications (0.01 or 1%)"});
  line.Add({"decoy-prefix", 0, "P[,P...]", "DECOY_,rev_,XXX_", "decoy protein prefixes"});
  line.Add({"curve", 0, "FILE", "",
            "clusters: the threshold curve of this one run (threshold, clustered_ratio, incorrect_ratio, "
            "completeness, clusters) from 1.00 down to the threshold"});
  line.Add({"curve-plot", 0, "FILE", "",
            "clusters: the threshold curve as a picture (.png or .svg): clustered ratio against incorrect "
            "ratio, thresholds marked"});
  line.Add({"plot", 0, "FILE", "",
            "pairs: the mass-shift histogram as a picture (.png or .svg), the shifts of most pairs named from "
            "Unimod"});
  line.Add({"target-incorrect", 0, "X", "",
            "clusters, with --ids: cluster at the lowest threshold (down to --threshold, else 0.30) whose "
            "incorrect ratio stays at or below X, between 0 and 1, and write it into the parameter file"});
  network::AddNetworkOptions(line);
  return line;
}

bool WantsOptionsForm(const cli::CommandLine& line) { return line.Has("output") || line.Has("write-para"); }

bool ReadJobOptions(const cli::CommandLine& line, JobOptions& options) {
  options.shift_search = line.Has("shift-search");
  options.no_wait = line.Has("no-wait");
  options.decoy_pairs = line.Has("decoy-pairs");
  if (line.Has("threads")) {
    options.threads = text::AtoI(line.Value("threads"));
    if (options.threads < 1) return false;
  }
  if (line.Has("mgf")) {
    options.mgf = line.Value("mgf");
    if (options.mgf.empty()) return false;
  }
  options.ids = line.Value("ids");
  options.px = line.Value("px");
  options.curve = line.Value("curve");
  options.curve_plot = line.Value("curve-plot");
  options.plot = line.Value("plot");
  options.id_filter.fdr_level = line.Value("fdr");
  options.id_filter.decoy_prefix = line.Value("decoy-prefix");
  return true;
}

std::string ReadQualityOptions(const cli::CommandLine& line, JobOptions& options) {
  if (std::string refused = network::ReadNetworkOptions(line, options.network); !refused.empty()) return refused;
  if (line.Has("px")) {
    if (std::string refused = CheckAccession(line.Value("px")); !refused.empty()) return "option --px: " + refused;
    if (IsPairs(line)) return "option --px goes with type clusters";
  }
  for (const char* option : {"ids", "curve", "curve-plot", "plot"}) {
    if (line.Has(option) && line.Value(option).empty()) return "option --" + std::string(option) + " needs a file name";
  }
  if (line.Has("curve-plot")) {
    const std::string ext = path::Extension(options.curve_plot);
    if (ext != "png" && ext != "svg")
      return "option --curve-plot: " + options.curve_plot + " is not a .png or .svg name";
  }
  if (line.Has("plot") && plotprogram::PictureKind(options.plot).empty())
    return "option --plot: " + options.plot + " is not a .png or .svg name";
  if (line.Has("fdr") || line.Has("decoy-prefix")) {
    if (!line.Has("ids")) return "options --fdr and --decoy-prefix filter the identifications of --ids";
    CIdentificationFilter filter;
    if (std::string message; !FilterFromChoice(options.id_filter, filter, message)) return "option --fdr: " + message;
  }
  if (!line.Has("target-incorrect")) return std::string();
  double target = 0.0;
  if (!cli::ParseFiniteNumber(line.Value("target-incorrect"), target) || target <= 0.0 || target >= 1.0)
    return "option --target-incorrect: " + line.Value("target-incorrect") + " is not a ratio between 0 and 1";
  if (!line.Has("ids")) return "option --target-incorrect needs identifications (--ids)";
  options.target_incorrect = target;
  return std::string();
}

int RunParameterFileForm(const cli::CommandLine& line, std::ostream& out, std::ostream& err) {
  for (const auto& given : line.Given()) {
    const std::string& name = given.first;
    if (std::find(std::begin(kJobOptionNames), std::end(kJobOptionNames), name) == std::end(kJobOptionNames)) {
      err << "cluster: option --" << name << " needs an output folder (-o) or --write-para\n" << line.Usage();
      return 2;
    }
  }
  JobOptions options;
  const std::vector<std::string>& files = line.Positionals();
  if (files.size() != 1 || files[0].empty() || !ReadJobOptions(line, options)) return FailWithUsage(out);
  if (std::string refused = ReadQualityOptions(line, options); !refused.empty()) {
    err << "cluster: " << refused << "\n" << line.Usage();
    return 2;
  }
  options.parameter_file = files[0];
  return Run(options, out);
}

bool ParaFromOptions(const cli::CommandLine& line, const std::string& data_path, int data_type,
                     const std::string& output_folder, CPara& para, std::string& error) {
  if (line.Has("type") && Choice(line.Value("type"), {"clusters", "pairs"}) < 0) {
    error = Bad("type", line.Value("type"), "not clusters or pairs");
    return false;
  }
  const bool pairs = IsPairs(line);
  para.ResetToDefaults(pairs ? CLUSTER_SPECTRAL_PAIR : CLUSTER_SIMILARITY);
  CSpectraProcess& data = *para.spectra_process;
  data.data_type = static_cast<MS2FormatType>(data_type);
  data.data_directory = data_path;
  if (!output_folder.empty()) {
    data.out_directory = path::Join(output_folder, kSpectraFolder);
    data.cluster_result = path::Join(output_folder, pairs ? kPairFile : kClusterFile);
  } else {
    if (line.Has("out-directory")) data.out_directory = path::Absolute(line.Value("out-directory"));
    if (line.Has("cluster-result")) data.cluster_result = path::Absolute(line.Value("cluster-result"));
  }
  // The log holds a line for nearly every pair of the mass window (6.5 GB
  // at 100,000 spectra), so the options ask for it rather than imply it.
  if (pairs && para.cluster) para.cluster->score_log = line.Has("score-log");
  if (pairs && para.cluster) para.cluster->decoy_pairs = line.Has("decoy-pairs");
  return ReadIntegerOptions(line, para, error) && ReadChoiceOptions(line, para, error) &&
         ReadRealOptions(line, para, error);
}

int RunOptionsForm(const cli::CommandLine& line, std::ostream& out, std::ostream& err) {
  std::vector<std::string> inputs;
  if (const int status = AbsoluteInputs(line, inputs, err); status >= 0) return status;
  if (line.Has("write-para") && !line.Has("output")) return WriteParaOnly(line, inputs, out, err);
  for (const char* option : kOutputOptionNames) {
    if (line.Has(option)) {
      err << "cluster: option --" << option << " goes with --write-para alone: -o puts the outputs in its folder\n"
          << line.Usage();
      return 2;
    }
  }
  if (inputs.empty()) {
    err << "cluster: no spectrum file or DTA folder given\n" << line.Usage();
    return 2;
  }
  JobOptions job;
  if (!ReadJobOptions(line, job)) {
    err << kUsage << "\n";
    return 2;
  }
  if (std::string refused = ReadQualityOptions(line, job); !refused.empty()) {
    err << "cluster: " << refused << "\n" << line.Usage();
    return 2;
  }
  if (IsPairs(line) && ((line.Has("ids") && !line.Has("network")) || line.Has("curve") || line.Has("curve-plot"))) {
    err << "cluster: options --ids, --curve, --curve-plot and --target-incorrect go with type clusters"
           " (--ids also with --network)\n";
    return 2;
  }
  if (!IsPairs(line) && line.Has("network")) {
    err << "cluster: option --network goes with type pairs\n";
    return 2;
  }
  if (!IsPairs(line) && line.Has("plot")) {
    err << "cluster: option --plot draws the mass-shift histogram of type pairs\n";
    return 2;
  }
  // The threshold search goes down to the threshold the user gave.
  if (line.Has("threshold")) job.search_floor = text::AtoF(line.Value("threshold"));
  // Relative paths are the caller's: resolved before the run moves into
  // the output folder.
  for (std::string* given : {&job.mgf, &job.ids, &job.curve, &job.curve_plot, &job.plot}) {
    if (!given->empty()) *given = path::Absolute(*given);
  }
  const std::string output = path::Absolute(line.Value("output"));
  std::string data_path;
  int data_type = MS2_FORMAT_DTA;
  if (const int status = DataOfInputs(inputs, output, data_path, data_type, err); status >= 0) return status;
  job.parameter_file = path::Join(output, kParaName);
  job.working_folder = output;
  if (inputs.size() > 1) job.pooled_inputs = inputs;
  CPara para;
  if (const int status = ParaOfOptions(line, data_path, data_type, output, para, err); status >= 0) return status;
  if (const int status = CheckOutputsOfOptions(para, job, output, err); status >= 0) return status;

  safefile::CFolderLock lock;
  if (const int status = TakeOutputFolder(output, para, lock, job, err); status >= 0) return status;
  if (inputs.size() > 1) {
    if (const std::string refused = PoolInputs(inputs, data_path, line.Has("quiet"), err); !refused.empty()) {
      err << "cluster: " << refused << "\n";
      return 1;
    }
  }
  if (!WriteParaOfOptions(line, para, job.parameter_file, err)) return 1;
  if (line.Has("write-para") && !WriteParaOfOptions(line, para, path::Absolute(line.Value("write-para")), err))
    return 1;
  if (const int status = RunInOutputFolder(output, job, line.Has("quiet"), err); status != 0) return status;
  ReportOptionsRun(output, job.parameter_file, IsPairs(line), job.mgf, out);
  return 0;
}

int RunParsedCommandLine(const cli::CommandLine& line, std::ostream& out, std::ostream& err) {
  if (network::WantsNetworkForm(line)) return network::RunNetworkForm(line, out, err);
  if (WantsOptionsForm(line)) return RunOptionsForm(line, out, err);
  // The parameter-file contract, exactly as the desktop program relies on it.
  return RunParameterFileForm(line, out, err);
}

}  // namespace clusterjob
