#include "tests/support/SyntheticMgf.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

#include "common/PathUtil.h"
#include "spectra/MS2Input.h"

namespace bench {

namespace {

// mt19937_64's sequence is fixed by the standard; the distributions of the
// library are not, so values are drawn by hand.
class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  double Uniform(double lo, double hi) {
    const double unit = static_cast<double>(engine_() >> 11) * (1.0 / 9007199254740992.0);
    return lo + (hi - lo) * unit;
  }
  int Between(int lo, int hi) {  // inclusive
    return lo + static_cast<int>(engine_() % static_cast<std::uint64_t>(hi - lo + 1));
  }

 private:
  std::mt19937_64 engine_;
};

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};

}  // namespace

bool LoadTemplates(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                   std::string& error) {
  const std::string ext = path::Extension(path);
  MS2FormatType type = MS2_FORMAT_MZML;
  if (ext == "mgf") type = MS2_FORMAT_MGF;
  if (ext == "ms2") type = MS2_FORMAT_MS2;
  CMS2InputFactory factory;
  std::unique_ptr<CMS2Input> importer(factory.GetImporter(type, false));
  if (!importer->Load(path, spectra, true)) {
    error = importer->LastError();
    return false;
  }
  return true;
}

bool WriteSyntheticMgf(const std::vector<msdata::CSpectrum>& templates, std::size_t count,
                       const std::string& output, std::uint64_t seed, std::string& error) {
  if (templates.empty()) {
    error = "no template spectra";
    return false;
  }
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(output.c_str(), "w"));
  if (!out) {
    error = "Can not save file: " + output;
    return false;
  }
  const std::string base = path::BaseName(output);
  Random random(seed);
  msdata::PeakList peaks;
  for (std::size_t i = 0; i < count; ++i) {
    const msdata::CSpectrum& t = templates[i % templates.size()];
    const unsigned long scan = static_cast<unsigned long>(i + 1);
    const double mz = t.precursor_mz * (1.0 + random.Uniform(-5e-6, 5e-6));
    peaks.clear();
    double low = 1e300, high = 0.0, top = 0.0;
    for (const msdata::Peak& p : t.peaks) {
      low = std::min(low, p.first);
      high = std::max(high, p.first);
      top = std::max(top, p.second);
      if (random.Uniform(0.0, 1.0) < 0.1) continue;
      peaks.emplace_back(p.first + random.Uniform(-0.05, 0.05),
                         p.second * random.Uniform(0.7, 1.3));
    }
    if (t.peaks.empty()) {
      low = 100.0;
      high = std::max(200.0, mz);
      top = 100.0;
    }
    const int noise = random.Between(1, 3);
    for (int k = 0; k < noise; ++k) {
      peaks.emplace_back(random.Uniform(low, high), top * random.Uniform(0.01, 0.1));
    }
    std::sort(peaks.begin(), peaks.end());
    std::FILE* f = out.get();
    std::fprintf(f, "BEGIN IONS\nTITLE=%s.%lu.%lu.%d.dta\nPEPMASS=%.6f\nCHARGE=%d%c\n",
                 base.c_str(), scan, scan, t.charge < 0 ? -t.charge : t.charge, mz,
                 t.charge < 0 ? -t.charge : t.charge, t.charge < 0 ? '-' : '+');
    std::fprintf(f, "RTINSECONDS=%.3f\nSCANS=%lu\n", t.retention_time, scan);
    for (const msdata::Peak& p : peaks) std::fprintf(f, "%.5f %.4f\n", p.first, p.second);
    std::fputs("END IONS\n\n", f);
  }
  const bool ok = std::ferror(out.get()) == 0;
  if (std::fclose(out.release()) != 0 || !ok) {
    error = "Can not save file: " + output;
    return false;
  }
  return true;
}

}  // namespace bench
