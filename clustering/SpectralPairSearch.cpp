#include "clustering/SpectralPairSearch.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <fstream>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <memory>
#include <mutex>

#include "clustering/DecoySpectra.h"
#include "clustering/DotProductBlock.h"
#include "clustering/PairSearchJoin.h"
#include "clustering/Progress.h"
#include "clustering/Workers.h"
#include "common/Notifier.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

__attribute__((format(printf, 2, 3))) void AppendFormat(std::string& out, const char* format,
                                                       ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) return;
  if (static_cast<std::size_t>(length) < sizeof small) {
    out.append(small, static_cast<std::size_t>(length));
    return;
  }
  std::string big(static_cast<std::size_t>(length) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(&big[0], big.size(), format, args);
  va_end(args);
  big.resize(static_cast<std::size_t>(length));
  out += big;
}

void WriteAll(std::FILE* file, const std::string& text) {
  if (file && !text.empty()) std::fwrite(text.data(), 1, text.size(), file);
}

// Calls produce(i, out) for every i in [0, n) on `threads` threads and then
// consume(i, out) on the calling thread in ascending i, batch by batch, so
// that output written by `consume` never depends on the thread count.
template <class Out, class Produce, class Consume>
void RunInOrder(std::size_t n, int threads, Produce produce, Consume consume) {
  if (threads <= 1 || n < 2) {
    for (std::size_t i = 0; i < n; ++i) {
      Out out;
      produce(i, out);
      consume(i, out);
    }
    return;
  }
  const std::size_t batch = 32 * static_cast<std::size_t>(threads);
  std::vector<Out> outs(batch);
  for (std::size_t base = 0; base < n; base += batch) {
    const std::size_t end = std::min(n, base + batch);
    std::atomic<std::size_t> next{base};
    workers::OnThreads(threads, [&]() {
      try {
        for (;;) {
          const std::size_t i = next.fetch_add(1);
          if (i >= end) return;
          outs[i - base] = Out();
          produce(i, outs[i - base]);
        }
      } catch (...) {
        next = end;  // the other threads stop at their next item
        throw;
      }
    });
    for (std::size_t i = base; i < end; ++i) consume(i, outs[i - base]);
  }
}

// Prepares every spectrum once, in the order its scoring method wants.
// With `release`, each spectrum's raw peaks are let go once prepared.
std::vector<msdata::PeakList> PrepareAll(std::vector<msdata::CSpectrum>& spectra,
                                         const CPeakSelect& selection, int arrange_method,
                                         int threads, bool release = false) {
  std::vector<msdata::PeakList> prepared(spectra.size());
  RunInOrder<char>(
      spectra.size(), threads,
      [&](std::size_t i, char&) {
        prepared[i] = selection.Prepare(spectra[i].peaks);
        CSimilarity::ArrangeFor(arrange_method, prepared[i]);
        if (release) msdata::PeakList().swap(spectra[i].peaks);
      },
      [](std::size_t, char&) {});
  return prepared;
}

// Second spectra whose precursor difference from spectrum i may lie in
// [low, high]. In a list ordered by precursor mass (either way) |d| grows
// with j, so the range is found by bisection; otherwise every j is a
// candidate and the caller's own test decides.
struct Window {
  std::size_t begin;
  std::size_t end;
};

class PairWindows {
 public:
  PairWindows(const std::vector<msdata::CSpectrum>& spectra, double low, double high)
      : spectra_(spectra), low_(low), high_(high) {
    bool down = true;
    bool up = true;
    for (std::size_t k = 1; k < spectra.size(); ++k) {
      const double a = spectra[k - 1].precursor_mass;
      const double b = spectra[k].precursor_mass;
      if (!(a >= b)) down = false;
      if (!(a <= b)) up = false;
    }
    ordered_ = down || up;
  }

  bool Ordered() const { return ordered_; }

  Window For(std::size_t i) const {
    const std::size_t n = spectra_.size();
    if (!ordered_) return Window{i + 1, n};
    const double mi = spectra_[i].precursor_mass;
    auto distance = [&](std::size_t j) { return std::fabs(mi - spectra_[j].precursor_mass); };
    std::size_t lo = i + 1;
    std::size_t hi = n;
    while (lo < hi) {  // first j with |d| >= low
      const std::size_t mid = lo + (hi - lo) / 2;
      if (distance(mid) < low_) lo = mid + 1; else hi = mid;
    }
    const std::size_t begin = lo;
    hi = n;
    while (lo < hi) {  // first j with |d| > high
      const std::size_t mid = lo + (hi - lo) / 2;
      if (distance(mid) <= high_) lo = mid + 1; else hi = mid;
    }
    return Window{begin, lo};
  }

 private:
  const std::vector<msdata::CSpectrum>& spectra_;
  double low_;
  double high_;
  bool ordered_ = false;
};

// How Run scores a pair with the method configured when it starts (m0).
class PairScoring {
 public:
  // The order the prepared lists need: "Comprehensive" switches between
  // methods 2 and 4, which both want the intensity order of method 1.
  static int ArrangeMethod(int m0) {
    return m0 == SIMILAR_COMPREHENSIVE ? SIMILAR_DOT_PRODUCT : m0;
  }

  PairScoring(const CSimilarity& configured, const std::vector<msdata::PeakList>& prepared)
      : configured_(configured),
        prepared_(prepared),
        m0_(configured.similar_method),
        comprehensive_(m0_ == SIMILAR_COMPREHENSIVE) {
    // "Dot Product Mod" in daltons, which "Comprehensive" uses for pairs of
    // equal charge, goes through the index of the first spectrum's peaks.
    const bool plain_mod = m0_ == SIMILAR_DOT_PRODUCT_MOD || m0_ == SIMILAR_DOT_PRODUCT_HALF;
    index_tol_ = comprehensive_ ? shifted_mod_.fragment_ion_tol : configured.fragment_ion_tol;
    use_index_ =
        (comprehensive_ || (plain_mod && configured.fragment_ion_tol_type != TOLERANCE_PPM)) &&
        CDotProductBlock::Indexes(index_tol_);
    if (use_index_) index_.Assign(prepared);
  }

  // Pairs of equal charge; for "Dot Product X" and "Comprehensive" also a
  // triply charged first spectrum with a doubly charged second one.
  bool Uses(const msdata::CSpectrum& first, const msdata::CSpectrum& second) const {
    return first.charge == second.charge ||
           ((m0_ == SIMILAR_DOT_PRODUCT_X || comprehensive_) && ThreeTwo(first, second));
  }

  // Makes spectrum i the first of the following Score calls on `row` (one
  // per thread).
  void Load(CDotProductBlock::Row& row, std::size_t i) const {
    if (use_index_) row.Load(index_, i, index_tol_);
  }

  // The score s of (i, j) at precursor difference d, and whether the
  // method scores the pair at all ("Dot Product X" leaves pairs of equal
  // charge at 0 unscored). `last_method` becomes the method "Comprehensive"
  // set the similarity settings to.
  bool Score(const CDotProductBlock::Row& row, const msdata::CSpectrum& first,
             const msdata::CSpectrum& second, std::size_t i, std::size_t j, double d, double& s,
             int& last_method) const {
    const bool three_two = ThreeTwo(first, second);
    s = 0.0;
    if (comprehensive_) {
      if (three_two) {
        last_method = SIMILAR_DOT_PRODUCT_X;
        s = shifted_x_.ComputeArranged(prepared_[i], prepared_[j], d);
      } else {
        last_method = SIMILAR_DOT_PRODUCT_MOD;
        for (int c = 1; c < first.charge; ++c) s = std::max(s, Mod(row, i, j, d / c));
      }
      return true;
    }
    if (m0_ == SIMILAR_DOT_PRODUCT_X) {
      if (three_two) s = configured_.ComputeArranged(prepared_[i], prepared_[j], d);
      return three_two;
    }
    if (use_index_) {
      // "Dot Product Half" is "Dot Product Mod" at half the difference.
      const double shift = m0_ == SIMILAR_DOT_PRODUCT_HALF ? d * 0.5 : d;
      if (!row.ScoreShifted(j, shift, s)) {
        s = configured_.ComputeArranged(prepared_[i], prepared_[j], d);
      }
      return true;
    }
    s = configured_.ComputeArranged(prepared_[i], prepared_[j], d);
    return true;
  }

 private:
  static bool ThreeTwo(const msdata::CSpectrum& first, const msdata::CSpectrum& second) {
    return first.charge == 3 && second.charge == 2;
  }

  // "Dot Product Mod" through the index where it serves the pair, else the
  // plain operation.
  double Mod(const CDotProductBlock::Row& row, std::size_t i, std::size_t j, double delta) const {
    double score = 0.0;
    if (use_index_ && row.ScoreShifted(j, delta, score)) return score;
    return shifted_mod_.ComputeArranged(prepared_[i], prepared_[j], delta);
  }

  const CSimilarity& configured_;
  const std::vector<msdata::PeakList>& prepared_;
  const int m0_;
  const bool comprehensive_;
  const CSimilarity shifted_x_{SIMILAR_DOT_PRODUCT_X, 0.5, TOLERANCE_DA};
  const CSimilarity shifted_mod_{SIMILAR_DOT_PRODUCT_MOD, 0.5, TOLERANCE_DA};
  double index_tol_ = 0.0;
  bool use_index_ = false;
  CDotProductBlock index_;
};

// The integer shift k in [rounded - 5, rounded + 5] that best aligns the
// lighter of the two lists, moved up by k, with the other under `align`:
// the first k, ascending, whose score is strictly greater than every
// earlier one (from 0); `rounded` when none scores above 0. `moved` is
// scratch space.
int IntegerShift(const msdata::PeakList& first, const msdata::PeakList& second,
                 bool first_lighter, int rounded, const CSimilarity& align,
                 msdata::PeakList& moved) {
  const msdata::PeakList& lighter = first_lighter ? first : second;
  int shift = rounded;
  double best = 0.0;
  for (int k = rounded - 5; k <= rounded + 5; ++k) {
    moved = lighter;
    for (msdata::Peak& p : moved) p.first += k;
    const double score = first_lighter ? align.ComputeArranged(moved, second, 0.0)
                                       : align.ComputeArranged(first, moved, 0.0);
    if (score > best) {
      best = score;
      shift = k;
    }
  }
  return shift;
}

struct PairOutput {
  std::string pairs;
  std::string scores;
  int last_method = -1;  // method the settings were last set to, if any
  std::size_t scored = 0;
  std::size_t above = 0;
  std::size_t in_window = 0;  // pairs the method would score without the join
  std::size_t decoys_scored = 0;
  std::size_t decoys_above = 0;
};

// Probes of the pair join, one per thread at a time: each holds a score
// buffer as long as the spectrum list, so they are made once and reused.
class CProbePool {
  struct Held {
    explicit Held(const CPairSearchJoin& join) : probe(join) {}
    CPairSearchJoin::Probe probe;
    std::vector<std::uint32_t> candidates;
  };

 public:
  explicit CProbePool(const CPairSearchJoin* join) : join_(join) {}

  // A probe and a candidate list for one first spectrum.
  class Lease {
   public:
    explicit Lease(CProbePool& pool) : pool_(pool), held_(pool.Take()) {}
    ~Lease() { pool_.Give(std::move(held_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    CPairSearchJoin::Probe* operator->() { return &held_->probe; }
    std::vector<std::uint32_t>& Candidates() { return held_->candidates; }

   private:
    CProbePool& pool_;
    std::unique_ptr<Held> held_;
  };

 private:
  std::unique_ptr<Held> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (free_.empty()) return std::make_unique<Held>(*join_);
    std::unique_ptr<Held> held = std::move(free_.back());
    free_.pop_back();
    return held;
  }
  void Give(std::unique_ptr<Held> held) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(held));
  }

  const CPairSearchJoin* join_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Held>> free_;
};

}  // namespace

void CSpectralPairSearch::AppendScoreLine(std::string& out, double value) {
  // value = m * 2^-shift exactly; value * 10000 = n * 2^-shift is then
  // split into its integer part and the remainder, and rounded to nearest,
  // ties to even, as printf rounds the exact binary value. Values outside
  // the range where that is simple go through printf itself.
  if (!(value >= 1e-6 && value < 1024.0)) {
    AppendFormat(out, "%.4lf\n", value);
    return;
  }
  // The value is normal here: its bits give m (53 bits with the hidden
  // one) and the power of two, without library calls.
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const auto mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int shift = 1075 - static_cast<int>((bits >> 52) & 0x7ff);  // 43 .. 73
  const unsigned __int128 n = static_cast<unsigned __int128>(mantissa) * 10000u;
  auto whole = static_cast<std::uint64_t>(n >> shift);
  const unsigned __int128 rest = n & ((static_cast<unsigned __int128>(1) << shift) - 1);
  const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
  if (rest > half || (rest == half && (whole & 1) != 0)) ++whole;
  char digits[32];
  char* end = digits + sizeof digits;
  char* p = end;
  *--p = '\n';
  std::uint64_t v = whole;
  for (int d = 0; d < 4; ++d) {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  *--p = '.';
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  out.append(p, static_cast<std::size_t>(end - p));
}

// The search itself: every structure it builds (prepared lists, the join's
// indexes) is gone when it returns, before the mass-shift table needs its
// memory.
void CSpectralPairSearch::Search(std::vector<msdata::CSpectrum>& spectra, const CSimilarity& configured,
                                 const CPeakSelect& selection, std::FILE* pairs_file, std::FILE* log_file,
                                 int& last_method) {
  const int threads = std::max(1, worker_threads);
  const std::size_t n = spectra.size();
  std::vector<msdata::PeakList> lists =
      PrepareAll(spectra, selection, PairScoring::ArrangeMethod(configured.similar_method), threads,
                 release_raw_peaks);
#ifdef __GLIBC__
  // The raw peaks let go of are a million small blocks amid the heap: give
  // their pages back, since the indexes built next come from fresh mappings
  // and would not reuse them.
  if (release_raw_peaks) malloc_trim(0);
#endif
  // The decoys follow the spectra's own lists, so that one scoring (and its
  // index) serves a spectrum against a decoy as against a spectrum. Moving
  // every peak by one amount commutes with the selection, the scaling and
  // the method's order, so the decoy of a prepared list is prepared too.
  if (decoy_pairs) {
    lists.resize(2 * n);
    for (std::size_t s = 0; s < n; ++s) {
      lists[n + s] = lists[s];
      decoy::Move(lists[n + s], decoy::Offset(spectra[s].name));
    }
  }
  const std::vector<msdata::PeakList>& prepared = lists;
  const PairScoring scoring(configured, prepared);
  const PairWindows windows(spectra, static_cast<double>(lower_mass),
                            static_cast<double>(upper_mass));
  const double low = lower_mass;
  const double high = upper_mass;
  // Without the log only pairs that can pass need a score.
  std::unique_ptr<CPairSearchJoin> join;
  if (!score_log && threshold >= 0.0 && windows.Ordered() &&
      CPairSearchJoin::Serves(configured.similar_method, configured.fragment_ion_tol,
                              configured.fragment_ion_tol_type)) {
    join = std::make_unique<CPairSearchJoin>();
    if (!join->Build(spectra, prepared, configured.similar_method, configured.fragment_ion_tol)) join.reset();
  }
  std::unique_ptr<CPairSearchJoin> decoy_join;
  if (decoy_pairs && join) {
    decoy_join = std::make_unique<CPairSearchJoin>();
    if (!decoy_join->Build(spectra, prepared, configured.similar_method, configured.fragment_ion_tol, n))
      decoy_join.reset();
  }
  CProbePool probes(join.get());
  CProbePool decoy_probes(decoy_join.get());

  auto produce = [&](std::size_t i, PairOutput& out) {
    const msdata::CSpectrum& first = spectra[i];
    const Window window = windows.For(i);
    CDotProductBlock::Row row;
    scoring.Load(row, i);
    // Partner j's peaks (column j) or its decoy's (column n + j) against
    // spectrum i, when the pair lies in the mass window and the method
    // scores its charges: the difference and score; false otherwise.
    auto score_in_window = [&](std::size_t j, std::size_t column, double& d, double& s, int& method,
                               std::size_t& scored) {
      const msdata::CSpectrum& second = spectra[j];
      d = first.precursor_mass - second.precursor_mass;
      const double distance = std::fabs(d);
      if (!(low <= distance && distance <= high)) return false;
      if (!scoring.Uses(first, second)) return false;
      s = 0.0;
      if (scoring.Score(row, first, second, i, column, d, s, method)) ++scored;
      return true;
    };
    auto score_pair = [&](std::size_t j) {
      const msdata::CSpectrum& second = spectra[j];
      double d = 0.0, s = 0.0;
      if (!score_in_window(j, j, d, s, out.last_method, out.scored)) return;
      if (s > threshold) {
        ++out.above;
        AppendFormat(out.pairs, "%s,%lf,%s,%lf,%lf,%lf\n", first.name.c_str(),
                     first.precursor_mass, second.name.c_str(), second.precursor_mass, d, s);
      }
      if (score_log && s > 0.0001) AppendScoreLine(out.scores, std::sqrt(s));
    };
    if (!join) {
      for (std::size_t j = window.begin; j < window.end; ++j) score_pair(j);
    } else {
      // The pairs an exhaustive search would score.
      out.in_window = join->CompatibleIn(i, window.begin, window.end);
      CProbePool::Lease probe(probes);
      std::vector<std::uint32_t>& candidates = probe.Candidates();
      candidates.clear();
      probe->Candidates(i, window.begin, window.end, threshold, candidates);
      for (const std::uint32_t j : candidates) score_pair(j);
    }
    if (!decoy_pairs) return;
    // Spectrum i against the decoy of every partner it was paired with
    // above: the same window, charges, method and threshold. Decoys reach
    // no file and leave the similarity settings alone.
    auto score_decoy = [&](std::size_t j) {
      double d = 0.0, s = 0.0;
      int method = -1;
      if (score_in_window(j, n + j, d, s, method, out.decoys_scored) && s > threshold) ++out.decoys_above;
    };
    if (!decoy_join) {
      for (std::size_t j = window.begin; j < window.end; ++j) score_decoy(j);
      return;
    }
    CProbePool::Lease probe(decoy_probes);
    std::vector<std::uint32_t>& candidates = probe.Candidates();
    candidates.clear();
    probe->Candidates(i, window.begin, window.end, threshold, candidates, join.get());
    for (const std::uint32_t j : candidates) score_decoy(j);
  };

  progress::Counter counter(spectra.size());
  pairs_scored = 0;
  pairs_above = 0;
  pairs_in_window = 0;
  decoy_pairs_scored = 0;
  decoy_pairs_above = 0;
  RunInOrder<PairOutput>(spectra.size(), threads, produce, [&](std::size_t i, PairOutput& out) {
    counter.At(i);
    pairs_scored += out.scored;
    pairs_above += out.above;
    pairs_in_window += join ? out.in_window : out.scored;
    decoy_pairs_scored += out.decoys_scored;
    decoy_pairs_above += out.decoys_above;
    WriteAll(pairs_file, out.pairs);
    WriteAll(log_file, out.scores);
    if (out.last_method >= 0) last_method = out.last_method;
  });
  joined = join != nullptr;
}

void CSpectralPairSearch::Run(std::vector<msdata::CSpectrum>& spectra, CSimilarity* similarity,
                              CPeakSelect* peak_select) {
  const CSimilarity configured = similarity ? *similarity : CSimilarity();
  const CPeakSelect selection = peak_select ? *peak_select : CPeakSelect();
  const std::string pair_path = spectra_process ? spectra_process->cluster_result : std::string();

  // The pair file appears under its name only when it is whole; the score
  // log is appended to run after run and is checked instead.
  safefile::CSafeFile pairs_out;
  if (!pairs_out.Open(pair_path)) {
    notify::Message("Cannot open file: " + pair_path + "!");
    return;
  }
  // Appended run after run, never through a link planted at its name.
  File log_file(score_log ? safefile::OpenForAppend(kScoreLog) : nullptr);
  int last_method = -1;
  Search(spectra, configured, selection, pairs_out.Get(), log_file.get(), last_method);
  if (similarity && last_method >= 0) {
    similarity->Set(static_cast<Similar_Method>(last_method), 0.5, TOLERANCE_DA);
  }

  if (score_log) {
    const bool log_ok =
        log_file && std::fflush(log_file.get()) == 0 && std::ferror(log_file.get()) == 0;
    log_file.reset();
    if (!log_ok) notify::Message(std::string("Cannot write file: ") + kScoreLog);
  }
  if (!pairs_out.Commit()) {
    notify::Message("Cannot write file: " + pair_path + " (" + pairs_out.Error() + ")");
    return;
  }
  WriteMassShiftHistogram(pair_path, cluster_masses_tol);
}

void CSpectralPairSearch::ShiftSearch(std::vector<msdata::CSpectrum>& spectra,
                                      CSimilarity* similarity, CPeakSelect* peak_select) {
  const CPeakSelect selection = peak_select ? *peak_select : CPeakSelect();
  const std::string pair_path = spectra_process ? spectra_process->cluster_result : std::string();
  safefile::CSafeFile pairs_out;
  if (!pairs_out.Open(pair_path)) {
    notify::Message("Cannot open file: " + pair_path + "!");
    return;
  }

  const int threads = std::max(1, worker_threads);
  const CSimilarity align(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  const CSimilarity final_score(SIMILAR_DOT_PRODUCT_MOD, 0.5, TOLERANCE_DA);
  // Both methods want the intensity order, and moving all peaks of a list
  // by the same amount keeps it.
  const std::vector<msdata::PeakList> prepared =
      PrepareAll(spectra, selection, SIMILAR_DOT_PRODUCT, threads);
  const PairWindows windows(spectra, 6.0, 200.0);

  auto produce = [&](std::size_t i, PairOutput& out) {
    const msdata::CSpectrum& first = spectra[i];
    if (first.charge != 2) return;
    msdata::PeakList moved;
    const Window window = windows.For(i);
    for (std::size_t j = window.begin; j < window.end; ++j) {
      const msdata::CSpectrum& second = spectra[j];
      const double d = first.precursor_mass - second.precursor_mass;
      const double distance = std::fabs(d);
      if (!(6.0 <= distance && distance <= 200.0) || second.charge != 2) continue;
      out.last_method = SIMILAR_DOT_PRODUCT_MOD;

      const int rounded = static_cast<int>(std::floor(distance + 0.5));
      const int shift =
          IntegerShift(prepared[i], prepared[j],
                       first.precursor_mass < second.precursor_mass, rounded, align, moved);
      const int whole = static_cast<int>(d + 0.5);  // toward zero
      const double s = final_score.ComputeArranged(prepared[i], prepared[j], d - whole + shift);
      if (s > threshold) {
        AppendFormat(out.pairs, "%s,%lf,%s,%lf,%lf,%lf, %d\n", first.name.c_str(),
                     first.precursor_mass, second.name.c_str(), second.precursor_mass, d, s,
                     shift);
      }
    }
  };
  bool any_pair = false;
  RunInOrder<PairOutput>(spectra.size(), threads, produce, [&](std::size_t, PairOutput& out) {
    WriteAll(pairs_out.Get(), out.pairs);
    if (out.last_method >= 0) any_pair = true;
  });
  if (!pairs_out.Commit()) {
    notify::Message("Cannot write file: " + pair_path + " (" + pairs_out.Error() + ")");
  }
  if (similarity && any_pair) similarity->Set(SIMILAR_DOT_PRODUCT_MOD, 0.5, TOLERANCE_DA);
}

std::string CSpectralPairSearch::DecoyEstimate(std::size_t above, std::size_t decoys_above) {
  std::string line;
  AppendFormat(line, "Pairs above the threshold: %zu; expected false pairs (decoys): %zu", above, decoys_above);
  if (above > 0) {
    AppendFormat(line, " (%.1f%%)", 100.0 * static_cast<double>(decoys_above) / static_cast<double>(above));
  }
  return line + ".";
}

double CSpectralPairSearch::PairLineDifference(const std::string& line) {
  std::size_t field_start = 0;
  for (int field = 0; field < 4; ++field) {
    const std::size_t comma = line.find(',', field_start);
    if (comma == std::string::npos) break;
    field_start = comma + 1;
  }
  const std::size_t field_end = line.find(',', field_start);
  return text::AtoF(line.substr(field_start, field_end == std::string::npos
                                                 ? std::string::npos
                                                 : field_end - field_start));
}

std::vector<CSpectralPairSearch::ShiftGroup> CSpectralPairSearch::GroupShifts(
    std::vector<double> d, double tolerance) {
  // A difference that is not a number has no place on the mass axis.
  d.erase(std::remove_if(d.begin(), d.end(), [](double x) { return std::isnan(x); }), d.end());
  std::sort(d.begin(), d.end());
  shifts::CShiftGrouper grouper(tolerance);
  for (const double x : d) grouper.Add(x);
  return grouper.Finish();
}

bool CSpectralPairSearch::WriteMassShiftHistogram(const std::string& pair_file, double tolerance,
                                                  const std::string& histogram_path, std::size_t run_size) {
  std::ifstream in(pair_file, std::ios::binary);
  if (!in) {
    notify::Message("Can not read file:" + pair_file);
    return false;
  }
  shifts::CSortedRuns sorted(pair_file, run_size);
  std::string line;
  while (text::ReadLine(in, line)) {
    // A blank line is no pair; a difference that is not a number has no
    // place on the mass axis.
    if (text::Trim(line).empty()) continue;
    const double d = PairLineDifference(line);
    if (!std::isnan(d) && !sorted.Add(d)) break;
  }
  in.close();
  shifts::CShiftGrouper grouper(tolerance);
  if (!sorted.Error().empty() || !sorted.Drain([&](double d) { grouper.Add(d); })) {
    notify::Message("Cannot write file: " + histogram_path + " (" + sorted.Error() + ")");
    return false;
  }
  const std::vector<ShiftGroup> groups = grouper.Finish();
  safefile::CSafeFile out;
  if (!out.Open(histogram_path)) return false;
  for (const ShiftGroup& g : groups) {
    std::fprintf(out.Get(), "%lf,%d, 0, 0, 0, 0, 0\n", g.mean, g.count);
  }
  return out.Commit();
}
