// Pair scoring of the largest blocks of a real spectrum file, as block
// clustering meets them: the indexed dot product against CSimilarity on
// the same prepared lists. Prints nanoseconds per pair and checks that
// every score is the same.
//
//   block_kernel_bench FILE.mgf [blocks] [repeats] [compare]
//
// compare 0 skips the general path (no comparison, no time for it).

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <sys/mman.h>

#include "clustering/DotProductBlock.h"
#include "clustering/PeakOrder.h"
#include "clustering/Similarity.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/SingleLinkage.h"
#include "drivers/cluster/loading/JobLoading.h"
#include "spectra/MS2Input.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: block_kernel_bench FILE.mgf [blocks] [repeats] [compare]\n");
    return 2;
  }
  const int block_count = argc > 2 ? std::atoi(argv[2]) : 3;
  const int repeats = argc > 3 ? std::atoi(argv[3]) : 3;
  const bool compare = argc > 4 ? std::atoi(argv[4]) != 0 : true;
  std::vector<msdata::CSpectrum> spectra;
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(MS2_FORMAT_MGF, false));
  if (!importer->Load(argv[1], spectra, true)) {
    std::fprintf(stderr, "%s\n", importer->LastError().c_str());
    return 1;
  }
  clusterjob::OrderForClustering(spectra);
  CSpectraProcess data;
  CSimilarityCluster strategy(&data, nullptr, 20.0, TOLERANCE_PPM, 0.6);
  std::vector<CSimilarityCluster::Block> blocks = strategy.FindBlocks(spectra);
  std::sort(blocks.begin(), blocks.end(),
            [](const auto& a, const auto& b) { return a.size > b.size; });
  blocks.resize(std::min<std::size_t>(blocks.size(), static_cast<std::size_t>(block_count)));

  const CPeakSelect select(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  const CSimilarity dot(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  double fast_time = 0.0;
  double plain_time = 0.0;
  double prepare_time = 0.0;
  double merge_time = 0.0;
  std::size_t pairs = 0;
  std::size_t plain_pairs = 0;
  std::size_t differences = 0;
  for (const auto& block : blocks) {
    const msdata::CSpectrum* members = spectra.data() + block.start;
    const std::size_t k = block.size;
    auto t0 = std::chrono::steady_clock::now();
    CDotProductBlock prepared;
    prepared.Prepare(members, k, select);
    prepare_time += Seconds(std::chrono::steady_clock::now() - t0);
    std::size_t peaks = 0;
    for (std::size_t a = 0; a < k; ++a) peaks += prepared.PeakCount(a);
    std::printf("block of %zu: %.1f peaks per prepared list\n", k, double(peaks) / double(k));

    std::vector<double> fast(k * (k - 1) / 2);
    std::vector<std::size_t> seconds;
    for (int rep = 0; rep < repeats; ++rep) {
      t0 = std::chrono::steady_clock::now();
      CDotProductBlock::Row row;
      std::size_t at = 0;
      for (std::size_t a = 0; a < k; ++a) {
        seconds.clear();
        for (std::size_t b = a + 1; b < k; ++b) seconds.push_back(b);
        row.Load(prepared, a, 0.5);
        row.Score(seconds.data(), seconds.size(), fast.data() + at);
        at += seconds.size();
      }
      fast_time += Seconds(std::chrono::steady_clock::now() - t0);
      pairs += fast.size();
    }
    // Merging the block's scores at a threshold of 0.6.
    // In huge pages where the system allows, as the engine keeps its matrices.
    const std::size_t huge = std::size_t{2} << 20;
    const std::size_t bytes = (fast.size() * 2 + huge) / huge * huge;
    std::unique_ptr<std::int16_t, void (*)(void*)> packed(
        static_cast<std::int16_t*>(std::aligned_alloc(huge, bytes)), std::free);
    ::madvise(packed.get(), bytes, MADV_HUGEPAGE);
    for (std::size_t i = 0; i < fast.size(); ++i) {
      packed.get()[i] = linkage::PackScore(fast[i]);
    }
    t0 = std::chrono::steady_clock::now();
    const std::vector<ClusterLink> links = linkage::MergeScores(packed.get(), k, 6000);
    merge_time += Seconds(std::chrono::steady_clock::now() - t0);
    std::size_t heads = 0;
    for (std::size_t m = 0; m < k; ++m) heads += links[m].root == static_cast<int>(m) ? 1 : 0;
    std::printf("block of %zu: %zu clusters after merging\n", k, heads);
    // The general path on every 8th row, enough to time it and to compare.
    std::vector<msdata::PeakList> lists(k);
    for (std::size_t a = 0; a < k; ++a) lists[a] = prepared.List(a);
    t0 = std::chrono::steady_clock::now();
    std::size_t at = 0;
    for (std::size_t a = 0; a < k; ++a) {
      if (compare && a % 8 == 0) {
        for (std::size_t b = a + 1; b < k; ++b) {
          const double s = dot.ComputeArranged(lists[a], lists[b], 0.0);
          const double f = fast[at + b - a - 1];
          if (!(s == f || (std::isnan(s) && std::isnan(f)))) {
            ++differences;
          }
          ++plain_pairs;
        }
      }
      at += k - a - 1;
    }
    plain_time += Seconds(std::chrono::steady_clock::now() - t0);
  }
  std::printf("blocks %zu (largest %zu), pairs scored %zu\n", blocks.size(),
              blocks.empty() ? std::size_t{0} : blocks[0].size, pairs);
  std::printf("prepare: %.3f s\n", prepare_time);
  std::printf("merge: %.3f s\n", merge_time);
  std::printf("indexed kernel: %.1f ns/pair\n", fast_time / static_cast<double>(pairs) * 1e9);
  if (plain_pairs > 0) {
    std::printf("CSimilarity::ComputeArranged: %.1f ns/pair\n",
                plain_time / static_cast<double>(plain_pairs) * 1e9);
  }
  std::printf("differing scores: %zu of %zu compared\n", differences, plain_pairs);
  return differences == 0 ? 0 : 1;
}
