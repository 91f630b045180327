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
#include <queue>
#include <thread>
#include <unordered_map>

#include <sys/mman.h>

#include "clustering/DotProductBlock.h"
#include "clustering/PairJoin.h"
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
// Below this many spectra, or for thresholds below this floor (packed), the
// join would pass nearly every pair and all of them are scored.
constexpr std::size_t kJoinedBlock = 16;
constexpr int kJoinedFloor = 1000;
// The entry of a pair the join left unscored, while representatives may
// still need it; below every packed score.
constexpr std::int16_t kUnscored = -1;
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

// Figures of one block, summed over the blocks of a run.
struct PairCounts {
  std::atomic<std::size_t> scored{0};
  std::atomic<std::size_t> above{0};
};

// Scores pairs (a, b), a < b, of equal charge into `scores`: for every a,
// the b that `make_chooser`'s chooser puts into its list (Choose(a, list),
// ascending, all later spectra or a selection); other entries keep what
// they hold. Rows a are handed out one at a time, and a row's entries lie
// side by side, so threads write apart from each other. `make_scorer`
// gives each thread its scorer: Load(a) makes a the first spectrum,
// Score(seconds, count, out) scores it against each of them. Counts the
// pairs scored and those whose entry exceeds `floor`.
template <class MakeScorer, class MakeChooser>
void ScorePairs(const msdata::CSpectrum* members, std::size_t k, int threads,
                TriangleMatrix& scores, MakeScorer make_scorer, MakeChooser make_chooser,
                int floor, PairCounts& counts) {
  std::atomic<std::size_t> next_row{0};
  OnThreads(threads, [&]() {
    auto scorer = make_scorer();
    auto chooser = make_chooser();
    std::vector<std::size_t> chosen;
    std::vector<std::size_t> seconds;
    std::vector<double> values;
    std::size_t scored = 0;
    std::size_t above = 0;
    for (;;) {
      const std::size_t a = next_row.fetch_add(1);
      if (a + 1 >= k) break;
      chosen.clear();
      chooser.Choose(a, chosen);
      seconds.clear();
      for (std::size_t b : chosen) {
        if (members[a].charge == members[b].charge) seconds.push_back(b);
      }
      if (seconds.empty()) continue;
      values.resize(seconds.size());
      scorer.Load(a);
      scorer.Score(seconds.data(), seconds.size(), values.data());
      std::int16_t* row = scores.Later(a);
      for (std::size_t s = 0; s < seconds.size(); ++s) {
        const std::int16_t packed = CSimilarityCluster::PackScore(values[s]);
        row[seconds[s] - a - 1] = packed;
        if (packed > floor) ++above;
      }
      scored += seconds.size();
    }
    counts.scored += scored;
    counts.above += above;
  });
}

// Every later spectrum.
class AllPairs {
 public:
  explicit AllPairs(std::size_t k) : k_(k) {}
  void Choose(std::size_t a, std::vector<std::size_t>& out) const {
    for (std::size_t b = a + 1; b < k_; ++b) out.push_back(b);
  }

 private:
  std::size_t k_;
};

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

// 16-bit values appended in chunks: a growing vector would copy them and
// keep up to as much again unused, and the candidates of a large block take
// hundreds of megabytes.
class ChunkedValues {
 public:
  void push_back(std::uint16_t value) {
    if ((size_ & kMask) == 0) chunks_.emplace_back(new std::uint16_t[kChunk]);
    chunks_.back()[size_ & kMask] = value;
    ++size_;
  }
  std::uint16_t operator[](std::size_t i) const { return chunks_[i >> kShift][i & kMask]; }

 private:
  static constexpr std::size_t kShift = 12;
  static constexpr std::size_t kChunk = std::size_t{1} << kShift;
  static constexpr std::size_t kMask = kChunk - 1;
  std::vector<std::unique_ptr<std::uint16_t[]>> chunks_;
  std::size_t size_ = 0;
};

// Bounds of one width are scored together, the highest first.
constexpr int kLevelWidth = 50;
constexpr std::size_t kRowsWorthThreads = 64;

// The links of a block whose pairs CPairJoin bounds, from the scores of as
// few pairs as single linkage allows.
//
// Merging only ever looks at the best entry between two clusters. When a
// pair's bound does not exceed some value and its spectra are already
// joined by a path of scores all above that value, the pair's own score is
// never the best entry between two clusters while they are apart (a higher
// one on the path always is), so it cannot change what is merged or when.
// Pairs are therefore taken by bound, highest first, in levels of
// kLevelWidth: those whose spectra the scores above the level already join
// are skipped, the others scored. What is merged comes from the scored
// pairs above the floor alone (MergeEdges).
std::vector<ClusterLink> JoinedLinks(const msdata::CSpectrum* members, std::size_t k,
                                     const CDotProductBlock& prepared, const CPairJoin& join,
                                     double tol, int floor, int threads, PairCounts& counts) {
  const int levels = floor < 32767 ? (32767 - floor + kLevelWidth - 1) / kLevelWidth : 0;
  // Candidates by level and thread: the later spectra of each row, in runs,
  // each as its distance from the row less one in 16 bits, or the escape
  // 0xffff and the spectrum in two halves (blocks beyond 65536 spectra).
  struct Run {
    std::uint32_t first;
    std::uint32_t count;  // candidates
    std::uint32_t slots;  // 16-bit values they take
  };
  struct Bucket {
    std::vector<Run> runs;
    ChunkedValues seconds;
  };
  // Blocks of a run hold one charge; other callers' need not.
  const bool one_charge = std::all_of(members, members + k, [members](const msdata::CSpectrum& s) {
    return s.charge == members[0].charge;
  });
  std::vector<std::vector<Bucket>> buckets(static_cast<std::size_t>(threads));
  for (auto& of_thread : buckets) of_thread.resize(static_cast<std::size_t>(levels));
  {
    std::atomic<std::size_t> next_row{0};
    std::atomic<int> next_slot{0};
    OnThreads(threads, [&]() {
      std::vector<Bucket>& mine = buckets[static_cast<std::size_t>(next_slot.fetch_add(1))];
      CPairJoin::Probe probe(join);
      std::vector<CPairJoin::Candidate> found;
      for (;;) {
        const std::size_t a = next_row.fetch_add(1);
        if (a + 1 >= k) break;
        found.clear();
        probe.Candidates(a, floor, found);
        for (const CPairJoin::Candidate& c : found) {
          if (!one_charge && members[a].charge != members[c.spectrum].charge) continue;
          Bucket& bucket = mine[static_cast<std::size_t>((c.bound - floor - 1) / kLevelWidth)];
          if (bucket.runs.empty() || bucket.runs.back().first != a) {
            bucket.runs.push_back(Run{static_cast<std::uint32_t>(a), 0, 0});
          }
          Run& run = bucket.runs.back();
          ++run.count;
          const std::size_t distance = c.spectrum - a - 1;
          if (distance < 0xffff) {
            bucket.seconds.push_back(static_cast<std::uint16_t>(distance));
            run.slots += 1;
          } else {
            bucket.seconds.push_back(0xffff);
            bucket.seconds.push_back(static_cast<std::uint16_t>(c.spectrum >> 16));
            bucket.seconds.push_back(static_cast<std::uint16_t>(c.spectrum & 0xffff));
            run.slots += 3;
          }
        }
      }
    });
  }

  // Groups joined by the scores above the current level; `group` is read
  // by the threads while a level is scored and changed only between levels.
  std::vector<std::uint32_t> parent(k);
  for (std::size_t x = 0; x < k; ++x) parent[x] = static_cast<std::uint32_t>(x);
  auto find = [&](std::uint32_t x) {
    while (parent[x] != x) x = parent[x] = parent[parent[x]];
    return x;
  };
  std::vector<std::uint32_t> group(parent);
  // Scored pairs above the floor by the level their score lies in (never
  // above the level they were scored in, as no score exceeds its bound):
  // they join their spectra once that level is done.
  std::vector<std::vector<CSimilarityCluster::Edge>> by_level(static_cast<std::size_t>(levels));
  auto level_of = [floor](int score) { return static_cast<std::size_t>((score - floor - 1) / kLevelWidth); };
  std::vector<std::vector<CSimilarityCluster::Edge>> found_edges(static_cast<std::size_t>(threads));
  for (int level = levels - 1; level >= 0; --level) {
    struct Work {
      const Bucket* bucket;
      std::size_t run;
      std::size_t at;
    };
    std::vector<Work> work;
    for (auto& of_thread : buckets) {
      const Bucket& bucket = of_thread[static_cast<std::size_t>(level)];
      std::size_t at = 0;
      for (std::size_t r = 0; r < bucket.runs.size(); ++r) {
        work.push_back(Work{&bucket, r, at});
        at += bucket.runs[r].slots;
      }
    }
    if (!work.empty()) {
      std::atomic<std::size_t> next{0};
      std::atomic<int> next_slot{0};
      // Starting threads costs more than a few rows take.
      OnThreads(work.size() < kRowsWorthThreads ? 1 : threads, [&]() {
        std::vector<CSimilarityCluster::Edge>& mine =
            found_edges[static_cast<std::size_t>(next_slot.fetch_add(1))];
        CDotProductBlock::Row row;
        std::vector<std::size_t> seconds;
        std::vector<double> values;
        std::size_t scored = 0;
        std::size_t above = 0;
        for (;;) {
          const std::size_t w = next.fetch_add(1);
          if (w >= work.size()) break;
          const Run& run = work[w].bucket->runs[work[w].run];
          const ChunkedValues& later = work[w].bucket->seconds;
          const std::size_t at = work[w].at;
          const std::uint32_t a = run.first;
          seconds.clear();
          for (std::uint32_t i = 0; i < run.slots; ++i) {
            const std::uint16_t value = later[at + i];
            std::uint32_t b = a + 1 + value;
            if (value == 0xffff) {
              b = std::uint32_t{later[at + i + 1]} << 16 | later[at + i + 2];
              i += 2;
            }
            if (group[b] != group[a]) seconds.push_back(b);
          }
          if (seconds.empty()) continue;
          values.resize(seconds.size());
          row.Load(prepared, a, tol);
          row.Score(seconds.data(), seconds.size(), values.data());
          for (std::size_t s = 0; s < seconds.size(); ++s) {
            const std::int16_t packed = CSimilarityCluster::PackScore(values[s]);
            if (packed > floor) {
              mine.push_back(
                  CSimilarityCluster::Edge{a, static_cast<std::uint32_t>(seconds[s]), packed});
              ++above;
            }
          }
          scored += seconds.size();
        }
        counts.scored += scored;
        counts.above += above;
      });
    }
    for (auto& of_thread : buckets) {
      of_thread[static_cast<std::size_t>(level)] = Bucket();
    }
    for (auto& mine : found_edges) {
      for (const CSimilarityCluster::Edge& e : mine) by_level[level_of(e.score)].push_back(e);
      mine.clear();
    }
    // The scores of this level join their spectra for the levels below.
    bool joined = false;
    for (const CSimilarityCluster::Edge& e : by_level[static_cast<std::size_t>(level)]) {
      const std::uint32_t x = find(e.lo);
      const std::uint32_t y = find(e.hi);
      if (x != y) {
        parent[std::max(x, y)] = std::min(x, y);
        joined = true;
      }
    }
    if (joined) {
      for (std::size_t x = 0; x < k; ++x) group[x] = find(static_cast<std::uint32_t>(x));
    }
  }
  std::size_t total = 0;
  for (const auto& of_level : by_level) total += of_level.size();
  std::vector<CSimilarityCluster::Edge> edges;
  edges.reserve(total);
  for (auto& of_level : by_level) {
    edges.insert(edges.end(), of_level.begin(), of_level.end());
    std::vector<CSimilarityCluster::Edge>().swap(of_level);
  }
  return CSimilarityCluster::MergeEdges(std::move(edges), k, floor);
}
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


// Single linkage as MergeScores does it, over the entries above the floor
// alone. Merging takes the scores from the highest down: all entries of one
// value between clusters that are still apart are the best entries left,
// and among them the pair of clusters with the lowest lower position, then
// the lowest higher one, goes first. A cluster's position is its lowest
// member, and only the absorbed cluster's position changes, so its pairs
// are queued again under the new position and stale ones are passed over.
std::vector<ClusterLink> CSimilarityCluster::MergeEdges(std::vector<Edge> edges, std::size_t k,
                                                       int floor) {
  edges.erase(std::remove_if(edges.begin(), edges.end(),
                             [floor](const Edge& e) { return e.score <= floor; }),
              edges.end());
  std::sort(edges.begin(), edges.end(),
            [](const Edge& x, const Edge& y) { return x.score > y.score; });
  std::vector<ClusterLink> links(k);
  std::vector<std::uint32_t> tail(k);
  std::vector<std::uint32_t> parent(k);  // towards the cluster's position
  for (std::size_t a = 0; a < k; ++a) {
    links[a] = ClusterLink{static_cast<std::int32_t>(a), -1};
    tail[a] = static_cast<std::uint32_t>(a);
    parent[a] = static_cast<std::uint32_t>(a);
  }
  auto find = [&](std::uint32_t x) {
    while (parent[x] != x) x = parent[x] = parent[parent[x]];
    return x;
  };
  auto key = [](std::uint32_t x, std::uint32_t y) {
    return x < y ? (std::uint64_t{x} << 32 | y) : (std::uint64_t{y} << 32 | x);
  };
  std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<std::uint64_t>>
      queue;
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> near;  // within one value
  for (std::size_t first = 0; first < edges.size();) {
    std::size_t end = first;
    while (end < edges.size() && edges[end].score == edges[first].score) ++end;
    near.clear();
    for (std::size_t e = first; e < end; ++e) {
      const std::uint32_t x = find(edges[e].lo);
      const std::uint32_t y = find(edges[e].hi);
      if (x == y) continue;
      queue.push(key(x, y));
      near[x].push_back(y);
      near[y].push_back(x);
    }
    while (!queue.empty()) {
      const std::uint64_t top = queue.top();
      queue.pop();
      const auto a = static_cast<std::uint32_t>(top >> 32);
      const auto b = static_cast<std::uint32_t>(top & 0xffffffffu);
      if (find(a) != a || find(b) != b) continue;  // queued under an old position
      links[tail[a]].next = static_cast<std::int32_t>(b);
      tail[a] = tail[b];
      parent[b] = a;
      auto from = near.find(b);
      if (from == near.end()) continue;
      std::vector<std::uint32_t> moved;
      moved.swap(from->second);
      std::vector<std::uint32_t>& into = near[a];
      for (std::uint32_t c : moved) {
        const std::uint32_t r = find(c);
        if (r == a) continue;
        queue.push(key(a, r));
        into.push_back(r);
      }
    }
    first = end;
  }
  for (std::size_t a = 0; a < k; ++a) {
    if (parent[a] != a) continue;
    for (std::int32_t m = static_cast<std::int32_t>(a); m >= 0; m = links[m].next) {
      links[m].root = static_cast<std::int32_t>(a);
    }
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

  // Only pairs above both the threshold and 0 can ever be merged.
  const double merge_floor = std::max(std::trunc(threshold * 10000.0), 0.0);
  const int floor = merge_floor < 32767.0 ? static_cast<int>(merge_floor) : 32767;
  PairCounts counts;

  // Each spectrum is prepared once and reused for every pair it is in.
  const bool dot = similarity.similar_method == SIMILAR_DOT_PRODUCT &&
                   similarity.fragment_ion_tol_type != TOLERANCE_PPM;
  const double tol = similarity.fragment_ion_tol;
  CDotProductBlock prepared;
  std::vector<msdata::PeakList> lists;
  auto select = [&](std::size_t a, msdata::PeakList& list) {
    if (peak_source) {
      peak_source->Selected(block.start + a, list);
    } else {
      list.assign(members[a].peaks.begin(), members[a].peaks.end());
      peak_select.Select(list);
    }
  };
  if (dot) {
    prepared.PrepareSelected(k, select);
  } else {
    lists.resize(k);
    for (std::size_t a = 0; a < k; ++a) {
      select(a, lists[a]);
      CPeakSelect::SqrtScale(lists[a]);
      CSimilarity::ArrangeFor(similarity.similar_method, lists[a]);
    }
  }

  CPairJoin join;
  if (dot && join_pairs && k >= kJoinedBlock && floor >= kJoinedFloor &&
      join.Build(prepared, tol)) {
    result.links = JoinedLinks(members, k, prepared, join, tol, floor, threads, counts);
    result.pairs_scored = counts.scored;
    result.pairs_above = counts.above;
    if (representatives) {
      // The scores within each cluster, most of which the join skipped.
      CDotProductBlock::Row row;
      std::vector<std::size_t> sorted;
      std::vector<std::size_t> seconds;
      std::vector<std::size_t> places;
      std::vector<double> values;
      result.representatives =
          Representatives(result.links, [&](const std::vector<std::size_t>& chain) {
            sorted = chain;
            std::sort(sorted.begin(), sorted.end());
            std::vector<long long> support(sorted.size(), 0);
            for (std::size_t x = 0; x + 1 < sorted.size(); ++x) {
              seconds.clear();
              places.clear();
              for (std::size_t y = x + 1; y < sorted.size(); ++y) {
                if (members[sorted[x]].charge != members[sorted[y]].charge) continue;
                seconds.push_back(sorted[y]);
                places.push_back(y);
              }
              if (seconds.empty()) continue;
              values.resize(seconds.size());
              row.Load(prepared, sorted[x], tol);
              row.Score(seconds.data(), seconds.size(), values.data());
              for (std::size_t s = 0; s < seconds.size(); ++s) {
                const int packed = PackScore(values[s]);
                support[x] += packed;
                support[places[s]] += packed;
              }
            }
            std::vector<long long> in_chain(chain.size());
            for (std::size_t c = 0; c < chain.size(); ++c) {
              in_chain[c] = support[static_cast<std::size_t>(
                  std::lower_bound(sorted.begin(), sorted.end(), chain[c]) - sorted.begin())];
            }
            return in_chain;
          });
    }
    return result;
  }

  TriangleMatrix original(k);  // as scored, for choosing representatives
  if (dot) {
    ScorePairs(members, k, threads, original, [&]() { return IndexedScorer(prepared, tol); },
               [k]() { return AllPairs(k); }, floor, counts);
  } else {
    ScorePairs(members, k, threads, original,
               [&]() { return GeneralScorer(lists, members, similarity); },
               [k]() { return AllPairs(k); }, floor, counts);
  }
  result.pairs_scored = counts.scored;
  result.pairs_above = counts.above;
  if (!representatives) {
    result.links = MergeScores(original.Data(), k, floor);
    return result;
  }
  {
    TriangleMatrix current = original;  // changed by merging
    result.links = MergeScores(current.Data(), k, floor);
  }
  result.representatives =
      Representatives(result.links, [&](const std::vector<std::size_t>& chain) {
        std::vector<long long> support(chain.size(), 0);
        for (std::size_t x = 0; x < chain.size(); ++x) {
          for (std::size_t y = 0; y < chain.size(); ++y) {
            if (y != x) support[x] += original.At(chain[x], chain[y]);
          }
        }
        return support;
      });
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

  pairs_scored = 0;
  pairs_above = 0;
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
      // The largest blocks first, so that no thread is left with a large
      // one while the others wait at the end of the round.
      std::vector<std::size_t> by_size;
      for (std::size_t b = first; b < end; ++b) {
        if (clustered(b)) by_size.push_back(b);
      }
      std::stable_sort(by_size.begin(), by_size.end(), [&](std::size_t x, std::size_t y) {
        return blocks[x].size > blocks[y].size;
      });
      std::atomic<std::size_t> next{0};
      OnThreads(threads, [&]() {
        for (;;) {
          const std::size_t taken = next.fetch_add(1);
          if (taken >= by_size.size()) return;
          const std::size_t b = by_size[taken];
          results[b - first] = ClusterBlock(spectra, blocks[b], scoring, selection, 1, choose);
        }
      });
    }

    for (std::size_t b = first; b < end; ++b) {
      const Block& block = blocks[b];
      for (std::size_t i = block.start; i < block.start + block.size; ++i) counter.At(i);
      if (!clustered(b)) {
        links.push_back(ClusterLink{static_cast<std::int32_t>(block.start), -1});
        const msdata::CSpectrum& lone = spectra[block.start];
        if (peak_source) {
          PlaceSpectrum(WithPeaks(lone, block.start, peak_source),
                        spectra_process->data_directory, spectra_process->out_directory);
        } else {
          PlaceSpectrum(lone, spectra_process->data_directory, spectra_process->out_directory);
        }
        continue;
      }
      const auto offset = static_cast<std::int32_t>(block.start);
      for (const ClusterLink& link : results[b - first].links) {
        links.push_back(
            ClusterLink{link.root + offset, link.next < 0 ? link.next : link.next + offset});
      }
      for (int r : results[b - first].representatives) representatives.push_back(r + offset);
      pairs_scored += results[b - first].pairs_scored;
      pairs_above += results[b - first].pairs_above;
    }
    first = end;
  }
  results.clear();
  results.shrink_to_fit();

  notify::Message("Clustering done!");
  if (representative_spectra) {
    representative_spectra->worker_threads = threads;
    representative_spectra->peak_source = peak_source;
    representative_spectra->Generate(spectra, links, representatives,
                                      spectra_process->SettingsOnly());
  }
}
