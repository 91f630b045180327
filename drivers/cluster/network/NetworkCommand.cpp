#include "drivers/cluster/network/NetworkCommand.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "clustering/Para.h"
#include "common/PathUtil.h"
#include "common/RunSummary.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "drivers/cluster/loading/JobLoading.h"
#include "drivers/cluster/network/NetworkFormats.h"
#include "drivers/cluster/network/SpectralNetwork.h"
#include "spectra/MS2Input.h"

namespace network {

namespace {

// The options the network form takes; any other is a usage error there.
constexpr const char* kFormOptions[] = {"network",    "pairs",      "spectra", "clusters",
                                        "ids",        "fdr",        "decoy-prefix", "id-threshold", "propagated",
                                        "run",        "cluster-masses-tol", "small-peaks-count-filter", "quiet"};

std::string UnimodFile() { return path::Join(path::ProgramDirectory(), "Unimod_xml/Unimod_mono.xml"); }

bool Readable(const std::string& file) {
  std::ifstream in;
  return text::OpenInput(in, file);
}

// The spectra of a DTA folder or a spectrum file as the pair search takes
// them: those with fewer than `minimum_peaks` peaks dropped, in its order,
// so that the network is the one the search itself would have written.
std::string LoadSpectra(const std::string& input, long minimum_peaks, std::vector<msdata::CSpectrum>& spectra) {
  if (std::string refused = LoadSpectrumFile(input, spectra); !refused.empty()) return refused;
  const std::size_t minimum = minimum_peaks > 0 ? static_cast<std::size_t>(minimum_peaks) : 0;
  spectra.erase(std::remove_if(spectra.begin(), spectra.end(),
                               [minimum](const msdata::CSpectrum& s) { return s.peaks.size() < minimum; }),
                spectra.end());
  clusterjob::OrderForPairSearch(spectra);
  return std::string();
}

// The network's run summary beside it: what it was built from and how
// many nodes, edges and identified nodes it holds.
std::string WriteSummary(summary::CRunSummary& run, const NetworkInputs& inputs, const SpectralNetwork& built,
                         const std::string& path) {
  const std::pair<const char*, const std::string*> read[] = {
      {"pair file", &inputs.pair_file},
      {"cluster file", &inputs.cluster_file},
      {"propagation table", &inputs.propagated}};
  for (const auto& [role, file] : read) {
    if (!file->empty()) run.AddInput(role, *file);
  }
  for (const std::string& ids : inputs.ids) run.AddInput("identifications", ids);
  for (const std::string& spectra : inputs.runs) run.AddInput("run", spectra);
  run.Parameters().Set("cluster_masses_tol", inputs.unimod_tolerance);
  run.AddOutput("network", path);
  const auto identified = std::count_if(built.nodes.begin(), built.nodes.end(),
                                        [](const NetworkNode& node) { return !node.peptide.empty(); });
  run.Counts().Set("nodes", built.nodes.size());
  run.Counts().Set("edges", built.edges.size());
  run.Counts().Set("identified_nodes", static_cast<long long>(identified));
  const std::string summary_path = summary::SummaryPathFor(path);
  std::string error;
  if (!run.Write(summary_path, &error)) return "Cannot write the run summary: " + summary_path + " (" + error + ")";
  return std::string();
}

std::string BuildAndWrite(const std::vector<msdata::CSpectrum>& spectra, const NetworkInputs& inputs,
                          const std::string& path, std::ostream& out, std::ostream& log,
                          summary::CRunSummary& run) {
  SpectralNetwork built;
  path::RemoveFile(summary::SummaryPathFor(path));
  if (std::string refused = BuildNetwork(spectra, inputs, built, log); !refused.empty()) return refused;
  if (std::string refused = WriteNetwork(built, path); !refused.empty()) return refused;
  if (std::string refused = WriteSummary(run, inputs, built, path); !refused.empty()) return refused;
  out << "Network: " << path << " (" << built.nodes.size() << " nodes, " << built.edges.size() << " edges)\n";
  return std::string();
}

}  // namespace

void AddNetworkOptions(cli::CommandLine& line) {
  line.Add(cli::Path("network", "FILE",
                     "pairs: also write the spectral network, GraphML (.graphml) or Cytoscape JSON (.cyjs): spectra "
                     "(or clusters) as nodes, the pairs as edges with similarity, mass shift and Unimod names; the "
                     "nodes carry the identifications of --ids and --propagated")
               .Extensions({"graphml", "cyjs"}));
  line.Add(cli::Path("pairs", "FILE", "with --network alone: the pair file of an earlier pair search"));
  line.Add(cli::Path("spectra", "DIR|FILE", "with --pairs: the spectra that search searched"));
  line.Add(cli::Path("clusters", "FILE",
                     "with --network: the cluster file whose output spectra were searched (nodes carry their cluster)"));
  line.Add(cli::Path("propagated", "FILE",
                     "with --network: propagated identifications (the table of propagate --table)"));
  line.Add(cli::Path("run", "FILE",
                     "with --network: the run the spectra came from, for the retention times DTA files lack; "
                     "repeatable (the runs of a pooled search)"));
}

std::string ReadNetworkOptions(const cli::CommandLine& line, NetworkRequest& request) {
  if (!line.Has("network")) {
    if (line.Has("clusters") || line.Has("propagated") || line.Has("run"))
      return "options --clusters, --propagated and --run go with --network";
    return std::string();
  }
  request.path = path::Absolute(line.Value("network"));
  if (line.Has("clusters")) request.clusters = path::Absolute(line.Value("clusters"));
  if (line.Has("propagated")) request.propagated = path::Absolute(line.Value("propagated"));
  for (const std::string& run : line.Values("run")) request.runs.push_back(path::Absolute(run));
  return std::string();
}

std::string CheckNetworkRequest(const NetworkRequest& request, const std::vector<std::string>& ids) {
  if (path::IsDirectory(request.path)) return "The network file is a folder: " + request.path;
  if (::access(path::DirectoryOf(request.path).c_str(), W_OK | X_OK) != 0)
    return "Cannot write the network file into the folder of " + request.path;
  for (const std::string& run : request.runs)
    if (!path::Exists(run)) return "No such run: " + run;
  std::vector<std::string> inputs = {request.clusters, request.propagated};
  inputs.insert(inputs.end(), ids.begin(), ids.end());
  for (const std::string& input : inputs) {
    if (input.empty()) continue;
    if (!Readable(input)) return "Cannot read " + input;
    if (safefile::SameFile(input, request.path)) return "The network file would replace an input: " + input;
  }
  return std::string();
}

std::string WriteSearchNetwork(const std::vector<msdata::CSpectrum>& spectra, const std::string& pair_file,
                               const NetworkRequest& request, const std::vector<std::string>& ids, const CFilterChoice& filter,
                               double mass_tolerance, std::ostream& out) {
  NetworkInputs inputs;
  inputs.pair_file = pair_file;
  inputs.cluster_file = request.clusters;
  inputs.ids = ids;
  inputs.id_filter = filter;
  inputs.propagated = request.propagated;
  inputs.runs = request.runs;
  inputs.unimod_tolerance = mass_tolerance;
  inputs.unimod_file = UnimodFile();
  summary::CRunSummary run("cluster", "network");
  return BuildAndWrite(spectra, inputs, request.path, out, out, run);
}

bool WantsNetworkForm(const cli::CommandLine& line) { return line.Has("pairs"); }

int RunNetworkForm(const cli::CommandLine& line, std::ostream& out, std::ostream& err) {
  const auto usage = [&](const std::string& message) {
    err << "cluster: " << message << "\n" << line.Usage();
    return 2;
  };
  for (const auto& given : line.Given()) {
    if (std::find(std::begin(kFormOptions), std::end(kFormOptions), given.first) == std::end(kFormOptions))
      return usage("option --" + given.first + " does not go with --pairs (the network of an earlier search)");
  }
  if (!line.Positionals().empty()) return usage("the network of an earlier search takes no spectrum files: --spectra");
  for (const char* option : {"network", "pairs", "spectra"}) {
    if (!line.Has(option)) return usage("the network of an earlier search needs --network, --pairs and --spectra");
  }
  if ((line.Has("fdr") || line.Has("decoy-prefix") || line.Has("id-threshold")) && !line.Has("ids"))
    return usage("options --fdr, --id-threshold and --decoy-prefix filter the identifications of --ids");
  NetworkRequest request;
  if (std::string refused = ReadNetworkOptions(line, request); !refused.empty()) return usage(refused);
  // The search's own defaults, as its parameter file reader gives them.
  CPara defaults;
  defaults.ResetToDefaults(CLUSTER_SPECTRAL_PAIR);
  const double tolerance = line.Real("cluster-masses-tol", defaults.cluster->cluster_masses_tol);
  const long minimum_peaks = line.Integer("small-peaks-count-filter", defaults.spectra_process->small_peaks_count_filter);
  std::string error;
  NetworkInputs inputs;
  inputs.pair_file = path::Absolute(line.Value("pairs"));
  inputs.cluster_file = request.clusters;
  for (const std::string& ids : line.Values("ids")) inputs.ids.push_back(path::Absolute(ids));
  inputs.id_filter = {line.Value("fdr"), line.Value("id-threshold"), line.Value("decoy-prefix")};
  if (CIdentificationFilter filter; !FilterFromChoice(inputs.id_filter, filter, error))
    return usage("option --fdr: " + error);
  inputs.propagated = request.propagated;
  inputs.runs = request.runs;
  inputs.unimod_tolerance = tolerance;
  inputs.unimod_file = UnimodFile();
  const std::string spectra_path = path::Absolute(line.Value("spectra"));

  // Refused before any work: nothing is read or written for a network
  // that could not be written.
  std::string refused = CheckNetworkRequest(request, inputs.ids);
  if (refused.empty() && !Readable(inputs.pair_file)) refused = "Cannot read the pair file: " + inputs.pair_file;
  if (refused.empty() && safefile::SameFile(inputs.pair_file, request.path))
    refused = "The network file would replace the pair file: " + inputs.pair_file;
  std::vector<const std::string*> read = {&inputs.pair_file, &inputs.cluster_file, &inputs.propagated,
                                          &spectra_path};
  for (const std::string& spectra : request.runs) read.push_back(&spectra);
  for (const std::string& ids : inputs.ids) read.push_back(&ids);
  for (const std::string* input : read) {
    if (refused.empty() && !input->empty() && safefile::SameFile(*input, summary::SummaryPathFor(request.path)))
      refused = "The network's run summary would replace an input: " + *input;
  }
  if (refused.empty() && !path::Exists(spectra_path)) refused = "No such spectrum file or folder: " + spectra_path;
  if (!refused.empty()) {
    err << "cluster: " << refused << "\n";
    return 1;
  }
  summary::CRunSummary run("cluster", "network");
  run.AddInput("spectra", spectra_path);
  std::ostringstream discarded;
  std::ostream& log = line.Has("quiet") ? discarded : err;
  std::vector<msdata::CSpectrum> spectra;
  if (std::string failed = LoadSpectra(spectra_path, minimum_peaks, spectra); !failed.empty()) {
    err << "cluster: " << failed << "\n";
    return 1;
  }
  log << "Spectra: " << spectra.size() << " from " << spectra_path << "\n";
  if (std::string failed = BuildAndWrite(spectra, inputs, request.path, out, log, run); !failed.empty()) {
    err << "cluster: " << failed << "\n";
    return 1;
  }
  return 0;
}

}  // namespace network
