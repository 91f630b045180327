// Cost of one site-scoring call: a 20-residue peptide, scored at each of
// its positions against a 200-peak spectrum read from a file.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "scoring/KSDPScore.h"
#include "scoring/PeptideScoreFactory.h"

namespace fs = std::filesystem;

namespace {

const std::string kPeptide = "SAMPLERPEPTIDEKGLYNK";  // 20 residues

struct Fixture {
  Fixture() {
    dir = fs::temp_directory_path() / ("tessera_ksdp_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "aa.ini") << "[aa]\ntotal=0\n";
    spectrum = (dir / "bench.1.1.2.dta").string();
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> mz(100.0, 2200.0), intensity(1.0, 10000.0);
    FILE* f = std::fopen(spectrum.c_str(), "w");
    std::fprintf(f, "%lf %d\n", 2200.0, 2);
    for (int i = 0; i < 200; ++i) std::fprintf(f, "%lf %lf\n", mz(rng), intensity(rng));
    std::fclose(f);
  }
  ~Fixture() { fs::remove_all(dir); }
  fs::path dir;
  std::string spectrum;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_GetKSDPScore(benchmark::State& state) {
  Fixture& f = Shared();
  CPeptideScoreFactory factory;
  std::vector<double> scores;
  const std::string directory = f.dir.string() + "/";
  for (auto _ : state) {
    scores.clear();
    factory.GetKSDPScore(f.spectrum, kPeptide, {{5, 15.994915}}, 79.966331, scores, directory);
    benchmark::DoNotOptimize(scores.data());
  }
}
BENCHMARK(BM_GetKSDPScore)->Unit(benchmark::kMicrosecond);

// The scoring alone, without reading the files: one position.
void BM_ScoreOnePosition(benchmark::State& state) {
  Fixture& f = Shared();
  CScoreSpectrum spectrum;
  std::string error;
  ReadScoreSpectrum(f.spectrum, spectrum, error);
  CScoreSettings settings;
  settings.SetResidues(CResidueTable());
  settings.SetDefaultSeries();
  CKSDPScore scorer;
  scorer.SetSettings(settings);
  CScorePeptide peptide;
  peptide.sequence = kPeptide;
  peptide.modifications.push_back({7, 'P', 79.966331, {}});
  for (auto _ : state) {
    scorer.SetSpectrum(spectrum);
    scorer.SetPeptide(peptide);
    benchmark::DoNotOptimize(scorer.Score());
    scorer.Reset();
  }
}
BENCHMARK(BM_ScoreOnePosition)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
