#include "drivers/cluster/JobChecks.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "clustering/Para.h"
#include "clustering/SpectralPairSearch.h"
#include "common/PathUtil.h"
#include "common/RunSummary.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "drivers/cluster/ClusterJob.h"

namespace clusterjob {

namespace fs = std::filesystem;

namespace {

std::string Range(const char* key, double low, double high) {
  char text[160];
  std::snprintf(text, sizeof text, "Parameter %s must be a number in [%g, %g]", key, low, high);
  return text;
}

bool Within(double v, double low, double high) { return std::isfinite(v) && v >= low && v <= high; }

// True when `inner` is `outer` or lies below it (both existing or not,
// compared after resolving what exists).
bool IsSameOrInside(const std::string& inner, const std::string& outer) {
  std::error_code ec;
  const fs::path a = fs::weakly_canonical(inner, ec);
  if (ec) return false;
  const fs::path b = fs::weakly_canonical(outer, ec);
  if (ec) return false;
  auto ia = a.begin();
  for (auto ib = b.begin(); ib != b.end(); ++ib, ++ia) {
    if (ib->empty()) continue;  // a trailing separator
    if (ia == a.end() || *ia != *ib) return false;
  }
  return true;
}

// True when the two paths name one file, existing or not.
bool SamePlace(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  return safefile::SameFile(a, b) || (IsSameOrInside(a, b) && IsSameOrInside(b, a));
}

}  // namespace

bool WritesRepresentatives(const CPara& para) {
  if (!para.representative_spectra) return true;
  const Representative_Spectra type = para.representative_spectra->consensus_type;
  return type >= REPRESENTATIVE_CONSENSUS && type <= REPRESENTATIVE_BOTH;
}

std::string CheckThreads(int threads) {
  if (threads <= kMaxThreads) return {};
  return "Too many threads: " + std::to_string(threads) + " (--threads takes 1 to " + std::to_string(kMaxThreads) +
         ")";
}

std::string CheckParameterLimits(const CPara& para) {
  const double huge = 1e9;
  if (para.peak_select) {
    const CPeakSelect& p = *para.peak_select;
    // Each window keeps this many slots and scans them for every peak.
    if (p.part_top_peak_num > kMaxPeaksPerWindow) return Range("part_top_peak_num", 0, kMaxPeaksPerWindow);
  }
  if (para.similarity && !Within(para.similarity->fragment_ion_tol, 0, huge))
    return Range("fragment_ion_tol", 0, huge);
  if (para.representative_spectra) {
    const CRepresentativeSpectra& r = *para.representative_spectra;
    if (!Within(r.consensus_fragment_tol, 0, huge)) return Range("consensus_fragment_tol", 0, huge);
  }
  if (para.cluster) {
    const CCluster& c = *para.cluster;
    if (!Within(c.precursor_ion_tol, 0, huge)) return Range("precursor_ion_tol", 0, huge);
    // Scores lie in [0, 1]: a threshold outside merges everything or nothing.
    if (!Within(c.threshold, 0, 1)) return Range("threshold", 0, 1);
    if (c.cluster_type == CLUSTER_SIMILARITY && c.clustering_mode == CLUSTERING_UNKNOWN)
      return "Parameter clustering_mode is neither single nor precise";
    if (c.cluster_type == CLUSTER_SPECTRAL_PAIR) {
      if (!Within(c.lower_mass, -kMaxShiftWindow, kMaxShiftWindow))
        return Range("lower_mass", -kMaxShiftWindow, kMaxShiftWindow);
      if (!Within(c.upper_mass, -kMaxShiftWindow, kMaxShiftWindow))
        return Range("upper_mass", -kMaxShiftWindow, kMaxShiftWindow);
      if (!Within(c.cluster_masses_tol, 0, huge)) return Range("cluster_masses_tol", 0, huge);
      if (c.lower_mass > c.upper_mass) {
        return "Parameter lower_mass (" + std::to_string(c.lower_mass) + ") is above upper_mass (" +
               std::to_string(c.upper_mass) + "): no pair can lie between them";
      }
    }
  }
  return {};
}

std::string CheckJobPaths(const CPara& para, bool create_spectra_folder) {
  const CSpectraProcess& data = *para.spectra_process;
  const bool writes_spectra = para.cluster && para.cluster->cluster_type == CLUSTER_SIMILARITY;
  // Without representatives to write, a job writes the cluster file alone
  // and needs no folder, whatever out_directory says.
  if (!writes_spectra || !WritesRepresentatives(para)) return {};
  const std::string& out = data.out_directory;
  if (out.empty()) return "No folder for the clustered spectra (out_directory) is given";
  if (safefile::SameFile(out, data.data_directory) ||
      (data.data_type == MS2_FORMAT_DTA && IsSameOrInside(out, data.data_directory)))
    return "The folder for the clustered spectra is the data folder or inside it: " + out +
           " (a later run would read them as input)";
  if (!create_spectra_folder && !path::Exists(out)) return {};
  if (!path::CreateDirectory(out)) return "Cannot create the folder for the clustered spectra: " + out;
  if (::access(out.c_str(), W_OK | X_OK) != 0) return "Cannot write into the folder for the clustered spectra: " + out;
  return {};
}

JobFiles FilesOfJob(const CPara& para, const JobOptions& options) {
  const CSpectraProcess& data = *para.spectra_process;
  const bool clustering = para.cluster && para.cluster->cluster_type == CLUSTER_SIMILARITY;
  const bool pair_search = para.cluster && para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR;
  using Source = JobFile::Source;
  JobFiles files;
  auto input = [&files](const char* what, const std::string& p, Source source) {
    if (!p.empty()) files.inputs.push_back({what, path::Absolute(p), source});
  };
  auto output = [&files](const char* what, const std::string& p, Source source) {
    if (!p.empty()) files.outputs.push_back({what, path::Absolute(p), source});
  };
  input("parameter file", options.parameter_file, Source::kParameterFile);
  input("input", data.data_directory, Source::kParameterFile);
  for (const std::string& pooled : options.pooled_inputs) input("input", pooled, Source::kParameterFile);
  for (const std::string& ids : options.ids) input("identifications", ids, Source::kOption);
  if (pair_search && !options.network.path.empty()) {
    input("cluster file of the network", options.network.clusters, Source::kOption);
    input("propagation table", options.network.propagated, Source::kOption);
    for (const std::string& run : options.network.runs) input("run of the network", run, Source::kOption);
  }

  output(clustering ? "cluster file" : "pair file", data.cluster_result, Source::kParameterFile);
  if (clustering) output("cluster table", ClusterTablePath(data.cluster_result), Source::kParameterFile);
  if (pair_search && !options.shift_search) {
    const std::string& folder = options.working_folder;
    output("mass-shift table", path::Join(folder, CSpectralPairSearch::kHistogramFile), Source::kWorkingFolder);
    if (para.cluster->score_log)
      output("score log", path::Join(folder, CSpectralPairSearch::kScoreLog), Source::kWorkingFolder);
  }
  output("MGF file", options.mgf, Source::kOption);
  output("curve file", options.curve, Source::kOption);
  output("curve picture", options.curve_plot, Source::kOption);
  output("histogram picture", options.plot, Source::kOption);
  output("network file", options.network.path, Source::kOption);
  if (!options.network.path.empty())
    output(kNetworkSummary, summary::SummaryPathFor(options.network.path), Source::kOption);
  // Last: the summary is written when everything else is.
  if (!data.cluster_result.empty())
    output(kRunSummary, summary::SummaryPathFor(data.cluster_result), Source::kParameterFile);
  if (clustering && WritesRepresentatives(para) && !data.out_directory.empty())
    files.spectra_folder = path::Absolute(data.out_directory);
  return files;
}

std::string CheckFileClashes(const JobFiles& files) {
  for (auto o = files.outputs.begin(); o != files.outputs.end(); ++o) {
    for (const JobFile& in : files.inputs) {
      // Everything in a data folder is input, present or not yet.
      const bool inside = o->source != JobFile::Source::kWorkingFolder && path::IsDirectory(in.path) &&
                          IsSameOrInside(o->path, in.path);
      if (inside || SamePlace(o->path, in.path))
        return "The " + o->what + " would overwrite the " + in.what + ": " + o->path;
    }
    for (auto earlier = files.outputs.begin(); earlier != o; ++earlier) {
      if (SamePlace(o->path, earlier->path))
        return "The " + o->what + " would overwrite the " + earlier->what + ": " + o->path;
    }
    // The spectra's folder holds spectra only: a later step reads all of it.
    if (o->source == JobFile::Source::kOption && !files.spectra_folder.empty() &&
        IsSameOrInside(o->path, files.spectra_folder))
      return "The " + o->what + " would lie among the clustered spectra in " + files.spectra_folder + ": " +
             o->path;
  }
  return {};
}

std::string CheckFileAccess(const JobFiles& files) {
  for (const JobFile& in : files.inputs) {
    std::ifstream probe;
    if (in.source == JobFile::Source::kOption && !text::OpenInput(probe, in.path))
      return "Cannot read the " + in.what + ": " + in.path;
  }
  for (const JobFile& o : files.outputs) {
    if (path::IsDirectory(o.path)) return "The " + o.what + " is a folder: " + o.path;
    if (!safefile::CanWrite(o.path)) return "Cannot write the " + o.what + " into the folder of " + o.path;
  }
  return {};
}

}  // namespace clusterjob
