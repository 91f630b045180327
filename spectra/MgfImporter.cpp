#include "spectra/MgfImporter.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "common/DtaName.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "spectra/ImportSupport.h"

namespace {

using spectra::ParseDouble;
using spectra::ParseInt;
using spectra::StartsWithNoCase;
using spectra::TrimView;

// "2+", "3-", "2+ and 3+", "2+,3+", "2": every charge named, in order.
bool ParseCharges(std::string_view text, std::vector<int>& charges) {
  charges.clear();
  std::string_view s = text;
  for (;;) {
    while (!s.empty() && (s[0] == ' ' || s[0] == '\t' || s[0] == ',')) s.remove_prefix(1);
    if (s.empty()) break;
    if (StartsWithNoCase(s, "and")) {
      s.remove_prefix(3);
      continue;
    }
    int z = 0;
    if (!ParseInt(s, z) || !spectra::AsCharge(z, z)) return false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
      if (s[0] == '-') z = -z;
      s.remove_prefix(1);
    }
    if (z != 0) charges.push_back(z);
  }
  return true;
}

struct PendingSpectrum {
  std::string title;
  double mz = 0.0;
  bool has_mz = false;
  double rt = 0.0;
  int first_scan = -1;
  int last_scan = -1;
  bool has_charge = false;
  std::vector<int> charges;
  msdata::PeakList peaks;
  std::size_t begin_line = 0;
  bool bad = false;

  void Reset(std::size_t line) {
    title.clear();
    mz = 0.0;
    has_mz = false;
    rt = 0.0;
    first_scan = last_scan = -1;
    has_charge = false;
    charges.clear();
    peaks.clear();
    begin_line = line;
    bad = false;
  }
};

// Scan numbers hidden in a title: "scan=123" as in msconvert's native ids.
bool ScanFromTitle(std::string_view title, int& scan) {
  const std::size_t pos = title.find("scan=");
  if (pos == std::string_view::npos) return false;
  std::string_view rest = title.substr(pos + 5);
  return ParseInt(rest, scan) && scan >= 0;
}

// A title such as "run.120.120.2.dta", "run.120.120.2" or
// "run.120.120.2.dta File:..." names the spectrum itself.
bool DtaNameFromTitle(const std::string& title, msdata::DtaNameParts& parts) {
  std::string token = title.substr(0, title.find_first_of(" \t"));
  if (token.empty()) return false;
  if (token.size() < 4 || token.compare(token.size() - 4, 4, ".dta") != 0) {
    if (token.size() >= 4 && (token.compare(token.size() - 4, 4, ".DTA") == 0)) {
      token.replace(token.size() - 4, 4, ".dta");
    } else {
      token += ".dta";
    }
  }
  return msdata::ParseDtaName(token, parts) && !parts.prefix.empty() && parts.first_scan >= 0 &&
         parts.last_scan >= 0;
}

// Peaks are gathered in one reused buffer and handed on in a vector of
// exactly their size: growing each spectrum's own vector would allocate
// several times per spectrum and leave up to half of the memory unused.
msdata::PeakList ExactCopy(const msdata::PeakList& peaks) {
  return msdata::PeakList(peaks.begin(), peaks.end());
}

}  // namespace

bool CMgfImporter::Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                        bool replace) {
  spectra::LineReader reader;
  if (!spectra::BeginTextLoad(path, spectra, replace, reader, last_error_)) return false;
  const std::string base = path::BaseName(path);
  spectra::SpectrumSink sink(spectra, false);
  // Real MGF spectra take a few kilobytes each; a rough guess spares rehashing.
  sink.Expect(std::min<std::size_t>(reader.Size() / 2048, std::size_t{1} << 24));
  spectra::ProblemLog problems;
  spectra::Progress progress(verbose_, path);
  std::vector<int> default_charges;
  PendingSpectrum cur;
  bool in_ions = false;
  std::size_t index = 0;  // 1-based position of the spectrum in the file
  std::string_view line;

  auto finish = [&]() {
    if (cur.bad) return;
    if (!cur.has_mz) {
      problems.Add(spectra::DescribeLine(path, cur.begin_line, "BEGIN IONS") +
                   " spectrum without PEPMASS");
      return;
    }
    const std::vector<int>& charges = cur.has_charge ? cur.charges : default_charges;
    msdata::DtaNameParts parts;
    if (DtaNameFromTitle(cur.title, parts)) {
      // The title's charge is what the converter assumed; an explicit CHARGE wins.
      std::vector<int> title_charge;
      if (charges.empty() && parts.charge != 0) title_charge.push_back(parts.charge);
      sink.Add(parts.prefix, parts.first_scan, parts.last_scan,
               charges.empty() ? title_charge : charges, cur.mz, cur.rt, ExactCopy(cur.peaks));
      return;
    }
    int first = cur.first_scan, last = cur.last_scan;
    if (first < 0) {
      int scan = 0;
      if (ScanFromTitle(cur.title, scan)) {
        first = last = scan;
      } else {
        first = last = static_cast<int>(index);
      }
    }
    sink.Add(base, first, last, charges, cur.mz, cur.rt, ExactCopy(cur.peaks));
  };

  auto bad_line = [&](std::string_view text, const char* why) {
    problems.Add(spectra::DescribeLine(path, reader.LineNumber(), text) + " " + why);
  };

  while (reader.Next(line)) {
    if ((reader.LineNumber() & 0xffff) == 0) progress.Update(reader.Consumed(), reader.Size());
    std::string_view s = TrimView(line);
    if (reader.LineNumber() == 1 && s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") {
      s = TrimView(s.substr(3));
    }
    if (s.empty()) continue;
    const char c0 = s[0];
    if (in_ions) {
      // Peak lines dominate the file: test for them first.
      if ((c0 >= '0' && c0 <= '9') || c0 == '.' || c0 == '+' || c0 == '-') {
        if (cur.bad) continue;
        double mz = 0.0, intensity = 0.0;
        std::string_view rest = s;
        if (!ParseDouble(rest, mz)) {
          bad_line(s, "is not a peak");
          cur.bad = true;
          continue;
        }
        if (!rest.empty() && rest[0] != ' ' && rest[0] != '\t') {
          bad_line(s, "is not a peak");
          cur.bad = true;
          continue;
        }
        rest = TrimView(rest);
        if (!rest.empty()) {
          if (!ParseDouble(rest, intensity) ||
              (!rest.empty() && rest[0] != ' ' && rest[0] != '\t')) {
            bad_line(s, "is not a peak");
            cur.bad = true;
            continue;
          }
          // A third column (fragment charge) is allowed and not kept.
        }
        if (!std::isfinite(mz) || !std::isfinite(intensity)) {
          bad_line(s, "holds a number out of range");
          cur.bad = true;
          continue;
        }
        cur.peaks.emplace_back(mz, intensity);
        continue;
      }
      if (StartsWithNoCase(s, "END IONS")) {
        finish();
        in_ions = false;
        continue;
      }
      if (StartsWithNoCase(s, "BEGIN IONS")) {
        if (!cur.bad) {
          problems.Add(spectra::DescribeLine(path, cur.begin_line, "BEGIN IONS") +
                       " spectrum without END IONS");
        }
        ++index;
        cur.Reset(reader.LineNumber());
        continue;
      }
      if (c0 == '#' || c0 == ';' || c0 == '!' || c0 == '/') continue;
      const std::size_t eq = s.find('=');
      if (eq == std::string_view::npos || eq == 0) {
        if (!cur.bad) bad_line(s, "is neither a peak nor a parameter");
        cur.bad = true;
        continue;
      }
      if (cur.bad) continue;
      const std::string_view key = TrimView(s.substr(0, eq));
      std::string_view value = TrimView(s.substr(eq + 1));
      if (StartsWithNoCase(key, "TITLE") && key.size() == 5) {
        cur.title.assign(value.data(), value.size());
      } else if (StartsWithNoCase(key, "PEPMASS") && key.size() == 7) {
        double mz = 0.0;
        if (!ParseDouble(value, mz) || !std::isfinite(mz) || mz <= 0.0) {
          bad_line(s, "has no usable precursor m/z");
          cur.bad = true;
          continue;
        }
        cur.mz = mz;
        cur.has_mz = true;
      } else if (StartsWithNoCase(key, "CHARGE") && key.size() == 6) {
        if (!ParseCharges(value, cur.charges)) {
          bad_line(s, "has no readable charge");
          cur.bad = true;
          continue;
        }
        cur.has_charge = !cur.charges.empty();
      } else if (StartsWithNoCase(key, "RTINSECONDS") && key.size() == 11) {
        double rt = 0.0;
        if (!ParseDouble(value, rt) || !std::isfinite(rt)) {
          bad_line(s, "has no readable retention time");
          cur.bad = true;
          continue;
        }
        cur.rt = rt;
      } else if (StartsWithNoCase(key, "SCANS") && key.size() == 5) {
        int first = 0, last = 0;
        if (!ParseInt(value, first) || first < 0) {
          bad_line(s, "has no readable scan number");
          cur.bad = true;
          continue;
        }
        last = first;
        value = TrimView(value);
        if (!value.empty() && (value[0] == '-' || value[0] == ',')) {
          value.remove_prefix(1);
          if (!ParseInt(value, last) || last < first) last = first;
        }
        cur.first_scan = first;
        cur.last_scan = last;
      }
      continue;
    }
    // Outside a spectrum: the file's own parameters, comments, or a new spectrum.
    if (StartsWithNoCase(s, "BEGIN IONS")) {
      in_ions = true;
      ++index;
      cur.Reset(reader.LineNumber());
      continue;
    }
    if (c0 == '#' || c0 == ';' || c0 == '!' || c0 == '/') continue;
    const std::size_t eq = s.find('=');
    if (eq == std::string_view::npos || eq == 0) {
      bad_line(s, "lies outside BEGIN IONS / END IONS");
      continue;
    }
    const std::string_view key = TrimView(s.substr(0, eq));
    if (StartsWithNoCase(key, "CHARGE") && key.size() == 6) {
      std::vector<int> charges;
      if (ParseCharges(TrimView(s.substr(eq + 1)), charges)) {
        default_charges = charges;
      } else {
        bad_line(s, "has no readable charge");
      }
    }
  }
  if (reader.Failed()) {
    last_error_ = "Error reading file: " + path;
    return false;
  }
  if (in_ions && !cur.bad) {
    problems.Add(spectra::DescribeLine(path, cur.begin_line, "BEGIN IONS") +
                 " spectrum cut off at the end of the file");
  }
  if (sink.Added() == 0) {
    last_error_ = path + ": no spectrum could be read";
    if (problems.Count() > 0) last_error_ += "; first problem: " + problems.First();
    return false;
  }
  if (problems.Count() > 0) notify::Message(problems.Summary(path));
  return true;
}
