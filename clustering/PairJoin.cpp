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
// Cells of 1/8 Da: a peak's partners lie in the cells its tolerance window
// touches, and the finer the cells, the fewer peaks outside the window are
// looked at. Multiplying by 8 is exact, so floor(8 m) is the exact cell.
constexpr double kCellsPerDalton = 8.0;

inline std::int64_t FineCell(double mz) { return FloorToInt(mz * kCellsPerDalton); }

}  // namespace

bool CPairJoin::Build(const CDotProductBlock& block, double tol) {
  if (!CDotProductBlock::Indexes(tol)) return false;
  block_ = &block;
  tol_ = tol;
  std::int64_t low = 0;
  std::int64_t high = 0;
  const bool any = Weigh(block, low, high);
  if (any && high - low >= kMostCells) return false;
  low_ = low;
  Index(block, any ? static_cast<std::size_t>(high - low + 1) : 0);
  return true;
}

bool CPairJoin::Weigh(const CDotProductBlock& block, std::int64_t& low, std::int64_t& high) {
  const std::size_t k = block.Size();
  kind_.assign(k, kTame);
  wild_.clear();
  peak_offset_.assign(k + 1, 0);
  for (std::size_t s = 0; s < k; ++s) {
    peak_offset_[s + 1] = peak_offset_[s] + static_cast<std::uint32_t>(block.PeakCount(s));
  }
  weight_.assign(peak_offset_[k], 0.0f);

  bool any = false;
  for (std::size_t s = 0; s < k; ++s) {
    kind_[s] = KindOf(block, s);
    if (kind_[s] == kWild) wild_.push_back(static_cast<std::uint32_t>(s));
    if (kind_[s] != kTame) continue;
    const std::size_t n = block.PeakCount(s);
    const double norm = std::sqrt(block.Squares(s));
    const double* intensity = block.Intensity(s);
    const double* mz = block.Mz(s);
    float* weight = weight_.data() + peak_offset_[s];
    for (std::size_t i = 0; i < n; ++i) {
      weight[i] = static_cast<float>(intensity[i] / norm);
      if (weight[i] > 0.0f) {
        const std::int64_t cell = FineCell(mz[i]);  // Celled: |m/z| < 2^29
        if (!any || cell < low) low = cell;
        if (!any || cell > high) high = cell;
        any = true;
      }
    }
  }
  return any;
}

CPairJoin::Kind CPairJoin::KindOf(const CDotProductBlock& block, std::size_t s) {
  const double squares = block.Squares(s);
  if (!(squares > 0.0)) return kSilent;
  const std::size_t n = block.PeakCount(s);
  const double* intensity = block.Intensity(s);
  bool tame = block.Celled(s) && n <= kMostPeaks && squares >= kLeastSquares &&
              squares <= kMostSquares;
  for (std::size_t i = 0; tame && i < n; ++i) {
    tame = intensity[i] >= 0.0 && std::isfinite(intensity[i]);
  }
  return tame ? kTame : kWild;
}

void CPairJoin::Index(const CDotProductBlock& block, std::size_t cells) {
  const std::size_t k = block.Size();
  first_.assign(cells + 1, 0);
  for (std::size_t s = 0; s < k; ++s) {
    if (kind_[s] != kTame) continue;
    const double* mz = block.Mz(s);
    for (std::size_t i = 0; i < block.PeakCount(s); ++i) {
      if (weight_[peak_offset_[s] + i] > 0.0f) {
        ++first_[static_cast<std::size_t>(FineCell(mz[i]) - low_) + 1];
      }
    }
  }
  for (std::size_t c = 0; c < cells; ++c) first_[c + 1] += first_[c];
  entries_.resize(first_[cells]);
  entry_mz_.resize(first_[cells]);
  // Filled from the last spectrum down, so every cell lists its spectra in
  // descending order and a probe stops at the first one not after it.
  std::vector<std::uint32_t> fill(first_.begin(), first_.end() - (cells > 0 ? 1 : 0));
  for (std::size_t s = k; s-- > 0;) {
    if (kind_[s] != kTame) continue;
    const double* mz = block.Mz(s);
    for (std::size_t i = 0; i < block.PeakCount(s); ++i) {
      const float w = weight_[peak_offset_[s] + i];
      if (!(w > 0.0f)) continue;
      const std::uint32_t at = fill[static_cast<std::size_t>(FineCell(mz[i]) - low_)]++;
      entries_[at] = Entry{static_cast<std::uint32_t>(s), w};
      entry_mz_[at] = mz[i];
    }
  }
}

CPairJoin::Probe::Probe(const CPairJoin& join)
    : join_(join), sums_(join.kind_.size(), 0.0), found_(new Candidate[join.kind_.size()]) {}

void CPairJoin::Probe::Candidates(std::size_t a, int floor, std::vector<Candidate>& out) {
  const CPairJoin& j = join_;
  if (j.kind_[a] == kSilent) return;
  if (j.kind_[a] == kWild) {
    for (std::size_t b = a + 1; b < j.kind_.size(); ++b) {
      if (j.kind_[b] != kSilent) out.push_back(Candidate{static_cast<std::uint32_t>(b), 32767});
    }
    return;
  }
  GatherSums(a);
  Collect(a, floor, out);
}

void CPairJoin::Probe::GatherSums(std::size_t a) {
  const CPairJoin& j = join_;
  const CDotProductBlock& block = *j.block_;
  const std::size_t n = block.PeakCount(a);
  const double* mz = block.Mz(a);
  const float* weight = j.weight_.data() + j.peak_offset_[a];
  const std::int64_t cells = static_cast<std::int64_t>(j.first_.size()) - 1;
  const double tol = j.tol_;
  // A partner within tol of q lies at most `reach` cells from q's cell;
  // one at most `sure` cells away lies nearer than tol, and its term is
  // added without the test. (Where rounding would make the test fail right
  // at the edge, the term added in excess only loosens the bound: every
  // term is non-negative, so the sum stays above the score.)
  const std::int64_t reach = static_cast<std::int64_t>(std::ceil(tol * kCellsPerDalton));
  const std::int64_t sure = static_cast<std::int64_t>(std::floor(tol * kCellsPerDalton)) - 1;
  const Entry* entries = j.entries_.data();
  const double* entry_mz = j.entry_mz_.data();
  const std::uint32_t* first = j.first_.data();
  double* sums = sums_.data();
  for (std::size_t i = 0; i < n; ++i) {
    if (!(weight[i] > 0.0f)) continue;
    const double w = weight[i];
    const double q = mz[i];
    const std::int64_t c = FineCell(q) - j.low_;
    const std::int64_t from = std::max<std::int64_t>(c - reach, 0);
    const std::int64_t to = std::min(c + reach, cells - 1);
    for (std::int64_t d = from; d <= to; ++d) {
      const Entry* e = entries + first[d];
      const Entry* end = entries + first[d + 1];
      if (d >= c - sure && d <= c + sure) {
        for (; e != end && e->spectrum > a; ++e) sums[e->spectrum] += w * e->weight;
      } else {
        for (; e != end && e->spectrum > a; ++e) {
          // The very test the scoring applies to a pair of peaks.
          if (std::fabs(q - entry_mz[e - entries]) < tol) sums[e->spectrum] += w * e->weight;
        }
      }
    }
  }
}

void CPairJoin::Probe::Collect(std::size_t a, int floor, std::vector<Candidate>& out) {
  const CPairJoin& j = join_;
  const std::size_t k = j.kind_.size();
  double* sums = sums_.data();
  // Gathered through a pointer into scratch space first: the vector's own
  // appending would reload its end for every candidate.
  Candidate* next = found_.get();
  for (std::size_t b = a + 1; b < k; ++b) {
    if (sums[b] == 0.0) {
      // Wild spectra are not in the index: their sum stays 0.
      if (j.kind_[b] == kWild) *next++ = Candidate{static_cast<std::uint32_t>(b), 32767};
      continue;
    }
    const int bound = Bound(sums[b]);
    if (bound > floor) *next++ = Candidate{static_cast<std::uint32_t>(b), bound};
    sums[b] = 0.0;  // ready for the next row
  }
  out.insert(out.end(), found_.get(), next);
}
