#include "clustering/ClusterQuality.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <unordered_map>
#include <utility>

namespace quality {

namespace {

std::uint64_t PairsOf(std::uint64_t n) { return n * (n - (n > 0 ? 1 : 0)) / 2; }

std::uint64_t SamePeptidePairs(const std::vector<int>& peptide_of) {
  std::unordered_map<int, std::uint64_t> count;
  for (int p : peptide_of) {
    if (p >= 0) ++count[p];
  }
  std::uint64_t pairs = 0;
  for (const auto& [peptide, n] : count) pairs += PairsOf(n);
  return pairs;
}

// The wrong spectra that `differing` identified pairs of a cluster of
// `size` stand for, before dividing by the identified share squared: a
// cluster whose majority peptide has m members and whose others are r has
// at least m * r differing pairs, so differing / m is never below r, and
// is r exactly when the others are one peptide or one spectrum. m is taken
// as the cluster's size times the majority's share of its identified
// spectra (at least 1).
double WrongSpectraOf(std::uint64_t differing, std::size_t size, std::uint64_t identified, std::uint64_t most) {
  if (differing == 0 || identified == 0) return 0.0;
  const double majority = std::max(1.0, static_cast<double>(size) * static_cast<double>(most) /
                                            static_cast<double>(identified));
  return static_cast<double>(differing) / majority;
}

// Clusters that grow by merges, each knowing how many of its members carry
// each peptide, so that every figure follows a merge in time proportional
// to the smaller cluster's peptides.
class CGrowingClusters {
 public:
  explicit CGrowingClusters(const std::vector<int>& peptide_of)
      : parent_(peptide_of.size()),
        size_(peptide_of.size(), 1),
        identified_(peptide_of.size(), 0),
        differing_(peptide_of.size(), 0),
        peptides_(peptide_of.size()) {
    for (std::size_t s = 0; s < parent_.size(); ++s) {
      parent_[s] = static_cast<std::uint32_t>(s);
      if (peptide_of[s] >= 0) {
        peptides_[s].emplace(peptide_of[s], 1);
        identified_[s] = 1;
      }
    }
    figures_.spectra = parent_.size();
    figures_.pairs_same_peptide = SamePeptidePairs(peptide_of);
  }

  void Merge(std::uint32_t x, std::uint32_t y) {
    std::uint32_t a = Find(x);
    std::uint32_t b = Find(y);
    if (a == b) return;
    if (peptides_[a].size() < peptides_[b].size()) std::swap(a, b);
    Leave(a);
    Leave(b);
    auto& into = peptides_[a];
    std::uint64_t alike = 0;
    for (const auto& [peptide, n] : peptides_[b]) {
      int& there = into[peptide];
      alike += static_cast<std::uint64_t>(there) * static_cast<std::uint64_t>(n);
      there += n;
    }
    figures_.pairs_together += alike;
    differing_[a] += differing_[b] + identified_[a] * identified_[b] - alike;
    identified_[a] += identified_[b];
    std::unordered_map<int, int>().swap(peptides_[b]);
    parent_[b] = a;
    size_[a] += size_[b];
    Join(a);
  }

  const Figures& Now() const { return figures_; }

 private:
  std::uint32_t Find(std::uint32_t x) {
    while (parent_[x] != x) x = parent_[x] = parent_[parent_[x]];
    return x;
  }
  // What a cluster of two or more adds to the figures.
  void Count(std::uint32_t root, int sign) {
    if (size_[root] < 2) return;
    std::size_t identified = 0;
    int most = 0;
    for (const auto& [peptide, n] : peptides_[root]) {
      identified += static_cast<std::size_t>(n);
      most = std::max(most, n);
    }
    const auto apply = [sign](std::size_t& figure, std::size_t by) {
      figure = sign > 0 ? figure + by : figure - by;
    };
    apply(figures_.clustered, size_[root]);
    apply(figures_.clusters, 1);
    apply(figures_.identified_clustered, identified);
    apply(figures_.incorrect, identified - static_cast<std::size_t>(most));
    figures_.identified_pairs = sign > 0 ? figures_.identified_pairs + PairsOf(identified_[root])
                                         : figures_.identified_pairs - PairsOf(identified_[root]);
    figures_.differing_pairs =
        sign > 0 ? figures_.differing_pairs + differing_[root] : figures_.differing_pairs - differing_[root];
    // The weighed sum is kept apart from its rounding: it is formed anew
    // from the exact counts whenever none differ.
    per_member_ += sign * static_cast<long double>(
                              WrongSpectraOf(differing_[root], size_[root], identified, static_cast<std::size_t>(most)));
    if (figures_.differing_pairs == 0) per_member_ = 0;
    figures_.differing_per_member = static_cast<double>(per_member_);
  }
  void Leave(std::uint32_t root) { Count(root, -1); }
  void Join(std::uint32_t root) { Count(root, +1); }

  std::vector<std::uint32_t> parent_;
  std::vector<std::size_t> size_;
  std::vector<std::uint64_t> identified_;  // identified members of a cluster
  std::vector<std::uint64_t> differing_;   // its identified pairs of two peptides
  std::vector<std::unordered_map<int, int>> peptides_;
  long double per_member_ = 0;
  Figures figures_;
};

}  // namespace

double Figures::ClusteredRatio() const {
  return spectra > 0 ? static_cast<double>(clustered) / static_cast<double>(spectra) : 0.0;
}

double Figures::IdentifiedIncorrectRatio() const {
  return identified_clustered > 0
             ? static_cast<double>(incorrect) / static_cast<double>(identified_clustered)
             : 0.0;
}

double IncorrectRatioFor(const Figures& f, double differing_per_member) {
  // Each pair is an identified pair with chance q squared, q the
  // identified share of the clustered spectra.
  if (f.identified_clustered == 0 || f.clustered == 0) return 0.0;
  const double n = static_cast<double>(f.clustered);
  const double k = static_cast<double>(f.identified_clustered);
  return std::min(1.0, differing_per_member * n / (k * k));
}

double Figures::IncorrectRatio() const { return IncorrectRatioFor(*this, differing_per_member); }

double Figures::Completeness() const {
  return pairs_same_peptide > 0
             ? static_cast<double>(pairs_together) / static_cast<double>(pairs_same_peptide)
             : 0.0;
}

Figures FiguresOf(const std::vector<int>& cluster_of, const std::vector<int>& peptide_of) {
  std::map<int, std::vector<std::size_t>> members;
  for (std::size_t s = 0; s < cluster_of.size(); ++s) members[cluster_of[s]].push_back(s);
  Figures f;
  f.spectra = cluster_of.size();
  f.pairs_same_peptide = SamePeptidePairs(peptide_of);
  for (const auto& [cluster, positions] : members) {
    std::map<int, std::uint64_t> count;
    for (std::size_t s : positions) {
      if (peptide_of[s] >= 0) ++count[peptide_of[s]];
    }
    std::uint64_t identified = 0, most = 0, alike = 0;
    for (const auto& [peptide, n] : count) {
      identified += n;
      most = std::max(most, n);
      alike += PairsOf(n);
    }
    f.pairs_together += alike;
    if (positions.size() < 2) continue;
    f.clustered += positions.size();
    ++f.clusters;
    f.identified_clustered += identified;
    f.incorrect += identified - most;
    const std::uint64_t differing = PairsOf(identified) - alike;
    f.identified_pairs += PairsOf(identified);
    f.differing_pairs += differing;
    f.differing_per_member += WrongSpectraOf(differing, positions.size(), identified, most);
  }
  return f;
}

std::vector<Figures> Curve(std::size_t spectra, std::vector<linkage::Merge> merges,
                           const std::vector<int>& peptide_of, double lowest) {
  // Rows by floor, highest first: the steps of 0.01, the lowest threshold
  // itself, and just under every merge score.
  std::map<int, double, std::greater<int>> rows;
  const int lowest_floor = linkage::MergeFloor(lowest);
  for (int k = 100; k >= 0; --k) {
    const double t = k / 100.0;
    if (t < lowest) break;
    rows.emplace(linkage::MergeFloor(t), t);
  }
  rows.emplace(lowest_floor, lowest);
  for (const linkage::Merge& m : merges) {
    const int floor = m.score - 1;
    if (floor >= lowest_floor && floor < linkage::MergeFloor(1.0)) rows.emplace(floor, floor / 10000.0);
  }
  std::stable_sort(merges.begin(), merges.end(),
                   [](const linkage::Merge& x, const linkage::Merge& y) { return x.score > y.score; });
  std::vector<int> peptides = peptide_of;
  peptides.resize(spectra, -1);
  CGrowingClusters clusters(peptides);
  std::vector<Figures> out;
  std::size_t next = 0;
  for (const auto& [floor, threshold] : rows) {
    while (next < merges.size() && merges[next].score > floor) {
      clusters.Merge(merges[next].a, merges[next].b);
      ++next;
    }
    Figures f = clusters.Now();
    f.floor = floor;
    f.threshold = threshold;
    out.push_back(f);
  }
  return out;
}

std::string CurveTable(const std::vector<Figures>& rows) {
  std::string text = "threshold\tclustered_ratio\tincorrect_ratio\tcompleteness\tclusters\n";
  char line[160];
  for (const Figures& f : rows) {
    char incorrect[32] = "NA";
    char completeness[32] = "NA";
    if (f.identified_clustered >= kLeastIdentifiedClustered)
      std::snprintf(incorrect, sizeof incorrect, "%.6f", f.IncorrectRatio());
    if (f.pairs_same_peptide > 0) std::snprintf(completeness, sizeof completeness, "%.6f", f.Completeness());
    std::snprintf(line, sizeof line, "%.4f\t%.6f\t%s\t%s\t%zu\n", f.threshold, f.ClusteredRatio(), incorrect,
                  completeness, f.clusters);
    text += line;
  }
  return text;
}

}  // namespace quality
