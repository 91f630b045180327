#include "clustering/PairJoin.h"

#include <algorithm>
#include <cmath>

namespace {

// Beyond these the weights or the cosine could lose the accuracy the margin
// of Least allows for.
constexpr double kLeastSquares = 1e-200;
constexpr double kMostSquares = 1e200;
constexpr std::size_t kMostPeaks = 100000;
// An index spread over more cells than this is not built.
constexpr std::int64_t kMostCells = std::int64_t{1} << 24;

}  // namespace

bool CPairJoin::Build(const CDotProductBlock& block, double tol) {
  if (!CDotProductBlock::Indexes(tol)) return false;
  block_ = &block;
  tol_ = tol;
  const std::size_t k = block.Size();
  kind_.assign(k, kTame);
  wild_.clear();
  peak_offset_.assign(k + 1, 0);
  for (std::size_t s = 0; s < k; ++s) {
    peak_offset_[s + 1] = peak_offset_[s] + static_cast<std::uint32_t>(block.PeakCount(s));
  }
  weight_.assign(peak_offset_[k], 0.0f);

  bool any = false;
  std::int64_t low = 0;
  std::int64_t high = 0;
  for (std::size_t s = 0; s < k; ++s) {
    const double squares = block.Squares(s);
    if (!(squares > 0.0)) {
      kind_[s] = kSilent;
      continue;
    }
    const std::size_t n = block.PeakCount(s);
    const double* intensity = block.Intensity(s);
    bool tame = block.Celled(s) && n <= kMostPeaks && squares >= kLeastSquares &&
                squares <= kMostSquares;
    for (std::size_t i = 0; tame && i < n; ++i) {
      tame = intensity[i] >= 0.0 && std::isfinite(intensity[i]);
    }
    if (!tame) {
      kind_[s] = kWild;
      wild_.push_back(static_cast<std::uint32_t>(s));
      continue;
    }
    const double norm = std::sqrt(squares);
    const std::int32_t* cell = block.Cell(s);
    float* weight = weight_.data() + peak_offset_[s];
    for (std::size_t i = 0; i < n; ++i) {
      weight[i] = static_cast<float>(intensity[i] / norm);
      if (weight[i] > 0.0f) {
        if (!any || cell[i] < low) low = cell[i];
        if (!any || cell[i] > high) high = cell[i];
        any = true;
      }
    }
  }
  if (any && high - low >= kMostCells) return false;

  low_ = low;
  const std::size_t cells = any ? static_cast<std::size_t>(high - low + 1) : 0;
  first_.assign(cells + 1, 0);
  for (std::size_t s = 0; s < k; ++s) {
    if (kind_[s] != kTame) continue;
    const std::int32_t* cell = block.Cell(s);
    for (std::size_t i = 0; i < block.PeakCount(s); ++i) {
      if (weight_[peak_offset_[s] + i] > 0.0f) ++first_[static_cast<std::size_t>(cell[i] - low_) + 1];
    }
  }
  for (std::size_t c = 0; c < cells; ++c) first_[c + 1] += first_[c];
  entries_.resize(first_[cells]);
  // Filled from the last spectrum down, so every cell lists its spectra in
  // descending order and a probe stops at the first one not after it.
  std::vector<std::uint32_t> fill(first_.begin(), first_.end() - (cells > 0 ? 1 : 0));
  for (std::size_t s = k; s-- > 0;) {
    if (kind_[s] != kTame) continue;
    const std::int32_t* cell = block.Cell(s);
    const double* mz = block.Mz(s);
    for (std::size_t i = 0; i < block.PeakCount(s); ++i) {
      const float w = weight_[peak_offset_[s] + i];
      if (!(w > 0.0f)) continue;
      entries_[fill[static_cast<std::size_t>(cell[i] - low_)]++] =
          Entry{mz[i], w, static_cast<std::uint32_t>(s)};
    }
  }
  return true;
}

CPairJoin::Probe::Probe(const CPairJoin& join)
    : join_(join), sums_(join.kind_.size(), 0.0) {}

int CPairJoin::Bound(double sum) {
  // The packed score is trunc(score * 10000) of a score that exceeds the
  // exact sum of its matched products only by rounding (relative 1e-9 at
  // most for lists of up to kMostPeaks peaks), while the sum here may fall
  // short of the exact one by the rounding of the single-precision weights
  // (relative 2^-23); the factor covers both many times over.
  const double most = sum * 10000.0 * (1.0 + 1e-5);
  if (!(most < 32767.0)) return 32767;
  return static_cast<int>(most);
}

void CPairJoin::Probe::Candidates(std::size_t a, int floor, std::vector<Candidate>& out) {
  const CPairJoin& j = join_;
  const std::size_t k = j.kind_.size();
  if (j.kind_[a] == kSilent) return;
  if (j.kind_[a] == kWild) {
    for (std::size_t b = a + 1; b < k; ++b) {
      if (j.kind_[b] != kSilent) out.push_back(Candidate{static_cast<std::uint32_t>(b), 32767});
    }
    return;
  }
  const CDotProductBlock& block = *j.block_;
  const std::size_t n = block.PeakCount(a);
  const double* mz = block.Mz(a);
  const std::int32_t* cell = block.Cell(a);
  const float* weight = j.weight_.data() + j.peak_offset_[a];
  const std::int64_t cells = static_cast<std::int64_t>(j.first_.size()) - 1;
  const double tol = j.tol_;
  const Entry* entries = j.entries_.data();
  for (std::size_t i = 0; i < n; ++i) {
    if (!(weight[i] > 0.0f)) continue;
    const double w = weight[i];
    const double q = mz[i];
    const std::int64_t c = cell[i] - j.low_;
    for (std::int64_t d = std::max<std::int64_t>(c - 1, 0); d <= std::min(c + 1, cells - 1); ++d) {
      const Entry* e = entries + j.first_[static_cast<std::size_t>(d)];
      const Entry* end = entries + j.first_[static_cast<std::size_t>(d) + 1];
      for (; e != end && e->spectrum > a; ++e) {
        // The very test the scoring applies to a pair of peaks.
        if (std::fabs(q - e->mz) < tol) {
          double& sum = sums_[e->spectrum];
          if (sum == 0.0) touched_.push_back(e->spectrum);
          sum += w * static_cast<double>(e->weight);
        }
      }
    }
  }
  for (std::uint32_t b : touched_) {
    const int bound = Bound(sums_[b]);
    if (bound > floor) out.push_back(Candidate{b, bound});
    sums_[b] = 0.0;
  }
  touched_.clear();
  for (auto w = std::upper_bound(j.wild_.begin(), j.wild_.end(), static_cast<std::uint32_t>(a));
       w != j.wild_.end(); ++w) {
    out.push_back(Candidate{*w, 32767});
  }
}
