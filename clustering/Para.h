#pragma once
// The complete parameter set of a clustering job: five settings objects,
// the parameter file that carries them, and the strategy the job runs.

#include <array>
#include <memory>
#include <string>

#include "clustering/Cluster.h"
#include "clustering/ClusterTypes.h"
#include "clustering/PeakSelect.h"
#include "clustering/RepresentativeSpectra.h"
#include "clustering/Similarity.h"
#include "clustering/SpectraProcess.h"
#include "common/Spectrum.h"
#include "common/Types.h"

class CPara {
 public:
  CPara() = default;
  CPara(const CPara&) = delete;
  CPara& operator=(const CPara&) = delete;
  ~CPara() = default;

  void SetDataClass(MS2FormatType data_type, std::string data_directory,
                    std::string out_directory, std::string cluster_result,
                    std::int32_t small_peaks_count_filter);
  void SetPeakSelect(Peak_Select_Method peak_select_method, std::int32_t whole_top_peak_num,
                     std::int32_t part_top_peak_num, std::int32_t part_top_peak_per_num);
  void SetSimilarMethod(Similar_Method similar_method, double fragment_ion_tol,
                        Tolerance_Type fragment_ion_tol_type);
  void SetRepresentativeClass(Representative_Spectra consensus_type,
                              double consensus_fragment_tol,
                              Tolerance_Type consensus_fragment_tol_type);
  // The strategy holds the two objects without owning them; normally they
  // are this parameter set's own data and representative settings.
  void SetCluster(CSpectraProcess* spectra_process,
                  CRepresentativeSpectra* representative_spectra, Cluster_Type cluster_type,
                  double precursor_ion_tol, Tolerance_Type precursor_ion_tol_type,
                  double threshold);

  // Replaces all five objects by the settings of a parameter file without
  // keys, with a strategy of `cluster_type`: what ReadParaFile starts from.
  // Unlike SetCluster's strategy, lower and upper mass are 0.
  void ResetToDefaults(Cluster_Type cluster_type);

  // Reads a parameter file and replaces all five objects. False (settings
  // unchanged) when the file cannot be opened. Keys and section names match
  // without regard to case; values keep their case. A "#" begins a comment
  // at the start of a line or after a space or tab; elsewhere it belongs to
  // the value, so that paths such as "run#1.mgf" are read whole.
  bool ReadParaFile(std::string path);

  // How WriteParaFile writes the five real values: as every stored file
  // carries them (tolerances and threshold with two decimals, the consensus
  // tolerance and cluster_masses_tol with six), or exactly ("%.17g"), for a
  // file that must give the values back bit for bit.
  enum class Numbers { kFileFormat, kExact };
  // Writes the parameter file. False, writing nothing, when the file cannot
  // be opened or one of the five objects is absent.
  bool WriteParaFile(std::string path, Numbers numbers = Numbers::kFileFormat) const;

  // Both do nothing (score 0) while the settings they need are absent.
  void SelectPeak(msdata::PeakList& peaks) const;
  double ComputeSimilarScore(msdata::PeakList& first, msdata::PeakList& second,
                             double delta) const;

  // Absent (null) until built by a setter or ReadParaFile. The strategy is
  // absent as well for a cluster type other than 0 and 1.
  std::unique_ptr<CCluster> cluster;
  std::unique_ptr<CSimilarity> similarity;
  std::unique_ptr<CPeakSelect> peak_select;
  std::unique_ptr<CSpectraProcess> spectra_process;
  std::unique_ptr<CRepresentativeSpectra> representative_spectra;

  // Their position is the section number used by the reader.
  std::array<std::string, 6> section_names = {"[clustername]",  "[file]",
                                              "[preprocessing]", "[similarity]",
                                              "[cluster]",       "[modification]"};
};

// The parameter file's words for the clustering modes: "single", "precise";
// "unknown" for CLUSTERING_UNKNOWN. A word is read without regard to case
// or surrounding blanks; any other word gives CLUSTERING_UNKNOWN.
const char* ClusteringModeName(Clustering_Mode mode);
Clustering_Mode ClusteringModeNamed(const std::string& word);
