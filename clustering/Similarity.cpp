#include "clustering/Similarity.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "clustering/PeakOrder.h"

namespace {

// Per-thread scratch for "already matched" flags, so that scoring a pair
// allocates nothing once the buffers have grown.
std::vector<unsigned char>& MatchedFirst(std::size_t n) {
  thread_local std::vector<unsigned char> flags;
  flags.assign(n, 0);
  return flags;
}

std::vector<unsigned char>& MatchedSecond(std::size_t n) {
  thread_local std::vector<unsigned char> flags;
  flags.assign(n, 0);
  return flags;
}

// M/z copies for the fast (dalton) matching loops. A matched peak's entry
// becomes NaN, which no comparison accepts, so "not yet matched" needs no
// separate flag and the inner loop is a plain search.
std::vector<double>& MzScratch(std::size_t slot) {
  thread_local std::vector<double> buffers[3];
  return buffers[slot];
}

constexpr double kGone = std::numeric_limits<double>::quiet_NaN();

// Fills the scratch copies of the second list's m/z values, plain and moved
// up by delta, for the loops that may match either.
void FillSecondMz(const msdata::PeakList& second, double delta, std::vector<double>& mz,
                  std::vector<double>& moved) {
  const std::size_t n2 = second.size();
  mz.resize(n2);
  moved.resize(n2);
  for (std::size_t j = 0; j < n2; ++j) {
    mz[j] = second[j].first;
    moved[j] = second[j].first + delta;
  }
}

// Index of the first entry within `tol` of q, or n when there is none.
inline std::size_t FindNear(const double* mz, std::size_t n, double q, double tol) {
  for (std::size_t k = 0; k < n; ++k) {
    if (std::fabs(q - mz[k]) < tol) return k;
  }
  return n;
}

double SumOfSquares(const msdata::PeakList& peaks) {
  double sum = 0.0;
  for (const msdata::Peak& p : peaks) sum += p.second * p.second;
  return sum;
}

double Cosine(double products, const msdata::PeakList& first, const msdata::PeakList& second) {
  const double a = SumOfSquares(first);
  const double b = SumOfSquares(second);
  if (!(a > 0.0) || !(b > 0.0)) return 0.0;
  return products / std::sqrt(a * b);
}

}  // namespace

CSimilarity::CSimilarity()
    : operations{&CSimilarity::IntensityScore, &CSimilarity::DotProduct,
                 &CSimilarity::DotProductMod,  &CSimilarity::DotProductHalf,
                 &CSimilarity::DotProductX,    &CSimilarity::PeakCount,
                 &CSimilarity::Bonanza} {}

CSimilarity::CSimilarity(Similar_Method method, double tol, Tolerance_Type type) : CSimilarity() {
  Set(method, tol, type);
}

bool CSimilarity::SortsByIntensity(int method) {
  return method == SIMILAR_DOT_PRODUCT || method == SIMILAR_DOT_PRODUCT_MOD ||
         method == SIMILAR_DOT_PRODUCT_HALF || method == SIMILAR_DOT_PRODUCT_X ||
         method == SIMILAR_BONANZA;
}

double CSimilarity::Compute(msdata::PeakList& first, msdata::PeakList& second,
                            double delta) const {
  const int method = similar_method;
  if (method < 0 || method >= kOperationCount) return 0.0;
  if (SortsByIntensity(method)) {
    peakorder::SortByIntensity(first);
    peakorder::SortByIntensity(second);
  }
  return (this->*operations[static_cast<std::size_t>(method)])(first, second, delta);
}

void CSimilarity::ArrangeFor(int method, msdata::PeakList& peaks) {
  if (SortsByIntensity(method)) peakorder::SortByIntensity(peaks);
}

double CSimilarity::ComputeArranged(const msdata::PeakList& first, const msdata::PeakList& second,
                                    double delta) const {
  const int method = similar_method;
  if (method < 0 || method >= kOperationCount) return 0.0;
  return (this->*operations[static_cast<std::size_t>(method)])(first, second, delta);
}

bool CSimilarity::Within(double difference, double reference) const {
  if (fragment_ion_tol_type == TOLERANCE_PPM) {
    return std::fabs(difference / reference * 1e6) < fragment_ion_tol;
  }
  return std::fabs(difference) < fragment_ion_tol;
}

double CSimilarity::DotProduct(const msdata::PeakList& first, const msdata::PeakList& second,
                               double /*delta*/) const {
  if (fragment_ion_tol_type != TOLERANCE_PPM) {
    const double tol = fragment_ion_tol;
    const std::size_t n1 = first.size();
    std::vector<double>& mz = MzScratch(0);
    mz.resize(n1);
    for (std::size_t i = 0; i < n1; ++i) mz[i] = first[i].first;
    double products = 0.0;
    for (const msdata::Peak& s : second) {
      const std::size_t i = FindNear(mz.data(), n1, s.first, tol);
      if (i < n1) {
        products += first[i].second * s.second;
        mz[i] = kGone;
      }
    }
    return Cosine(products, first, second);
  }
  std::vector<unsigned char>& used = MatchedFirst(first.size());
  double products = 0.0;
  for (const msdata::Peak& s : second) {
    for (std::size_t i = 0; i < first.size(); ++i) {
      if (used[i]) continue;
      const msdata::Peak& f = first[i];
      if (Within(f.first - s.first, f.first)) {
        products += f.second * s.second;
        used[i] = 1;
        break;
      }
    }
  }
  return Cosine(products, first, second);
}

double CSimilarity::DotProductMod(const msdata::PeakList& first, const msdata::PeakList& second,
                                  double delta) const {
  if (fragment_ion_tol_type != TOLERANCE_PPM) return MatchShifted(first, second, delta, nullptr);
  std::vector<unsigned char>& used = MatchedSecond(second.size());
  const bool shifted = delta > 0.5;
  double products = 0.0;
  for (const msdata::Peak& f : first) {
    for (std::size_t j = 0; j < second.size(); ++j) {
      if (used[j]) continue;
      const msdata::Peak& s = second[j];
      const double x = s.first + delta;
      if (Within(f.first - s.first, s.first) || (shifted && Within(f.first - x, x))) {
        products += f.second * s.second;
        used[j] = 1;
        break;
      }
    }
  }
  return Cosine(products, first, second);
}

double CSimilarity::DotProductHalf(const msdata::PeakList& first, const msdata::PeakList& second,
                                   double delta) const {
  return DotProductMod(first, second, delta * 0.5);
}

double CSimilarity::DotProductX(const msdata::PeakList& first, const msdata::PeakList& second,
                                double delta) const {
  if (fragment_ion_tol_type != TOLERANCE_PPM) {
    const double tol = fragment_ion_tol;
    const bool shifted = delta > 0.5;
    const std::size_t n2 = second.size();
    std::vector<double>& mz = MzScratch(1);
    std::vector<double>& moved = MzScratch(2);
    FillSecondMz(second, delta, mz, moved);
    double products = 0.0;
    for (const msdata::Peak& f : first) {
      const double f1 = f.first;
      const double f2 = 2.0 * f.first;
      std::size_t j = 0;
      for (; j < n2; ++j) {
        if (std::fabs(f1 - mz[j]) < tol || std::fabs(f2 - mz[j]) < tol) break;
        if (shifted && (std::fabs(f1 - moved[j]) < tol || std::fabs(f2 - moved[j]) < tol)) break;
      }
      if (j < n2) {
        products += f.second * second[j].second;
        mz[j] = kGone;
        moved[j] = kGone;
      }
    }
    return Cosine(products, first, second);
  }
  std::vector<unsigned char>& used = MatchedSecond(second.size());
  const bool shifted = delta > 0.5;
  double products = 0.0;
  for (const msdata::Peak& f : first) {
    const double f2 = 2.0 * f.first;
    for (std::size_t j = 0; j < second.size(); ++j) {
      if (used[j]) continue;
      const msdata::Peak& s = second[j];
      bool match = Within(f.first - s.first, s.first) || Within(f2 - s.first, s.first);
      if (!match && shifted) {
        const double x = s.first + delta;
        match = Within(f.first - x, x) || Within(f2 - x, x);
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

double CSimilarity::Bonanza(const msdata::PeakList& first, const msdata::PeakList& second,
                            double delta) const {
  // Always daltons, whatever the tolerance type.
  double squares[2] = {0.0, 0.0};
  const double products = MatchShifted(first, second, delta, squares);
  const double total = products + squares[0] + squares[1];
  return total > 0.0 ? products / total : 0.0;
}

double CSimilarity::MatchShifted(const msdata::PeakList& first, const msdata::PeakList& second,
                                 double delta, double* squares) const {
  const double tol = fragment_ion_tol;
  const bool shifted = delta > 0.5;
  const std::size_t n2 = second.size();
  std::vector<double>& mz = MzScratch(1);
  std::vector<double>& moved = MzScratch(2);
  FillSecondMz(second, delta, mz, moved);
  double products = 0.0;
  for (const msdata::Peak& f : first) {
    const double q = f.first;
    std::size_t j = 0;
    if (shifted) {
      for (; j < n2; ++j) {
        if (std::fabs(q - mz[j]) < tol || std::fabs(q - moved[j]) < tol) break;
      }
    } else {
      j = FindNear(mz.data(), n2, q, tol);
    }
    if (j < n2) {
      const double s = second[j].second;
      products += f.second * s;
      if (squares) {
        squares[0] += f.second * f.second;
        squares[1] += s * s;
      }
      mz[j] = kGone;
      moved[j] = kGone;
    }
  }
  if (squares) return products;
  return Cosine(products, first, second);
}

double CSimilarity::IntensityScore(const msdata::PeakList& first, const msdata::PeakList& second,
                                   double delta) const {
  const std::size_t n1 = first.size();
  const std::size_t n2 = second.size();
  std::vector<unsigned char>& used1 = MatchedFirst(n1);
  std::vector<unsigned char>& used2 = MatchedSecond(n2);
  const double tol = fragment_ion_tol;
  const bool ppm = fragment_ion_tol_type == TOLERANCE_PPM;

  std::size_t i = 0;
  std::size_t j = 0;
  while (i < n1 && j < n2) {
    double e = first[i].first - second[j].first;
    if (ppm) e = e / second[j].first * 1e6;
    if (e < -tol) {
      ++i;
    } else if (e > tol) {
      ++j;
    } else {
      used1[i] = 1;
      used2[j] = 1;
      if (i + 1 == n1 || j + 1 == n2) {
        ++i;
      } else if ((first[i].first - second[j + 1].first) < (first[i + 1].first - second[j].first)) {
        ++j;
      } else {
        ++i;
      }
    }
  }

  if (std::fabs(delta) > 0.5) {
    i = 0;
    j = 0;
    while (i < n1 && j < n2) {
      const double x = second[j].first + delta;
      if (x <= 0.0) {
        ++j;
        continue;
      }
      const double e = first[i].first - x;
      if (e < -tol) {
        ++i;
      } else if (e > tol) {
        ++j;
      } else {
        used1[i] = 1;
        used2[j] = 1;
        ++i;
      }
    }
  }

  double matched = 0.0;
  double total = 0.0;
  for (std::size_t k = 0; k < n1; ++k) {
    total += first[k].second;
    if (used1[k]) matched += first[k].second;
  }
  for (std::size_t k = 0; k < n2; ++k) {
    total += second[k].second;
    if (used2[k]) matched += second[k].second;
  }
  return total > 0.0 ? matched / total : 0.0;
}

double CSimilarity::PeakCount(const msdata::PeakList& first, const msdata::PeakList& second,
                              double delta) const {
  const std::size_t n1 = first.size();
  const std::size_t n2 = second.size();
  const std::size_t larger = std::max(n1, n2);
  if (larger == 0) return 0.0;
  std::vector<unsigned char>& used1 = MatchedFirst(n1);
  std::vector<unsigned char>& used2 = MatchedSecond(n2);
  const double tol = fragment_ion_tol;  // daltons, whatever the tolerance type
  std::size_t matches = 0;

  // One walk over both m/z-ordered lists with the second list moved up by
  // `shift`. After a match, j also skips second-list peaks that lie closer
  // to the matched first-list peak than the previous one did.
  auto walk = [&](double shift, bool only_unmatched) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n1 && j < n2) {
      const double e = first[i].first - second[j].first - shift;
      if (e < -tol) {
        ++i;
      } else if (e > tol) {
        ++j;
      } else {
        if (!only_unmatched || (!used1[i] && !used2[j])) {
          ++matches;
          used1[i] = 1;
          used2[j] = 1;
        }
        double previous = e;
        ++j;
        while (j + 1 < n2) {
          const double next = second[j + 1].first + shift - first[i].first;
          if (!(next < previous)) break;
          previous = next;
          ++j;
        }
        ++i;
      }
    }
  };

  walk(0.0, false);
  if (delta > 0.5) walk(std::fabs(delta), true);
  return static_cast<double>(matches) / static_cast<double>(larger);
}
