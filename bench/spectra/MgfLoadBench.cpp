// MGF load throughput on a synthetic file of 200,000 spectra.
//
//   mgf_load_bench [--mgf=FILE] [benchmark flags]
// Without --mgf the file "synthetic_200k.mgf" in the current directory is used,
// and written first (seed 1, from BSA1.mzML) when it does not exist.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/SyntheticMgf.h"
#include "common/PathUtil.h"
#include "spectra/MgfImporter.h"

namespace {

std::string g_mgf = "synthetic_200k.mgf";

void BM_MgfLoad(benchmark::State& state) {
  std::FILE* f = std::fopen(g_mgf.c_str(), "rb");
  if (!f) {
    state.SkipWithError("no MGF file");
    return;
  }
  std::fseek(f, 0, SEEK_END);
  const long bytes = std::ftell(f);
  std::fclose(f);
  std::size_t loaded = 0;
  for (auto _ : state) {
    CMgfImporter importer;
    std::vector<msdata::CSpectrum> spectra;
    if (!importer.Load(g_mgf, spectra, true)) {
      state.SkipWithError(importer.LastError().c_str());
      return;
    }
    loaded = spectra.size();
    benchmark::DoNotOptimize(spectra.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
  state.counters["spectra/s"] = benchmark::Counter(
      static_cast<double>(loaded) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
  state.counters["spectra"] = static_cast<double>(loaded);
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_MgfLoad)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--mgf=", 6) == 0) {
      g_mgf = argv[i] + 6;
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (!path::Exists(g_mgf)) {
    std::vector<msdata::CSpectrum> templates;
    std::string error;
    if (!bench::LoadTemplates("/usr/share/doc/openms/examples/BSA/BSA1.mzML", templates, error) ||
        !bench::WriteSyntheticMgf(templates, 200000, g_mgf, 1, error)) {
      std::fprintf(stderr, "cannot prepare %s: %s\n", g_mgf.c_str(), error.c_str());
      return 1;
    }
  }
  int rest_argc = static_cast<int>(rest.size());
  benchmark::Initialize(&rest_argc, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
