#include "drivers/cluster/JobChecks.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "clustering/Para.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"

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

// Representative types other than consensus, most similar and both write
// no consensus spectra and no copies of representatives.
bool WritesRepresentatives(const CPara& para) {
  if (!para.representative_spectra) return true;
  const Representative_Spectra type = para.representative_spectra->consensus_type;
  return type >= REPRESENTATIVE_CONSENSUS && type <= REPRESENTATIVE_BOTH;
}

}  // namespace

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
  const std::string& result = data.cluster_result;
  if (path::IsDirectory(result)) return "The result file is a folder: " + result;
  if (safefile::SameFile(result, data.data_directory) ||
      (path::IsDirectory(data.data_directory) && IsSameOrInside(result, data.data_directory)))
    return "The result file would overwrite the input: " + result;

  const bool writes_spectra = para.cluster && para.cluster->cluster_type == CLUSTER_SIMILARITY;
  if (!writes_spectra) return {};
  const std::string& out = data.out_directory;
  // Without representatives to write, a job needs no folder: it writes the
  // cluster file, and copies lone spectra only into a folder that is named.
  if (out.empty() && !WritesRepresentatives(para)) return {};
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

std::string CheckMgfTarget(const std::string& mgf, const CPara& para, const std::string& parameter_file) {
  if (mgf.empty()) return {};
  if (para.cluster && para.cluster->cluster_type != CLUSTER_SIMILARITY)
    return "Only a clustering (cluster_type=0) writes an MGF file of its spectra; a pair search writes none: " + mgf;
  if (path::IsDirectory(mgf)) return "The MGF file is a folder: " + mgf;
  const CSpectraProcess& data = *para.spectra_process;
  if (SamePlace(mgf, parameter_file)) return "The MGF file would overwrite the parameter file: " + mgf;
  if (SamePlace(mgf, data.cluster_result)) return "The MGF file would overwrite the cluster file: " + mgf;
  if (SamePlace(mgf, data.data_directory) ||
      (path::IsDirectory(data.data_directory) && IsSameOrInside(mgf, data.data_directory)))
    return "The MGF file would overwrite the input: " + mgf;
  if (!data.out_directory.empty() && IsSameOrInside(mgf, data.out_directory))
    return "The MGF file would lie among the clustered spectra in " + data.out_directory + ": " + mgf;
  return {};
}

}  // namespace clusterjob
