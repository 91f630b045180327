#include "clustering/Para.h"

#include <array>
#include <cstdio>
#include <istream>
#include <fstream>
#include <memory>
#include <vector>

#include "clustering/ClusterFactory.h"
#include "common/NameTables.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"

namespace {

enum Section { kNone = -1, kClusterName, kFile, kPreprocessing, kSimilarity, kCluster, kModification };

// A tolerance name selects the type whose name contains the value, compared
// without regard to case; later entries win, so an empty value gives the
// last one ("ppm"). A value found in neither leaves `type` unchanged.
void ReadToleranceName(const std::string& value, Tolerance_Type& type) {
  const std::string wanted = text::ToLower(value);
  for (std::size_t k = 0; k < names::kToleranceTypeNames.size(); ++k) {
    if (text::ToLower(names::kToleranceTypeNames[k]).find(wanted) != std::string::npos) {
      type = static_cast<Tolerance_Type>(k);
    }
  }
}

struct KeptLine {
  std::string lower;     // for matching keys and sections
  std::string original;  // for values
};

// The line up to its comment. A "#" that follows a space or tab, or begins
// the line, starts a comment; one inside a word is part of it, as in a
// path "run#1.mgf", which the writer puts into the file as it is.
std::string WithoutComment(const std::string& line) {
  for (std::size_t k = 0; k < line.size(); ++k) {
    if (line[k] == '#' && (k == 0 || line[k - 1] == ' ' || line[k - 1] == '\t')) {
      return line.substr(0, k);
    }
  }
  return line;
}

// First pass: every line without its comment and trailing blanks (empty
// lines included), and the strategy type named by the last "cluster_type="
// line of any section, which decides the object that the keys fill.
std::vector<KeptLine> KeepLines(std::istream& in, int& type) {
  std::vector<KeptLine> lines;
  std::string line;
  while (text::ReadLine(in, line)) {
    KeptLine kept;
    kept.original = text::TrimRight(WithoutComment(line));
    kept.lower = text::ToLower(kept.original);
    if (kept.lower.find("cluster_type=") != std::string::npos) {
      type = text::AtoI(kept.lower.substr(kept.lower.find('=') + 1));
    }
    lines.push_back(std::move(kept));
  }
  return lines;
}

// The section a line names (tested in the order of the names), or kNone.
int SectionNamed(const std::array<std::string, 6>& section_names, const std::string& lower) {
  for (std::size_t k = 0; k < section_names.size(); ++k) {
    if (lower.find(section_names[k]) != std::string::npos) return static_cast<int>(k);
  }
  return kNone;
}

// The keys of each section in the order they are tried: a line is matched
// by substring search and the first key found decides. Keys without an
// action are recognised and carry nothing the job needs ("cluster_name=",
// "scale=" is always the square-root scaling, and only one clustering
// method exists). Keys of the strategy are ignored when there is none.
struct KeyRule {
  Section section;
  const char* key;
  void (*apply)(CPara& para, const std::string& value);
};

const KeyRule kKeyRules[] = {
    {kClusterName, "cluster_name=", nullptr},
    {kFile, "data_type=",
     [](CPara& p, const std::string& v) { p.spectra_process->data_type = static_cast<MS2FormatType>(text::AtoI(v)); }},
    {kFile, "data_directory=", [](CPara& p, const std::string& v) { p.spectra_process->data_directory = v; }},
    {kFile, "out_directory=", [](CPara& p, const std::string& v) { p.spectra_process->out_directory = v; }},
    {kFile, "cluster_result=", [](CPara& p, const std::string& v) { p.spectra_process->cluster_result = v; }},
    {kPreprocessing, "small_peaks_count_filter=",
     [](CPara& p, const std::string& v) { p.spectra_process->small_peaks_count_filter = text::AtoI(v); }},
    {kPreprocessing, "peak_select_method=",
     [](CPara& p, const std::string& v) {
       p.peak_select->peak_select_method = static_cast<Peak_Select_Method>(text::AtoI(v));
     }},
    {kPreprocessing, "whole_top_peak_num=",
     [](CPara& p, const std::string& v) { p.peak_select->whole_top_peak_num = text::AtoI(v); }},
    {kPreprocessing, "part_top_peak_num=",
     [](CPara& p, const std::string& v) { p.peak_select->part_top_peak_num = text::AtoI(v); }},
    {kPreprocessing, "part_top_peak_per_num=",
     [](CPara& p, const std::string& v) { p.peak_select->part_top_peak_per_num = text::AtoI(v); }},
    {kPreprocessing, "scale=", nullptr},
    {kSimilarity, "similar_method=",
     [](CPara& p, const std::string& v) { p.similarity->similar_method = static_cast<Similar_Method>(text::AtoI(v)); }},
    {kSimilarity, "fragment_ion_tol=",
     [](CPara& p, const std::string& v) { p.similarity->fragment_ion_tol = text::AtoF(v); }},
    {kSimilarity, "fragment_ion_tol_type=",
     [](CPara& p, const std::string& v) { ReadToleranceName(v, p.similarity->fragment_ion_tol_type); }},
    {kCluster, "cluster_type=",
     [](CPara& p, const std::string& v) {
       if (p.cluster) p.cluster->cluster_type = static_cast<Cluster_Type>(text::AtoI(v));
     }},
    {kCluster, "cluster_method=", nullptr},
    {kCluster, "precursor_ion_tol=",
     [](CPara& p, const std::string& v) {
       if (p.cluster) p.cluster->precursor_ion_tol = text::AtoF(v);
     }},
    {kCluster, "precursor_ion_tol_type=",
     [](CPara& p, const std::string& v) {
       if (p.cluster) ReadToleranceName(v, p.cluster->precursor_ion_tol_type);
     }},
    {kCluster, "consensus_type=",
     [](CPara& p, const std::string& v) {
       p.representative_spectra->consensus_type = static_cast<Representative_Spectra>(text::AtoI(v));
     }},
    {kCluster, "consensus_fragment_tol=",
     [](CPara& p, const std::string& v) { p.representative_spectra->consensus_fragment_tol = text::AtoF(v); }},
    {kCluster, "consensus_fragment_tol_type=",
     [](CPara& p, const std::string& v) {
       ReadToleranceName(v, p.representative_spectra->consensus_fragment_tol_type);
     }},
    {kCluster, "threshold=",
     [](CPara& p, const std::string& v) {
       if (p.cluster) p.cluster->threshold = text::AtoF(v);
     }},
    {kCluster, "score_log=",
     [](CPara& p, const std::string& v) {
       if (p.cluster) p.cluster->score_log = text::AtoI(v) != 0;
     }},
    {kCluster, "decoy_pairs=",
     [](CPara& p, const std::string& v) {
       if (p.cluster) p.cluster->decoy_pairs = text::AtoI(v) != 0;
     }},
    {kCluster, "clustering_mode=",
     [](CPara& p, const std::string& v) {
       if (p.cluster) p.cluster->clustering_mode = ClusteringModeNamed(v);
     }},
    {kModification, "lower_mass=",
     [](CPara& p, const std::string& v) {
       if (p.cluster) p.cluster->lower_mass = text::AtoI(v);
     }},
    {kModification, "upper_mass=",
     [](CPara& p, const std::string& v) {
       if (p.cluster) p.cluster->upper_mass = text::AtoI(v);
     }},
    {kModification, "cluster_masses_tol=",
     [](CPara& p, const std::string& v) {
       if (p.cluster) p.cluster->cluster_masses_tol = text::AtoF(v);
     }},
};

// Second pass, one key line of `section`: the value is the text after the
// first "=" (the whole line when there is none). A line in no section or
// matching no key of its section is ignored.
void ApplyKeyLine(CPara& para, int section, const KeptLine& kept) {
  const std::size_t equals = kept.original.find('=');
  const std::string value = equals == std::string::npos ? kept.original : kept.original.substr(equals + 1);
  for (const KeyRule& rule : kKeyRules) {
    if (rule.section != section || kept.lower.find(rule.key) == std::string::npos) continue;
    if (rule.apply) rule.apply(para, value);
    return;
  }
}

// A real value as the file carries it: with `decimals` ("%.2lf", "%lf"),
// or exactly.
void WriteReal(std::FILE* f, const char* key, double value, int decimals, CPara::Numbers numbers) {
  if (numbers == CPara::Numbers::kExact) {
    std::fprintf(f, "%s=%.17g\n", key, value);
  } else {
    std::fprintf(f, "%s=%.*f\n", key, decimals, value);
  }
}

}  // namespace

void CPara::SetDataClass(MS2FormatType data_type, std::string data_directory,
                         std::string out_directory, std::string cluster_result,
                         std::int32_t small_peaks_count_filter) {
  auto fresh = std::make_unique<CSpectraProcess>(data_type, std::move(data_directory),
                                                 std::move(out_directory), std::move(cluster_result),
                                                 small_peaks_count_filter);
  // A strategy built on the old settings follows them to the new ones
  // instead of keeping a pointer to freed memory.
  if (cluster && cluster->spectra_process == spectra_process.get()) {
    cluster->spectra_process = fresh.get();
  }
  spectra_process = std::move(fresh);
}

void CPara::SetPeakSelect(Peak_Select_Method peak_select_method, std::int32_t whole_top_peak_num,
                          std::int32_t part_top_peak_num, std::int32_t part_top_peak_per_num) {
  peak_select = std::make_unique<CPeakSelect>(peak_select_method, whole_top_peak_num,
                                              part_top_peak_num, part_top_peak_per_num);
}

void CPara::SetSimilarMethod(Similar_Method similar_method, double fragment_ion_tol,
                             Tolerance_Type fragment_ion_tol_type) {
  similarity = std::make_unique<CSimilarity>(similar_method, fragment_ion_tol,
                                             fragment_ion_tol_type);
}

void CPara::SetRepresentativeClass(Representative_Spectra consensus_type,
                                   double consensus_fragment_tol,
                                   Tolerance_Type consensus_fragment_tol_type) {
  auto fresh = std::make_unique<CRepresentativeSpectra>(consensus_type, consensus_fragment_tol,
                                                        consensus_fragment_tol_type);
  if (cluster && representative_spectra &&
      cluster->representative_spectra == representative_spectra.get()) {
    cluster->representative_spectra = fresh.get();
  }
  representative_spectra = std::move(fresh);
}

void CPara::SetCluster(CSpectraProcess* data, CRepresentativeSpectra* representatives,
                       Cluster_Type cluster_type, double precursor_ion_tol,
                       Tolerance_Type precursor_ion_tol_type, double threshold) {
  cluster.reset(CreateCluster(data, representatives, cluster_type, precursor_ion_tol,
                              precursor_ion_tol_type, threshold));
}

void CPara::ResetToDefaults(Cluster_Type cluster_type) {
  cluster.reset();  // it points into the settings replaced below
  spectra_process = std::make_unique<CSpectraProcess>();
  representative_spectra =
      std::make_unique<CRepresentativeSpectra>(REPRESENTATIVE_CONSENSUS, 0.4, TOLERANCE_DA);
  similarity = std::make_unique<CSimilarity>(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  peak_select = std::make_unique<CPeakSelect>(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  SetCluster(spectra_process.get(), representative_spectra.get(), cluster_type, 20.0, TOLERANCE_PPM, 0.6);
  // A file without "[modification]" keys gives 0, not the strategy's own 6 and 200.
  if (cluster) {
    cluster->lower_mass = 0;
    cluster->upper_mass = 0;
  }
}

bool CPara::ReadParaFile(std::string path) {
  if (path::IsDirectory(path)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;

  // Without a "cluster_type=" line the job is a similarity clustering.
  int type = CLUSTER_SIMILARITY;
  const std::vector<KeptLine> lines = KeepLines(in, type);
  ResetToDefaults(static_cast<Cluster_Type>(type));
  int section = kNone;
  for (const KeptLine& kept : lines) {
    const int named = SectionNamed(section_names, kept.lower);
    if (named != kNone) {
      section = named;
    } else {
      ApplyKeyLine(*this, section, kept);
    }
  }
  return true;
}

bool CPara::WriteParaFile(std::string path, Numbers numbers) const {
  if (!cluster || !similarity || !peak_select || !spectra_process || !representative_spectra) {
    return false;
  }
  // Whole or not at all, and never through a link planted at its name.
  safefile::CSafeFile file;
  if (!file.Open(path)) return false;
  std::FILE* f = file.Get();
  const CSpectraProcess& data = *spectra_process;
  const CRepresentativeSpectra& rep = *representative_spectra;

  std::fprintf(f, "[clustername]\n");
  std::fprintf(f, "cluster_name=%s\n", "");
  std::fprintf(f, "[file]\n");
  std::fprintf(f, "data_type=%d\n", static_cast<int>(data.data_type));
  std::fprintf(f, "data_directory=%s\n", data.data_directory.c_str());
  std::fprintf(f, "out_directory=%s\n", data.out_directory.c_str());
  std::fprintf(f, "cluster_result=%s\n", data.cluster_result.c_str());
  std::fprintf(f, "[preprocessing]\n");
  std::fprintf(f, "small_peaks_count_filter=%d\n", data.small_peaks_count_filter);
  std::fprintf(f, "peak_select_method=%d\n", static_cast<int>(peak_select->peak_select_method));
  std::fprintf(f, "whole_top_peak_num=%d\n", peak_select->whole_top_peak_num);
  std::fprintf(f, "part_top_peak_num=%d\n", peak_select->part_top_peak_num);
  std::fprintf(f, "part_top_peak_per_num=%d\n", peak_select->part_top_peak_per_num);
  std::fprintf(f, "scale=%s\n", "sqrt");
  std::fprintf(f, "[similarity]\n");
  std::fprintf(f, "similar_method=%d\n", static_cast<int>(similarity->similar_method));
  WriteReal(f, "fragment_ion_tol", similarity->fragment_ion_tol, 2, numbers);
  std::fprintf(f, "fragment_ion_tol_type=%s\n",
               names::ToleranceTypeName(similarity->fragment_ion_tol_type).c_str());
  std::fprintf(f, "[cluster]\n");
  std::fprintf(f, "cluster_type=%d\n", static_cast<int>(cluster->cluster_type));
  std::fprintf(f, "cluster_method=%d\n", 0);
  WriteReal(f, "precursor_ion_tol", cluster->precursor_ion_tol, 2, numbers);
  std::fprintf(f, "precursor_ion_tol_type=%s\n",
               names::ToleranceTypeName(cluster->precursor_ion_tol_type).c_str());
  std::fprintf(f, "consensus_type=%d\n", static_cast<int>(rep.consensus_type));
  WriteReal(f, "consensus_fragment_tol", rep.consensus_fragment_tol, 6, numbers);
  std::fprintf(f, "consensus_fragment_tol_type=%s\n",
               names::ToleranceTypeName(rep.consensus_fragment_tol_type).c_str());
  WriteReal(f, "threshold", cluster->threshold, 2, numbers);
  // Only the choice against the log is written, so that files of jobs
  // with the log stay as every stored file is.
  if (!cluster->score_log) std::fprintf(f, "score_log=0\n");
  // Only the choice for decoys is written, as files without it are.
  if (cluster->decoy_pairs) std::fprintf(f, "decoy_pairs=1\n");
  // Only a mode other than single linkage is written, as files without it are.
  if (cluster->clustering_mode != CLUSTERING_SINGLE)
    std::fprintf(f, "clustering_mode=%s\n", ClusteringModeName(cluster->clustering_mode));
  std::fprintf(f, "[modification]\n");
  std::fprintf(f, "lower_mass=%d\n", cluster->lower_mass);
  std::fprintf(f, "upper_mass=%d\n", cluster->upper_mass);
  WriteReal(f, "cluster_masses_tol", cluster->cluster_masses_tol, 6, numbers);

  return file.Commit();
}

const char* ClusteringModeName(Clustering_Mode mode) {
  switch (mode) {
    case CLUSTERING_SINGLE:
      return "single";
    case CLUSTERING_PRECISE:
      return "precise";
    default:
      return "unknown";
  }
}

Clustering_Mode ClusteringModeNamed(const std::string& word) {
  const std::string lower = text::ToLower(text::Trim(word));
  if (lower == "single") return CLUSTERING_SINGLE;
  if (lower == "precise") return CLUSTERING_PRECISE;
  return CLUSTERING_UNKNOWN;
}

void CPara::SelectPeak(msdata::PeakList& peaks) const {
  if (peak_select) peak_select->Select(peaks);
}

double CPara::ComputeSimilarScore(msdata::PeakList& first, msdata::PeakList& second,
                                  double delta) const {
  return similarity ? similarity->Compute(first, second, delta) : 0.0;
}
