#include "clustering/JoinedLinks.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>

#include "clustering/DotProductBlock.h"
#include "clustering/PairJoin.h"
#include "clustering/SingleLinkage.h"
#include "clustering/Workers.h"

namespace {

using Edge = linkage::Edge;

// Bounds of one width are scored together, the highest first.
constexpr int kLevelWidth = 50;
// Starting threads costs more than scoring this few rows takes.
constexpr std::size_t kRowsWorthThreads = 64;

int LevelCount(int floor) {
  return floor < 32767 ? (32767 - floor + kLevelWidth - 1) / kLevelWidth : 0;
}

// The level of a bound or score above the floor.
std::size_t LevelOf(int value, int floor) {
  return static_cast<std::size_t>((value - floor - 1) / kLevelWidth);
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
  std::size_t size() const { return size_; }

 private:
  static constexpr std::size_t kShift = 12;
  static constexpr std::size_t kChunk = std::size_t{1} << kShift;
  static constexpr std::size_t kMask = kChunk - 1;
  std::vector<std::unique_ptr<std::uint16_t[]>> chunks_;
  std::size_t size_ = 0;
};

// The candidates of one level that one thread found: the later spectra of
// each row, in runs, each as its distance from the row less one in 16 bits,
// or the escape 0xffff and the spectrum in two halves (blocks beyond 65536
// spectra).
struct CandidateRun {
  std::uint32_t first;  // the row
  std::uint32_t slots;  // 16-bit values its later spectra take
};

class Bucket {
 public:
  void Add(std::uint32_t a, std::uint32_t b) {
    if (runs_.empty() || runs_.back().first != a) runs_.push_back(CandidateRun{a, 0});
    CandidateRun& run = runs_.back();
    const std::size_t distance = b - a - 1;
    if (distance < 0xffff) {
      seconds_.push_back(static_cast<std::uint16_t>(distance));
      run.slots += 1;
    } else {
      seconds_.push_back(0xffff);
      seconds_.push_back(static_cast<std::uint16_t>(b >> 16));
      seconds_.push_back(static_cast<std::uint16_t>(b & 0xffff));
      run.slots += 3;
    }
  }

  const std::vector<CandidateRun>& Runs() const { return runs_; }
  std::size_t Slots() const { return seconds_.size(); }

  // Appends the later spectra of the run whose values start at `at` that
  // `keep` accepts.
  template <class Keep>
  void Decode(const CandidateRun& run, std::size_t at, Keep keep,
              std::vector<std::size_t>& seconds) const {
    const std::uint32_t a = run.first;
    for (std::uint32_t i = 0; i < run.slots; ++i) {
      const std::uint16_t value = seconds_[at + i];
      std::uint32_t b = a + 1 + value;
      if (value == 0xffff) {
        b = std::uint32_t{seconds_[at + i + 1]} << 16 | seconds_[at + i + 2];
        i += 2;
      }
      if (keep(b)) seconds.push_back(b);
    }
  }

 private:
  std::vector<CandidateRun> runs_;
  ChunkedValues seconds_;
};

// One run of a level, as the scoring threads take them.
struct Work {
  const Bucket* bucket;
  std::size_t run;
  std::size_t at;  // where its values start
};

// Every candidate pair of the block by the level of its bound, kept apart
// per gathering thread.
class CandidateLevels {
 public:
  CandidateLevels(int threads, int levels) : buckets_(static_cast<std::size_t>(threads)) {
    for (auto& of_thread : buckets_) of_thread.resize(static_cast<std::size_t>(levels));
  }

  // Probes every row on `threads` threads. Pairs of unequal charge are
  // left out (blocks of a run hold one charge; other callers' need not).
  void Gather(const CPairJoin& join, const msdata::CSpectrum* members, std::size_t k, int floor,
              int threads) {
    const bool one_charge =
        std::all_of(members, members + k,
                    [members](const msdata::CSpectrum& s) { return s.charge == members[0].charge; });
    std::atomic<std::size_t> next_row{0};
    std::atomic<int> next_slot{0};
    workers::OnThreads(threads, [&]() {
      std::vector<Bucket>& mine = buckets_[static_cast<std::size_t>(next_slot.fetch_add(1))];
      CPairJoin::Probe probe(join);
      std::vector<CPairJoin::Candidate> found;
      for (;;) {
        const std::size_t a = next_row.fetch_add(1);
        if (a + 1 >= k) break;
        found.clear();
        probe.Candidates(a, floor, found);
        for (const CPairJoin::Candidate& c : found) {
          if (!one_charge && members[a].charge != members[c.spectrum].charge) continue;
          mine[LevelOf(c.bound, floor)].Add(static_cast<std::uint32_t>(a), c.spectrum);
        }
      }
    });
  }

  // The runs of one level, of all gathering threads.
  std::vector<Work> WorkOf(int level) const {
    std::vector<Work> work;
    for (const auto& of_thread : buckets_) {
      const Bucket& bucket = of_thread[static_cast<std::size_t>(level)];
      std::size_t at = 0;
      for (std::size_t r = 0; r < bucket.Runs().size(); ++r) {
        work.push_back(Work{&bucket, r, at});
        at += bucket.Runs()[r].slots;
      }
    }
    return work;
  }

  // The 16-bit values every candidate takes.
  std::size_t Slots() const {
    std::size_t slots = 0;
    for (const auto& of_thread : buckets_) {
      for (const Bucket& bucket : of_thread) slots += bucket.Slots();
    }
    return slots;
  }

  void Release(int level) {
    for (auto& of_thread : buckets_) of_thread[static_cast<std::size_t>(level)] = Bucket();
  }

 private:
  std::vector<std::vector<Bucket>> buckets_;  // by thread, then level
};

// The spectra that the scores above the current level join. The scoring
// threads read `group_` while a level is scored; it changes only between
// levels.
class LevelGroups {
 public:
  explicit LevelGroups(std::size_t k) : parent_(k) {
    for (std::size_t x = 0; x < k; ++x) parent_[x] = static_cast<std::uint32_t>(x);
    group_ = parent_;
  }

  bool Apart(std::uint32_t a, std::uint32_t b) const { return group_[a] != group_[b]; }

  void Join(const std::vector<Edge>& edges) {
    bool joined = false;
    for (const Edge& e : edges) {
      const std::uint32_t x = Find(e.lo);
      const std::uint32_t y = Find(e.hi);
      if (x != y) {
        parent_[std::max(x, y)] = std::min(x, y);
        joined = true;
      }
    }
    if (joined) {
      for (std::size_t x = 0; x < group_.size(); ++x) group_[x] = Find(static_cast<std::uint32_t>(x));
    }
  }

 private:
  std::uint32_t Find(std::uint32_t x) {
    while (parent_[x] != x) x = parent_[x] = parent_[parent_[x]];
    return x;
  }

  std::vector<std::uint32_t> parent_;
  std::vector<std::uint32_t> group_;
};

// Scores the pairs of `work` whose spectra `groups` still holds apart, on
// `threads` threads; those above the floor go to found[thread].
void ScoreLevel(const std::vector<Work>& work, const LevelGroups& groups,
                const CDotProductBlock& prepared, double tol, int floor, int threads,
                std::vector<std::vector<Edge>>& found, PairCounts& counts) {
  std::atomic<std::size_t> next{0};
  std::atomic<int> next_slot{0};
  workers::OnThreads(work.size() < kRowsWorthThreads ? 1 : threads, [&]() {
    std::vector<Edge>& mine = found[static_cast<std::size_t>(next_slot.fetch_add(1))];
    CDotProductBlock::Row row;
    std::vector<std::size_t> seconds;
    std::vector<double> values;
    std::size_t scored = 0;
    std::size_t above = 0;
    for (;;) {
      const std::size_t w = next.fetch_add(1);
      if (w >= work.size()) break;
      const CandidateRun& run = work[w].bucket->Runs()[work[w].run];
      const std::uint32_t a = run.first;
      seconds.clear();
      work[w].bucket->Decode(run, work[w].at,
                             [&](std::uint32_t b) { return groups.Apart(a, b); }, seconds);
      if (seconds.empty()) continue;
      values.resize(seconds.size());
      row.Load(prepared, a, tol);
      row.Score(seconds.data(), seconds.size(), values.data());
      for (std::size_t s = 0; s < seconds.size(); ++s) {
        const std::int16_t packed = linkage::PackScore(values[s]);
        if (packed > floor) {
          mine.push_back(Edge{a, static_cast<std::uint32_t>(seconds[s]), packed});
          ++above;
        }
      }
      scored += seconds.size();
    }
    counts.scored += scored;
    counts.above += above;
  });
}

std::vector<Edge> Concatenate(std::vector<std::vector<Edge>>& by_level) {
  std::size_t total = 0;
  for (const auto& of_level : by_level) total += of_level.size();
  std::vector<Edge> edges;
  edges.reserve(total);
  for (auto& of_level : by_level) {
    edges.insert(edges.end(), of_level.begin(), of_level.end());
    std::vector<Edge>().swap(of_level);
  }
  return edges;
}

}  // namespace

bool JoinedLinks(const msdata::CSpectrum* members, std::size_t k, const CDotProductBlock& prepared,
                 const CPairJoin& join, double tol, int floor, int threads, std::size_t most_candidates,
                 PairCounts& counts, std::vector<ClusterLink>& links, std::vector<linkage::Merge>* merges) {
  const int levels = LevelCount(floor);
  CandidateLevels candidates(threads, levels);
  candidates.Gather(join, members, k, floor, threads);
  const std::size_t slots = candidates.Slots();
  counts.Held(slots * sizeof(std::uint16_t));
  if (slots > most_candidates) return false;

  LevelGroups groups(k);
  // Scored pairs above the floor by the level their score lies in (never
  // above the level they were scored in, as no score exceeds its bound):
  // they join their spectra once that level is done.
  std::vector<std::vector<Edge>> by_level(static_cast<std::size_t>(levels));
  std::vector<std::vector<Edge>> found(static_cast<std::size_t>(threads));
  for (int level = levels - 1; level >= 0; --level) {
    const std::vector<Work> work = candidates.WorkOf(level);
    if (!work.empty()) ScoreLevel(work, groups, prepared, tol, floor, threads, found, counts);
    candidates.Release(level);
    for (auto& mine : found) {
      for (const Edge& e : mine) by_level[LevelOf(e.score, floor)].push_back(e);
      mine.clear();
    }
    groups.Join(by_level[static_cast<std::size_t>(level)]);
    std::size_t edges = 0;
    for (const auto& of_level : by_level) edges += of_level.capacity();
    counts.Held(slots * sizeof(std::uint16_t) + edges * sizeof(Edge));
  }
  const auto merging = std::chrono::steady_clock::now();
  links = linkage::MergeEdges(Concatenate(by_level), k, floor, merges);
  counts.linking_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - merging).count();
  return true;
}
