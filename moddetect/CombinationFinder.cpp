#include "moddetect/CombinationFinder.h"

#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "moddetect/PairWindow.h"

namespace {

constexpr double kSumTolerance = 0.01;
constexpr double kAsymmetryThreshold = 0.25;

struct Explanation {
  std::int32_t by;       // the modification that explains this one
  std::int32_t partner;  // the other term of that sum
  double value;          // asymmetry of the chain counts
};

// Modification o as the sum of k and l, with the support of the chains
// through both terms.
struct Triple {
  std::int32_t o, k, l;
  double support;
};

// A modification without supporting pairs contributes nothing.
double Fraction(std::size_t count, std::size_t total) {
  return total == 0 ? 0.0 : static_cast<double>(count) / static_cast<double>(total);
}

// Number of pairs of `first` whose heavy member is a heavy member of `sum`
// and whose light member is a heavy member of `second`.
std::size_t ChainCount(const CCombinationFinder::Support& first, const CCombinationFinder::Support& sum,
                       const CCombinationFinder::Support& second) {
  const auto shared_heavy = CCombinationFinder::CommonPositions(first.heavy, sum.heavy);
  const auto light_in_second = CCombinationFinder::CommonPositions(first.light, second.heavy);
  return CCombinationFinder::CommonPositions(shared_heavy, light_in_second).size();
}

}  // namespace

CCombinationFinder::Support CCombinationFinder::SupportingPairs(const std::vector<PrecursorRecord>& reduced,
                                                                const ModificationRecord& mod) {
  Support s;
  const double mass_tol = 3.0 * mod.mass_sigma;
  const double time_tol = 3.0 * mod.time_sigma;
  ForEachPairNearShift(
      reduced, mod.delta_mass, [mass_tol](double offset) { return std::fabs(offset) <= mass_tol; },
      [&](std::size_t light, std::size_t heavy) {
        const double time_offset = reduced[heavy].retention_time - reduced[light].retention_time - mod.delta_time;
        if (std::fabs(time_offset) <= time_tol) {
          s.heavy.push_back(static_cast<std::int32_t>(heavy));
          s.light.push_back(static_cast<std::int32_t>(light));
        }
      });
  return s;
}

std::vector<std::int32_t> CCombinationFinder::CommonPositions(const std::vector<std::int32_t>& a,
                                                              const std::vector<std::int32_t>& b) {
  std::unordered_set<std::int32_t> in_b(b.begin(), b.end());
  std::unordered_set<std::int32_t> seen;
  std::vector<std::int32_t> positions;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (in_b.count(a[i]) && seen.insert(a[i]).second) positions.push_back(static_cast<std::int32_t>(i));
  }
  return positions;
}

namespace {

using Explanations = std::vector<std::vector<Explanation>>;

// Every triple (o, k, l), l <= k, whose delta masses k + l sum to o's, in
// the order o, k, l; k or l gets an explanation by o where the chains
// through the two terms are lopsided.
std::vector<Triple> MatchTriples(const std::vector<ModificationRecord>& results,
                                 const std::vector<CCombinationFinder::Support>& support,
                                 Explanations& explained) {
  const std::size_t m = results.size();
  // Sums in single precision, as the delta masses were fitted.
  std::vector<std::vector<float>> sum(m);
  for (std::size_t k = 0; k < m; ++k) {
    sum[k].resize(k + 1);
    for (std::size_t l = 0; l <= k; ++l)
      sum[k][l] = static_cast<float>(results[k].delta_mass + results[l].delta_mass);
  }
  std::vector<Triple> triples;
  for (std::size_t o = 0; o < m; ++o) {
    for (std::size_t k = 0; k < m; ++k) {
      for (std::size_t l = 0; l <= k; ++l) {
        if (!(std::fabs(sum[k][l] - results[o].delta_mass) < kSumTolerance)) continue;
        const std::size_t ck = ChainCount(support[k], support[o], support[l]);
        const std::size_t cl = ChainCount(support[l], support[o], support[k]);
        const double fk = Fraction(ck, support[k].heavy.size());
        const double fl = Fraction(cl, support[l].heavy.size());
        const double a = fk - fl;
        const auto oi = static_cast<std::int32_t>(o), ki = static_cast<std::int32_t>(k),
                   li = static_cast<std::int32_t>(l);
        if (a > kAsymmetryThreshold) explained[k].push_back({oi, li, std::fabs(a)});
        if (a < -kAsymmetryThreshold) explained[l].push_back({oi, ki, std::fabs(a)});
        triples.push_back({oi, ki, li, fl + fk});
      }
    }
  }
  return triples;
}

// A modification explained by one that is itself explained (or whose
// partner is) keeps no such explanation.
void DropChainedExplanations(Explanations& explained) {
  for (auto& mine : explained) {
    for (std::size_t i = mine.size(); i-- > 0;) {
      const Explanation e = mine[i];
      const bool keep = explained[static_cast<std::size_t>(e.by)].empty() &&
                        explained[static_cast<std::size_t>(e.partner)].empty();
      if (!keep) mine.erase(mine.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

// Type 2 from the first explanation left; every other score starts at 0.
void MarkExplained(const Explanations& explained, std::vector<ModificationRecord>& results) {
  for (std::size_t v = 0; v < results.size(); ++v) {
    if (!explained[v].empty()) {
      results[v].type = 2;
      results[v].first_partner = explained[v].front().by;
      results[v].second_partner = explained[v].front().partner;
      results[v].comb_score = explained[v].front().value;
    } else {
      results[v].comb_score = 0.0;
    }
  }
}

// Type 1 from the best supported triple in which no member is type 2; on
// equal support the first one met stays.
void MarkSums(const std::vector<Triple>& triples, std::vector<ModificationRecord>& results) {
  for (const Triple& t : triples) {
    ModificationRecord& o = results[static_cast<std::size_t>(t.o)];
    if (o.type == 2 || results[static_cast<std::size_t>(t.k)].type == 2 ||
        results[static_cast<std::size_t>(t.l)].type == 2)
      continue;
    if (o.type == 0 || t.support > o.comb_score) {
      o.type = 1;
      o.first_partner = t.k;
      o.second_partner = t.l;
      o.comb_score = t.support;
    }
  }
}

}  // namespace

void CCombinationFinder::FindCombinations(const std::vector<PrecursorRecord>& reduced,
                                          std::vector<ModificationRecord>& results) const {
  if (reduced.size() < 2) return;
  std::vector<Support> support(results.size());
  for (std::size_t o = 0; o < results.size(); ++o) support[o] = SupportingPairs(reduced, results[o]);
  Explanations explained(results.size());
  const std::vector<Triple> triples = MatchTriples(results, support, explained);
  DropChainedExplanations(explained);
  MarkExplained(explained, results);
  MarkSums(triples, results);
}
