#include "clustering/SimilarityCluster.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <queue>
#include <thread>

#include "clustering/Progress.h"
#include "common/Notifier.h"

namespace {

// Packed lower triangle, one entry per unordered pair and per diagonal.
class TriangleMatrix {
 public:
  explicit TriangleMatrix(std::size_t k) : data_(k * (k + 1) / 2, 0) {}
  static std::size_t Index(std::size_t x, std::size_t y) {
    const std::size_t r = std::max(x, y);
    const std::size_t c = std::min(x, y);
    return r * (r + 1) / 2 + c;
  }
  std::int16_t& At(std::size_t x, std::size_t y) { return data_[Index(x, y)]; }
  std::int16_t At(std::size_t x, std::size_t y) const { return data_[Index(x, y)]; }

 private:
  std::vector<std::int16_t> data_;
};

// A pair that may still be merged. The best pair is the highest score; among
// equal scores the lowest column, then the lowest row, which is the order in
// which a scan over columns and rows would meet them first.
struct Candidate {
  std::int16_t score;
  std::uint32_t column;
  std::uint32_t row;
};

struct CandidateAfter {
  bool operator()(const Candidate& a, const Candidate& b) const {
    if (a.score != b.score) return a.score < b.score;
    if (a.column != b.column) return a.column > b.column;
    return a.row > b.row;
  }
};

}  // namespace

std::int16_t CSimilarityCluster::PackScore(double score) {
  const double scaled = std::trunc(score * 10000.0);
  if (!(scaled > 0.0)) return 0;
  if (scaled >= 32767.0) return 32767;
  return static_cast<std::int16_t>(scaled);
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
    const CSimilarity& similarity, const CPeakSelect& peak_select) const {
  const std::size_t k = block.size;
  BlockResult result;
  result.links.resize(k);
  if (k == 0) return result;
  const msdata::CSpectrum* members = spectra.data() + block.start;

  // Each spectrum is prepared once and reused for every pair it is in.
  std::vector<msdata::PeakList> prepared(k);
  for (std::size_t a = 0; a < k; ++a) {
    prepared[a] = peak_select.Prepare(members[a].peaks);
    CSimilarity::ArrangeFor(similarity.similar_method, prepared[a]);
  }

  const double threshold_score = std::trunc(threshold * 10000.0);
  // Only pairs above both the threshold and 0 can ever be merged.
  const double merge_floor = std::max(threshold_score, 0.0);
  TriangleMatrix current(k);   // changed by merging
  TriangleMatrix original(k);  // as scored, for choosing representatives
  std::priority_queue<Candidate, std::vector<Candidate>, CandidateAfter> candidates;

  for (std::size_t a = 0; a < k; ++a) {
    result.links[a] = ClusterLink{static_cast<std::int32_t>(a), -1};
    current.At(a, a) = -1;
    original.At(a, a) = -1;
    for (std::size_t b = a + 1; b < k; ++b) {
      if (members[a].charge != members[b].charge) continue;
      const double delta = members[a].precursor_mass - members[b].precursor_mass;
      const std::int16_t v = PackScore(similarity.ComputeArranged(prepared[a], prepared[b], delta));
      current.At(b, a) = v;
      original.At(b, a) = v;
      if (v > merge_floor) {
        candidates.push(Candidate{v, static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)});
      }
    }
  }
  prepared.clear();
  prepared.shrink_to_fit();

  // Single linkage. A candidate is stale once its entry has changed: entries
  // only grow (a merged row takes the maximum) or drop to -1 for good, so an
  // unchanged value means an unchanged entry.
  std::vector<std::size_t> tail(k);
  for (std::size_t a = 0; a < k; ++a) tail[a] = a;
  while (!candidates.empty()) {
    const Candidate best = candidates.top();
    candidates.pop();
    if (current.At(best.row, best.column) != best.score) continue;
    const std::size_t a = best.column;
    const std::size_t b = best.row;

    result.links[tail[a]].next = static_cast<std::int32_t>(b);
    for (std::int32_t m = static_cast<std::int32_t>(b); m >= 0; m = result.links[m].next) {
      result.links[m].root = result.links[a].root;
    }
    tail[a] = tail[b];

    current.At(b, a) = -1;
    for (std::size_t c = 0; c < k; ++c) {
      const std::int16_t from_b = current.At(b, c);
      std::int16_t& into_a = current.At(a, c);
      if (from_b > into_a) {
        into_a = from_b;
        if (from_b > merge_floor) {
          candidates.push(Candidate{from_b, static_cast<std::uint32_t>(std::min(a, c)),
                                    static_cast<std::uint32_t>(std::max(a, c))});
        }
      }
      current.At(b, c) = -1;
    }
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

  const std::vector<Block> blocks = FindBlocks(spectra);
  // Every block but a lone spectrum in the middle of the list is clustered;
  // the last block always is.
  std::vector<std::size_t> work;
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    if (blocks[b].size > 1 || b + 1 == blocks.size()) work.push_back(b);
  }

  std::vector<BlockResult> results(blocks.size());
  std::vector<unsigned char> ready(blocks.size(), 0);
  std::mutex mutex;
  std::condition_variable done;
  std::exception_ptr failure;
  std::atomic<std::size_t> next_work{0};
  std::vector<std::thread> workers;

  auto cluster_one = [&](std::size_t b) {
    results[b] = ClusterBlock(spectra, blocks[b], scoring, selection);
  };
  const int thread_count = std::max(1, worker_threads);
  if (thread_count > 1 && work.size() > 1) {
    for (int t = 0; t < thread_count; ++t) {
      workers.emplace_back([&]() {
        for (;;) {
          const std::size_t w = next_work.fetch_add(1);
          if (w >= work.size()) return;
          const std::size_t b = work[w];
          try {
            cluster_one(b);
          } catch (...) {
            std::lock_guard<std::mutex> lock(mutex);
            if (!failure) failure = std::current_exception();
          }
          {
            std::lock_guard<std::mutex> lock(mutex);
            ready[b] = 1;
          }
          done.notify_all();
        }
      });
    }
  }
  auto join_workers = [&]() {
    for (std::thread& t : workers) t.join();
    workers.clear();
  };

  std::vector<ClusterLink> links;
  links.reserve(spectra.size());
  std::vector<int> representatives;
  progress::Counter counter(spectra.size());
  try {
    for (std::size_t b = 0; b < blocks.size(); ++b) {
      const Block& block = blocks[b];
      for (std::size_t i = block.start; i < block.start + block.size; ++i) counter.At(i);
      const bool clustered = block.size > 1 || b + 1 == blocks.size();
      if (!clustered) {
        links.push_back(ClusterLink{static_cast<std::int32_t>(block.start), -1});
        PlaceSpectrum(spectra[block.start], spectra_process->data_directory,
                      spectra_process->out_directory);
        continue;
      }
      if (workers.empty()) {
        cluster_one(b);
      } else {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [&]() { return ready[b] != 0 || failure != nullptr; });
        if (failure) std::rethrow_exception(failure);
      }
      const auto offset = static_cast<std::int32_t>(block.start);
      for (const ClusterLink& link : results[b].links) {
        links.push_back(ClusterLink{link.root + offset, link.next < 0 ? link.next : link.next + offset});
      }
      for (int r : results[b].representatives) representatives.push_back(r + offset);
      results[b] = BlockResult();
    }
  } catch (...) {
    next_work = work.size();
    join_workers();
    throw;
  }
  join_workers();

  notify::Message("Clustering done!");
  if (representative_spectra) {
    representative_spectra->Generate(spectra, links, representatives,
                                      spectra_process->SettingsOnly());
  }
}
