#pragma once
// The clustering engine's public face: the parameter set and the
// strategies it builds. Programs that drive the engine include this.

#include "clustering/Cluster.h"
#include "clustering/ClusterFactory.h"
#include "clustering/ClusterTypes.h"
#include "clustering/Para.h"
#include "clustering/PeakSelect.h"
#include "clustering/Progress.h"
#include "clustering/RepresentativeSpectra.h"
#include "clustering/Similarity.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/SpectraProcess.h"
#include "clustering/SpectralPairSearch.h"
