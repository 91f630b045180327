#include "clustering/SimilarityCluster.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <mutex>
#include <thread>

#include <sys/mman.h>

#include "clustering/DotProductBlock.h"
#include "clustering/Progress.h"
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
  explicit TriangleMatrix(std::size_t k) : k_(k), size_(k < 2 ? 0 : k * (k - 1) / 2) {
    Allocate();
    std::memset(data_.get(), 0, size_ * sizeof(std::int16_t));
  }
  TriangleMatrix(const TriangleMatrix& other) : k_(other.k_), size_(other.size_) {
    Allocate();
    std::memcpy(data_.get(), other.data_.get(), size_ * sizeof(std::int16_t));
  }
  TriangleMatrix& operator=(const TriangleMatrix&) = delete;

  std::int16_t& At(std::size_t x, std::size_t y) {
    return data_.get()[CSimilarityCluster::PairIndex(x, y, k_)];
  }
  std::int16_t At(std::size_t x, std::size_t y) const {
    return data_.get()[CSimilarityCluster::PairIndex(x, y, k_)];
  }
  // The entries (x, x+1) .. (x, k-1).
  std::int16_t* Later(std::size_t x) {
    return data_.get() + CSimilarityCluster::PairIndex(x, x + 1, k_);
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
// Blocks clustered side by side before their results are taken in order;
// it bounds the results held and keeps the progress output moving.
constexpr std::size_t kBlocksPerRound = 64;
// How far ahead merging asks for the entries it is about to read.
constexpr std::size_t kPrefetch = 24;

// Runs body() on `threads` threads, the calling thread being one of them,
// and rethrows the first exception any of them raised.
template <class Body>
void OnThreads(int threads, Body body) {
  if (threads <= 1) {
    body();
    return;
  }
  std::exception_ptr failure;
  std::mutex mutex;
  auto guarded = [&]() {
    try {
      body();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!failure) failure = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads; ++t) helpers.emplace_back(guarded);
  guarded();
  for (std::thread& h : helpers) h.join();
  if (failure) std::rethrow_exception(failure);
}

// Scores every pair (a, b), a < b, of equal charge into `scores`; pairs
// of unequal charge keep 0. Rows a are handed out one at a time, and a
// row's entries lie side by side, so threads write apart from each other.
// `make_scorer` gives each thread its scorer: Load(a) makes a the first
// spectrum, Score(seconds, count, out) scores it against each of them.
template <class MakeScorer>
void ScorePairs(const msdata::CSpectrum* members, std::size_t k, int threads,
                TriangleMatrix& scores, MakeScorer make_scorer) {
  std::atomic<std::size_t> next_row{0};
  OnThreads(threads, [&]() {
    auto scorer = make_scorer();
    std::vector<std::size_t> seconds;
    std::vector<double> values;
    for (;;) {
      const std::size_t a = next_row.fetch_add(1);
      if (a >= k) return;
      seconds.clear();
      for (std::size_t b = a + 1; b < k; ++b) {
        if (members[a].charge == members[b].charge) seconds.push_back(b);
      }
      values.resize(seconds.size());
      scorer.Load(a);
      scorer.Score(seconds.data(), seconds.size(), values.data());
      if (a + 1 == k) continue;
      std::int16_t* row = scores.Later(a);
      for (std::size_t s = 0; s < seconds.size(); ++s) {
        row[seconds[s] - a - 1] = CSimilarityCluster::PackScore(values[s]);
      }
    }
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

}  // namespace

std::int16_t CSimilarityCluster::PackScore(double score) {
  const double scaled = std::trunc(score * 10000.0);
  if (!(scaled > 0.0)) return 0;
  if (scaled >= 32767.0) return 32767;
  return static_cast<std::int16_t>(scaled);
}

// Single linkage over the scores: repeatedly merge the two clusters with the
// highest entry (ties: lowest column, then lowest row) while it exceeds
// `floor`; the merged cluster keeps the lower position and takes the larger
// of the two entries towards every other cluster.
//
// Instead of searching the whole matrix after each merge, every live
// cluster x keeps its best partner: the first y (ascending) with the
// highest entry above the floor. For a fixed x the pair (min, max) grows
// with y, so that first y is x's best pair in the tie order, and the best
// pair overall is the best of these. A merge of b into a changes only
// entries towards a, so the other clusters' partners are mended in one step
// each.
std::vector<ClusterLink> CSimilarityCluster::MergeScores(std::int16_t* scores, std::size_t k,
                                                        int floor) {
  std::int16_t* const data = scores;
  auto at = [data, k](std::size_t x, std::size_t y) -> std::int16_t& {
    return data[PairIndex(x, y, k)];
  };
  std::vector<ClusterLink> links(k);
  std::vector<std::size_t> tail(k);
  std::vector<std::int32_t> partner(k, -1);
  std::vector<int> best(k, floor);
  // Live clusters in ascending order; the loops below only visit them.
  std::vector<std::uint32_t> live(k);
  for (std::size_t a = 0; a < k; ++a) {
    links[a] = ClusterLink{static_cast<std::int32_t>(a), -1};
    tail[a] = a;
    live[a] = static_cast<std::uint32_t>(a);
  }
  // The first partners in one pass over the entries in storage order: row x
  // offers each entry to x and to the later spectrum. Rows come in
  // ascending order and only a greater entry replaces, so the lowest
  // partner wins ties.
  for (std::size_t x = 0; x + 1 < k; ++x) {
    const std::int16_t* row = data + PairIndex(x, x + 1, k);
    for (std::size_t y = x + 1; y < k; ++y) {
      const int v = row[y - x - 1];
      if (v > best[x]) {
        best[x] = v;
        partner[x] = static_cast<std::int32_t>(y);
      }
      if (v > best[y]) {
        best[y] = v;
        partner[y] = static_cast<std::int32_t>(x);
      }
    }
  }

  // The best pair overall: the highest value, then the lowest pair.
  int value = floor;
  std::size_t a = k;
  std::size_t b = k;
  auto consider = [&](std::size_t x) {
    if (partner[x] < 0) return;
    const std::size_t y = static_cast<std::size_t>(partner[x]);
    const std::size_t lo = std::min(x, y);
    const std::size_t hi = std::max(x, y);
    if (best[x] > value || (best[x] == value && a < k && (lo < a || (lo == a && hi < b)))) {
      value = best[x];
      a = lo;
      b = hi;
    }
  };
  for (std::size_t x = 0; x < k; ++x) consider(x);

  while (a < k) {
    links[tail[a]].next = static_cast<std::int32_t>(b);
    for (std::int32_t m = static_cast<std::int32_t>(b); m >= 0; m = links[m].next) {
      links[m].root = links[a].root;
    }
    tail[a] = tail[b];
    live.erase(std::lower_bound(live.begin(), live.end(), static_cast<std::uint32_t>(b)));

    // One pass over the live clusters mends every partner, finds a's new
    // partner (the first highest entry, as the pass is in ascending order)
    // and the next best pair.
    const std::size_t merged = a;
    const auto a32 = static_cast<std::int32_t>(merged);
    const auto b32 = static_cast<std::int32_t>(b);
    const std::size_t from = b;
    value = floor;
    a = k;
    b = k;
    int merged_best = floor;
    std::int32_t merged_partner = -1;
    const std::size_t live_count = live.size();
    for (std::size_t i = 0; i < live_count; ++i) {
      // Entries of the absorbed cluster with earlier spectra lie far apart;
      // asking for them early lets their fetches overlap.
      if (i + kPrefetch < live_count) __builtin_prefetch(&at(from, live[i + kPrefetch]));
      const std::uint32_t c = live[i];
      if (c == merged) continue;
      std::int16_t& into_a = at(merged, c);
      const std::int16_t from_b = at(from, c);
      if (from_b > into_a) into_a = from_b;
      if (into_a > merged_best) {
        merged_best = into_a;
        merged_partner = static_cast<std::int32_t>(c);
      }
      if (partner[c] == b32) {
        // The entry towards the merged cluster now holds that best value,
        // and no lower position can hold it.
        partner[c] = a32;
      } else if (partner[c] != a32) {
        if (into_a > best[c] || (into_a == best[c] && partner[c] >= 0 && a32 < partner[c])) {
          best[c] = into_a;
          partner[c] = a32;
        }
      }
      consider(c);
    }
    best[merged] = merged_best;
    partner[merged] = merged_partner;
    consider(merged);
  }
  return links;
}


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
    bool representatives) const {
  const std::size_t k = block.size;
  BlockResult result;
  if (k == 0) return result;
  const msdata::CSpectrum* members = spectra.data() + block.start;
  threads = std::max(1, threads);

  TriangleMatrix original(k);  // as scored, for choosing representatives
  // Each spectrum is prepared once and reused for every pair it is in.
  if (similarity.similar_method == SIMILAR_DOT_PRODUCT &&
      similarity.fragment_ion_tol_type != TOLERANCE_PPM) {
    CDotProductBlock prepared;
    prepared.Prepare(members, k, peak_select);
    const double tol = similarity.fragment_ion_tol;
    ScorePairs(members, k, threads, original,
               [&]() { return IndexedScorer(prepared, tol); });
  } else {
    std::vector<msdata::PeakList> prepared(k);
    for (std::size_t a = 0; a < k; ++a) {
      prepared[a] = peak_select.Prepare(members[a].peaks);
      CSimilarity::ArrangeFor(similarity.similar_method, prepared[a]);
    }
    ScorePairs(members, k, threads, original,
               [&]() { return GeneralScorer(prepared, members, similarity); });
  }

  // Only pairs above both the threshold and 0 can ever be merged.
  const double merge_floor = std::max(std::trunc(threshold * 10000.0), 0.0);
  const int floor = merge_floor < 32767.0 ? static_cast<int>(merge_floor) : 32767;
  if (!representatives) {
    result.links = MergeScores(original.Data(), k, floor);
    return result;
  }
  {
    TriangleMatrix current = original;  // changed by merging
    result.links = MergeScores(current.Data(), k, floor);
  }

  // Clusters in order of their heads; the representative is the member most
  // similar to all others, the earlier member on ties, the head when no
  // member has any support.
  std::vector<unsigned char> taken(k, 0);
  std::vector<std::size_t> chain;
  for (std::size_t p = 0; p < k; ++p) {
    if (taken[p]) continue;
    chain.clear();
    for (std::int32_t m = static_cast<std::int32_t>(p); m >= 0; m = result.links[m].next) {
      chain.push_back(static_cast<std::size_t>(m));
      taken[m] = 1;
    }
    std::size_t representative = chain.front();
    if (chain.size() > 1) {
      long long best_support = 0;
      for (std::size_t x : chain) {
        long long support = 0;
        for (std::size_t y : chain) {
          if (y != x) support += original.At(x, y);
        }
        if (support > best_support) {
          best_support = support;
          representative = x;
        }
      }
    }
    result.representatives.push_back(static_cast<int>(representative));
  }
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

  const std::vector<Block> blocks = FindBlocks(spectra);
  // Every block but a lone spectrum in the middle of the list is clustered;
  // the last block always is.
  auto clustered = [&](std::size_t b) { return blocks[b].size > 1 || b + 1 == blocks.size(); };
  auto shared = [&](std::size_t b) { return clustered(b) && blocks[b].size >= kSharedBlock; };

  std::vector<ClusterLink> links;
  links.reserve(spectra.size());
  std::vector<int> representatives;
  progress::Counter counter(spectra.size());
  std::vector<BlockResult> results;

  // Rounds of consecutive blocks: a large block alone, scored on all
  // threads; otherwise up to kBlocksPerRound clustered blocks, each on one
  // thread. The results are then taken in list order, so that nothing
  // written depends on the thread count.
  for (std::size_t first = 0; first < blocks.size();) {
    std::size_t end = first + 1;
    if (!shared(first)) {
      std::size_t count = clustered(first) ? 1 : 0;
      while (end < blocks.size() && !shared(end) && count < kBlocksPerRound) {
        if (clustered(end)) ++count;
        ++end;
      }
    }
    results.assign(end - first, BlockResult());
    if (shared(first)) {
      results[0] =
          ClusterBlock(spectra, blocks[first], scoring, selection, threads, choose);
    } else {
      std::atomic<std::size_t> next{first};
      OnThreads(threads, [&]() {
        for (;;) {
          const std::size_t b = next.fetch_add(1);
          if (b >= end) return;
          if (clustered(b)) {
            results[b - first] =
                ClusterBlock(spectra, blocks[b], scoring, selection, 1, choose);
          }
        }
      });
    }

    for (std::size_t b = first; b < end; ++b) {
      const Block& block = blocks[b];
      for (std::size_t i = block.start; i < block.start + block.size; ++i) counter.At(i);
      if (!clustered(b)) {
        links.push_back(ClusterLink{static_cast<std::int32_t>(block.start), -1});
        PlaceSpectrum(spectra[block.start], spectra_process->data_directory,
                      spectra_process->out_directory);
        continue;
      }
      const auto offset = static_cast<std::int32_t>(block.start);
      for (const ClusterLink& link : results[b - first].links) {
        links.push_back(
            ClusterLink{link.root + offset, link.next < 0 ? link.next : link.next + offset});
      }
      for (int r : results[b - first].representatives) representatives.push_back(r + offset);
    }
    first = end;
  }
  results.clear();
  results.shrink_to_fit();

  notify::Message("Clustering done!");
  if (representative_spectra) {
    representative_spectra->Generate(spectra, links, representatives,
                                      spectra_process->SettingsOnly());
  }
}
