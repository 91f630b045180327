#include "drivers/cluster/ClusterOptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
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
#include "common/SpectrumFileKind.h"
#include "common/StandardOptions.h"
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
                                           "decoy-pairs", "px", "id-threshold"};
// Outputs that --write-para names; with -o they lie inside its folder.
constexpr const char* kOutputOptionNames[] = {"out-directory", "cluster-result"};

bool IsPairs(const cli::CommandLine& line) { return line.Choice("type") == "pairs"; }

// What a pair search from options searches unless told otherwise: the
// shifts of common modifications, scored by the method that allows them.
// (A parameter file without these keys keeps 0, 0 and "Dot Product".)
constexpr int kPairShiftLower = 6;
constexpr int kPairShiftUpper = 200;
constexpr Similar_Method kPairMethod = SIMILAR_DOT_PRODUCT_MOD;

// The representative types the options name; "none" (3) writes no spectra.
const std::vector<std::string> kConsensusTypes = {"consensus", "most-similar", "both", "none"};
const std::vector<std::string> kPeakSelectMethods = {"top-n", "top-m-per-window", "both"};

std::vector<std::string> SimilarMethodChoices() {
  return {names::kSimilarMethodNames.begin(), names::kSimilarMethodNames.end()};
}

void ApplyTolerance(const cli::CommandLine& line, const char* option, double& value, Tolerance_Type& unit) {
  const cli::Tolerance t = line.Tolerance(option, {value, unit});
  value = t.value;
  unit = t.unit;
}

// Every key the options name, from values Parse() has checked.
void ApplyOptions(const cli::CommandLine& line, CPara& para) {
  CSpectraProcess& data = *para.spectra_process;
  CPeakSelect& peaks = *para.peak_select;
  CSimilarity& similarity = *para.similarity;
  CRepresentativeSpectra& representatives = *para.representative_spectra;
  CCluster& cluster = *para.cluster;
  data.small_peaks_count_filter =
      static_cast<std::int32_t>(line.Integer("small-peaks-count-filter", data.small_peaks_count_filter));
  peaks.peak_select_method =
      static_cast<Peak_Select_Method>(line.ChoiceIndex("peak-select-method", peaks.peak_select_method));
  peaks.whole_top_peak_num = static_cast<std::int32_t>(line.Integer("whole-top-peak-num", peaks.whole_top_peak_num));
  peaks.part_top_peak_num = static_cast<std::int32_t>(line.Integer("part-top-peak-num", peaks.part_top_peak_num));
  peaks.part_top_peak_per_num =
      static_cast<std::int32_t>(line.Integer("part-top-peak-per-num", peaks.part_top_peak_per_num));
  similarity.similar_method =
      static_cast<Similar_Method>(line.ChoiceIndex("similar-method", similarity.similar_method));
  ApplyTolerance(line, "fragment-tol", similarity.fragment_ion_tol, similarity.fragment_ion_tol_type);
  ApplyTolerance(line, "precursor-tol", cluster.precursor_ion_tol, cluster.precursor_ion_tol_type);
  representatives.consensus_type =
      static_cast<Representative_Spectra>(line.ChoiceIndex("consensus-type", representatives.consensus_type));
  ApplyTolerance(line, "consensus-tol", representatives.consensus_fragment_tol,
                 representatives.consensus_fragment_tol_type);
  cluster.threshold = line.Real("threshold", cluster.threshold);
  cluster.clustering_mode =
      static_cast<Clustering_Mode>(line.ChoiceIndex("clustering-mode", cluster.clustering_mode));
  cluster.lower_mass = static_cast<std::int32_t>(line.Integer("shift-lower", cluster.lower_mass));
  cluster.upper_mass = static_cast<std::int32_t>(line.Integer("shift-upper", cluster.upper_mass));
  cluster.cluster_masses_tol = line.Real("cluster-masses-tol", cluster.cluster_masses_tol);
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
  if (IsPairs(line) && line.Has("clustering-mode")) return "option --clustering-mode goes with type clusters";
  if (line.Has("mgf") && !WritesRepresentatives(para))
    return "option --mgf: --consensus-type none writes no spectra";
  if (line.Has("spectra-format") && (IsPairs(line) || !WritesRepresentatives(para)))
    return std::string("option --spectra-format: ") +
           (IsPairs(line) ? "a pair search writes no spectra (type clusters only)"
                          : "--consensus-type none writes no spectra");
  const CCluster& c = *para.cluster;
  if (line.Has("shift-lower") && line.Has("shift-upper") && c.lower_mass > c.upper_mass) {
    return "option --shift-lower " + std::to_string(c.lower_mass) + " is above --shift-upper " +
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
  if (line.Has("spectra-format")) {
    err << "cluster: option --spectra-format goes with -o (a run of a parameter file writes DTA files)\n";
    return 2;
  }
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

// The output spectra of a clustering from options: one MGF file
// (spectra.mgf, or where --mgf puts it), the DTA files of spectra/, or
// both. The parameter file still names spectra/, so that a run of it
// writes the DTA files as every parameter file's run does.
void ChooseSpectraOutputs(const cli::CommandLine& line, const CPara& para, const std::string& output,
                          JobOptions& job) {
  if (IsPairs(line) || !WritesRepresentatives(para)) return;
  const std::string format = line.Choice("spectra-format", "mgf");
  job.spectrum_files = format != "mgf";
  if (format != "dta" && job.mgf.empty()) job.mgf = path::Join(output, kSpectraMgf);
}

void ReportOptionsRun(const std::string& output, const CPara& para, const std::string& para_path, bool pairs,
                      const JobOptions& job, std::ostream& out) {
  out << "Parameter file: " << para_path << "\n";
  if (pairs) {
    out << "Pair file: " << path::Join(output, kPairFile) << "\n"
        << "Mass-shift table: " << path::Join(output, "temp.temp") << "\n";
  } else {
    out << "Cluster file: " << path::Join(output, kClusterFile) << "\n";
    if (job.spectrum_files && WritesRepresentatives(para))
      out << "Spectra: " << path::Join(output, kSpectraFolder) << "\n";
    if (!job.mgf.empty()) out << "MGF file: " << job.mgf << "\n";
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
      "(temp.temp), and the spectra (spectra.mgf, or DTA files in spectra/); what an\n"
      "earlier run wrote there goes first. Inputs: mzML, mzXML, MGF, MS2, DTAS, PKL\n"
      "files or DTA folders; several inputs are clustered together.\n"
      "With a parameter file a failure also leaves error_happened.error.");
  namespace standard = cli::standard;
  line.Add(standard::Output());
  line.Add(cli::Path("write-para", "FILE", "only write the parameter file the options describe"));
  line.Add(cli::Path("out-directory", "DIR", "with --write-para: folder for the clustered spectra (-o: DIR/spectra)"));
  line.Add(cli::Path("cluster-result", "FILE", "with --write-para: the cluster or pair file (-o: in DIR)"));
  line.Add(cli::Choice("type", {"clusters", "pairs"}, "clustering, or spectral pair search (or cluster_type 0, 1)",
                       "clusters")
               .Numbered());
  line.Add(cli::Integer("small-peaks-count-filter", "N", "drop spectra with fewer peaks", "10").Range(0, INT32_MAX));
  line.Add(cli::Choice("peak-select-method", kPeakSelectMethods, "peaks kept: top N overall, top M per window, or both",
                       "both")
               .Numbered());
  line.Add(cli::Integer("whole-top-peak-num", "N", "peaks kept overall", "50").Range(0, INT32_MAX));
  line.Add(cli::Integer("part-top-peak-num", "M", "peaks kept per window", "5").Range(0, kMaxPeaksPerWindow));
  line.Add(cli::Integer("part-top-peak-per-num", "W", "window width", "100").Range(1, INT32_MAX).Unit("Da"));
  line.Add(cli::Choice("similar-method", SimilarMethodChoices(),
                       "similarity method, by name or number (pairs only: clustering always scores \"Dot Product\" "
                       "at 0.5 Da)",
                       "\"Dot Product Mod\" for pairs")
               .Numbered());
  line.Add(standard::FragmentTolerance("0.5Da", "pairs only: clustering always scores at 0.5 Da"));
  line.Add(standard::PrecursorTolerance("20ppm"));
  line.Add(cli::Choice("consensus-type", kConsensusTypes,
                       "the output spectra: consensus spectra, the most similar member, both, or none", "consensus")
               .Numbered());
  line.Add(cli::ToleranceOption("consensus-tol", "consensus fragment tolerance (kept in the file)", "0.4Da"));
  line.Add(cli::Real("threshold", "X", "similarity threshold, also with --ids (two decimals are kept)", "0.6")
               .Range(0, 1));
  line.Add(cli::Choice("clustering-mode", {"single", "precise"},
                       "clusters: single linkage within blocks, or precise: group average of every pair within the "
                       "precursor tolerance, charges mixed (fewer wrong merges, more spectra clustered)",
                       "single"));
  line.Add(cli::Integer("shift-lower", "DA", "pairs: smallest precursor mass difference", std::to_string(kPairShiftLower))
               .Range(-kMaxShiftWindow, kMaxShiftWindow)
               .Unit("Da")
               .Alias("lower-mass"));
  line.Add(cli::Integer("shift-upper", "DA", "pairs: largest precursor mass difference", std::to_string(kPairShiftUpper))
               .Range(-kMaxShiftWindow, kMaxShiftWindow)
               .Unit("Da")
               .Alias("upper-mass"));
  line.Add(cli::Real("cluster-masses-tol", "DA", "pairs: width of the mass-shift groups", "0.01").Range(0, 1e9).Unit("Da"));
  line.Add(cli::Flag("score-log",
                     "pairs: also append the square root of every score to score.txt (one line per pair in the "
                     "mass window: gigabytes on large runs, and every pair must then be scored)"));
  line.Add(cli::Flag("decoy-pairs",
                     "pairs: also score each spectrum against decoys of its partners (peaks moved 3 to 15 Da) and "
                     "print the expected number of false pairs above the threshold"));
  line.Add(cli::Flag("shift-search", "with a pairs parameter file: the shift search instead"));
  line.Add(standard::Threads());
  line.Add(cli::Choice("spectra-format", {"mgf", "dta", "both"},
                       "output spectra as one MGF (spectra.mgf), DTA files (spectra/) or both", "mgf"));
  line.Add(cli::Path("mgf", "FILE",
                     "also write the output spectra into one MGF file (type clusters; -o: in place of spectra.mgf)"));
  line.Add(cli::Text("px", "ACCESSION", "clusters: USIs of this ProteomeXchange dataset (PXD000561) in clusters.tsv and --mgf"));
  line.Add(standard::NoWait("pairs: also the working folder"));
  line.Add(standard::Quiet());
  line.Add(standard::Ids(
      "clusters: for the quality figures of --curve and --target-incorrect; pairs, with --network: the peptides of "
      "the network's nodes; repeat it for several runs' files, whose identifications are joined (a spectrum "
      "identified differently by two: the better score)"));
  line.Add(standard::Fdr());
  line.Add(standard::IdThreshold());
  line.Add(standard::DecoyPrefix());
  line.Add(cli::Path("curve", "FILE",
                     "clusters: the threshold curve of this one run (threshold, clustered_ratio, incorrect_ratio, "
                     "completeness, clusters) from 1.00 down to the threshold"));
  line.Add(cli::Path("curve-plot", "FILE",
                     "clusters: the threshold curve as a picture: clustered ratio against incorrect ratio, "
                     "thresholds marked")
               .Extensions({"png", "svg"}));
  line.Add(cli::Path("plot", "FILE",
                     "pairs: the mass-shift histogram as a picture, the shifts of most pairs named from Unimod")
               .Extensions({"png", "svg"}));
  line.Add(cli::Real("target-incorrect", "X",
                     "clusters, with --ids: cluster at the lowest threshold (down to --threshold, else 0.30) whose "
                     "incorrect ratio stays at or below X, and write it into the parameter file")
               .Range(0, 1)
               .Exclusive());
  network::AddNetworkOptions(line);
  return line;
}

bool WantsOptionsForm(const cli::CommandLine& line) { return line.Has("output") || line.Has("write-para"); }

bool ReadJobOptions(const cli::CommandLine& line, JobOptions& options) {
  options.shift_search = line.Has("shift-search");
  options.no_wait = line.Has("no-wait");
  options.decoy_pairs = line.Has("decoy-pairs");
  options.threads = static_cast<int>(line.Integer("threads", options.threads));
  options.mgf = line.Value("mgf");
  options.ids = line.Values("ids");
  options.px = line.Value("px");
  options.curve = line.Value("curve");
  options.curve_plot = line.Value("curve-plot");
  options.plot = line.Value("plot");
  options.id_filter.fdr_level = line.Value("fdr");
  options.id_filter.score_threshold = line.Value("id-threshold");
  options.id_filter.decoy_prefix = line.Value("decoy-prefix");
  return true;
}

std::string ReadQualityOptions(const cli::CommandLine& line, JobOptions& options) {
  if (std::string refused = network::ReadNetworkOptions(line, options.network); !refused.empty()) return refused;
  if (line.Has("px")) {
    if (std::string refused = CheckAccession(line.Value("px")); !refused.empty()) return "option --px: " + refused;
    if (IsPairs(line)) return "option --px goes with type clusters";
  }
  if (line.Has("fdr") || line.Has("decoy-prefix") || line.Has("id-threshold")) {
    if (!line.Has("ids")) return "options --fdr, --id-threshold and --decoy-prefix filter the identifications of --ids";
    CIdentificationFilter filter;
    if (std::string message; !FilterFromChoice(options.id_filter, filter, message)) return "option --fdr: " + message;
  }
  if (!line.Has("target-incorrect")) return std::string();
  if (!line.Has("ids")) return "option --target-incorrect needs identifications (--ids)";
  options.target_incorrect = line.Real("target-incorrect");
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
  // Nothing to run on, or a run where the configuration belongs, is a
  // wrong command line: said, and nothing written (no marker either).
  if (files.empty()) {
    err << line.Usage();
    return 2;
  }
  if (files.size() == 1 && !path::IsDirectory(files[0]) && spectrumfile::IsSpectrumFile(files[0])) {
    err << "cluster: " << path::FileName(files[0]) << " is a spectrum file: give -o FOLDER\n" << line.Usage();
    return 2;
  }
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
  if (pairs) {
    para.cluster->lower_mass = kPairShiftLower;
    para.cluster->upper_mass = kPairShiftUpper;
    para.similarity->similar_method = kPairMethod;
  }
  ApplyOptions(line, para);
  error.clear();
  return true;
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
  job.search_floor = line.Real("threshold", job.search_floor);
  // Relative paths are the caller's: resolved before the run moves into
  // the output folder.
  std::vector<std::string*> given_paths = {&job.mgf, &job.curve, &job.curve_plot, &job.plot};
  for (std::string& ids : job.ids) given_paths.push_back(&ids);
  for (std::string* given : given_paths) {
    if (!given->empty()) *given = path::Absolute(*given);
  }
  if (const std::string clash = CheckPooledRunNames(inputs); !clash.empty()) {
    err << "cluster: " << clash << "\n";
    return 2;
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
  ChooseSpectraOutputs(line, para, output, job);
  if (const int status = CheckOutputsOfOptions(para, job, output, err); status >= 0) return status;

  safefile::CFolderLock lock;
  if (const int status = TakeOutputFolder(output, para, lock, job, err); status >= 0) return status;
  if (inputs.size() > 1) {
    // Each spectrum keeps its own run's row, carried beside the pooled file
    // in a scratch file of the output folder.
    job.pooled_origins = std::make_shared<COriginTable>();
    std::string error;
    if (!job.pooled_origins->Open(output, error)) {
      err << "cluster: " << error << "\n";
      return 1;
    }
    if (const std::string refused = PoolInputs(inputs, data_path, line.Has("quiet"), err, job.pooled_origins.get());
        !refused.empty()) {
      err << "cluster: " << refused << "\n";
      return 1;
    }
  }
  if (!WriteParaOfOptions(line, para, job.parameter_file, err)) return 1;
  if (line.Has("write-para") && !WriteParaOfOptions(line, para, path::Absolute(line.Value("write-para")), err))
    return 1;
  if (const int status = RunInOutputFolder(output, job, line.Has("quiet"), err); status != 0) return status;
  ReportOptionsRun(output, para, job.parameter_file, IsPairs(line), job, out);
  return 0;
}

int RunParsedCommandLine(const cli::CommandLine& line, std::ostream& out, std::ostream& err) {
  if (network::WantsNetworkForm(line)) return network::RunNetworkForm(line, out, err);
  if (WantsOptionsForm(line)) return RunOptionsForm(line, out, err);
  // The parameter-file contract, exactly as the desktop program relies on it.
  return RunParameterFileForm(line, out, err);
}

}  // namespace clusterjob
