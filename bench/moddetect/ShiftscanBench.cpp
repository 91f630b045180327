// Shiftscan timings: the whole run over shifts 1 to 200 on 20,000 synthetic
// precursors (and on a real mzML run when the dumper has been built), and
// its two hot parts on their own. Peak memory is the process's maximum
// resident set; run one benchmark per process (--benchmark_filter) to read
// it for that case alone.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "common/Notifier.h"
#include "moddetect/DetectionRun.h"
#include "moddetect/ModificationDetector.h"
#include "moddetect/PairCollector.h"
#include "moddetect/PrecursorList.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPrecursors = 20000;
constexpr int kFirstShift = 1;
constexpr int kLastShift = 200;
const char* const kRealRun = "/usr/share/doc/openms/examples/BSA/BSA1.mzML";

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

// Background precursors plus pairs for a few common modifications, each
// with its own retention-time shift. At this density (about 70,000 pairs
// per shift) a modification needs some thousand pairs to stand out of its
// mass bin's background.
std::vector<PrecursorRecord> Synthetic(int total) {
  std::mt19937 rng(20261207);
  auto uniform = [&](double a, double b) { return a + (b - a) * (rng() / 4294967296.0); };
  auto gauss = [&](double s) {
    const double u1 = (rng() + 1.0) / 4294967297.0, u2 = rng() / 4294967296.0;
    return s * std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  };
  const struct { double mass, dt; int pairs; } mods[] = {
      {15.9949, 3.0, 1500}, {14.0157, 5.0, 1200}, {28.0313, 9.0, 1200}, {42.0106, 12.0, 1000}, {79.9663, -6.0, 1000}};
  std::vector<PrecursorRecord> out;
  for (const auto& m : mods) {
    for (int i = 0; i < m.pairs; ++i) {
      PrecursorRecord a;
      a.mh = uniform(450, 5900);
      a.retention_time = uniform(300, 5000);
      a.charge = 2;
      PrecursorRecord b = a;
      b.mh += m.mass + gauss(0.002);
      b.retention_time += m.dt + gauss(0.5);
      out.push_back(a);
      out.push_back(b);
    }
  }
  while (static_cast<int>(out.size()) < total) {
    PrecursorRecord r;
    r.mh = uniform(450, 5900);
    r.retention_time = uniform(300, 5400);
    r.charge = 2 + static_cast<int>(rng() % 3);
    out.push_back(r);
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i].scan = static_cast<int>(i + 1);
    out[i].title = "bench." + std::to_string(i + 1) + "." + std::to_string(i + 1) + ".2.dta";
  }
  return out;
}

struct ScratchDir {
  fs::path previous = fs::current_path();
  fs::path dir;
  explicit ScratchDir(const std::string& tag) {
    dir = fs::temp_directory_path() / ("tessera_shf_bench_" + tag + "_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
  }
  ~ScratchDir() {
    fs::current_path(previous);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

void WriteConfig(const std::string& data, const std::string& type, int maxndata) {
  std::ofstream cfg("bench.cfg");
  cfg << "[data]\nfilepath=" << data << "\nfiletype=" << type << "\n[modification]\nmodmasslower=" << kFirstShift
      << "\nmodmassupper=" << kLastShift << "\n[pair]\nfindpair=1\nppthres=0.98\ndtaname=bench\npairpath=pairs\n"
      << "[other]\nmaxndata=" << maxndata << "\n";
}

void WriteDump(const std::vector<PrecursorRecord>& records) {
  std::FILE* f = std::fopen("synthetic.dump", "w");
  std::fputs(kDumpHeader, f);
  for (const auto& r : records)
    std::fprintf(f, "%d MS2 %lf ITMS CID 0 %d %lf %lf\n", r.scan, r.retention_time, r.charge, r.mh, r.mh / r.charge);
  std::fclose(f);
}

void ReportRun(benchmark::State& state, CDetectionRun& run) {
  state.counters["precursors"] = static_cast<double>(run.Precursors().Reduced().size());
  state.counters["modifications"] = static_cast<double>(run.Detector().Results().size());
  state.counters["peak_rss_MB"] = PeakRssMb();
}

// The whole program: dump reading, redundancy removal, 200 detection passes,
// combination marking, pair files and the result file.
void BM_FullRunSynthetic(benchmark::State& state) {
  notify::ScopedHandler quiet([](const std::string&) {});
  ScratchDir scratch("full");
  WriteDump(Synthetic(kPrecursors));
  WriteConfig("synthetic.dump", "dump", kPrecursors);
  for (auto _ : state) {
    std::ostringstream console;
    CDetectionRun run(console);
    if (run.Run("bench.cfg") != 0) state.SkipWithError("run failed");
    ReportRun(state, run);
    if (std::getenv("SHIFTSCAN_BENCH_VERBOSE")) std::fputs(console.str().c_str(), stderr);
  }
}
BENCHMARK(BM_FullRunSynthetic)->Unit(benchmark::kMillisecond)->Iterations(1);

// Pair collection alone for every shift: the two-pointer walk.
void BM_PairCollection(benchmark::State& state) {
  CPrecursorList list;
  list.MutableRecords() = Synthetic(kPrecursors);
  list.SortByChargeMass();
  list.RemoveRedundancy(5.0);
  CPairCollector collector;
  std::size_t pairs = 0;
  for (auto _ : state) {
    pairs = 0;
    for (int w = kFirstShift; w <= kLastShift; ++w) {
      collector.CollectPairs(list.Reduced(), w, false);
      pairs += collector.PairCount();
    }
  }
  state.counters["pairs_per_shift"] = static_cast<double>(pairs) / (kLastShift - kFirstShift + 1);
}
BENCHMARK(BM_PairCollection)->Unit(benchmark::kMillisecond);

// One detection pass at the busiest shift (candidates, mixture, EM).
void BM_DetectOneShift(benchmark::State& state) {
  CPrecursorList list;
  list.MutableRecords() = Synthetic(kPrecursors);
  list.SortByChargeMass();
  list.RemoveRedundancy(5.0);
  CPairCollector collector;
  collector.CollectPairs(list.Reduced(), 16, false);
  for (auto _ : state) {
    CModificationDetector detector;
    detector.SetPairs(collector);
    detector.SetParameters(20.0, 0.4, 0.01, 16);
    benchmark::DoNotOptimize(detector.Detect());
  }
  state.counters["pairs"] = static_cast<double>(collector.PairCount());
}
BENCHMARK(BM_DetectOneShift)->Unit(benchmark::kMillisecond);

// The real run through the dumper, when it has been built.
void BM_FullRunBSA1(benchmark::State& state) {
  const std::string gannet = std::string(TESSERA_BIN_DIR) + "/Gannet";
  if (!fs::exists(gannet) || !fs::exists(kRealRun)) {
    state.SkipWithError("Gannet or BSA1.mzML missing");
    for (auto _ : state) {
    }
    return;
  }
  notify::ScopedHandler quiet([](const std::string&) {});
  ScratchDir scratch("bsa");
  WriteConfig(kRealRun, "raw", 5000);
  for (auto _ : state) {
    std::ostringstream console;
    CDetectionRun run(console);
    run.Precursors().SetGannetProgram(gannet);
    if (run.Run("bench.cfg") != 0) state.SkipWithError("run failed");
    ReportRun(state, run);
    if (std::getenv("SHIFTSCAN_BENCH_VERBOSE")) std::fputs(console.str().c_str(), stderr);
  }
}
BENCHMARK(BM_FullRunBSA1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
