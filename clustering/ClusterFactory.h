#pragma once
// The strategy factory: the clustering strategy of a cluster type. It lives
// apart from the strategies' base class, which knows none of its
// subclasses; only this factory knows them all.

#include "clustering/ClusterTypes.h"
#include "common/Types.h"

class CCluster;
class CRepresentativeSpectra;
class CSpectraProcess;

// Type 0 similarity clustering (CSimilarityCluster, holding both settings
// objects), type 1 spectral pair search (CSpectralPairSearch, holding the
// data settings only), any other type none (nullptr). Neither settings
// object is owned by the strategy. The caller owns the result.
CCluster* CreateCluster(CSpectraProcess* spectra_process,
                        CRepresentativeSpectra* representative_spectra, Cluster_Type type,
                        double precursor_ion_tol, Tolerance_Type precursor_ion_tol_type,
                        double threshold);
