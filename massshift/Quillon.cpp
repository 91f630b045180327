#include "massshift/Quillon.h"

#include <gsl/gsl_cdf.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "common/SafeFile.h"
#include "common/TextUtil.h"

namespace {

double Mass(const msdata::CSpectrum& s) { return s.precursor_mass; }

// "Integer part" as the arithmetic of these functions uses it: truncation,
// held to the int range so that no value (a difference of absurd masses, a
// NaN) is cast out of range.
int IntegerPart(double x) {
  if (!(x > static_cast<double>(INT_MIN))) return std::isnan(x) ? 0 : INT_MIN;
  if (!(x < static_cast<double>(INT_MAX))) return INT_MAX;
  return static_cast<int>(x);
}

// The mass index holds one entry per dalton up to the largest mass; past
// this no MS/MS precursor lies, and one absurd mass in a file must not claim
// gigabytes.
constexpr double kMaxIndexedMass = 1e6;

bool IndexableMass(double mass) { return std::isfinite(mass) && std::fabs(mass) <= kMaxIndexedMass; }

// Positions of the dots that close the name's last four fields
// ("base.first.last.charge.dta"): dots[k] is the (k + 1)-th dot from the
// right. False when the name has fewer than four.
bool FieldDots(const std::string& name, std::size_t dots[4]) {
  std::size_t end = name.size();
  for (int k = 0; k < 4; ++k) {
    if (end == 0) return false;
    const std::size_t at = name.rfind('.', end - 1);
    if (at == std::string::npos) return false;
    dots[k] = at;
    end = at;
  }
  return true;
}

int FirstScanOf(const std::string& name) {
  std::size_t dots[4];
  if (!FieldDots(name, dots)) return 0;
  return text::AtoI(std::string_view(name).substr(dots[3] + 1, dots[2] - dots[3] - 1));
}

int RawNumberOf(const std::string& name) {
  std::size_t dots[4];
  if (!FieldDots(name, dots) || dots[3] == 0) return 0;
  const std::size_t at = name.rfind('.', dots[3] - 1);
  if (at == std::string::npos) return 0;
  return text::AtoI(std::string_view(name).substr(at + 1, dots[3] - at - 1));
}

// Upper-tail probability of `value` under N(mean, sd). A zero spread is the
// limit of a narrowing Gaussian: everything above the mean is infinitely
// unlikely, the rest certain.
double UpperTail(double value, double mean, double sd) {
  if (!(sd > 0.0)) return value > mean ? 0.0 : 1.0;
  return 1.0 - gsl_cdf_gaussian_P(value - mean, sd);
}

}  // namespace

namespace quillon {

bool DumpFloatList(const std::vector<double>& values, const char* path) {
  // The dumps have fixed names: written whole under a fresh name and
  // renamed, so that a link planted at the name is replaced, not followed.
  safefile::CSafeFile out;
  if (!out.Open(path)) return false;
  std::FILE* f = out.Get();
  std::fputs("(lp1\n", f);
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::fprintf(f, i == 0 ? "F%f\n" : "aF%f\n", values[i]);
  }
  // The last value still waits for its append; an empty list has none.
  std::fputs(values.empty() ? ".\n" : "a.\n", f);
  return out.Commit();
}

}  // namespace quillon

void SortSpectraByMass(SpectrumList& spectra) {
  std::stable_sort(spectra.begin(), spectra.end(),
                   [](const msdata::CSpectrum& a, const msdata::CSpectrum& b) {
                     return Mass(a) > Mass(b);
                   });
}

void SortSpectraByMassAndCharge(SpectrumList& spectra) {
  auto key = [](const msdata::CSpectrum& s) { return s.charge * 100000.0 + Mass(s); };
  std::stable_sort(spectra.begin(), spectra.end(),
                   [&key](const msdata::CSpectrum& a, const msdata::CSpectrum& b) {
                     return key(a) > key(b);
                   });
}

void RemoveRedundancy_(SpectrumList spectra, SpectrumList& out, double ppm) {
  out.clear();
  if (spectra.empty()) return;
  auto same_group = [&](std::size_t i) {
    const double heavy = Mass(spectra[i]);
    const double light = Mass(spectra[i + 1]);
    // Relative to a zero mass only identical masses are close.
    if (light == 0.0) return heavy == light;
    return (heavy - light) / light * 1000000.0 <= ppm;
  };
  std::size_t first = 0;
  for (std::size_t i = 0; i + 1 < spectra.size(); ++i) {
    if (!same_group(i)) {
      out.push_back(spectra[(first + i) / 2]);
      first = i + 1;
    }
  }
  out.push_back(spectra[(first + spectra.size() - 1) / 2]);
  SortSpectraByMass(out);
}

bool GetMassIndex(SpectrumList& spectra, std::vector<int>& index) {
  index.clear();
  if (spectra.empty()) return false;
  for (const msdata::CSpectrum& s : spectra)
    if (!IndexableMass(Mass(s))) return false;
  SortSpectraByMass(spectra);
  const int size = IntegerPart(Mass(spectra.front()) + 1.0);
  index.assign(static_cast<std::size_t>(std::max(size, 0)), -1);
  for (std::size_t i = 0; i < spectra.size(); ++i) {
    const int m = IntegerPart(Mass(spectra[i]));
    if (i > 0 && m == IntegerPart(Mass(spectra[i - 1]))) continue;
    if (m >= 0 && m < size) index[static_cast<std::size_t>(m)] = static_cast<int>(i);
  }
  return true;
}

void GetRt_(SpectrumList spectra, std::vector<int>& scans) {
  for (const msdata::CSpectrum& s : spectra) scans.push_back(FirstScanOf(s.name));
}

void GetRawNumber_(SpectrumList spectra, std::vector<int>& scans) {
  GetRt_(std::move(spectra), scans);
}

void GetRtRaw_(SpectrumList spectra, std::vector<int>& scans, std::vector<int>& raw) {
  for (const msdata::CSpectrum& s : spectra) {
    scans.push_back(FirstScanOf(s.name));
    raw.push_back(RawNumberOf(s.name));
  }
}

bool ComputeMassX_(SpectrumList spectra, double lower, double upper, double width,
                   quillon::Histogram& histogram, quillon::PairMap& pairs, bool record) {
  if (record) pairs.clear();
  histogram.clear();
  if (width > 0.0) {
    for (double x = lower; x < upper; x += width) histogram.emplace_back(0, x);
  }
  auto remember = [&pairs](double key, bool changed, int i, int j) {
    auto at = pairs.find(key);
    if (at == pairs.end()) {
      pairs[key].emplace_back(i, j);
    } else if (changed) {
      at->second.emplace_back(i, j);
    }
  };
  double prev = 0.0;
  const int n = static_cast<int>(spectra.size());
  for (int i = 0; i < n; ++i) {
    const double mi = Mass(spectra[static_cast<std::size_t>(i)]);
    for (int j = i + 1; j < n; ++j) {
      const double d = mi - Mass(spectra[static_cast<std::size_t>(j)]);
      const double key = IntegerPart(d + 0.5) - 0.5;
      const bool changed = key != prev;
      prev = key;
      if (lower <= d && d < upper) {
        // Repeated addition of the width can leave the last edge a hair
        // below `upper`; a difference past the last bin is not counted.
        const double bin = (d - lower) / width;
        if (!histogram.empty() && bin < static_cast<double>(histogram.size()))
          ++histogram[static_cast<std::size_t>(bin)].first;
        if (record) remember(key, changed, i, j);
      } else if (record && changed) {
        remember(key, changed, i, j);
      }
    }
  }
  return true;
}

void ComputeMassRTX_(SpectrumList spectra, std::vector<int> scans, quillon::MassScanPairs& out,
                     quillon::PairMap& pairs, double key, int& max_scan_diff, int& min_scan_diff) {
  const auto at = pairs.find(key);
  if (at == pairs.end()) return;
  const std::size_t n = std::min(spectra.size(), scans.size());
  for (const auto& [c, d] : at->second) {
    if (c < 0 || d < 0 || static_cast<std::size_t>(c) >= n) continue;
    const double mc = Mass(spectra[static_cast<std::size_t>(c)]);
    for (std::size_t e = static_cast<std::size_t>(d); e < n && mc - Mass(spectra[e]) < key + 1.0;
         ++e) {
      const int scan_diff = scans[static_cast<std::size_t>(c)] - scans[e];
      out.emplace_back(mc - Mass(spectra[e]), scan_diff);
      max_scan_diff = std::max(max_scan_diff, scan_diff);
      min_scan_diff = std::min(min_scan_diff, scan_diff);
    }
  }
}

void ComputeMassXOnePoint_(SpectrumList spectra, double, double, double tolerance, double centre,
                           std::vector<std::pair<int, int>>& pairs) {
  pairs.clear();
  std::vector<int> scans;
  GetRawNumber_(spectra, scans);
  std::vector<double> mass_list;
  std::vector<double> scan_list;
  const int n = static_cast<int>(spectra.size());
  for (int i = 0; i < n; ++i) {
    const double mi = Mass(spectra[static_cast<std::size_t>(i)]);
    for (int j = i + 1; j < n; ++j) {
      const double d = mi - Mass(spectra[static_cast<std::size_t>(j)]);
      if (std::fabs(d - centre) < tolerance) {
        pairs.emplace_back(i, j);
        mass_list.push_back(d);
        scan_list.push_back(static_cast<double>(scans[static_cast<std::size_t>(i)]) -
                            scans[static_cast<std::size_t>(j)]);
      } else if (d - centre > 0.0) {
        break;  // descending masses: the differences only grow from here
      }
    }
  }
  quillon::DumpFloatList(mass_list, quillon::kMassDumpFile);
  quillon::DumpFloatList(scan_list, quillon::kScanDumpFile);
}

namespace {

// The pairs of one shift through the mass index; `scans` are the spectra's
// first scan numbers. Everything by reference: a batch over many shifts
// must not copy the list and the index once per shift.
bool CollectOneShift(const SpectrumList& spectra, const std::vector<int>& index, const std::vector<int>& scans,
                     std::vector<double>& mass_diffs, std::vector<double>& scan_diffs,
                     std::vector<int>& partner_flags, int shift) {
  mass_diffs.clear();
  scan_diffs.clear();
  partner_flags.clear();
  if (spectra.empty() || index.empty()) return false;
  const double top = static_cast<double>(index.size() - 1);
  const std::size_t n = spectra.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double mi = Mass(spectra[i]);
    const double lo = mi - shift - 0.5;  // partner masses lie in (lo, hi)
    const double hi = mi - shift + 0.5;
    // The window covers at most two integer masses; its first spectrum is the
    // first one of the higher mass present (positions descend in mass). The
    // bounds are held to the index in real numbers, before any cast.
    const double first = std::min(std::floor(hi), top);
    const double last = std::max(std::floor(lo), 0.0);
    int start = -1;
    for (double m = first; m >= last && start < 0; m -= 1.0) start = index[static_cast<std::size_t>(m)];
    if (start < 0) continue;
    if (static_cast<std::size_t>(start) >= n) return false;  // not this list's index
    for (std::size_t j = std::max(static_cast<std::size_t>(start), i + 1); j < n; ++j) {
      const double d = mi - Mass(spectra[j]);
      if (d >= shift + 0.5) break;
      if (d <= shift - 0.5) continue;
      mass_diffs.push_back(d);
      scan_diffs.push_back(static_cast<double>(scans[i]) - scans[j]);
      partner_flags.push_back(spectra[i].charge == spectra[j].charge ? 1 : 0);
    }
  }
  return true;
}

}  // namespace

bool ComputeMassXWithOnePosition_(SpectrumList spectra, std::vector<int> index,
                                  std::vector<double>& mass_diffs, std::vector<double>& scan_diffs,
                                  std::vector<int>& partner_flags, int shift) {
  std::vector<int> scans;
  GetRawNumber_(spectra, scans);
  return CollectOneShift(spectra, index, scans, mass_diffs, scan_diffs, partner_flags, shift);
}

bool ComputeMassX_4Shiftscan_(SpectrumList& spectra, std::vector<double>& mass_diffs,
                              std::vector<double>& scan_diffs, std::vector<int>& partner_flags,
                              int first_shift, int last_shift) {
  mass_diffs.clear();
  scan_diffs.clear();
  partner_flags.clear();
  if (spectra.empty()) return true;
  std::vector<int> index;
  if (!GetMassIndex(spectra, index)) return false;
  std::vector<int> scans;
  GetRawNumber_(spectra, scans);
  std::vector<double> masses, scan_list;
  std::vector<int> flags;
  for (long long shift = first_shift; shift <= last_shift; ++shift) {
    CollectOneShift(spectra, index, scans, masses, scan_list, flags, static_cast<int>(shift));
    mass_diffs.insert(mass_diffs.end(), masses.begin(), masses.end());
    scan_diffs.insert(scan_diffs.end(), scan_list.begin(), scan_list.end());
    partner_flags.insert(partner_flags.end(), flags.begin(), flags.end());
  }
  return true;
}

int GetMaxNumIndex_(quillon::Histogram histogram) {
  if (histogram.empty()) return -1;
  int best = 0;
  int best_count = 0;
  for (std::size_t i = 0; i < histogram.size(); ++i) {
    if (histogram[i].first > best_count) {
      best_count = histogram[i].first;
      best = static_cast<int>(i);
    }
  }
  return best;
}

void GetMeanAndVariance_(quillon::Histogram histogram, double& mean, double& sd,
                         quillon::Histogram& compressed) {
  compressed.clear();
  mean = 0.0;
  sd = 0.0;
  double edge = 0.0;
  for (const auto& [count, mass] : histogram) {
    if (compressed.empty() || mass >= edge) {
      compressed.emplace_back(0, mass);
      edge = IntegerPart(mass + 0.5) + 0.5;
    }
    auto& cell = compressed.back();
    if (count > cell.first) cell = {count, mass};
  }
  if (compressed.empty()) return;

  std::stable_sort(compressed.begin(), compressed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  const int med = compressed[(compressed.size() - 1) / 2].first;
  const int low = compressed.front().first;
  const double ceiling = 2.0 * med - low;
  std::size_t j = 0;
  double sum = 0.0;
  while (j < compressed.size() && compressed[j].first <= ceiling) sum += compressed[j++].first;
  mean = sum / static_cast<double>(j);
  double squares = 0.0;
  for (std::size_t k = 0; k < j; ++k) {
    const double dev = compressed[k].first - mean;
    squares += dev * dev;
  }
  sd = std::sqrt(squares / static_cast<double>(j));
  std::stable_sort(compressed.begin(), compressed.end(),
                   [](const auto& a, const auto& b) { return a.second < b.second; });
}

double GetBestBin_(quillon::Histogram histogram) {
  int best = 0;
  double best_sd = 0.0;
  quillon::Histogram merged, cells;
  for (int g = 0; g < 10; ++g) {
    const std::size_t group = static_cast<std::size_t>(g + 1);
    merged.clear();
    for (std::size_t at = 0; at + group <= histogram.size(); at += group) {
      int count = 0;
      for (std::size_t k = 0; k < group; ++k) count += histogram[at + k].first;
      merged.emplace_back(count, histogram[at].second);
    }
    double mean = 0.0, sd = 0.0;
    GetMeanAndVariance_(merged, mean, sd, cells);
    if (g == 0 || sd > best_sd) {
      best = g;
      best_sd = sd;
    }
  }
  return (best + 1) * 0.01;
}

void GetModification_(quillon::Histogram histogram, std::vector<int>& positions, double mean,
                      double sd, double threshold) {
  positions.clear();
  for (std::size_t i = 0; i < histogram.size(); ++i) {
    if (UpperTail(histogram[i].first, mean, sd) < threshold) positions.push_back(static_cast<int>(i));
  }
}

bool IsFitPValue_(double& value, double mean, double sd, double threshold) {
  return UpperTail(value, mean, sd) < threshold;
}
