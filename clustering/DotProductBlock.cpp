#include "clustering/DotProductBlock.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "clustering/PeakOrder.h"

namespace {

// Cell numbers stay far from the limits of 32-bit arithmetic, and a first
// list spread over more cells than this is scored without an index rather
// than with a huge one.
constexpr double kLargestCelledMz = 536870912.0;  // 2^29
constexpr std::int64_t kMostCells = std::int64_t{1} << 20;
constexpr int kRanks = CDotProductBlock::Row::kRanks;
constexpr std::uint64_t kSentinel = std::uint64_t{1} << kRanks;


// The cosine exactly as CSimilarity forms it from the same sums.
inline double Cosine(double products, double first_squares, double second_squares) {
  if (!(first_squares > 0.0) || !(second_squares > 0.0)) return 0.0;
  return products / std::sqrt(first_squares * second_squares);
}

// What the indexed walk reads of the first list.
struct FirstIndex {
  const std::uint64_t* near;
  std::int64_t base;
  std::uint64_t cells;
  const double* mz;         // by rank; NaN past the list
  const double* intensity;  // by rank; 0 past the list
  double tol;
};

// The lowest rank among `candidates` within tolerance of q, as a bit; 0
// when there is none.
std::uint64_t FirstMatch(const FirstIndex& f, std::uint64_t candidates, double q) {
  while (candidates != 0) {
    const int r = __builtin_ctzll(candidates);
    if (std::fabs(q - f.mz[r]) < f.tol) return std::uint64_t{1} << r;
    candidates &= candidates - 1;
  }
  return 0;
}

// One second-list peak (cell, m/z, intensity) against the first list.
//
// A first-list peak within tolerance of m lies in the cell of m or in one
// of its neighbours (the tolerance is at most one cell wide), and near
// holds the ranks of all of them; the lowest unmatched rank that passes the
// exact test is the peak the plain walk would stop at.
//
// The common case has no branch and does not wait on earlier peaks: it
// tests the lowest candidate rank without looking at what is already
// matched, and only when that rank is taken, or fails while others remain,
// does it search properly. No candidate means the sentinel rank, which
// fails. A peak without a match adds 0 times its own intensity; prepared
// intensities lie in 0..1000 unless a list holds a NaN, and such a list has
// a NaN sum of squares and scores 0 whatever the sum. Adding 0 leaves the
// sum as it is, since products are never negative and the sum is never -0.
inline void Step(const FirstIndex& f, std::int32_t cell, double q, double intensity,
                 std::uint64_t& matched, double& products) {
  std::uint64_t c = static_cast<std::uint64_t>(cell - f.base);
  c = c < f.cells ? c : f.cells;
  const std::uint64_t candidates = f.near[c];
  const int r = __builtin_ctzll(candidates | kSentinel);
  const std::uint64_t rank_bit = std::uint64_t{1} << r;
  const std::uint64_t near =
      std::uint64_t{0} - static_cast<std::uint64_t>(std::fabs(q - f.mz[r]) < f.tol);
  const std::uint64_t trouble = (rank_bit & matched) | (~near & candidates & (candidates - 1));
  if (__builtin_expect(trouble != 0, 0)) {
    const std::uint64_t bit = FirstMatch(f, candidates & ~matched, q);
    if (bit != 0) {
      products += f.intensity[__builtin_ctzll(bit)] * intensity;
      matched |= bit;
    }
    return;
  }
  // Without a match the index is the sentinel's, whose intensity is 0.
  const std::uint64_t m = static_cast<std::uint64_t>(r) | (~near & kRanks);
  products += f.intensity[m] * intensity;
  matched |= rank_bit & near;
}

struct SecondList {
  const std::int32_t* cell;
  const double* mz;
  const double* intensity;
  std::size_t n;
};

double Indexed(const FirstIndex& f, const SecondList& s) {
  std::uint64_t matched = 0;
  double products = 0.0;
  for (std::size_t j = 0; j < s.n; ++j) {
    Step(f, s.cell[j], s.mz[j], s.intensity[j], matched, products);
  }
  return products;
}

// Four second lists at once: four independent chains of additions keep the
// processor busy where one chain would wait on each sum.
void IndexedFour(const FirstIndex& f, const SecondList* s, double* products) {
  const std::size_t common = std::min(std::min(s[0].n, s[1].n), std::min(s[2].n, s[3].n));
  std::uint64_t m0 = 0, m1 = 0, m2 = 0, m3 = 0;
  double p0 = 0.0, p1 = 0.0, p2 = 0.0, p3 = 0.0;
  for (std::size_t j = 0; j < common; ++j) {
    Step(f, s[0].cell[j], s[0].mz[j], s[0].intensity[j], m0, p0);
    Step(f, s[1].cell[j], s[1].mz[j], s[1].intensity[j], m1, p1);
    Step(f, s[2].cell[j], s[2].mz[j], s[2].intensity[j], m2, p2);
    Step(f, s[3].cell[j], s[3].mz[j], s[3].intensity[j], m3, p3);
  }
  for (std::size_t j = common; j < s[0].n; ++j) {
    Step(f, s[0].cell[j], s[0].mz[j], s[0].intensity[j], m0, p0);
  }
  for (std::size_t j = common; j < s[1].n; ++j) {
    Step(f, s[1].cell[j], s[1].mz[j], s[1].intensity[j], m1, p1);
  }
  for (std::size_t j = common; j < s[2].n; ++j) {
    Step(f, s[2].cell[j], s[2].mz[j], s[2].intensity[j], m2, p2);
  }
  for (std::size_t j = common; j < s[3].n; ++j) {
    Step(f, s[3].cell[j], s[3].mz[j], s[3].intensity[j], m3, p3);
  }
  products[0] = p0;
  products[1] = p1;
  products[2] = p2;
  products[3] = p3;
}

}  // namespace

void CDotProductBlock::Prepare(const msdata::CSpectrum* members, std::size_t count,
                               const CPeakSelect& peak_select) {
  PrepareSelected(count, [&](std::size_t s, msdata::PeakList& list) {
    list.assign(members[s].peaks.begin(), members[s].peaks.end());
    peak_select.Select(list);
  });
}

void CDotProductBlock::PrepareSelected(
    std::size_t count, const std::function<void(std::size_t, msdata::PeakList&)>& select) {
  offset_.assign(1, 0);
  mz_.clear();
  intensity_.clear();
  cell_.clear();
  squares_.clear();
  celled_.clear();
  msdata::PeakList scratch;
  for (std::size_t s = 0; s < count; ++s) {
    select(s, scratch);
    CPeakSelect::SqrtScale(scratch);
    peakorder::SortByIntensity(scratch);
    for (const msdata::Peak& p : scratch) {
      mz_.push_back(p.first);
      intensity_.push_back(p.second);
    }
    Finish(s);
  }
}

void CDotProductBlock::Assign(const std::vector<msdata::PeakList>& lists) {
  offset_.assign(1, 0);
  mz_.clear();
  intensity_.clear();
  cell_.clear();
  squares_.clear();
  celled_.clear();
  for (std::size_t s = 0; s < lists.size(); ++s) {
    for (const msdata::Peak& p : lists[s]) {
      mz_.push_back(p.first);
      intensity_.push_back(p.second);
    }
    Finish(s);
  }
}

void CDotProductBlock::Finish(std::size_t s) {
  const std::size_t begin = offset_[s];
  const std::size_t end = mz_.size();
  offset_.push_back(static_cast<std::uint32_t>(end));
  double squares = 0.0;
  bool celled = true;
  for (std::size_t k = begin; k < end; ++k) {
    squares += intensity_[k] * intensity_[k];
    // The walk without branches relies on finite intensities (or a NaN,
    // which makes the score 0 anyway); prepared lists never hold infinities.
    if (std::isinf(intensity_[k])) celled = false;
    const double m = mz_[k];
    if (std::fabs(m) < kLargestCelledMz) {  // false for NaN and infinities
      // Doubling is exact, so the cell is exactly floor(m / 0.5).
      cell_.push_back(static_cast<std::int32_t>(FloorToInt(m * 2.0)));
    } else {
      cell_.push_back(0);
      celled = false;
    }
  }
  squares_.push_back(squares);
  celled_.push_back(celled ? 1 : 0);
}

msdata::PeakList CDotProductBlock::List(std::size_t s) const {
  msdata::PeakList peaks;
  for (std::size_t k = offset_[s]; k < offset_[s + 1]; ++k) {
    peaks.emplace_back(mz_[k], intensity_[k]);
  }
  return peaks;
}

void CDotProductBlock::Row::Clear() {
  for (std::uint32_t c : touched_) near_[c] = 0;
  touched_.clear();
}

void CDotProductBlock::Row::Load(const CDotProductBlock& block, std::size_t first, double tol) {
  Clear();
  block_ = &block;
  first_ = first;
  tol_ = tol;
  const std::size_t begin = block.offset_[first];
  const std::size_t n1 = block.offset_[first + 1] - begin;
  indexed_ = false;
  if (!block.celled_[first] || n1 > static_cast<std::size_t>(kRanks) || !Indexes(tol)) return;
  std::int64_t low = 0;
  std::int64_t high = 0;
  for (std::size_t r = 0; r < n1; ++r) {
    const std::int64_t c = block.cell_[begin + r];
    if (r == 0 || c < low) low = c;
    if (r == 0 || c > high) high = c;
  }
  if (n1 > 0 && high - low >= kMostCells) return;
  indexed_ = true;
  base_ = low - 1;
  // One cell past the range stays empty: peaks outside the range look there.
  cells_ = n1 == 0 ? 0 : static_cast<std::uint64_t>(high - low + 3);
  if (near_.size() < cells_ + 1) near_.resize(cells_ + 1, 0);
  for (std::size_t r = 0; r < n1; ++r) {
    const std::size_t c = static_cast<std::size_t>(block.cell_[begin + r] - base_);
    const std::uint64_t bit = std::uint64_t{1} << r;
    for (std::size_t d = c - 1; d <= c + 1; ++d) {
      if (near_[d] == 0) touched_.push_back(static_cast<std::uint32_t>(d));
      near_[d] |= bit;
    }
  }
  for (int r = 0; r <= kRanks; ++r) {
    const bool real = static_cast<std::size_t>(r) < n1;
    first_mz_[r] = real ? block.mz_[begin + r] : std::numeric_limits<double>::quiet_NaN();
    first_intensity_[r] = real ? block.intensity_[begin + r] : 0.0;
  }
}

double CDotProductBlock::Row::Score(std::size_t second) const {
  double score = 0.0;
  Score(&second, 1, &score);
  return score;
}

void CDotProductBlock::Row::Score(const std::size_t* seconds, std::size_t count,
                                  double* scores) const {
  const CDotProductBlock& b = *block_;
  const FirstIndex f{near_.data(), base_, cells_, first_mz_, first_intensity_, tol_};
  auto list = [&](std::size_t s) {
    const std::size_t at = b.offset_[s];
    return SecondList{b.cell_.data() + at, b.mz_.data() + at, b.intensity_.data() + at,
                      b.offset_[s + 1] - at};
  };
  const double first_squares = b.squares_[first_];
  std::size_t k = 0;
  while (k < count) {
    if (indexed_ && k + 4 <= count && b.celled_[seconds[k]] && b.celled_[seconds[k + 1]] &&
        b.celled_[seconds[k + 2]] && b.celled_[seconds[k + 3]]) {
      const SecondList four[4] = {list(seconds[k]), list(seconds[k + 1]), list(seconds[k + 2]),
                                  list(seconds[k + 3])};
      double products[4];
      IndexedFour(f, four, products);
      for (int l = 0; l < 4; ++l) {
        scores[k + l] = Cosine(products[l], first_squares, b.squares_[seconds[k + l]]);
      }
      k += 4;
      continue;
    }
    const std::size_t s = seconds[k];
    scores[k] = indexed_ && b.celled_[s]
                    ? Cosine(Indexed(f, list(s)), first_squares, b.squares_[s])
                    : Plain(s);
    ++k;
  }
}

// Each first-list peak takes the first unmatched second-list peak at its
// m/z or, for delta > 0.5, at its m/z less delta. The index of the first
// list finds, for every second-list peak, the first-list peaks it may serve
// (directly or moved by delta, each tested exactly as the plain walk tests
// it); that gives each first-list peak the set of its partners by rank,
// and the walk over the first list then takes the lowest unmatched one.
bool CDotProductBlock::Row::ScoreShifted(std::size_t second, double delta,
                                         double& score) const {
  const CDotProductBlock& b = *block_;
  const std::size_t at = b.offset_[second];
  const std::size_t n2 = b.offset_[second + 1] - at;
  const std::size_t n1 = b.offset_[first_ + 1] - b.offset_[first_];
  if (!indexed_ || !b.celled_[second] || n2 > 64) return false;
  const bool shifted = delta > 0.5;
  std::uint64_t partners[kRanks];
  for (std::size_t r = 0; r < n1; ++r) partners[r] = 0;
  const double tol = tol_;
  auto offer = [&](double x, std::int64_t cell, std::uint64_t bit) {
    std::uint64_t c = static_cast<std::uint64_t>(cell - base_);
    c = c < cells_ ? c : cells_;
    for (std::uint64_t candidates = near_[c]; candidates != 0; candidates &= candidates - 1) {
      const int r = __builtin_ctzll(candidates);
      if (std::fabs(first_mz_[r] - x) < tol) partners[r] |= bit;
    }
  };
  for (std::size_t j = 0; j < n2; ++j) {
    const std::uint64_t bit = std::uint64_t{1} << j;
    const double m = b.mz_[at + j];
    offer(m, b.cell_[at + j], bit);
    if (shifted) {
      const double x = m + delta;
      if (!(std::fabs(x) < kLargestCelledMz)) return false;
      offer(x, FloorToInt(x * 2.0), bit);
    }
  }
  std::uint64_t matched = 0;
  double products = 0.0;
  for (std::size_t r = 0; r < n1; ++r) {
    const std::uint64_t open = partners[r] & ~matched;
    if (open == 0) continue;
    const int j = __builtin_ctzll(open);
    products += first_intensity_[r] * b.intensity_[at + static_cast<std::size_t>(j)];
    matched |= std::uint64_t{1} << j;
  }
  score = Cosine(products, b.squares_[first_], b.squares_[second]);
  return true;
}

double CDotProductBlock::Row::Plain(std::size_t second) const {
  const CDotProductBlock& b = *block_;
  const std::size_t f0 = b.offset_[first_];
  const std::size_t n1 = b.offset_[first_ + 1] - f0;
  const double* fmz = b.mz_.data() + f0;
  const double* fint = b.intensity_.data() + f0;
  used_.assign(n1, 0);
  const double tol = tol_;
  double products = 0.0;
  for (std::size_t j = b.offset_[second]; j < b.offset_[second + 1]; ++j) {
    const double q = b.mz_[j];
    for (std::size_t r = 0; r < n1; ++r) {
      if (!used_[r] && std::fabs(q - fmz[r]) < tol) {
        products += fint[r] * b.intensity_[j];
        used_[r] = 1;
        break;
      }
    }
  }
  return Cosine(products, b.squares_[first_], b.squares_[second]);
}
