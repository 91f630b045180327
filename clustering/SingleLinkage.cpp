#include "clustering/SingleLinkage.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <queue>
#include <unordered_map>

namespace linkage {

namespace {

// How far ahead merging asks for the entries it is about to read.
constexpr std::size_t kPrefetch = 24;

// Every cluster's best partner before any merge, in one pass over the
// entries in storage order: row x offers each entry to x and to the later
// spectrum. Rows come in ascending order and only a greater entry
// replaces, so the lowest partner wins ties.
void FirstPartners(const std::int16_t* data, std::size_t k, std::vector<int>& best,
                   std::vector<std::int32_t>& partner) {
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
}

}  // namespace

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
std::vector<ClusterLink> MergeScores(std::int16_t* scores, std::size_t k, int floor,
                                     std::vector<Merge>* merges) {
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
  FirstPartners(data, k, best, partner);

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
    if (merges) {
      merges->push_back(Merge{static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b),
                              static_cast<std::int16_t>(value)});
    }
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
std::vector<ClusterLink> MergeEdges(std::vector<Edge> edges, std::size_t k, int floor,
                                    std::vector<Merge>* merges) {
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
      if (merges) merges->push_back(Merge{a, b, edges[first].score});
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

}  // namespace linkage
