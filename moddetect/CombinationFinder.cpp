#include "moddetect/CombinationFinder.h"

#include <cmath>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr double kSumTolerance = 0.01;
constexpr double kAsymmetryThreshold = 0.25;

struct Explanation {
  std::int32_t by;       // the modification that explains this one
  std::int32_t partner;  // the other term of that sum
  double value;          // asymmetry of the chain counts
};

struct Triple {
  std::int32_t o, k, l;
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
  const std::size_t n = reduced.size();
  const double mass_tol = 3.0 * mod.mass_sigma;
  const double time_tol = 3.0 * mod.time_sigma;
  std::size_t l = 0, h = 1;
  while (h < n && l < n) {
    if (h <= l) h = l + 1;
    if (h >= n) break;
    const double f = reduced[h].mh - reduced[l].mh - mod.delta_mass;
    if (std::fabs(f) <= mass_tol) {
      for (std::size_t hp = h; hp < n && std::fabs(reduced[hp].mh - reduced[l].mh - mod.delta_mass) <= mass_tol; ++hp) {
        if (std::fabs(reduced[hp].retention_time - reduced[l].retention_time - mod.delta_time) <= time_tol) {
          s.heavy.push_back(static_cast<std::int32_t>(hp));
          s.light.push_back(static_cast<std::int32_t>(l));
        }
      }
      ++l;
    } else if (f <= 0) {
      ++h;
    } else {
      ++l;
    }
  }
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

void CCombinationFinder::FindCombinations(const std::vector<PrecursorRecord>& reduced,
                                          std::vector<ModificationRecord>& results) const {
  if (reduced.size() < 2) return;
  const std::size_t m = results.size();
  std::vector<Support> support(m);
  for (std::size_t o = 0; o < m; ++o) support[o] = SupportingPairs(reduced, results[o]);

  // Sums in single precision, as the delta masses were fitted.
  std::vector<std::vector<float>> sum(m);
  for (std::size_t k = 0; k < m; ++k) {
    sum[k].resize(k + 1);
    for (std::size_t l = 0; l <= k; ++l)
      sum[k][l] = static_cast<float>(results[k].delta_mass + results[l].delta_mass);
  }

  std::vector<std::vector<Explanation>> explained(m);
  std::vector<Triple> triples;
  std::vector<double> support_values;
  for (std::size_t o = 0; o < m; ++o) {
    for (std::size_t k = 0; k < m; ++k) {
      for (std::size_t l = 0; l <= k; ++l) {
        if (!(std::fabs(sum[k][l] - results[o].delta_mass) < kSumTolerance)) continue;
        const std::size_t ck = ChainCount(support[k], support[o], support[l]);
        const std::size_t cl = ChainCount(support[l], support[o], support[k]);
        const double fk = Fraction(ck, support[k].heavy.size());
        const double fl = Fraction(cl, support[l].heavy.size());
        const double a = fk - fl;
        if (a > kAsymmetryThreshold)
          explained[k].push_back({static_cast<std::int32_t>(o), static_cast<std::int32_t>(l), std::fabs(a)});
        if (a < -kAsymmetryThreshold)
          explained[l].push_back({static_cast<std::int32_t>(o), static_cast<std::int32_t>(k), std::fabs(a)});
        triples.push_back({static_cast<std::int32_t>(o), static_cast<std::int32_t>(k), static_cast<std::int32_t>(l)});
        support_values.push_back(fl + fk);
      }
    }
  }

  // A modification explained by one that is itself explained (or whose
  // partner is) keeps no such explanation.
  for (std::size_t v = 0; v < m; ++v) {
    for (std::size_t i = explained[v].size(); i-- > 0;) {
      const Explanation e = explained[v][i];
      const bool keep = explained[static_cast<std::size_t>(e.by)].empty() &&
                        explained[static_cast<std::size_t>(e.partner)].empty();
      if (!keep) explained[v].erase(explained[v].begin() + static_cast<std::ptrdiff_t>(i));
    }
  }

  for (std::size_t v = 0; v < m; ++v) {
    if (!explained[v].empty()) {
      results[v].type = 2;
      results[v].first_partner = explained[v].front().by;
      results[v].second_partner = explained[v].front().partner;
      results[v].comb_score = explained[v].front().value;
    } else {
      results[v].comb_score = 0.0;
    }
  }

  for (std::size_t t = 0; t < triples.size(); ++t) {
    const Triple& tr = triples[t];
    ModificationRecord& o = results[static_cast<std::size_t>(tr.o)];
    if (o.type == 2 || results[static_cast<std::size_t>(tr.k)].type == 2 ||
        results[static_cast<std::size_t>(tr.l)].type == 2)
      continue;
    if (o.type == 0 || support_values[t] > o.comb_score) {
      o.type = 1;
      o.first_partner = tr.k;
      o.second_partner = tr.l;
      o.comb_score = support_values[t];
    }
  }
}
