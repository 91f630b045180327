#pragma once
// Seeded synthetic spectra for tests and benchmarks: families of related
// spectra (shared fragment ladders with noise), so that similarity scores
// spread over the whole range and clusters of several sizes form.

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/DtaName.h"
#include "common/Spectrum.h"

namespace synthetic {

struct Options {
  std::size_t families = 20;
  std::size_t members_per_family = 5;
  std::size_t raw_peaks = 200;
  std::size_t shared_peaks = 60;  // peaks a family has in common
  double mass_spread = 1.0;       // daltons between members of a family
  double shift = 0.0;             // when nonzero, every other member is moved by it
  int charges = 2;                // charges 2 .. 1 + charges
  std::uint32_t seed = 12345;
};

inline std::vector<msdata::CSpectrum> Make(const Options& o) {
  std::mt19937 rng(o.seed);
  std::uniform_real_distribution<double> mz(100.0, 2000.0);
  std::uniform_real_distribution<double> jitter(-0.05, 0.05);
  std::uniform_real_distribution<double> intensity(1.0, 1000.0);
  std::uniform_real_distribution<double> precursor(800.0, 3000.0);
  std::uniform_real_distribution<double> spread(-o.mass_spread, o.mass_spread);
  std::vector<msdata::CSpectrum> out;
  int scan = 1;
  for (std::size_t f = 0; f < o.families; ++f) {
    std::vector<msdata::Peak> ladder(o.shared_peaks);
    for (auto& p : ladder) p = {mz(rng), intensity(rng)};
    const double base = precursor(rng);
    const int charge = 2 + static_cast<int>(f % static_cast<std::size_t>(std::max(1, o.charges)));
    for (std::size_t m = 0; m < o.members_per_family; ++m) {
      msdata::CSpectrum s;
      s.charge = charge;
      const bool moved = o.shift != 0.0 && (m % 2 == 1);
      s.precursor_mass = base + spread(rng) + (moved ? o.shift : 0.0);
      for (const auto& p : ladder) {
        double at = p.first + jitter(rng);
        if (moved && (rng() % 2 == 0)) at += o.shift;
        s.peaks.emplace_back(at, p.second * (0.5 + (rng() % 100) / 100.0));
      }
      while (s.peaks.size() < o.raw_peaks) s.peaks.emplace_back(mz(rng), intensity(rng) * 0.3);
      std::sort(s.peaks.begin(), s.peaks.end());
      s.name = msdata::MakeDtaName("synth", scan, scan, charge);
      ++scan;
      out.push_back(std::move(s));
    }
  }
  return out;
}

// The driver's order for similarity clustering: charge, then ascending mass.
inline void OrderForClustering(std::vector<msdata::CSpectrum>& spectra) {
  std::stable_sort(spectra.begin(), spectra.end(),
                   [](const msdata::CSpectrum& a, const msdata::CSpectrum& b) {
                     if (a.charge != b.charge) return a.charge < b.charge;
                     return a.precursor_mass < b.precursor_mass;
                   });
}

}  // namespace synthetic
