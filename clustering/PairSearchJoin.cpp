#include "clustering/PairSearchJoin.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "clustering/DotProductBlock.h"

namespace {

enum Kind : unsigned char { kTame = 0, kWild = 1, kSilent = 2 };

// Beyond these the weights could lose the accuracy the bound's factor
// allows for.
constexpr double kLeastSquares = 1e-200;
constexpr double kMostSquares = 1e200;
// An index spread over more cells than this is not built.
constexpr std::int64_t kMostCells = std::int64_t{1} << 25;
constexpr double kCellsPerDalton = 8.0;
// Added to the tolerance in every probe: far above the rounding by which a
// probe's coordinates (shifted ones are formed another way than the
// scoring forms them; stored offsets are single precision) can differ from
// the scoring's, far below anything that would admit many more partners.
constexpr double kMargin = 1e-6;
// The bound is a sum of single-precision weights, each rounded by at most
// 2^-24 of itself, while the score exceeds the exact sum of its products
// only by double rounding; this factor covers both many times over.
constexpr double kBoundFactor = 1.0 + 1e-5;
// Largest m/z (or shifted coordinate) given a cell: FineCell stays exact.
constexpr double kLargestCoordinate = 1e12;

inline std::int64_t FineCell(double v) { return FloorToInt(v * kCellsPerDalton); }

bool Cosine(int method) {
  return method == SIMILAR_DOT_PRODUCT || method == SIMILAR_DOT_PRODUCT_MOD ||
         method == SIMILAR_DOT_PRODUCT_HALF || method == SIMILAR_DOT_PRODUCT_X;
}

}  // namespace

bool CPairSearchJoin::Serves(int method, double fragment_ion_tol, Tolerance_Type type) {
  return Cosine(method) && type != TOLERANCE_PPM && fragment_ion_tol > 0.0 && fragment_ion_tol <= 4.0;
}

bool CPairSearchJoin::PartnerCharge(std::size_t i, int& charge) const {
  const int own = (*spectra_)[i].charge;
  if (method_ == SIMILAR_DOT_PRODUCT_X) {
    // Pairs of equal charge score 0 under this method.
    if (own != 3) return false;
    charge = 2;
    return true;
  }
  charge = own;
  return true;
}

bool CPairSearchJoin::Compatible(std::size_t i, std::size_t j) const {
  int charge = 0;
  return PartnerCharge(i, charge) && (*spectra_)[j].charge == charge;
}

std::size_t CPairSearchJoin::CompatibleIn(std::size_t i, std::size_t begin, std::size_t end) const {
  int charge = 0;
  if (!PartnerCharge(i, charge)) return 0;
  const auto found = before_.find(charge);
  return found == before_.end() ? 0 : found->second[end] - found->second[begin];
}

bool CPairSearchJoin::Build(const std::vector<msdata::CSpectrum>& spectra,
                            const std::vector<msdata::PeakList>& prepared, int method,
                            double fragment_ion_tol, std::size_t first_list) {
  spectra_ = &spectra;
  if (prepared.size() < first_list + spectra.size()) return false;
  lists_ = prepared.data() + first_list;
  method_ = method;
  tol_ = fragment_ion_tol;
  shifts_ = method != SIMILAR_DOT_PRODUCT;
  scale_ = method == SIMILAR_DOT_PRODUCT_HALF ? 0.5 : 1.0;
  doubles_ = method == SIMILAR_DOT_PRODUCT_X;
  by_charge_.clear();

  const std::size_t n = spectra.size();
  wild_.assign(n, kTame);
  peak_offset_.assign(n + 1, 0);
  for (std::size_t s = 0; s < n; ++s) {
    peak_offset_[s + 1] = peak_offset_[s] + static_cast<std::uint32_t>(lists_[s].size());
  }
  weight_.assign(peak_offset_[n], 0.0f);
  for (std::size_t s = 0; s < n; ++s) {
    const msdata::PeakList& list = lists_[s];
    double squares = 0.0;  // as the cosine forms it
    for (const msdata::Peak& p : list) squares += p.second * p.second;
    if (!(squares > 0.0)) {
      wild_[s] = kSilent;  // scores 0 with everything
      continue;
    }
    const double mass = spectra[s].precursor_mass;
    bool tame = squares >= kLeastSquares && squares <= kMostSquares &&
                std::fabs(mass) < kLargestCoordinate;
    const double norm = std::sqrt(squares);
    float* weight = weight_.data() + peak_offset_[s];
    for (std::size_t k = 0; tame && k < list.size(); ++k) {
      const double mz = list[k].first;
      const double intensity = list[k].second;
      tame = std::isfinite(intensity) && intensity >= 0.0 && std::fabs(mz) < kLargestCoordinate;
      const double w = intensity / norm;
      weight[k] = static_cast<float>(w);
      // A weight that single precision would lose must not drop its term.
      if (w > 0.0 && !(weight[k] >= FLT_MIN)) tame = false;
    }
    if (!tame) {
      wild_[s] = kWild;
      std::fill(weight, weight + list.size(), 0.0f);
    }
  }

  before_.clear();
  for (std::size_t s = 0; s < n; ++s) {
    std::vector<std::uint32_t>& before = before_[spectra[s].charge];
    if (before.empty()) before.assign(n + 1, 0);
    ++before[s + 1];
  }
  for (auto& [charge, before] : before_) {
    for (std::size_t s = 0; s < n; ++s) before[s + 1] += before[s];
  }
  wild_of_charge_.clear();
  std::vector<int> charges;
  for (std::size_t s = 0; s < n; ++s) {
    if (wild_[s] == kTame) charges.push_back(spectra[s].charge);
    if (wild_[s] == kWild) wild_of_charge_[spectra[s].charge].push_back(static_cast<std::uint32_t>(s));
  }
  std::sort(charges.begin(), charges.end());
  charges.erase(std::unique(charges.begin(), charges.end()), charges.end());
  for (int charge : charges) {
    ChargeIndexes& indexes = by_charge_[charge];
    if (!Fill(indexes.direct, charge, false)) return false;
    if (shifts_ && !Fill(indexes.shifted, charge, true)) return false;
  }
  return true;
}

bool CPairSearchJoin::Fill(CellIndex& index, int charge, bool shifted) const {
  const std::vector<msdata::CSpectrum>& spectra = *spectra_;
  const std::size_t n = spectra.size();
  auto each_peak = [&](auto visit) {
    for (std::size_t s = 0; s < n; ++s) {
      if (wild_[s] != kTame || spectra[s].charge != charge) continue;
      const msdata::PeakList& list = lists_[s];
      const float* weight = weight_.data() + peak_offset_[s];
      for (std::size_t k = 0; k < list.size(); ++k) {
        if (weight[k] > 0.0f) visit(s, Coordinate(s, list[k].first, shifted), weight[k]);
      }
    }
  };
  bool any = false;
  std::int64_t low = 0;
  std::int64_t high = 0;
  each_peak([&](std::size_t, double v, float) {
    const std::int64_t cell = FineCell(v);
    if (!any || cell < low) low = cell;
    if (!any || cell > high) high = cell;
    any = true;
  });
  if (any && high - low >= kMostCells) return false;
  index.low = low;
  const std::size_t cells = any ? static_cast<std::size_t>(high - low + 1) : 0;
  index.first.assign(cells + 1, 0);
  each_peak([&](std::size_t, double v, float) {
    ++index.first[static_cast<std::size_t>(FineCell(v) - low) + 1];
  });
  for (std::size_t c = 0; c < cells; ++c) index.first[c + 1] += index.first[c];
  index.entries.resize(index.first[cells]);
  index.offset.resize(index.first[cells]);
  std::vector<std::uint32_t> fill(index.first.begin(), index.first.end() - (cells > 0 ? 1 : 0));
  // Spectra in ascending order, so every cell lists them ascending.
  each_peak([&](std::size_t s, double v, float w) {
    const std::int64_t cell = FineCell(v);
    const std::uint32_t at = fill[static_cast<std::size_t>(cell - low)]++;
    index.entries[at] = CellIndex::Entry{static_cast<std::uint32_t>(s), w};
    index.offset[at] = static_cast<float>(v * kCellsPerDalton - static_cast<double>(cell));
  });
  return true;
}

void CPairSearchJoin::CellIndex::Gather(double q, double w, double tol, std::size_t begin,
                                        std::size_t end, double* sums, std::uint64_t* touched) const {
  if (first.size() < 2 || !(std::fabs(q) < kLargestCoordinate)) return;
  const std::int64_t cells = static_cast<std::int64_t>(first.size()) - 1;
  const double reach = tol + kMargin;
  const std::int64_t from = std::max<std::int64_t>(FineCell(q - reach) - low, 0);
  const std::int64_t to = std::min<std::int64_t>(FineCell(q + reach) - low, cells - 1);
  // Cells wholly inside (q - tol + margin, q + tol - margin) need no test.
  const std::int64_t sure_from = FineCell(q - tol + kMargin) + 1 - low;
  const std::int64_t sure_to = FineCell(q + tol - kMargin) - 1 - low;
  const auto spectrum_before = [](const Entry& e, std::size_t s) { return e.spectrum < s; };
  for (std::int64_t c = from; c <= to; ++c) {
    const Entry* stop = entries.data() + first[static_cast<std::size_t>(c) + 1];
    const Entry* e =
        std::lower_bound(entries.data() + first[static_cast<std::size_t>(c)], stop, begin, spectrum_before);
    if (c >= sure_from && c <= sure_to) {
      for (; e != stop && e->spectrum < end; ++e) {
        sums[e->spectrum] += w * e->weight;
        touched[e->spectrum >> 6] |= std::uint64_t{1} << (e->spectrum & 63);
      }
      continue;
    }
    const double cell = static_cast<double>(c + low);
    for (; e != stop && e->spectrum < end; ++e) {
      const double v = (cell + offset[static_cast<std::size_t>(e - entries.data())]) / kCellsPerDalton;
      if (std::fabs(q - v) < reach) {
        sums[e->spectrum] += w * e->weight;
        touched[e->spectrum >> 6] |= std::uint64_t{1} << (e->spectrum & 63);
      }
    }
  }
}

CPairSearchJoin::Probe::Probe(const CPairSearchJoin& join)
    : join_(join), sums_(join.wild_.size(), 0.0), touched_((join.wild_.size() + 63) / 64, 0) {}

void CPairSearchJoin::Probe::Candidates(std::size_t i, std::size_t begin, std::size_t end,
                                        double threshold, std::vector<std::uint32_t>& out,
                                        const CPairSearchJoin* first) {
  const CPairSearchJoin& j = join_;
  const CPairSearchJoin& f = first ? *first : join_;  // holds the first spectrum's list
  int charge = 0;
  if (f.wild_[i] == kSilent || !j.PartnerCharge(i, charge)) return;
  const std::vector<msdata::CSpectrum>& spectra = *j.spectra_;
  if (f.wild_[i] == kWild) {
    for (std::size_t b = begin; b < end; ++b) {
      if (j.wild_[b] != kSilent && spectra[b].charge == charge) out.push_back(static_cast<std::uint32_t>(b));
    }
    return;
  }
  double* sums = sums_.data();
  std::uint64_t* touched = touched_.data();
  const auto found = j.by_charge_.find(charge);
  if (found != j.by_charge_.end()) {
    const ChargeIndexes& indexes = found->second;
    const msdata::PeakList& list = f.lists_[i];
    const float* weight = f.weight_.data() + f.peak_offset_[i];
    const double moved = j.scale_ * spectra[i].precursor_mass;
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (!(weight[k] > 0.0f)) continue;
      const double w = weight[k];
      const double f = list[k].first;
      indexes.direct.Gather(f, w, j.tol_, begin, end, sums, touched);
      if (j.shifts_) indexes.shifted.Gather(f - moved, w, j.tol_, begin, end, sums, touched);
      if (j.doubles_) {
        const double f2 = 2.0 * f;
        indexes.direct.Gather(f2, w, j.tol_, begin, end, sums, touched);
        indexes.shifted.Gather(f2 - moved, w, j.tol_, begin, end, sums, touched);
      }
    }
  }
  // Wild partners are candidates whatever their sums.
  if (const auto wild = j.wild_of_charge_.find(charge); wild != j.wild_of_charge_.end()) {
    const std::vector<std::uint32_t>& positions = wild->second;
    for (auto p = std::lower_bound(positions.begin(), positions.end(), begin); p != positions.end() && *p < end; ++p)
      touched[*p >> 6] |= std::uint64_t{1} << (*p & 63);
  }
  if (begin >= end) return;
  for (std::size_t word = begin >> 6; word <= (end - 1) >> 6; ++word) {
    for (std::uint64_t bits = touched[word]; bits != 0; bits &= bits - 1) {
      const std::size_t b = word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
      if (j.wild_[b] == kWild || sums[b] * kBoundFactor > threshold) out.push_back(static_cast<std::uint32_t>(b));
      sums[b] = 0.0;
    }
    touched[word] = 0;
  }
}
