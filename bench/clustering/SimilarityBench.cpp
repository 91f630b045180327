// Scored pairs per second for each similarity method, on spectra as the
// engine compares them: 200 raw peaks reduced to about 50 by the default
// selection (top 5 per 100 Da, then top 50) and square-root scaled.

#include <benchmark/benchmark.h>

#include "clustering/PeakSelect.h"
#include "clustering/Similarity.h"
#include "clustering/tests/SyntheticSpectra.h"

namespace {

const std::vector<msdata::PeakList>& PreparedLists() {
  static const std::vector<msdata::PeakList> lists = [] {
    synthetic::Options o;
    o.families = 16;
    o.members_per_family = 8;
    o.raw_peaks = 200;
    o.shift = 16.0;
    const auto spectra = synthetic::Make(o);
    const CPeakSelect select(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
    std::vector<msdata::PeakList> out;
    for (const auto& s : spectra) out.push_back(select.Prepare(s.peaks));
    return out;
  }();
  return lists;
}

// Compute on fresh copies, as a caller that prepares per pair does.
void BM_Compute(benchmark::State& state) {
  const int method = static_cast<int>(state.range(0));
  const CSimilarity similarity(static_cast<Similar_Method>(method), 0.5, TOLERANCE_DA);
  const auto& lists = PreparedLists();
  std::size_t a = 0;
  std::size_t b = 1;
  double sink = 0.0;
  for (auto _ : state) {
    msdata::PeakList x = lists[a];
    msdata::PeakList y = lists[b];
    sink += similarity.Compute(x, y, 16.0);
    if (++b == lists.size()) {
      a = (a + 1) % lists.size();
      b = 0;
    }
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::to_string(lists.size()) + " spectra");
}
BENCHMARK(BM_Compute)->DenseRange(0, 6)->ArgName("method");

// Lists arranged once and scored many times, as the engine does.
void BM_ComputeArranged(benchmark::State& state) {
  const int method = static_cast<int>(state.range(0));
  const CSimilarity similarity(static_cast<Similar_Method>(method), 0.5, TOLERANCE_DA);
  std::vector<msdata::PeakList> lists = PreparedLists();
  std::size_t peaks = 0;
  for (auto& l : lists) {
    CSimilarity::ArrangeFor(method, l);
    peaks += l.size();
  }
  std::size_t a = 0;
  std::size_t b = 1;
  double sink = 0.0;
  for (auto _ : state) {
    sink += similarity.ComputeArranged(lists[a], lists[b], 16.0);
    if (++b == lists.size()) {
      a = (a + 1) % lists.size();
      b = 0;
    }
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(state.iterations());
  state.SetLabel("mean peaks " + std::to_string(peaks / lists.size()));
}
BENCHMARK(BM_ComputeArranged)->DenseRange(0, 6)->ArgName("method");

}  // namespace
BENCHMARK_MAIN();
