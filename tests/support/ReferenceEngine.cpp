#include "tests/support/ReferenceEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "clustering/SingleLinkage.h"

namespace reference {

// The matching operations of the cosine family, written as plain nested
// loops over both lists.
namespace brute {

struct Settings {
  double tol;
  Tolerance_Type type;
  bool Within(double difference, double reference) const {
    if (type == TOLERANCE_PPM) return std::fabs(difference / reference * 1e6) < tol;
    return std::fabs(difference) < tol;
  }
};

std::vector<unsigned char>& Flags(std::size_t n) {
  thread_local std::vector<unsigned char> flags;
  flags.assign(n, 0);
  return flags;
}

double Cosine(double products, const msdata::PeakList& first, const msdata::PeakList& second) {
  double a = 0.0;
  double b = 0.0;
  for (const auto& p : first) a += p.second * p.second;
  for (const auto& p : second) b += p.second * p.second;
  if (!(a > 0.0) || !(b > 0.0)) return 0.0;
  return products / std::sqrt(a * b);
}

double BruteDotProduct(const msdata::PeakList& first, const msdata::PeakList& second,
                               double /*delta*/, const Settings& cfg) {
  std::vector<unsigned char>& used = Flags(first.size());
  double products = 0.0;
  for (const msdata::Peak& s : second) {
    for (std::size_t i = 0; i < first.size(); ++i) {
      if (used[i]) continue;
      const msdata::Peak& f = first[i];
      if (cfg.Within(f.first - s.first, f.first)) {
        products += f.second * s.second;
        used[i] = 1;
        break;
      }
    }
  }
  return Cosine(products, first, second);
}

double BruteDotProductMod(const msdata::PeakList& first, const msdata::PeakList& second,
                                  double delta, const Settings& cfg) {
  std::vector<unsigned char>& used = Flags(second.size());
  const bool shifted = delta > 0.5;
  double products = 0.0;
  for (const msdata::Peak& f : first) {
    for (std::size_t j = 0; j < second.size(); ++j) {
      if (used[j]) continue;
      const msdata::Peak& s = second[j];
      const double x = s.first + delta;
      if (cfg.Within(f.first - s.first, s.first) || (shifted && cfg.Within(f.first - x, x))) {
        products += f.second * s.second;
        used[j] = 1;
        break;
      }
    }
  }
  return Cosine(products, first, second);
}

double BruteDotProductHalf(const msdata::PeakList& first, const msdata::PeakList& second,
                                   double delta, const Settings& cfg) {
  return BruteDotProductMod(first, second, delta * 0.5, cfg);
}

double BruteDotProductX(const msdata::PeakList& first, const msdata::PeakList& second,
                                double delta, const Settings& cfg) {
  std::vector<unsigned char>& used = Flags(second.size());
  const bool shifted = delta > 0.5;
  double products = 0.0;
  for (const msdata::Peak& f : first) {
    const double f2 = 2.0 * f.first;
    for (std::size_t j = 0; j < second.size(); ++j) {
      if (used[j]) continue;
      const msdata::Peak& s = second[j];
      bool match = cfg.Within(f.first - s.first, s.first) || cfg.Within(f2 - s.first, s.first);
      if (!match && shifted) {
        const double x = s.first + delta;
        match = cfg.Within(f.first - x, x) || cfg.Within(f2 - x, x);
      }
      if (match) {
        products += f.second * s.second;
        used[j] = 1;
        break;
      }
    }
  }
  return Cosine(products, first, second);
}

double BruteBonanza(const msdata::PeakList& first, const msdata::PeakList& second,
                            double delta, const Settings& cfg) {
  std::vector<unsigned char>& used = Flags(second.size());
  const bool shifted = delta > 0.5;
  const double tol = cfg.tol;
  double products = 0.0;
  double first_squares = 0.0;
  double second_squares = 0.0;
  for (const msdata::Peak& f : first) {
    for (std::size_t j = 0; j < second.size(); ++j) {
      if (used[j]) continue;
      const msdata::Peak& s = second[j];
      // Always daltons, whatever the tolerance type.
      if (std::fabs(f.first - s.first) < tol ||
          (shifted && std::fabs(f.first - (s.first + delta)) < tol)) {
        products += f.second * s.second;
        first_squares += f.second * f.second;
        second_squares += s.second * s.second;
        used[j] = 1;
        break;
      }
    }
  }
  const double total = products + first_squares + second_squares;
  return total > 0.0 ? products / total : 0.0;
}


}  // namespace brute

double Score(const CSimilarity& similarity, const msdata::PeakList& first,
             const msdata::PeakList& second, double delta) {
  const brute::Settings cfg{similarity.fragment_ion_tol, similarity.fragment_ion_tol_type};
  switch (similarity.similar_method) {
    case SIMILAR_DOT_PRODUCT:
      return brute::BruteDotProduct(first, second, delta, cfg);
    case SIMILAR_DOT_PRODUCT_MOD:
      return brute::BruteDotProductMod(first, second, delta, cfg);
    case SIMILAR_DOT_PRODUCT_HALF:
      return brute::BruteDotProductHalf(first, second, delta, cfg);
    case SIMILAR_DOT_PRODUCT_X:
      return brute::BruteDotProductX(first, second, delta, cfg);
    case SIMILAR_BONANZA:
      return brute::BruteBonanza(first, second, delta, cfg);
    default:
      return similarity.ComputeArranged(first, second, delta);
  }
}

double Compute(const CSimilarity& similarity, msdata::PeakList& first, msdata::PeakList& second,
               double delta) {
  CSimilarity::ArrangeFor(similarity.similar_method, first);
  CSimilarity::ArrangeFor(similarity.similar_method, second);
  return Score(similarity, first, second, delta);
}

namespace {

msdata::PeakList Prepare(const msdata::CSpectrum& s, const CPeakSelect& select) {
  msdata::PeakList peaks = s.peaks;
  select.Select(peaks);
  CPeakSelect::SqrtScale(peaks);
  return peaks;
}

std::string Format(const char* format, const std::string& a, double b, const std::string& c,
                   double d, double e, double f) {
  char buffer[4096];
  std::snprintf(buffer, sizeof buffer, format, a.c_str(), b, c.c_str(), d, e, f);
  return buffer;
}

struct Matrix {
  explicit Matrix(int k) : v(static_cast<std::size_t>(k) * (k + 1) / 2, 0) {}
  std::int16_t& at(int x, int y) {
    const int r = std::max(x, y);
    const int c = std::min(x, y);
    return v[static_cast<std::size_t>(r) * (r + 1) / 2 + c];
  }
  std::vector<std::int16_t> v;
};

void ClusterBlock(const std::vector<msdata::CSpectrum>& spectra, int start, int k,
                  const CSimilarityCluster& strategy, CSimilarity& similarity,
                  const CPeakSelect& select, ClusterOutcome& out) {
  similarity.Set(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  const double T = std::trunc(strategy.threshold * 10000);
  Matrix m1(k);
  Matrix m2(k);
  std::vector<ClusterLink> links(k);
  int best = 0;
  int best_a = -1;
  int best_b = -1;
  for (int a = 0; a < k; ++a) {
    msdata::PeakList pa = Prepare(spectra[start + a], select);
    links[a] = ClusterLink{a, -1};
    m1.at(a, a) = -1;
    m2.at(a, a) = -1;
    for (int b = a + 1; b < k; ++b) {
      if (spectra[start + a].charge != spectra[start + b].charge) continue;
      msdata::PeakList pb = Prepare(spectra[start + b], select);
      const double s = Compute(similarity, 
          pa, pb, spectra[start + a].precursor_mass - spectra[start + b].precursor_mass);
      const auto v = linkage::PackScore(s);
      m1.at(b, a) = v;
      m2.at(b, a) = v;
      if (v > best) {
        best = v;
        best_a = a;
        best_b = b;
      }
    }
  }
  while (best > T && best > 0) {
    const int a = best_a;
    const int b = best_b;
    int last = a;
    while (links[last].next >= 0) last = links[last].next;
    links[last].next = b;
    for (int m = b; m >= 0; m = links[m].next) links[m].root = links[a].root;
    m1.at(b, a) = -1;
    for (int c = 0; c < k; ++c) {
      m1.at(a, c) = std::max(m1.at(a, c), m1.at(b, c));
      m1.at(b, c) = -1;
    }
    best = 0;
    for (int c = 0; c < k; ++c) {
      for (int r = c + 1; r < k; ++r) {
        if (m1.at(r, c) > best) {
          best = m1.at(r, c);
          best_a = c;
          best_b = r;
        }
      }
    }
  }
  std::vector<bool> taken(k, false);
  for (int p = 0; p < k; ++p) {
    if (taken[p]) continue;
    std::vector<int> chain;
    for (int m = p; m >= 0; m = links[m].next) {
      chain.push_back(m);
      taken[m] = true;
    }
    int rep = chain[0];
    if (chain.size() > 1) {
      long best_support = 0;
      for (int x : chain) {
        long support = 0;
        for (int y : chain) {
          if (y != x) support += m2.at(x, y);
        }
        if (support > best_support) {
          best_support = support;
          rep = x;
        }
      }
    }
    out.representatives.push_back(rep + start);
  }
  for (const ClusterLink& l : links) {
    out.links.push_back(ClusterLink{l.root + start, l.next < 0 ? l.next : l.next + start});
  }
}

}  // namespace

ClusterOutcome Cluster(const std::vector<msdata::CSpectrum>& spectra,
                       const CSimilarityCluster& strategy, CSimilarity& similarity,
                       const CPeakSelect& select) {
  ClusterOutcome out;
  const int n = static_cast<int>(spectra.size());
  int last_q = 0;
  int start = 0;
  int size = 0;
  for (int i = 0; i < n; ++i) {
    // Tenths of the list before spectrum i; nothing for fewer than ten.
    const int q = n >= 10 ? static_cast<int>(static_cast<long long>(i) * 10 / n) : 0;
    if (q != last_q) {
      last_q = q;
      out.progress += std::to_string(last_q) + "0%..";
    }
    if (size > 0) {
      double diff = std::fabs(spectra[start].precursor_mass - spectra[i].precursor_mass);
      if (strategy.precursor_ion_tol_type == TOLERANCE_PPM) {
        diff = diff / spectra[i].precursor_mass * 1e6;
      }
      if (diff < strategy.precursor_ion_tol && spectra[start].charge == spectra[i].charge) {
        ++size;
        continue;
      }
      if (size == 1) {
        out.links.push_back(ClusterLink{start, -1});
      } else {
        ClusterBlock(spectra, start, size, strategy, similarity, select, out);
      }
    }
    start = i;
    size = 1;
  }
  ClusterBlock(spectra, start, size, strategy, similarity, select, out);
  return out;
}

PairOutcome PairSearch(const std::vector<msdata::CSpectrum>& spectra,
                       const CSpectralPairSearch& strategy, CSimilarity& similarity,
                       const CPeakSelect& select) {
  PairOutcome out;
  const int m0 = similarity.similar_method;
  const std::size_t n = spectra.size();
  for (std::size_t i = 0; i < n; ++i) {
    msdata::PeakList pi = Prepare(spectra[i], select);
    for (std::size_t j = i + 1; j < n; ++j) {
      const double d = spectra[i].precursor_mass - spectra[j].precursor_mass;
      if (!(strategy.lower_mass <= std::fabs(d) && std::fabs(d) <= strategy.upper_mass)) continue;
      const bool three_two = spectra[i].charge == 3 && spectra[j].charge == 2;
      if (!(spectra[i].charge == spectra[j].charge || ((m0 == 4 || m0 == 7) && three_two))) {
        continue;
      }
      msdata::PeakList pj = Prepare(spectra[j], select);
      double s = 0.0;
      if (m0 == 7) {
        if (three_two) {
          similarity.Set(SIMILAR_DOT_PRODUCT_X, 0.5, TOLERANCE_DA);
          s = Compute(similarity, pi, pj, d);
        } else {
          similarity.Set(SIMILAR_DOT_PRODUCT_MOD, 0.5, TOLERANCE_DA);
          for (int c = 1; c <= spectra[i].charge - 1; ++c) {
            s = std::max(s, Compute(similarity, pi, pj, d / c));
          }
        }
      } else if (m0 == 4) {
        if (three_two) s = Compute(similarity, pi, pj, d);
      } else {
        s = Compute(similarity, pi, pj, d);
      }
      if (s > strategy.threshold) {
        out.pairs += Format("%s,%lf,%s,%lf,%lf,%lf\n", spectra[i].name, spectra[i].precursor_mass,
                            spectra[j].name, spectra[j].precursor_mass, d, s);
      }
      if (s > 0.0001) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.4lf\n", std::sqrt(s));
        out.scores += buffer;
      }
    }
  }
  return out;
}

std::string ShiftSearch(const std::vector<msdata::CSpectrum>& spectra,
                        const CSpectralPairSearch& strategy, CSimilarity& similarity,
                        const CPeakSelect& select) {
  std::string out;
  const std::size_t n = spectra.size();
  for (std::size_t i = 0; i < n; ++i) {
    msdata::PeakList pi = Prepare(spectra[i], select);
    for (std::size_t j = i + 1; j < n; ++j) {
      const double d = spectra[i].precursor_mass - spectra[j].precursor_mass;
      if (!(6.0 <= std::fabs(d) && std::fabs(d) <= 200.0)) continue;
      if (spectra[i].charge != 2 || spectra[j].charge != 2) continue;
      msdata::PeakList pj = Prepare(spectra[j], select);
      const int r = static_cast<int>(std::floor(std::fabs(d) + 0.5));
      int shift = r;
      double best = 0.0;
      const bool i_lighter = spectra[i].precursor_mass < spectra[j].precursor_mass;
      for (int k = r - 5; k <= r + 5; ++k) {
        msdata::PeakList a = pi;
        msdata::PeakList b = pj;
        for (auto& p : (i_lighter ? a : b)) p.first += k;
        CSimilarity dot(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
        const double score = Compute(dot, a, b, 0.0);
        if (score > best) {
          best = score;
          shift = k;
        }
      }
      similarity.Set(SIMILAR_DOT_PRODUCT_MOD, 0.5, TOLERANCE_DA);
      const int R = static_cast<int>(d + 0.5);
      const double s = Compute(similarity, pi, pj, d - R + shift);
      if (s > strategy.threshold) {
        out += Format("%s,%lf,%s,%lf,%lf,%lf", spectra[i].name, spectra[i].precursor_mass,
                      spectra[j].name, spectra[j].precursor_mass, d, s);
        out += ", " + std::to_string(shift) + "\n";
      }
    }
  }
  return out;
}

std::vector<CSpectralPairSearch::ShiftGroup> GroupShifts(std::vector<double> d, double t) {
  std::sort(d.begin(), d.end());
  const int n = static_cast<int>(d.size());
  std::vector<int> group(n);
  for (int k = 0; k < n; ++k) group[k] = k;
  std::vector<double> gap(n > 1 ? n - 1 : 0);
  for (int k = 0; k + 1 < n; ++k) gap[k] = d[k + 1] - d[k];
  for (;;) {
    double smallest = 1001.0;
    int at = -1;
    for (int k = 0; k + 1 < n; ++k) {
      if (gap[k] < smallest) {
        smallest = gap[k];
        at = k;
      }
    }
    if (at < 0 || !(smallest < t)) break;
    const int left = group[at];
    const int right = group[at + 1];
    for (int k = 0; k < n; ++k) {
      if (group[k] == right) group[k] = left;
    }
    int first = at;
    while (first > 0 && group[first - 1] == left) --first;
    int last = at + 1;
    while (last + 1 < n && group[last + 1] == left) ++last;
    if (first >= 1) gap[first - 1] = d[last] - d[first - 1];
    if (last + 1 < n) gap[last] = d[last + 1] - d[first];
    for (int k = first; k < last; ++k) gap[k] = 1000.0;
  }
  std::vector<CSpectralPairSearch::ShiftGroup> groups;
  for (int k = 0; k < n;) {
    int e = k;
    double sum = 0.0;
    while (e < n && group[e] == group[k]) sum += d[e++];
    groups.push_back({sum / (e - k), e - k});
    k = e;
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const auto& a, const auto& b) { return a.count > b.count; });
  return groups;
}

}  // namespace reference
