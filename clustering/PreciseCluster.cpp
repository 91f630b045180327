#include "clustering/PreciseCluster.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numeric>
#include <queue>
#include <unordered_map>
#include <utility>

#include "clustering/DotProductBlock.h"
#include "clustering/Progress.h"
#include "clustering/Workers.h"
#include "common/Types.h"

namespace precise {

namespace {

// Spectra of one peptide at two charges share only the fragments both
// charges show (a higher charge adds doubly charged fragments, the scan
// range cuts others), so their cosine runs lower than that of two spectra
// of one charge, and so does that of chance pairs. On simulated ion-trap
// spectra of known peptides, chance pairs of unequal charges scoring s are
// about as rare as chance pairs of equal charges scoring 1.5 s (0.25
// against 0.4, 0.3 against 0.5): weighed so, one threshold holds both kinds
// alike. Not so for light precursors: a short peptide at a higher charge
// shows few fragments, and its chance pairs score as high as its true
// ones; there the weight falls to 1 (from MH+ 1600 Da down to 1000 Da),
// which on the same spectra halved the wrong merges of the strictest
// thresholds.
double UnequalChargeWeight(double mh) {
  constexpr double kWeight = 1.5;
  constexpr double kFullFrom = 1600.0;
  constexpr double kNoneBelow = 1000.0;
  const double share = std::min(1.0, std::max(0.0, (mh - kNoneBelow) / (kFullFrom - kNoneBelow)));
  return 1.0 + (kWeight - 1.0) * share;
}

// One candidate merge of the queue; stale once either cluster changed.
struct Candidate {
  int mean;
  std::uint32_t a;  // a < b
  std::uint32_t b;
  std::uint32_t stamp_a;
  std::uint32_t stamp_b;
};

struct Before {
  bool operator()(const Candidate& x, const Candidate& y) const {
    if (x.mean != y.mean) return x.mean < y.mean;
    if (x.a != y.a) return x.a > y.a;
    return x.b > y.b;
  }
};

class CAverageLinkage {
 public:
  CAverageLinkage(std::size_t k, int floor) : floor_(floor), size_(k, 1), stamp_(k, 0), alive_(k, 1), near_(k) {}

  void AddEdge(const linkage::Edge& e) {
    if (e.score <= 0 || e.lo == e.hi) return;
    near_[e.lo][e.hi] += e.score;
    near_[e.hi][e.lo] += e.score;
  }

  std::vector<linkage::Merge> Run() {
    for (std::uint32_t a = 0; a < near_.size(); ++a) {
      for (const auto& [b, sum] : near_[a]) {
        if (a < b) Offer(a, b, sum);
      }
    }
    std::vector<linkage::Merge> merges;
    while (!queue_.empty()) {
      const Candidate c = queue_.top();
      queue_.pop();
      if (!alive_[c.a] || !alive_[c.b] || stamp_[c.a] != c.stamp_a || stamp_[c.b] != c.stamp_b) continue;
      merges.push_back(linkage::Merge{c.a, c.b, static_cast<std::int16_t>(c.mean)});
      Join(c.a, c.b);
    }
    return merges;
  }

 private:
  int Mean(std::uint32_t a, std::uint32_t b, std::int64_t sum) const {
    const std::int64_t pairs = static_cast<std::int64_t>(size_[a]) * static_cast<std::int64_t>(size_[b]);
    return static_cast<int>(std::min<std::int64_t>(sum / pairs, 32767));
  }

  void Offer(std::uint32_t a, std::uint32_t b, std::int64_t sum) {
    const int mean = Mean(a, b, sum);
    if (mean <= floor_) return;
    if (a > b) std::swap(a, b);
    queue_.push(Candidate{mean, a, b, stamp_[a], stamp_[b]});
  }

  // b joins a (a < b, so a stays the lowest item of the union).
  void Join(std::uint32_t a, std::uint32_t b) {
    if (near_[a].size() < near_[b].size()) std::swap(near_[a], near_[b]);
    for (const auto& [c, sum] : near_[b]) {
      if (c != a && c != b) near_[a][c] += sum;
    }
    near_[a].erase(a);
    near_[a].erase(b);
    std::unordered_map<std::uint32_t, std::int64_t>().swap(near_[b]);
    size_[a] += size_[b];
    alive_[b] = 0;
    ++stamp_[a];
    for (const auto& [c, sum] : near_[a]) {
      auto& theirs = near_[c];
      theirs.erase(b);
      theirs[a] = sum;
      Offer(a, c, sum);
    }
  }

  int floor_;
  std::vector<std::uint32_t> size_;
  std::vector<std::uint32_t> stamp_;
  std::vector<unsigned char> alive_;
  std::vector<std::unordered_map<std::uint32_t, std::int64_t>> near_;
  std::priority_queue<Candidate, std::vector<Candidate>, Before> queue_;
};

// The same merging for groups where most pairs score: the sums in a full
// matrix, and each cluster's best partner kept, instead of a map of
// neighbours per cluster and a queue of candidates, which for a peptide
// seen a thousand times hold millions of entries. The merges are the same:
// the best pair by the same order (mean, then lowest first item, then
// lowest second).
class CDenseAverageLinkage {
 public:
  CDenseAverageLinkage(std::size_t k, int floor)
      : k_(k), floor_(floor), size_(k, 1), alive_(k, 1), sum_(k * k, 0), best_(k) {}

  void AddEdge(const linkage::Edge& e) {
    if (e.score <= 0 || e.lo == e.hi) return;
    sum_[e.lo * k_ + e.hi] += e.score;
    sum_[e.hi * k_ + e.lo] += e.score;
  }

  std::vector<linkage::Merge> Run() {
    for (std::uint32_t x = 0; x < k_; ++x) FindBest(x);
    std::vector<linkage::Merge> merges;
    for (;;) {
      Candidate top{floor_, 0, 0, 0, 0};
      bool found = false;
      for (std::uint32_t x = 0; x < k_; ++x) {
        if (alive_[x] && best_[x].mean > floor_ && (!found || Before()(top, best_[x]))) {
          top = best_[x];
          found = true;
        }
      }
      if (!found) return merges;
      merges.push_back(linkage::Merge{top.a, top.b, static_cast<std::int16_t>(top.mean)});
      Join(top.a, top.b);
    }
  }

 private:
  Candidate Pair(std::uint32_t x, std::uint32_t y) const {
    const std::int64_t pairs = static_cast<std::int64_t>(size_[x]) * static_cast<std::int64_t>(size_[y]);
    const int mean = static_cast<int>(std::min<std::int64_t>(sum_[x * k_ + y] / pairs, 32767));
    return Candidate{mean, std::min(x, y), std::max(x, y), 0, 0};
  }

  // The best pair of x (mean 0 when it has none).
  void FindBest(std::uint32_t x) {
    Candidate best{0, 0, 0, 0, 0};
    for (std::uint32_t y = 0; y < k_; ++y) {
      if (y == x || !alive_[y] || sum_[x * k_ + y] <= 0) continue;
      const Candidate c = Pair(x, y);
      if (best.mean == 0 || Before()(best, c)) best = c;
    }
    best_[x] = best;
  }

  bool Involves(const Candidate& c, std::uint32_t x) const { return c.mean > 0 && (c.a == x || c.b == x); }

  void Join(std::uint32_t a, std::uint32_t b) {
    for (std::uint32_t c = 0; c < k_; ++c) {
      if (!alive_[c] || c == a || c == b) continue;
      const std::int64_t joined = sum_[a * k_ + c] + sum_[b * k_ + c];
      sum_[a * k_ + c] = sum_[c * k_ + a] = joined;
    }
    sum_[a * k_ + b] = sum_[b * k_ + a] = 0;
    size_[a] += size_[b];
    alive_[b] = 0;
    FindBest(a);
    for (std::uint32_t c = 0; c < k_; ++c) {
      if (!alive_[c] || c == a) continue;
      if (Involves(best_[c], a) || Involves(best_[c], b)) {
        FindBest(c);  // its best was with a part of the new cluster, whose mean changed
      } else if (sum_[a * k_ + c] > 0) {
        const Candidate with = Pair(a, c);
        if (best_[c].mean == 0 || Before()(best_[c], with)) best_[c] = with;
      }
    }
  }

  std::size_t k_;
  int floor_;
  std::vector<std::uint32_t> size_;
  std::vector<unsigned char> alive_;
  std::vector<std::int64_t> sum_;
  std::vector<Candidate> best_;
};

// Groups with at least this many spectra and pairs scored in at least this
// share of their pairs merge through the full matrix.
constexpr std::size_t kDenseFrom = 64;
constexpr std::size_t kDenseUpTo = 6000;  // 288 MB of sums
constexpr double kDenseShare = 0.125;

// Spectra that may share a cluster: a run of the list ordered by charge
// (unless charges mix) and MH+, each within the tolerance of the one
// before it.
struct Group {
  std::size_t first = 0;  // into the order
  std::size_t size = 0;
};

class CGrouping {
 public:
  CGrouping(const std::vector<msdata::CSpectrum>& spectra, const Settings& settings)
      : spectra_(spectra), settings_(settings), order_(spectra.size()) {
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t x, std::size_t y) {
      if (!settings_.across_charges && spectra_[x].charge != spectra_[y].charge)
        return spectra_[x].charge < spectra_[y].charge;
      return spectra_[x].precursor_mass < spectra_[y].precursor_mass;
    });
    for (std::size_t i = 0; i < order_.size(); ++i) {
      if (i > 0 && Within(order_[i - 1], order_[i])) {
        ++groups_.back().size;
      } else {
        groups_.push_back(Group{i, 1});
      }
    }
  }

  // Whether spectra lighter <= heavier (by MH+) are within the precursor
  // tolerance, as blocks measure it: the difference, in ppm of the
  // heavier one's mass.
  bool MassWithin(std::size_t lighter, std::size_t heavier) const {
    double difference = spectra_[heavier].precursor_mass - spectra_[lighter].precursor_mass;
    if (settings_.precursor_ion_tol_type == TOLERANCE_PPM)
      difference = difference / spectra_[heavier].precursor_mass * 1e6;
    return difference < settings_.precursor_ion_tol;
  }
  bool Within(std::size_t lighter, std::size_t heavier) const {
    return (settings_.across_charges || spectra_[lighter].charge == spectra_[heavier].charge) &&
           MassWithin(lighter, heavier);
  }

  const std::vector<std::size_t>& Order() const { return order_; }
  const std::vector<Group>& Groups() const { return groups_; }

 private:
  const std::vector<msdata::CSpectrum>& spectra_;
  const Settings& settings_;
  std::vector<std::size_t> order_;
  std::vector<Group> groups_;
};

// What one group gives: its merges and clusters of two or more, in list
// positions.
struct GroupResult {
  std::vector<linkage::Merge> merges;
  std::vector<std::vector<int>> clusters;  // members ascending
  std::vector<int> representatives;        // one per cluster, with Settings::representatives
  std::size_t pairs_scored = 0;
  std::size_t pairs_above = 0;
};

class CGroupClustering {
 public:
  CGroupClustering(const std::vector<msdata::CSpectrum>& spectra, const CPeakSelect& selection,
                   const Settings& settings, const CGrouping& grouping)
      : spectra_(spectra), selection_(selection), settings_(settings), grouping_(grouping) {}

  GroupResult Cluster(const Group& group) {
    GroupResult result;
    if (group.size < 2) return result;
    const std::size_t* members = grouping_.Order().data() + group.first;
    const std::size_t k = group.size;
    Prepare(members, k);
    std::vector<linkage::Edge> edges = Score(members, k, result);
    std::vector<linkage::Merge> merges = AverageLinkage(k, edges, settings_.floor);
    Gather(members, k, edges, merges, result);
    return result;
  }

 private:
  void Prepare(const std::size_t* members, std::size_t k) {
    prepared_.PrepareSelected(k, [&](std::size_t a, msdata::PeakList& list) {
      const std::size_t position = members[a];
      if (settings_.peak_source) {
        settings_.peak_source->Selected(position, list);
      } else {
        list.assign(spectra_[position].peaks.begin(), spectra_[position].peaks.end());
        selection_.Select(list);
      }
    });
  }

  // Every pair of the group within the tolerance of each other; the group
  // is ascending in MH+, so a spectrum's partners follow it up to the
  // first one out of reach.
  std::vector<linkage::Edge> Score(const std::size_t* members, std::size_t k, GroupResult& result) {
    std::vector<linkage::Edge> edges;
    for (std::size_t a = 0; a + 1 < k; ++a) {
      seconds_.clear();
      for (std::size_t b = a + 1; b < k && grouping_.MassWithin(members[a], members[b]); ++b) {
        if (grouping_.Within(members[a], members[b])) seconds_.push_back(b);
      }
      if (seconds_.empty()) continue;
      values_.resize(seconds_.size());
      row_.Load(prepared_, a, settings_.fragment_tol);
      row_.Score(seconds_.data(), seconds_.size(), values_.data());
      result.pairs_scored += seconds_.size();
      for (std::size_t s = 0; s < seconds_.size(); ++s) {
        double value = values_[s];
        if (spectra_[members[a]].charge != spectra_[members[seconds_[s]]].charge)
          value = std::min(1.0, value * UnequalChargeWeight(spectra_[members[a]].precursor_mass));
        const std::int16_t packed = linkage::PackScore(value);
        if (packed <= 0) continue;
        if (packed > settings_.floor) ++result.pairs_above;
        edges.push_back(linkage::Edge{static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(seconds_[s]), packed});
      }
    }
    return edges;
  }

  void Gather(const std::size_t* members, std::size_t k, const std::vector<linkage::Edge>& edges,
              const std::vector<linkage::Merge>& merges, GroupResult& result) const {
    std::vector<std::uint32_t> parent(k);
    std::iota(parent.begin(), parent.end(), 0u);
    const auto find = [&](std::uint32_t x) {
      while (parent[x] != x) x = parent[x] = parent[parent[x]];
      return x;
    };
    for (const linkage::Merge& m : merges) {
      parent[find(m.b)] = find(m.a);
      result.merges.push_back(linkage::Merge{static_cast<std::uint32_t>(members[m.a]),
                                             static_cast<std::uint32_t>(members[m.b]), m.score});
    }
    std::unordered_map<std::uint32_t, std::size_t> cluster_of_root;
    std::vector<std::vector<std::uint32_t>> local;
    for (std::uint32_t a = 0; a < k; ++a) {
      const std::uint32_t root = find(a);
      const auto found = cluster_of_root.emplace(root, local.size());
      if (found.second) local.emplace_back();
      local[found.first->second].push_back(a);
    }
    // Support of a member: the summed scores of its pairs within its
    // cluster; the representative has the most (ties: the lowest position).
    std::vector<long long> support(settings_.representatives ? k : 0, 0);
    if (settings_.representatives) {
      for (const linkage::Edge& e : edges) {
        if (find(e.lo) != find(e.hi)) continue;
        support[e.lo] += e.score;
        support[e.hi] += e.score;
      }
    }
    for (const std::vector<std::uint32_t>& items : local) {
      if (items.size() < 2) continue;
      std::vector<int> positions;
      std::uint32_t best = items.front();
      for (std::uint32_t a : items) {
        positions.push_back(static_cast<int>(members[a]));
        if (settings_.representatives &&
            (support[a] > support[best] || (support[a] == support[best] && members[a] < members[best])))
          best = a;
      }
      std::sort(positions.begin(), positions.end());
      result.clusters.push_back(std::move(positions));
      if (settings_.representatives) result.representatives.push_back(static_cast<int>(members[best]));
    }
  }

  const std::vector<msdata::CSpectrum>& spectra_;
  const CPeakSelect& selection_;
  const Settings& settings_;
  const CGrouping& grouping_;
  CDotProductBlock prepared_;
  CDotProductBlock::Row row_;
  std::vector<std::size_t> seconds_;
  std::vector<double> values_;
};

// Groups handled side by side before their results are taken in order.
constexpr std::size_t kGroupsPerRound = 256;

}  // namespace

std::vector<linkage::Merge> AverageLinkage(std::size_t k, const std::vector<linkage::Edge>& edges, int floor,
                                           Storage storage) {
  const double pairs = 0.5 * static_cast<double>(k) * static_cast<double>(k > 0 ? k - 1 : 0);
  if (storage == Storage::kAuto)
    storage = k >= kDenseFrom && k <= kDenseUpTo && static_cast<double>(edges.size()) >= kDenseShare * pairs
                  ? Storage::kMatrix
                  : Storage::kNeighbours;
  if (storage == Storage::kMatrix) {
    CDenseAverageLinkage linkage(k, std::max(floor, 0));
    for (const linkage::Edge& e : edges) linkage.AddEdge(e);
    return linkage.Run();
  }
  CAverageLinkage linkage(k, std::max(floor, 0));
  for (const linkage::Edge& e : edges) linkage.AddEdge(e);
  return linkage.Run();
}

Result Cluster(const std::vector<msdata::CSpectrum>& spectra, const CPeakSelect& selection,
               const Settings& settings, std::vector<linkage::Merge>* merges) {
  Result result;
  const std::size_t n = spectra.size();
  result.links.resize(n);
  for (std::size_t p = 0; p < n; ++p) result.links[p] = ClusterLink{static_cast<std::int32_t>(p), -1};
  const CGrouping grouping(spectra, settings);
  const std::vector<Group>& groups = grouping.Groups();
  progress::Counter counter(n);
  std::vector<std::pair<int, int>> heads;  // (head, representative)
  std::vector<GroupResult> round;
  std::size_t done = 0;
  for (std::size_t first = 0; first < groups.size(); first += kGroupsPerRound) {
    const std::size_t end = std::min(groups.size(), first + kGroupsPerRound);
    round.assign(end - first, GroupResult());
    std::atomic<std::size_t> next{first};
    workers::OnThreads(std::max(1, settings.threads), [&]() {
      CGroupClustering clustering(spectra, selection, settings, grouping);
      for (;;) {
        const std::size_t g = next.fetch_add(1);
        if (g >= end) return;
        round[g - first] = clustering.Cluster(groups[g]);
      }
    });
    for (std::size_t g = first; g < end; ++g) {
      GroupResult& r = round[g - first];
      result.pairs_scored += r.pairs_scored;
      result.pairs_above += r.pairs_above;
      if (merges) merges->insert(merges->end(), r.merges.begin(), r.merges.end());
      for (std::size_t c = 0; c < r.clusters.size(); ++c) {
        const std::vector<int>& members = r.clusters[c];
        for (std::size_t m = 0; m < members.size(); ++m) {
          result.links[members[m]] = ClusterLink{members.front(), m + 1 < members.size() ? members[m + 1] : -1};
        }
        if (settings.representatives) heads.emplace_back(members.front(), r.representatives[c]);
      }
      done += groups[g].size;
      counter.At(done - 1);
    }
  }
  std::sort(heads.begin(), heads.end());
  for (const auto& [head, representative] : heads) result.representatives.push_back(representative);
  return result;
}

}  // namespace precise
