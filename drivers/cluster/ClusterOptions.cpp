#include "drivers/cluster/ClusterOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

#include "clustering/Para.h"
#include "common/ErrorMarker.h"
#include "common/NameTables.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "drivers/cluster/ClusterJob.h"
#include "spectra/MS2Input.h"
#include "spectra/MgfWriter.h"

namespace clusterjob {

namespace fs = std::filesystem;

namespace {

constexpr const char* kParaName = "cluster.para";
constexpr const char* kCombinedInput = "inputs.mgf";

// A word of a small table, or its index.
int Choice(const std::string& text, std::initializer_list<const char*> words) {
  long index = 0;
  if (cli::ParseWholeNumber(text, index)) return index >= 0 && index < static_cast<long>(words.size()) ? static_cast<int>(index) : -1;
  int k = 0;
  for (const char* w : words) {
    if (text::EqualsNoCase(text, w)) return k;
    ++k;
  }
  return -1;
}

// "20ppm", "0.5Da", "0.5 da" or a bare number (daltons).
bool Tolerance(const std::string& text, double& value, std::string& unit) {
  std::string t = text::Trim(text);
  unit = "Da";
  for (const char* u : {"ppm", "da"}) {
    const std::size_t n = std::string(u).size();
    if (t.size() > n && text::EqualsNoCase(t.substr(t.size() - n), u)) {
      unit = std::string(u) == "ppm" ? "ppm" : "Da";
      t = text::Trim(t.substr(0, t.size() - n));
      break;
    }
  }
  return cli::ParseFiniteNumber(t, value) && value >= 0;
}

std::string Bad(const std::string& option, const std::string& value, const std::string& what) {
  return "option --" + option + ": " + what + ": \"" + value + "\"";
}

// Spectra of several inputs, pooled into one MGF file whose titles are their
// names, so that one parameter file can name them all.
bool PoolInputs(const std::vector<std::string>& inputs, const std::string& path, std::ostream& err) {
  std::vector<msdata::CSpectrum> all;
  for (const std::string& input : inputs) {
    MS2FormatType type = MS2_FORMAT_DTA;
    std::string why;
    if (!path::IsDirectory(input) && !CMS2InputFactory::FormatFromPath(input, type, why)) {
      err << "cluster: " << why << "\n";
      return false;
    }
    std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, true));
    if (!importer || !importer->Load(input, all, false)) {
      err << "cluster: cannot load spectra from " << input << ": " << (importer ? importer->LastError() : "") << "\n";
      return false;
    }
    err << "Read " << input << "\n";
  }
  std::string error;
  if (!spectra::WriteMgfFile(path, all, error)) {
    err << "cluster: " << error << "\n";
    return false;
  }
  return true;
}

}  // namespace

cli::CommandLine ClusterCommandLine() {
  cli::CommandLine line(
      "cluster",
      {"[--shift-search] [--threads N] [--mgf FILE] [--no-wait] <parameter file>",
       "[options] <spectrum file or DTA folder>... -o <output folder>",
       "--write-para FILE [options] [<spectrum file or DTA folder>...]",
       "--plan N <parameter file> <work folder> [--cuts P,...]   (parts of a job, workflows/cluster.smk)",
       "--merge <work folder>                                     (one run's files from the parts)"},
      "Clusters similar MS/MS spectra (type clusters) or searches spectral pairs whose\n"
      "precursor masses differ (type pairs). With options it writes into the output\n"
      "folder the parameter file it used (cluster.para), the cluster file\n"
      "(clusters.csv) or the pair file (pairs.csv) with the mass-shift table\n"
      "(temp.temp), and the spectra (spectra/). Inputs: mzML, mzXML, MGF, MS2, DTAS,\n"
      "PKL files or DTA folders; several inputs are clustered together.\n"
      "With a parameter file a failure also leaves error_happened.error.");
  line.Add({"output", 'o', "DIR", "", "output folder (created when missing)"});
  line.Add({"write-para", 0, "FILE", "", "only write the parameter file the options describe"});
  line.Add({"type", 0, "clusters|pairs", "clusters", "clustering, or spectral pair search"});
  line.Add({"small-peaks-count-filter", 0, "N", "10", "drop spectra with fewer peaks"});
  line.Add({"peak-select-method", 0, "M", "2", "0 top N, 1 top M per window, 2 both"});
  line.Add({"whole-top-peak-num", 0, "N", "50", "peaks kept overall"});
  line.Add({"part-top-peak-num", 0, "M", "5", "peaks kept per window"});
  line.Add({"part-top-peak-per-num", 0, "DA", "100", "window width"});
  line.Add({"similar-method", 0, "NAME|N", "\"Dot Product\"",
            "Intensity Score, Dot Product, Dot Product Mod, Dot Product Half, Dot Product X, Peak Count, "
            "Bonanza"});
  line.Add({"fragment-tol", 0, "TOL", "0.5Da", "fragment ion tolerance (Da or ppm)"});
  line.Add({"precursor-tol", 0, "TOL", "20ppm", "precursor tolerance (Da or ppm)"});
  line.Add({"consensus-type", 0, "TYPE", "consensus", "consensus, most-similar or both"});
  line.Add({"consensus-tol", 0, "TOL", "0.4Da", "consensus fragment tolerance (kept in the file)"});
  line.Add({"threshold", 0, "X", "0.6", "similarity threshold (two decimals are kept)"});
  line.Add({"lower-mass", 0, "DA", "0", "pairs: smallest precursor mass difference"});
  line.Add({"upper-mass", 0, "DA", "0", "pairs: largest precursor mass difference"});
  line.Add({"cluster-masses-tol", 0, "DA", "0.01", "pairs: width of the mass-shift groups"});
  line.Add({"shift-search", 0, "", "", "with a pairs parameter file: the shift search instead"});
  line.Add({"threads", 0, "N", "all", "scoring threads (the files do not depend on it)"});
  line.Add({"mgf", 0, "FILE", "", "also write the output spectra into one MGF file (type clusters)"});
  line.Add({"no-wait", 0, "", "", "pairs: fail at once when another run uses the working folder"});
  line.Add({"quiet", 'q', "", "", "no progress on standard error (options form)"});
  return line;
}

bool WantsOptionsForm(const cli::CommandLine& line) { return line.Has("output") || line.Has("write-para"); }

bool ParaTextFromOptions(const cli::CommandLine& line, const std::string& data_path, int data_type,
                         const std::string& output_folder, std::string& para_text, std::string& error) {
  std::ostringstream file, pre, sim, clu, mod;
  const bool pairs = line.Has("type") && Choice(line.Value("type"), {"clusters", "pairs"}) == 1;
  if (line.Has("type") && Choice(line.Value("type"), {"clusters", "pairs"}) < 0) {
    error = Bad("type", line.Value("type"), "not clusters or pairs");
    return false;
  }
  file << "data_type=" << data_type << "\ndata_directory=" << data_path << "\n";
  if (!output_folder.empty()) {
    file << "out_directory=" << path::Join(output_folder, "spectra") << "\ncluster_result="
         << path::Join(output_folder, pairs ? "pairs.csv" : "clusters.csv") << "\n";
  }
  clu << "cluster_type=" << (pairs ? 1 : 0) << "\n";

  struct IntegerKey {
    const char* option;
    const char* key;
    std::ostringstream* section;
  };
  for (const IntegerKey& k : {IntegerKey{"small-peaks-count-filter", "small_peaks_count_filter", &pre},
                              IntegerKey{"whole-top-peak-num", "whole_top_peak_num", &pre},
                              IntegerKey{"part-top-peak-num", "part_top_peak_num", &pre},
                              IntegerKey{"part-top-peak-per-num", "part_top_peak_per_num", &pre},
                              IntegerKey{"lower-mass", "lower_mass", &mod},
                              IntegerKey{"upper-mass", "upper_mass", &mod}}) {
    if (!line.Has(k.option)) continue;
    long v = 0;
    if (!cli::ParseWholeNumber(line.Value(k.option), v)) {
      error = Bad(k.option, line.Value(k.option), "not a whole number");
      return false;
    }
    *k.section << k.key << "=" << v << "\n";
  }
  if (line.Has("peak-select-method")) {
    const int m = Choice(line.Value("peak-select-method"), {"top-n", "top-m-per-window", "both"});
    if (m < 0) {
      error = Bad("peak-select-method", line.Value("peak-select-method"), "not 0, 1, 2, top-n, top-m-per-window or both");
      return false;
    }
    pre << "peak_select_method=" << m << "\n";
  }
  if (line.Has("similar-method")) {
    const std::string v = line.Value("similar-method");
    long index = names::SimilarMethodIndex(v);
    if (index < 0 && !(cli::ParseWholeNumber(v, index) && index >= 0 && index < 8)) {
      error = Bad("similar-method", v, "not a similarity method name or number 0-7");
      return false;
    }
    sim << "similar_method=" << index << "\n";
  }
  if (line.Has("consensus-type")) {
    const int t = Choice(line.Value("consensus-type"), {"consensus", "most-similar", "both"});
    if (t < 0) {
      error = Bad("consensus-type", line.Value("consensus-type"), "not consensus, most-similar, both or 0-2");
      return false;
    }
    clu << "consensus_type=" << t << "\n";
  }
  struct ToleranceKey {
    const char* option;
    const char* key;
    std::ostringstream* section;
  };
  for (const ToleranceKey& k : {ToleranceKey{"fragment-tol", "fragment_ion_tol", &sim},
                                ToleranceKey{"precursor-tol", "precursor_ion_tol", &clu},
                                ToleranceKey{"consensus-tol", "consensus_fragment_tol", &clu}}) {
    if (!line.Has(k.option)) continue;
    double v = 0;
    std::string unit;
    if (!Tolerance(line.Value(k.option), v, unit)) {
      error = Bad(k.option, line.Value(k.option), "not a tolerance such as 0.5Da or 20ppm");
      return false;
    }
    char number[64];
    std::snprintf(number, sizeof number, "%.17g", v);
    *k.section << k.key << "=" << number << "\n" << k.key << "_type=" << unit << "\n";
  }
  for (const char* option : {"threshold", "cluster-masses-tol"}) {
    if (!line.Has(option)) continue;
    double v = 0;
    if (!cli::ParseFiniteNumber(line.Value(option), v)) {
      error = Bad(option, line.Value(option), "not a number");
      return false;
    }
    char number[64];
    std::snprintf(number, sizeof number, "%.17g", v);
    (std::string(option) == "threshold" ? clu : mod)
        << (std::string(option) == "threshold" ? "threshold" : "cluster_masses_tol") << "=" << number << "\n";
  }
  para_text = "[clustername]\ncluster_name=\n[file]\n" + file.str() + "[preprocessing]\n" + pre.str() +
              "[similarity]\n" + sim.str() + "[cluster]\n" + clu.str() + "[modification]\n" + mod.str();
  return true;
}

namespace {

// Writes the parameter file the options describe, in the reader's own
// layout: the text is read back and written as every job's file is.
bool WriteParaFromOptions(const cli::CommandLine& line, const std::string& data_path, int data_type,
                          const std::string& output_folder, const std::string& para_path, std::ostream& err) {
  std::string text, error;
  if (!ParaTextFromOptions(line, data_path, data_type, output_folder, text, error)) {
    err << "cluster: " << error << "\n";
    return false;
  }
  CPara para;
  if (!safefile::WriteWholeFile(para_path, text, &error) || !para.ReadParaFile(para_path) ||
      !para.WriteParaFile(para_path)) {
    err << "cluster: cannot write the parameter file " << para_path << (error.empty() ? "" : ": " + error) << "\n";
    return false;
  }
  if (line.Has("threshold") && std::fabs(para.cluster->threshold - std::atof(line.Value("threshold").c_str())) > 1e-12) {
    char kept[32];
    std::snprintf(kept, sizeof kept, "%.2f", para.cluster->threshold);
    err << "cluster: note: the parameter file keeps two decimals: threshold " << kept << "\n";
  }
  return true;
}

}  // namespace

int RunOptionsForm(const cli::CommandLine& line, std::ostream& out, std::ostream& err) {
  // Relative paths are the caller's: resolved before the run moves into
  // the output folder.
  const std::string mgf_path = line.Has("mgf") ? path::Absolute(line.Value("mgf")) : std::string();
  std::vector<std::string> inputs;
  for (const std::string& p : line.Positionals()) inputs.push_back(path::Absolute(p));
  for (const std::string& p : inputs) {
    if (!path::Exists(p)) {
      err << "cluster: no such spectrum file or folder: " << p << "\n";
      return 2;
    }
  }
  if (line.Has("write-para") && !line.Has("output")) {
    int type = MS2_FORMAT_DTA;
    if (inputs.size() > 1) {
      err << "cluster: --write-para names one input (several are pooled only when run with -o)\n";
      return 2;
    }
    if (inputs.size() == 1 && !path::IsDirectory(inputs[0])) {
      MS2FormatType t = MS2_FORMAT_DTA;
      std::string why;
      if (!CMS2InputFactory::FormatFromPath(inputs[0], t, why)) {
        err << "cluster: " << why << "\n";
        return 2;
      }
      type = t;
    }
    const std::string para_path = path::Absolute(line.Value("write-para"));
    if (!WriteParaFromOptions(line, inputs.empty() ? "" : inputs[0], type, "", para_path, err)) return 1;
    out << "Parameter file: " << para_path << "\n";
    return 0;
  }
  if (inputs.empty()) {
    err << "cluster: no spectrum file or DTA folder given\n" << line.Usage();
    return 2;
  }
  const std::string output = path::Absolute(line.Value("output"));
  if (!path::CreateDirectory(output)) {
    err << "cluster: cannot create the output folder: " << output << "\n";
    return 1;
  }
  std::string data_path = inputs[0];
  int data_type = MS2_FORMAT_DTA;
  if (inputs.size() > 1) {
    data_path = path::Join(output, kCombinedInput);
    data_type = MS2_FORMAT_MGF;
    if (!PoolInputs(inputs, data_path, err)) return 1;
  } else if (!path::IsDirectory(data_path)) {
    MS2FormatType t = MS2_FORMAT_DTA;
    std::string why;
    if (!CMS2InputFactory::FormatFromPath(data_path, t, why)) {
      err << "cluster: " << why << "\n";
      return 2;
    }
    data_type = t;
  }
  const std::string para_path = path::Join(output, kParaName);
  if (!WriteParaFromOptions(line, data_path, data_type, output, para_path, err)) return 1;
  if (line.Has("write-para") && !WriteParaFromOptions(line, data_path, data_type, output,
                                                      path::Absolute(line.Value("write-para")), err))
    return 1;

  std::error_code ec;
  fs::current_path(output, ec);
  if (ec) {
    err << "cluster: cannot work in " << output << ": " << ec.message() << "\n";
    return 1;
  }
  std::vector<std::string> args;
  if (line.Has("threads")) args = {"--threads", line.Value("threads")};
  if (line.Has("mgf")) args.insert(args.end(), {"--mgf", mgf_path});
  if (line.Has("no-wait")) args.push_back("--no-wait");
  args.push_back(para_path);

  // The engine's console is progress here.
  std::ostringstream said;
  int status = 0;
  {
    cli::CDivertedStandardOutput diverted(line.Has("quiet"));
    status = Run(args, said);
  }
  marker::RemoveErrorMarker();  // the exit status says it here
  if (status != 0) {
    err << said.str();
    return status;
  }
  if (!line.Has("quiet")) err << said.str();
  const bool pairs = line.Has("type") && Choice(line.Value("type"), {"clusters", "pairs"}) == 1;
  out << "Parameter file: " << para_path << "\n";
  if (pairs) {
    out << "Pair file: " << path::Join(output, "pairs.csv") << "\n"
        << "Mass-shift table: " << path::Join(output, "temp.temp") << "\n";
  } else {
    out << "Cluster file: " << path::Join(output, "clusters.csv") << "\n"
        << "Spectra: " << path::Join(output, "spectra") << "\n";
    if (!mgf_path.empty()) out << "MGF file: " << mgf_path << "\n";
  }
  return 0;
}

}  // namespace clusterjob
