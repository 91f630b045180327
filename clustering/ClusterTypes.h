#pragma once
// Enumerations of the clustering engine. Each is a 32-bit integer in memory
// and in the parameter file; values outside the named ones are kept as read.

#include <cstdint>

enum Cluster_Type : std::int32_t {
  CLUSTER_SIMILARITY = 0,     // single-linkage clustering with representatives
  CLUSTER_SPECTRAL_PAIR = 1,  // spectral pair search with mass shifts
};

// How cluster type 0 merges: single linkage within blocks (the stored
// behaviour), or the precise mode's group average over every pair within
// the precursor tolerance (PreciseCluster.h). A parameter-file value that
// names neither is kept as unknown, for the job to refuse.
enum Clustering_Mode : std::int32_t {
  CLUSTERING_UNKNOWN = -1,
  CLUSTERING_SINGLE = 0,
  CLUSTERING_PRECISE = 1,
};

enum Peak_Select_Method : std::int32_t {
  PEAK_SELECT_TOP_N = 0,             // the N most intense peaks overall
  PEAK_SELECT_TOP_M_PER_WINDOW = 1,  // the M most intense peaks per window
  PEAK_SELECT_WINDOW_THEN_TOP_N = 2,  // window selection, then the overall top N
};

enum Representative_Spectra : std::int32_t {
  REPRESENTATIVE_CONSENSUS = 0,
  REPRESENTATIVE_MOST_SIMILAR = 1,
  REPRESENTATIVE_BOTH = 2,
};
