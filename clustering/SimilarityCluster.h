#pragma once
// Cluster type 0: cut the precursor-ordered spectra into blocks of equal
// charge and nearly equal precursor mass, cluster each block by single
// linkage of pairwise similarity, pick one representative per cluster and
// let the representative settings write the files.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "clustering/Cluster.h"
#include "clustering/PeakSource.h"
#include "clustering/SingleLinkage.h"

class CSimilarityCluster : public CCluster {
 public:
  CSimilarityCluster(CSpectraProcess* spectra_process,
                     CRepresentativeSpectra* representative_spectra, double precursor_ion_tol,
                     Tolerance_Type precursor_ion_tol_type, double threshold)
      : CCluster(spectra_process, representative_spectra, CLUSTER_SIMILARITY, precursor_ion_tol,
                 precursor_ion_tol_type, threshold) {}

  // Overwrites the similarity settings with "Dot Product", 0.5 Da; they stay
  // so after the run. Representatives are chosen only when the
  // representative settings copy them (types 1 and 2); otherwise the list
  // handed to them is empty, as nothing they write depends on it.
  void Run(std::vector<msdata::CSpectrum>& spectra, CSimilarity* similarity,
           CPeakSelect* peak_select) override;

  // Blocks are scored and merged on this many threads (1: the calling
  // thread only). The output does not depend on it.
  int worker_threads = 1;
  // Whether blocks scored by "Dot Product" in daltons skip the pairs that
  // provably cannot be merged (see CPairJoin); false scores every pair.
  // The output does not depend on it.
  bool join_pairs = true;
  // Where the peaks are when the spectra of the list hold none (see
  // CPeakSource); null: in the spectra. Not owned.
  const CPeakSource* peak_source = nullptr;
  // When set, Run appends every merge of every block to it, in list
  // positions (not owned): what the clusters of any higher threshold are,
  // from one run.
  std::vector<linkage::Merge>* merge_log = nullptr;
  // Figures of the last Run: pairs scored, and those scoring above the
  // threshold.
  std::size_t pairs_scored = 0;
  std::size_t pairs_above = 0;
  // The most bytes of pair entries (candidates, scored pairs, score
  // matrices) one block held at once.
  std::size_t largest_held_bytes = 0;
  // Where the last Run spent its time, in seconds: preparing peaks,
  // comparing (bounds and scores) and linking (merging, representatives)
  // summed over the threads that did them; the clustering and the writing
  // of its files (consensus and copied spectra, cluster file) as wall time.
  struct Phases {
    double preparing = 0.0;
    double comparing = 0.0;
    double linking = 0.0;
    double clustering_wall = 0.0;
    double writing_wall = 0.0;
  };
  Phases phases;

  struct Block {
    std::size_t start = 0;
    std::size_t size = 0;
  };
  struct BlockResult {
    std::vector<ClusterLink> links;  // block positions
    std::vector<int> representatives;
    std::vector<linkage::Merge> merges;  // block positions; kept only with a merge log
    std::size_t pairs_scored = 0;
    std::size_t pairs_above = 0;
    std::size_t held_bytes = 0;  // pair entries held at once
    double preparing = 0.0;      // seconds of the block's phases
    double comparing = 0.0;
    double linking = 0.0;
  };

  // Whether `candidate` joins the block that starts with `start`.
  bool JoinsBlock(const msdata::CSpectrum& start, const msdata::CSpectrum& candidate) const;
  // Consecutive blocks covering the whole list, in list order.
  std::vector<Block> FindBlocks(const std::vector<msdata::CSpectrum>& spectra) const;

  // Clusters spectra[block.start, block.start + block.size) with the given
  // similarity settings as they are, scoring its pairs on `threads` threads.
  // Without `representatives` the result's representative list stays empty,
  // and the scores are not kept beside the merged matrix, which halves the
  // memory a block needs.
  BlockResult ClusterBlock(const std::vector<msdata::CSpectrum>& spectra, const Block& block,
                           const CSimilarity& similarity, const CPeakSelect& peak_select,
                           int threads = 1, bool representatives = true,
                           bool keep_merges = false) const;

 private:
  // The precise mode's Run: every spectrum at once, not block by block.
  void RunPrecise(std::vector<msdata::CSpectrum>& spectra, const CPeakSelect& selection, bool representatives,
                  int threads);
  // The end of every Run: the message, then the representative settings
  // write the files.
  void Deliver(std::vector<msdata::CSpectrum>& spectra, const std::vector<ClusterLink>& links,
               const std::vector<int>& representatives, int threads);
};
