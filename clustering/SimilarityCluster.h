#pragma once
// Cluster type 0: cut the precursor-ordered spectra into blocks of equal
// charge and nearly equal precursor mass, cluster each block by single
// linkage of pairwise similarity, pick one representative per cluster and
// let the representative settings write the files.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "clustering/Cluster.h"

class CSimilarityCluster : public CCluster {
 public:
  CSimilarityCluster(CSpectraProcess* spectra_process,
                     CRepresentativeSpectra* representative_spectra, double precursor_ion_tol,
                     Tolerance_Type precursor_ion_tol_type, double threshold)
      : CCluster(spectra_process, representative_spectra, CLUSTER_SIMILARITY, precursor_ion_tol,
                 precursor_ion_tol_type, threshold) {}

  // Overwrites the similarity settings with "Dot Product", 0.5 Da; they stay
  // so after the run.
  void Run(std::vector<msdata::CSpectrum>& spectra, CSimilarity* similarity,
           CPeakSelect* peak_select) override;

  // Blocks are scored and merged on this many threads (1: the calling
  // thread only). The output does not depend on it.
  int worker_threads = 1;

  struct Block {
    std::size_t start = 0;
    std::size_t size = 0;
  };
  struct BlockResult {
    std::vector<ClusterLink> links;  // block positions
    std::vector<int> representatives;
  };

  // Whether `candidate` joins the block that starts with `start`.
  bool JoinsBlock(const msdata::CSpectrum& start, const msdata::CSpectrum& candidate) const;
  // Consecutive blocks covering the whole list, in list order.
  std::vector<Block> FindBlocks(const std::vector<msdata::CSpectrum>& spectra) const;

  // Clusters spectra[block.start, block.start + block.size) with the given
  // similarity settings as they are.
  BlockResult ClusterBlock(const std::vector<msdata::CSpectrum>& spectra, const Block& block,
                           const CSimilarity& similarity, const CPeakSelect& peak_select) const;

  // A score 0..1 as stored in the score matrices: trunc(s * 10000).
  static std::int16_t PackScore(double score);
};
