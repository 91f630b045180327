#include "clustering/SimilarityCluster.h"
#include "clustering/SingleLinkage.h"

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <queue>
#include <unordered_map>

#include <sys/mman.h>

#include "clustering/DotProductBlock.h"
#include "clustering/JoinedLinks.h"
#include "clustering/PairJoin.h"
#include "clustering/PreciseCluster.h"
#include "clustering/Progress.h"
#include "clustering/Workers.h"
#include "common/Notifier.h"

namespace {
// The scores of a block's pairs, one entry per unordered pair. Stored by
// the lower position: the entries of x with every later spectrum lie side
// by side, which is the order in which they are scored and in which
// merging, whose clusters carry their lowest position, mostly reads them.
// Large matrices ask for huge pages: merging also reads across rows, and
// with small pages nearly every such read would miss the address cache.
class TriangleMatrix {
 public:
  explicit TriangleMatrix(std::size_t k, std::int16_t fill = 0)
      : k_(k), size_(k < 2 ? 0 : k * (k - 1) / 2) {
    Allocate();
    if (fill == 0) {
      std::memset(data_.get(), 0, size_ * sizeof(std::int16_t));
    } else {
      std::fill(data_.get(), data_.get() + size_, fill);
    }
  }
  TriangleMatrix(const TriangleMatrix& other) : k_(other.k_), size_(other.size_) {
    Allocate();
    std::memcpy(data_.get(), other.data_.get(), size_ * sizeof(std::int16_t));
  }
  TriangleMatrix& operator=(const TriangleMatrix&) = delete;

  std::int16_t& At(std::size_t x, std::size_t y) {
    return data_.get()[linkage::PairIndex(x, y, k_)];
  }
  std::int16_t At(std::size_t x, std::size_t y) const {
    return data_.get()[linkage::PairIndex(x, y, k_)];
  }
  // The entries (x, x+1) .. (x, k-1).
  std::int16_t* Later(std::size_t x) {
    return data_.get() + linkage::PairIndex(x, x + 1, k_);
  }
  std::int16_t* Data() { return data_.get(); }

 private:
  struct Free {
    void operator()(std::int16_t* p) const { std::free(p); }
  };
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;

  void Allocate() {
    const std::size_t bytes = std::max<std::size_t>(size_ * sizeof(std::int16_t), 1);
    void* p = nullptr;
    if (bytes >= kHugePage) {
      const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
      p = std::aligned_alloc(kHugePage, rounded);
#ifdef MADV_HUGEPAGE
      if (p) ::madvise(p, rounded, MADV_HUGEPAGE);  // a refusal only costs speed
#endif
    }
    if (!p) p = std::malloc(bytes);
    if (!p) throw std::bad_alloc();
    data_.reset(static_cast<std::int16_t*>(p));
  }

  std::size_t k_;
  std::size_t size_;
  std::unique_ptr<std::int16_t, Free> data_;
};

// Blocks at least this large have their pairs scored on all threads; smaller
// ones go to the threads whole, several at a time.
constexpr std::size_t kSharedBlock = 2048;
// Below this many spectra, or for thresholds below this floor (packed), the
// join would pass nearly every pair and all of them are scored.
constexpr std::size_t kJoinedBlock = 16;
constexpr int kJoinedFloor = 1000;
// Blocks of fewer pairs keep the join however dense their candidates: the
// memory is small either way.
constexpr std::size_t kMatrixWorthPairs = std::size_t{1} << 20;
// Blocks clustered side by side before their results are taken in order;
// it bounds the results held and keeps the progress output moving.
constexpr std::size_t kBlocksPerRound = 64;

// Scores every pair (a, b), a < b, of equal charge into `scores`. Rows a
// are handed out one at a time, and a row's entries lie side by side, so
// threads write apart from each other. `make_scorer` gives each thread its
// scorer: Load(a) makes a the first spectrum, Score(seconds, count, out)
// scores it against each of them. Counts the pairs scored and those whose
// entry exceeds `floor`.
template <class MakeScorer>
void ScorePairs(const msdata::CSpectrum* members, std::size_t k, int threads,
                TriangleMatrix& scores, MakeScorer make_scorer, int floor, PairCounts& counts) {
  std::atomic<std::size_t> next_row{0};
  workers::OnThreads(threads, [&]() {
    auto scorer = make_scorer();
    std::vector<std::size_t> seconds;
    std::vector<double> values;
    std::size_t scored = 0;
    std::size_t above = 0;
    for (;;) {
      const std::size_t a = next_row.fetch_add(1);
      if (a + 1 >= k) break;
      seconds.clear();
      for (std::size_t b = a + 1; b < k; ++b) {
        if (members[a].charge == members[b].charge) seconds.push_back(b);
      }
      if (seconds.empty()) continue;
      values.resize(seconds.size());
      scorer.Load(a);
      scorer.Score(seconds.data(), seconds.size(), values.data());
      std::int16_t* row = scores.Later(a);
      for (std::size_t s = 0; s < seconds.size(); ++s) {
        const std::int16_t packed = linkage::PackScore(values[s]);
        row[seconds[s] - a - 1] = packed;
        if (packed > floor) ++above;
      }
      scored += seconds.size();
    }
    counts.scored += scored;
    counts.above += above;
  });
}

// "Dot Product" in daltons through the per-block index.
class IndexedScorer {
 public:
  IndexedScorer(const CDotProductBlock& block, double tol) : block_(block), tol_(tol) {}
  void Load(std::size_t a) { row_.Load(block_, a, tol_); }
  void Score(const std::size_t* seconds, std::size_t count, double* out) const {
    row_.Score(seconds, count, out);
  }

 private:
  const CDotProductBlock& block_;
  double tol_;
  CDotProductBlock::Row row_;
};

// Any other method: the prepared lists through CSimilarity.
class GeneralScorer {
 public:
  GeneralScorer(const std::vector<msdata::PeakList>& prepared, const msdata::CSpectrum* members,
                const CSimilarity& similarity)
      : prepared_(prepared), members_(members), similarity_(similarity) {}
  void Load(std::size_t a) { a_ = a; }
  void Score(const std::size_t* seconds, std::size_t count, double* out) const {
    for (std::size_t s = 0; s < count; ++s) {
      const std::size_t b = seconds[s];
      const double delta = members_[a_].precursor_mass - members_[b].precursor_mass;
      out[s] = similarity_.ComputeArranged(prepared_[a_], prepared_[b], delta);
    }
  }

 private:
  const std::vector<msdata::PeakList>& prepared_;
  const msdata::CSpectrum* members_;
  const CSimilarity& similarity_;
  std::size_t a_ = 0;
};

// Clusters in order of their heads, each with its representative: the
// member most similar to all others, the earlier member on ties, the head
// when no member has any support. support(chain) gives the summed packed
// scores of every member of a chain (in chain order) with the others.
template <class Support>
std::vector<int> Representatives(const std::vector<ClusterLink>& links, Support support) {
  const std::size_t k = links.size();
  std::vector<int> representatives;
  std::vector<unsigned char> taken(k, 0);
  std::vector<std::size_t> chain;
  for (std::size_t p = 0; p < k; ++p) {
    if (taken[p]) continue;
    chain.clear();
    for (std::int32_t m = static_cast<std::int32_t>(p); m >= 0; m = links[m].next) {
      chain.push_back(static_cast<std::size_t>(m));
      taken[m] = 1;
    }
    std::size_t representative = chain.front();
    if (chain.size() > 1) {
      const std::vector<long long> supports = support(chain);
      long long best_support = 0;
      for (std::size_t c = 0; c < chain.size(); ++c) {
        if (supports[c] > best_support) {
          best_support = supports[c];
          representative = chain[c];
        }
      }
    }
    representatives.push_back(static_cast<int>(representative));
  }
  return representatives;
}

// Supports of a chain's members from the matrix of every pair.
class MatrixSupports {
 public:
  explicit MatrixSupports(const TriangleMatrix& scores) : scores_(scores) {}
  std::vector<long long> operator()(const std::vector<std::size_t>& chain) const {
    std::vector<long long> support(chain.size(), 0);
    for (std::size_t x = 0; x < chain.size(); ++x) {
      for (std::size_t y = 0; y < chain.size(); ++y) {
        if (y != x) support[x] += scores_.At(chain[x], chain[y]);
      }
    }
    return support;
  }

 private:
  const TriangleMatrix& scores_;
};

// Supports of a chain's members scored afresh: the join skipped most of the
// scores within a cluster. Pairs are scored from the lower position to the
// higher, as the matrix holds them.
class ScoredSupports {
 public:
  ScoredSupports(const msdata::CSpectrum* members, const CDotProductBlock& prepared, double tol)
      : members_(members), prepared_(prepared), tol_(tol) {}
  std::vector<long long> operator()(const std::vector<std::size_t>& chain) {
    sorted_ = chain;
    std::sort(sorted_.begin(), sorted_.end());
    std::vector<long long> support(sorted_.size(), 0);
    for (std::size_t x = 0; x + 1 < sorted_.size(); ++x) {
      seconds_.clear();
      places_.clear();
      for (std::size_t y = x + 1; y < sorted_.size(); ++y) {
        if (members_[sorted_[x]].charge != members_[sorted_[y]].charge) continue;
        seconds_.push_back(sorted_[y]);
        places_.push_back(y);
      }
      if (seconds_.empty()) continue;
      values_.resize(seconds_.size());
      row_.Load(prepared_, sorted_[x], tol_);
      row_.Score(seconds_.data(), seconds_.size(), values_.data());
      for (std::size_t s = 0; s < seconds_.size(); ++s) {
        const int packed = linkage::PackScore(values_[s]);
        support[x] += packed;
        support[places_[s]] += packed;
      }
    }
    std::vector<long long> in_chain(chain.size());
    for (std::size_t c = 0; c < chain.size(); ++c) {
      in_chain[c] = support[static_cast<std::size_t>(
          std::lower_bound(sorted_.begin(), sorted_.end(), chain[c]) - sorted_.begin())];
    }
    return in_chain;
  }

 private:
  const msdata::CSpectrum* members_;
  const CDotProductBlock& prepared_;
  double tol_;
  CDotProductBlock::Row row_;
  std::vector<std::size_t> sorted_;
  std::vector<std::size_t> seconds_;
  std::vector<std::size_t> places_;
  std::vector<double> values_;
};

// Prepares every spectrum of a block once, for all the pairs it is in: into
// `prepared` for the indexed "Dot Product" (`dot`), else into `lists`, in
// the order the method scores them in. The peaks the selection keeps come
// from the spectra, or from `source` by list position (block start + a).
void PrepareMembers(const msdata::CSpectrum* members, std::size_t k, std::size_t start,
                    const CPeakSource* source, const CPeakSelect& peak_select, bool dot,
                    int method, CDotProductBlock& prepared, std::vector<msdata::PeakList>& lists) {
  auto select = [&](std::size_t a, msdata::PeakList& list) {
    if (source) {
      source->Selected(start + a, list);
    } else {
      list.assign(members[a].peaks.begin(), members[a].peaks.end());
      peak_select.Select(list);
    }
  };
  if (dot) {
    prepared.PrepareSelected(k, select);
    return;
  }
  lists.resize(k);
  for (std::size_t a = 0; a < k; ++a) {
    select(a, lists[a]);
    CPeakSelect::SqrtScale(lists[a]);
    CSimilarity::ArrangeFor(method, lists[a]);
  }
}

// Which blocks of a run are clustered, and how they are taken in rounds: a
// large block alone, scored on all threads; otherwise up to
// kBlocksPerRound clustered blocks, each on one thread.
class BlockRounds {
 public:
  explicit BlockRounds(const std::vector<CSimilarityCluster::Block>& blocks) : blocks_(blocks) {}

  // Every block but a lone spectrum in the middle of the list; the last
  // block always is.
  bool Clustered(std::size_t b) const {
    return blocks_[b].size > 1 || b + 1 == blocks_.size();
  }
  bool Shared(std::size_t b) const { return Clustered(b) && blocks_[b].size >= kSharedBlock; }

  // The end of the round that starts with block `first`.
  std::size_t End(std::size_t first) const {
    std::size_t end = first + 1;
    if (Shared(first)) return end;
    std::size_t count = Clustered(first) ? 1 : 0;
    while (end < blocks_.size() && !Shared(end) && count < kBlocksPerRound) {
      if (Clustered(end)) ++count;
      ++end;
    }
    return end;
  }

  // The clustered blocks of [first, end), the largest first, so that no
  // thread is left with a large one while the others wait at the end of
  // the round.
  std::vector<std::size_t> LargestFirst(std::size_t first, std::size_t end) const {
    std::vector<std::size_t> by_size;
    for (std::size_t b = first; b < end; ++b) {
      if (Clustered(b)) by_size.push_back(b);
    }
    std::stable_sort(by_size.begin(), by_size.end(), [&](std::size_t x, std::size_t y) {
      return blocks_[x].size > blocks_[y].size;
    });
    return by_size;
  }

 private:
  const std::vector<CSimilarityCluster::Block>& blocks_;
};

// What every block of one run is clustered with.
struct BlockJob {
  const CSimilarityCluster& strategy;
  const std::vector<msdata::CSpectrum>& spectra;
  const CSimilarity& scoring;
  const CPeakSelect& selection;
  bool representatives;

  CSimilarityCluster::BlockResult Cluster(const CSimilarityCluster::Block& block,
                                          int threads) const {
    return strategy.ClusterBlock(spectra, block, scoring, selection, threads, representatives,
                                 strategy.merge_log != nullptr);
  }
};

// Clusters the round [first, end) into results[b - first].
void ClusterRound(const BlockJob& job, const std::vector<CSimilarityCluster::Block>& blocks,
                  const BlockRounds& rounds, std::size_t first, std::size_t end, int threads,
                  std::vector<CSimilarityCluster::BlockResult>& results) {
  results.assign(end - first, CSimilarityCluster::BlockResult());
  if (rounds.Shared(first)) {
    results[0] = job.Cluster(blocks[first], threads);
    return;
  }
  const std::vector<std::size_t> by_size = rounds.LargestFirst(first, end);
  std::atomic<std::size_t> next{0};
  workers::OnThreads(threads, [&]() {
    for (;;) {
      const std::size_t taken = next.fetch_add(1);
      if (taken >= by_size.size()) return;
      const std::size_t b = by_size[taken];
      results[b - first] = job.Cluster(blocks[b], 1);
    }
  });
}

// Appends a block's links and representatives as positions in the whole
// list.
void AppendBlockResult(std::size_t start, const CSimilarityCluster::BlockResult& result,
                       std::vector<ClusterLink>& links, std::vector<int>& representatives,
                       std::vector<linkage::Merge>* merges) {
  const auto offset = static_cast<std::int32_t>(start);
  for (const ClusterLink& link : result.links) {
    links.push_back(
        ClusterLink{link.root + offset, link.next < 0 ? link.next : link.next + offset});
  }
  for (int r : result.representatives) representatives.push_back(r + offset);
  if (merges) {
    for (const linkage::Merge& m : result.merges) {
      merges->push_back(linkage::Merge{m.a + static_cast<std::uint32_t>(start),
                                       m.b + static_cast<std::uint32_t>(start), m.score});
    }
  }
}

}  // namespace


bool CSimilarityCluster::JoinsBlock(const msdata::CSpectrum& start,
                                    const msdata::CSpectrum& candidate) const {
  double difference = std::fabs(start.precursor_mass - candidate.precursor_mass);
  if (precursor_ion_tol_type == TOLERANCE_PPM) {
    difference = difference / candidate.precursor_mass * 1e6;
  }
  return difference < precursor_ion_tol && start.charge == candidate.charge;
}

std::vector<CSimilarityCluster::Block> CSimilarityCluster::FindBlocks(
    const std::vector<msdata::CSpectrum>& spectra) const {
  std::vector<Block> blocks;
  Block current;
  for (std::size_t i = 0; i < spectra.size(); ++i) {
    if (current.size > 0 && JoinsBlock(spectra[current.start], spectra[i])) {
      ++current.size;
      continue;
    }
    if (current.size > 0) blocks.push_back(current);
    current.start = i;
    current.size = 1;
  }
  // The last block is kept even when empty: it is clustered whatever its size.
  blocks.push_back(current);
  return blocks;
}

CSimilarityCluster::BlockResult CSimilarityCluster::ClusterBlock(
    const std::vector<msdata::CSpectrum>& spectra, const Block& block,
    const CSimilarity& similarity, const CPeakSelect& peak_select, int threads,
    bool representatives, bool keep_merges) const {
  const std::size_t k = block.size;
  BlockResult result;
  if (k == 0) return result;
  const msdata::CSpectrum* members = spectra.data() + block.start;
  threads = std::max(1, threads);
  const int floor = linkage::MergeFloor(threshold);
  PairCounts counts;

  const bool dot = similarity.similar_method == SIMILAR_DOT_PRODUCT &&
                   similarity.fragment_ion_tol_type != TOLERANCE_PPM;
  const double tol = similarity.fragment_ion_tol;
  using Clock = std::chrono::steady_clock;
  const auto seconds_since = [](Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
  };
  const auto preparing = Clock::now();
  CDotProductBlock prepared;
  std::vector<msdata::PeakList> lists;
  PrepareMembers(members, k, block.start, peak_source, peak_select, dot,
                 similarity.similar_method, prepared, lists);
  result.preparing = seconds_since(preparing);
  const auto comparing = Clock::now();

  CPairJoin join;
  // A candidate takes 2 bytes and a scored pair about 12: past a quarter
  // of all pairs the matrix (2 bytes a pair, twice with representatives)
  // holds less, which matters once the block has a million pairs.
  const std::size_t pairs = k * (k - 1) / 2;
  const std::size_t most_candidates = pairs >= kMatrixWorthPairs ? pairs / 4 : pairs;
  if (dot && join_pairs && k >= kJoinedBlock && floor >= kJoinedFloor && join.Build(prepared, tol) &&
      JoinedLinks(members, k, prepared, join, tol, floor, threads, most_candidates, counts, result.links,
                  keep_merges ? &result.merges : nullptr)) {
    const auto linking = Clock::now();
    if (representatives) {
      result.representatives =
          Representatives(result.links, ScoredSupports(members, prepared, tol));
    }
    result.linking = counts.linking_seconds + seconds_since(linking);
    result.comparing = seconds_since(comparing) - result.linking;
  } else {
    TriangleMatrix original(k);  // as scored, for choosing representatives
    counts.Held(pairs * sizeof(std::int16_t) * (representatives ? 2 : 1));
    if (dot) {
      ScorePairs(members, k, threads, original, [&]() { return IndexedScorer(prepared, tol); },
                 floor, counts);
    } else {
      ScorePairs(members, k, threads, original,
                 [&]() { return GeneralScorer(lists, members, similarity); }, floor, counts);
    }
    std::vector<linkage::Merge>* merges = keep_merges ? &result.merges : nullptr;
    const auto linking = Clock::now();
    result.comparing = seconds_since(comparing);
    if (!representatives) {
      result.links = linkage::MergeScores(original.Data(), k, floor, merges);
    } else {
      {
        TriangleMatrix current = original;  // changed by merging
        result.links = linkage::MergeScores(current.Data(), k, floor, merges);
      }
      result.representatives = Representatives(result.links, MatrixSupports(original));
    }
    result.linking = seconds_since(linking);
  }
  result.pairs_scored = counts.scored;
  result.pairs_above = counts.above;
  result.held_bytes = counts.held_bytes;
  return result;
}

void CSimilarityCluster::Run(std::vector<msdata::CSpectrum>& spectra, CSimilarity* similarity,
                             CPeakSelect* peak_select) {
  if (!spectra_process || spectra_process->data_directory.empty()) {
    notify::Message("Wrong data path!");
    return;
  }
  if (similarity) similarity->Set(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  const CSimilarity scoring(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  const CPeakSelect selection = peak_select ? *peak_select : CPeakSelect();
  const int threads = std::max(1, worker_threads);
  // Only copying representatives (alone or beside consensus spectra) uses
  // them; the files of the other kinds do not depend on them.
  const bool choose =
      representative_spectra &&
      (representative_spectra->consensus_type == REPRESENTATIVE_MOST_SIMILAR ||
       representative_spectra->consensus_type == REPRESENTATIVE_BOTH);
  if (clustering_mode == CLUSTERING_PRECISE) {
    RunPrecise(spectra, selection, choose, threads);
    return;
  }
  const BlockJob job{*this, spectra, scoring, selection, choose};

  const std::vector<Block> blocks = FindBlocks(spectra);
  const BlockRounds rounds(blocks);
  pairs_scored = 0;
  pairs_above = 0;
  largest_held_bytes = 0;
  phases = Phases();
  const auto clustering = std::chrono::steady_clock::now();
  std::vector<ClusterLink> links;
  links.reserve(spectra.size());
  std::vector<int> representatives;
  progress::Counter counter(spectra.size());
  std::vector<BlockResult> results;

  // The results of a round are taken in list order, so that nothing written
  // depends on the thread count.
  for (std::size_t first = 0; first < blocks.size();) {
    const std::size_t end = rounds.End(first);
    ClusterRound(job, blocks, rounds, first, end, threads, results);
    for (std::size_t b = first; b < end; ++b) {
      const Block& block = blocks[b];
      for (std::size_t i = block.start; i < block.start + block.size; ++i) counter.At(i);
      if (rounds.Clustered(b)) {
        AppendBlockResult(block.start, results[b - first], links, representatives, merge_log);
        pairs_scored += results[b - first].pairs_scored;
        pairs_above += results[b - first].pairs_above;
        largest_held_bytes = std::max(largest_held_bytes, results[b - first].held_bytes);
        phases.preparing += results[b - first].preparing;
        phases.comparing += results[b - first].comparing;
        phases.linking += results[b - first].linking;
        continue;
      }
      // A lone spectrum is a cluster of its own: the representative
      // settings put it in place with the others, once, and only when
      // their type writes spectra.
      links.push_back(ClusterLink{static_cast<std::int32_t>(block.start), -1});
    }
    first = end;
  }
  results.clear();
  results.shrink_to_fit();
  phases.clustering_wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - clustering).count();
  Deliver(spectra, links, representatives, threads);
}

void CSimilarityCluster::RunPrecise(std::vector<msdata::CSpectrum>& spectra, const CPeakSelect& selection,
                                    bool representatives, int threads) {
  phases = Phases();
  largest_held_bytes = 0;
  const auto clustering = std::chrono::steady_clock::now();
  precise::Settings settings;
  settings.precursor_ion_tol = precursor_ion_tol;
  settings.precursor_ion_tol_type = precursor_ion_tol_type;
  settings.floor = linkage::MergeFloor(threshold);
  settings.representatives = representatives;
  settings.threads = threads;
  settings.peak_source = peak_source;
  precise::Result result = precise::Cluster(spectra, selection, settings, merge_log);
  pairs_scored = result.pairs_scored;
  pairs_above = result.pairs_above;
  phases.clustering_wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - clustering).count();
  Deliver(spectra, result.links, result.representatives, threads);
}

void CSimilarityCluster::Deliver(std::vector<msdata::CSpectrum>& spectra, const std::vector<ClusterLink>& links,
                                 const std::vector<int>& representatives, int threads) {
  notify::Message("Clustering done!");
  if (representative_spectra) {
    const auto writing = std::chrono::steady_clock::now();
    representative_spectra->worker_threads = threads;
    representative_spectra->peak_source = peak_source;
    representative_spectra->Generate(spectra, links, representatives,
                                      spectra_process->SettingsOnly());
    phases.writing_wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - writing).count();
  }
}
