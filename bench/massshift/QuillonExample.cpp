// Quillon on a real run: the histogram of all pairwise precursor mass
// differences from 1 to 200 Da, the bin width GetBestBin_ chooses, the
// background of GetMeanAndVariance_ and the shifts GetModification_ selects,
// printed as a table.
//
//   quillon_example [run.mzML] [p-value threshold] [ppm]
//
// Defaults: the BSA1 run of the OpenMS examples (Debian package openms-doc),
// threshold 0.001, redundancy tolerance 10 ppm.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "massshift/Quillon.h"
#include "spectra/MS2Input.h"

namespace {

constexpr const char* kDefaultRun = "/usr/share/doc/openms/examples/BSA/BSA1.mzML";
constexpr double kLower = 1.0;
constexpr double kUpper = 200.0;
constexpr double kFineWidth = 0.01;

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 4) {
    std::fprintf(stderr, "usage: quillon_example [run.mzML] [p-value threshold] [ppm]\n");
    return 2;
  }
  const std::string run = argc > 1 ? argv[1] : kDefaultRun;
  const double threshold = argc > 2 ? std::atof(argv[2]) : 0.001;
  const double ppm = argc > 3 ? std::atof(argv[3]) : 10.0;
  if (!(threshold > 0.0 && threshold < 1.0) || !(ppm >= 0.0)) {
    std::fprintf(stderr, "the threshold lies between 0 and 1, the tolerance is 0 ppm or more\n");
    return 2;
  }

  MS2FormatType type = MS2_FORMAT_MZML;
  std::string why;
  if (!CMS2InputFactory::FormatFromPath(run, type, why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
  }
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, false));
  SpectrumList loaded;
  if (!importer->Load(run, loaded, true)) {
    std::fprintf(stderr, "%s\n", importer->LastError().c_str());
    return 1;
  }
  SortSpectraByMass(loaded);
  SpectrumList spectra;
  RemoveRedundancy_(loaded, spectra, ppm);
  std::printf("run: %s\n", run.c_str());
  std::printf("spectra: %zu loaded, %zu after redundancy removal at %g ppm\n", loaded.size(),
              spectra.size(), ppm);

  quillon::Histogram fine;
  quillon::PairMap starts;
  auto start = std::chrono::steady_clock::now();
  ComputeMassX_(spectra, kLower, kUpper, kFineWidth, fine, starts, true);
  const double fine_ms = MillisecondsSince(start);
  long long in_range = 0;
  for (const auto& bin : fine) in_range += bin.first;
  std::printf("pairwise differences from %g to %g Da: %lld pairs in %zu bins of %g Da (%.1f ms)\n",
              kLower, kUpper, in_range, fine.size(), kFineWidth, fine_ms);
  const int top = GetMaxNumIndex_(fine);
  if (top >= 0) {
    std::printf("fullest bin (GetMaxNumIndex_): %.2f Da, %d pairs\n", fine[top].second,
                fine[top].first);
  }

  start = std::chrono::steady_clock::now();
  const double width = GetBestBin_(fine);
  std::printf("best bin width (GetBestBin_): %.2f Da (%.1f ms)\n", width, MillisecondsSince(start));

  quillon::Histogram histogram;
  ComputeMassX_(spectra, kLower, kUpper, width, histogram, starts, true);
  double mean = 0.0, sd = 0.0;
  quillon::Histogram cells;
  GetMeanAndVariance_(histogram, mean, sd, cells);
  std::printf("background (GetMeanAndVariance_) over %zu integer-mass cells: mean %.3f, sd %.3f\n",
              cells.size(), mean, sd);

  std::vector<int> positions;
  GetModification_(cells, positions, mean, sd, threshold);
  std::vector<int> scans;
  GetRt_(spectra, scans);
  std::printf("\nshifts selected by GetModification_ (upper-tail p < %g): %zu\n", threshold,
              positions.size());
  std::printf("%10s %7s %8s %10s %8s %17s\n", "delta_mass", "count", "z", "p", "pairs",
              "scan_diff_range");
  for (int p : positions) {
    const auto& [count, mass] = cells[static_cast<std::size_t>(p)];
    const double z = sd > 0.0 ? (count - mean) / sd : 0.0;
    const double tail = sd > 0.0 ? 0.5 * std::erfc(z / std::sqrt(2.0)) : 0.0;
    // Every pair of the integer shift around this bin, from the recorded starts.
    quillon::MassScanPairs pairs;
    int max_diff = -2147483647, min_diff = 2147483647;
    ComputeMassRTX_(spectra, scans, pairs, starts, static_cast<int>(mass + 0.5) - 0.5, max_diff,
                    min_diff);
    char range[40] = "-";
    if (!pairs.empty()) std::snprintf(range, sizeof range, "%d..%d", min_diff, max_diff);
    std::printf("%10.2f %7d %8.2f %10.3g %8zu %17s\n", mass, count, z, tail, pairs.size(), range);
  }
  return 0;
}
