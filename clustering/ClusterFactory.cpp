#include "clustering/ClusterFactory.h"

#include "clustering/SimilarityCluster.h"
#include "clustering/SpectralPairSearch.h"

CCluster* CreateCluster(CSpectraProcess* spectra_process,
                        CRepresentativeSpectra* representative_spectra, Cluster_Type type,
                        double precursor_ion_tol, Tolerance_Type precursor_ion_tol_type,
                        double threshold) {
  switch (type) {
    case CLUSTER_SIMILARITY:
      return new CSimilarityCluster(spectra_process, representative_spectra, precursor_ion_tol,
                                    precursor_ion_tol_type, threshold);
    case CLUSTER_SPECTRAL_PAIR:
      return new CSpectralPairSearch(spectra_process, precursor_ion_tol, precursor_ion_tol_type,
                                     threshold);
    default:
      return nullptr;
  }
}
