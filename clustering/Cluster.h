#pragma once
// Clustering strategies. The driver program loads the spectra, orders them
// and calls Run; Run writes every result file of the job.

#include <cstdint>
#include <string>
#include <vector>

#include "clustering/ClusterTypes.h"
#include "clustering/PeakSelect.h"
#include "clustering/RepresentativeSpectra.h"
#include "clustering/Similarity.h"
#include "clustering/SpectraProcess.h"
#include "common/Spectrum.h"
#include "common/Types.h"

class CCluster {
 public:
  CCluster(CSpectraProcess* spectra_process, CRepresentativeSpectra* representative_spectra,
           Cluster_Type cluster_type, double precursor_ion_tol,
           Tolerance_Type precursor_ion_tol_type, double threshold)
      : spectra_process(spectra_process),
        representative_spectra(representative_spectra),
        precursor_ion_tol(precursor_ion_tol),
        precursor_ion_tol_type(precursor_ion_tol_type),
        threshold(threshold),
        cluster_type(cluster_type) {}
  CCluster(const CCluster&) = delete;
  CCluster& operator=(const CCluster&) = delete;
  virtual ~CCluster() = default;

  virtual void Run(std::vector<msdata::CSpectrum>& spectra, CSimilarity* similarity,
                   CPeakSelect* peak_select) = 0;

  CSpectraProcess* spectra_process;                // not owned
  CRepresentativeSpectra* representative_spectra;  // not owned; absent for pair search
  std::int32_t lower_mass = 6;                     // daltons
  std::int32_t upper_mass = 200;
  double cluster_masses_tol = 0.01;
  // Whether the pair search appends every score to "score.txt" (used by
  // the pair search only). Without the log it need not score pairs that
  // cannot reach the threshold.
  bool score_log = true;
  // Whether the pair search also counts pairs of spectra with decoys of
  // their partners above the threshold, an estimate of its chance pairs
  // (used by the pair search only; nothing is written for them).
  bool decoy_pairs = false;
  // How clustering (type 0) merges; the pair search ignores it.
  Clustering_Mode clustering_mode = CLUSTERING_SINGLE;
  double precursor_ion_tol;
  Tolerance_Type precursor_ion_tol_type;
  double threshold;  // 0..1
  Cluster_Type cluster_type;
};
