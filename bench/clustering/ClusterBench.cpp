// Whole runs of both strategies on synthetic spectra: the engine (one and
// two threads) against the straightforward reference path.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "clustering/Para.h"
#include "clustering/Progress.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/SpectralPairSearch.h"
#include "tests/support/ReferenceEngine.h"
#include "clustering/tests/SyntheticSpectra.h"
#include "common/Notifier.h"

namespace {

namespace fs = std::filesystem;

// Runs happen in a scratch directory: they write the cluster file, the
// pair file, "score.txt" and "temp.temp".
class Scratch {
 public:
  Scratch() {
    dir_ = fs::temp_directory_path() / ("tessera_clu_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir_ / "data");
    old_ = fs::current_path();
    fs::current_path(dir_);
    notify_ = notify::SetHandler([](const std::string&) {});
    progress_ = progress::SetSink([](const std::string&) {});
  }
  ~Scratch() {
    notify::SetHandler(notify_);
    progress::SetSink(progress_);
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

 private:
  fs::path dir_;
  fs::path old_;
  notify::Handler notify_;
  progress::Sink progress_;
};

// `families` of `members` spectra each; every family forms one block.
std::vector<msdata::CSpectrum> ClusteringInput(std::size_t families, std::size_t members = 12) {
  synthetic::Options o;
  o.families = families;
  o.members_per_family = members;
  o.mass_spread = 0.8;
  o.seed = 99;
  auto spectra = synthetic::Make(o);
  synthetic::OrderForClustering(spectra);
  return spectra;
}

std::vector<msdata::CSpectrum> PairInput(std::size_t families) {
  synthetic::Options o;
  o.families = families;
  o.members_per_family = 6;
  o.shift = 15.995;
  o.charges = 1;
  o.seed = 7;
  auto spectra = synthetic::Make(o);
  std::sort(spectra.begin(), spectra.end(), [](const auto& a, const auto& b) {
    return a.precursor_mass > b.precursor_mass;
  });
  return spectra;
}

void BM_SimilarityClusterRun(benchmark::State& state) {
  Scratch scratch;
  auto spectra = ClusteringInput(static_cast<std::size_t>(state.range(0)),
                                 static_cast<std::size_t>(state.range(2)));
  CPara para;
  para.SetDataClass(MS2_FORMAT_DTA, scratch.Path("data"), scratch.Path("out"),
                    scratch.Path("cluster.csv"), 10);
  // Consensus type 3: only the cluster file, so that the clustering itself
  // is measured rather than the file system.
  para.SetRepresentativeClass(static_cast<Representative_Spectra>(3), 0.4, TOLERANCE_DA);
  para.SetCluster(para.spectra_process.get(), para.representative_spectra.get(),
                  CLUSTER_SIMILARITY, 2.5, TOLERANCE_DA, 0.5);
  para.SetSimilarMethod(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  para.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  auto* strategy = static_cast<CSimilarityCluster*>(para.cluster.get());
  strategy->worker_threads = static_cast<int>(state.range(1));
  for (auto _ : state) {
    strategy->Run(spectra, para.similarity.get(), para.peak_select.get());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(spectra.size()));
  state.SetLabel(std::to_string(spectra.size()) + " spectra, threads " +
                 std::to_string(state.range(1)));
}
BENCHMARK(BM_SimilarityClusterRun)
    ->Args({100, 1, 12})
    ->Args({100, 2, 12})
    ->Args({6, 1, 200})
    ->Args({6, 2, 200})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SimilarityClusterReference(benchmark::State& state) {
  auto spectra = ClusteringInput(static_cast<std::size_t>(state.range(0)),
                                 static_cast<std::size_t>(state.range(1)));
  CSpectraProcess data;
  CRepresentativeSpectra rep;
  CSimilarityCluster strategy(&data, &rep, 2.5, TOLERANCE_DA, 0.5);
  CSimilarity similarity;
  const CPeakSelect select(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  for (auto _ : state) {
    auto outcome = reference::Cluster(spectra, strategy, similarity, select);
    benchmark::DoNotOptimize(outcome);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(spectra.size()));
  state.SetLabel(std::to_string(spectra.size()) + " spectra, reference");
}
BENCHMARK(BM_SimilarityClusterReference)
    ->Args({100, 12})
    ->Args({6, 200})->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SpectralPairSearchRun(benchmark::State& state) {
  Scratch scratch;
  auto spectra = PairInput(static_cast<std::size_t>(state.range(0)));
  CPara para;
  para.SetDataClass(MS2_FORMAT_DTA, scratch.Path("data"), "", scratch.Path("pairs.csv"), 10);
  para.SetRepresentativeClass(REPRESENTATIVE_CONSENSUS, 0.4, TOLERANCE_DA);
  para.SetCluster(para.spectra_process.get(), nullptr, CLUSTER_SPECTRAL_PAIR, 2.5, TOLERANCE_DA,
                  0.5);
  para.SetSimilarMethod(SIMILAR_DOT_PRODUCT_MOD, 0.5, TOLERANCE_DA);
  para.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  auto* strategy = static_cast<CSpectralPairSearch*>(para.cluster.get());
  strategy->worker_threads = static_cast<int>(state.range(1));
  for (auto _ : state) {
    fs::remove(CSpectralPairSearch::kScoreLog);
    strategy->Run(spectra, para.similarity.get(), para.peak_select.get());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(spectra.size()));
  state.SetLabel(std::to_string(spectra.size()) + " spectra, threads " +
                 std::to_string(state.range(1)));
}
BENCHMARK(BM_SpectralPairSearchRun)
    ->Args({200, 1})
    ->Args({200, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SpectralPairSearchReference(benchmark::State& state) {
  auto spectra = PairInput(static_cast<std::size_t>(state.range(0)));
  CSpectraProcess data;
  CSpectralPairSearch strategy(&data, 2.5, TOLERANCE_DA, 0.5);
  CSimilarity similarity(SIMILAR_DOT_PRODUCT_MOD, 0.5, TOLERANCE_DA);
  const CPeakSelect select(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  for (auto _ : state) {
    auto outcome = reference::PairSearch(spectra, strategy, similarity, select);
    benchmark::DoNotOptimize(outcome);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(spectra.size()));
  state.SetLabel(std::to_string(spectra.size()) + " spectra, reference");
}
BENCHMARK(BM_SpectralPairSearchReference)->Arg(200)->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
