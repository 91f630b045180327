#include "clustering/Para.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "common/NameTables.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"

namespace {

enum Section { kNone = -1, kClusterName, kFile, kPreprocessing, kSimilarity, kCluster, kModification };

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

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

bool CPara::ReadParaFile(std::string path) {
  if (path::IsDirectory(path)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;

  // First pass: keep every line without its comment and trailing blanks,
  // and find the strategy type, which decides the object built below.
  std::vector<KeptLine> lines;
  // Without a "cluster_type=" line the job is a similarity clustering.
  int type = CLUSTER_SIMILARITY;
  std::string line;
  while (text::ReadLine(in, line)) {
    const std::size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    KeptLine kept;
    kept.original = text::TrimRight(line);
    kept.lower = text::ToLower(kept.original);
    if (kept.lower.find("cluster_type=") != std::string::npos) {
      type = text::AtoI(kept.lower.substr(kept.lower.find('=') + 1));
    }
    lines.push_back(std::move(kept));
  }

  auto data = std::make_unique<CSpectraProcess>();
  auto representatives =
      std::make_unique<CRepresentativeSpectra>(REPRESENTATIVE_CONSENSUS, 0.4, TOLERANCE_DA);
  std::unique_ptr<CCluster> strategy(CreateCluster(data.get(), representatives.get(),
                                                   static_cast<Cluster_Type>(type), 20.0,
                                                   TOLERANCE_PPM, 0.6));
  auto similar = std::make_unique<CSimilarity>(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  auto select = std::make_unique<CPeakSelect>(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  std::int32_t lower_mass = 0;
  std::int32_t upper_mass = 0;

  int section = kNone;
  for (const KeptLine& kept : lines) {
    const std::string& lower = kept.lower;
    bool is_section = false;
    for (std::size_t k = 0; k < section_names.size(); ++k) {
      if (lower.find(section_names[k]) != std::string::npos) {
        section = static_cast<int>(k);
        is_section = true;
        break;
      }
    }
    if (is_section) continue;

    const std::size_t equals = kept.original.find('=');
    const std::string value =
        equals == std::string::npos ? kept.original : kept.original.substr(equals + 1);
    auto has = [&lower](const char* key) { return lower.find(key) != std::string::npos; };

    switch (section) {
      case kClusterName:
        // "cluster_name=" carries nothing the job needs.
        break;
      case kFile:
        if (has("data_type=")) {
          data->data_type = static_cast<MS2FormatType>(text::AtoI(value));
        } else if (has("data_directory=")) {
          data->data_directory = value;
        } else if (has("out_directory=")) {
          data->out_directory = value;
        } else if (has("cluster_result=")) {
          data->cluster_result = value;
        }
        break;
      case kPreprocessing:
        if (has("small_peaks_count_filter=")) {
          data->small_peaks_count_filter = text::AtoI(value);
        } else if (has("peak_select_method=")) {
          select->peak_select_method = static_cast<Peak_Select_Method>(text::AtoI(value));
        } else if (has("whole_top_peak_num=")) {
          select->whole_top_peak_num = text::AtoI(value);
        } else if (has("part_top_peak_num=")) {
          select->part_top_peak_num = text::AtoI(value);
        } else if (has("part_top_peak_per_num=")) {
          select->part_top_peak_per_num = text::AtoI(value);
        }
        // "scale=" is always the square-root scaling.
        break;
      case kSimilarity:
        if (has("similar_method=")) {
          similar->similar_method = static_cast<Similar_Method>(text::AtoI(value));
        } else if (has("fragment_ion_tol=")) {
          similar->fragment_ion_tol = text::AtoF(value);
        } else if (has("fragment_ion_tol_type=")) {
          ReadToleranceName(value, similar->fragment_ion_tol_type);
        }
        break;
      case kCluster:
        if (has("cluster_type=")) {
          if (strategy) strategy->cluster_type = static_cast<Cluster_Type>(text::AtoI(value));
        } else if (has("cluster_method=")) {
          // Only one clustering method exists.
        } else if (has("precursor_ion_tol=")) {
          if (strategy) strategy->precursor_ion_tol = text::AtoF(value);
        } else if (has("precursor_ion_tol_type=")) {
          if (strategy) ReadToleranceName(value, strategy->precursor_ion_tol_type);
        } else if (has("consensus_type=")) {
          representatives->consensus_type =
              static_cast<Representative_Spectra>(text::AtoI(value));
        } else if (has("consensus_fragment_tol=")) {
          representatives->consensus_fragment_tol = text::AtoF(value);
        } else if (has("consensus_fragment_tol_type=")) {
          ReadToleranceName(value, representatives->consensus_fragment_tol_type);
        } else if (has("threshold=")) {
          if (strategy) strategy->threshold = text::AtoF(value);
        }
        break;
      case kModification:
        if (has("lower_mass=")) {
          lower_mass = text::AtoI(value);
        } else if (has("upper_mass=")) {
          upper_mass = text::AtoI(value);
        } else if (has("cluster_masses_tol=")) {
          if (strategy) strategy->cluster_masses_tol = text::AtoF(value);
        }
        break;
      default:
        break;
    }
  }
  if (strategy) {
    strategy->lower_mass = lower_mass;
    strategy->upper_mass = upper_mass;
  }

  // The old strategy points into the old settings: replace it first.
  cluster = std::move(strategy);
  similarity = std::move(similar);
  peak_select = std::move(select);
  spectra_process = std::move(data);
  representative_spectra = std::move(representatives);
  return true;
}

bool CPara::WriteParaFile(std::string path) const {
  if (!cluster || !similarity || !peak_select || !spectra_process || !representative_spectra) {
    return false;
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "w"));
  if (!file) return false;
  std::FILE* f = file.get();
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
  std::fprintf(f, "fragment_ion_tol=%.2lf\n", similarity->fragment_ion_tol);
  std::fprintf(f, "fragment_ion_tol_type=%s\n",
               names::ToleranceTypeName(similarity->fragment_ion_tol_type).c_str());
  std::fprintf(f, "[cluster]\n");
  std::fprintf(f, "cluster_type=%d\n", static_cast<int>(cluster->cluster_type));
  std::fprintf(f, "cluster_method=%d\n", 0);
  std::fprintf(f, "precursor_ion_tol=%.2lf\n", cluster->precursor_ion_tol);
  std::fprintf(f, "precursor_ion_tol_type=%s\n",
               names::ToleranceTypeName(cluster->precursor_ion_tol_type).c_str());
  std::fprintf(f, "consensus_type=%d\n", static_cast<int>(rep.consensus_type));
  std::fprintf(f, "consensus_fragment_tol=%lf\n", rep.consensus_fragment_tol);
  std::fprintf(f, "consensus_fragment_tol_type=%s\n",
               names::ToleranceTypeName(rep.consensus_fragment_tol_type).c_str());
  std::fprintf(f, "threshold=%.2lf\n", cluster->threshold);
  std::fprintf(f, "[modification]\n");
  std::fprintf(f, "lower_mass=%d\n", cluster->lower_mass);
  std::fprintf(f, "upper_mass=%d\n", cluster->upper_mass);
  std::fprintf(f, "cluster_masses_tol=%lf\n", cluster->cluster_masses_tol);

  const bool ok = std::ferror(f) == 0;
  return std::fclose(file.release()) == 0 && ok;
}

void CPara::SelectPeak(msdata::PeakList& peaks) const {
  if (peak_select) peak_select->Select(peaks);
}

double CPara::ComputeSimilarScore(msdata::PeakList& first, msdata::PeakList& second,
                                  double delta) const {
  return similarity ? similarity->Compute(first, second, delta) : 0.0;
}
