#include "common/Dta.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>

#include "common/DtaName.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"

namespace msdata {

namespace {

// Parses two numbers separated by white space; trailing text is an error so
// that garbage is reported instead of half-read.
bool ParseTwoNumbers(const std::string& line, double& a, double& b) {
  const char* p = line.c_str();
  char* end = nullptr;
  a = std::strtod(p, &end);
  if (end == p) return false;
  p = end;
  b = std::strtod(p, &end);
  if (end == p) return false;
  for (const char* q = end; *q; ++q) {
    if (*q != ' ' && *q != '\t') return false;
  }
  // "nan" and "1e999" read as numbers but are none: they would reach the
  // cluster file as such.
  return std::isfinite(a) && std::isfinite(b);
}

}  // namespace

bool WriteDta(const CSpectrum& spectrum, const std::string& path) {
  // Whole or not at all: a truncated spectrum under its name would be read
  // as a smaller spectrum by the next step.
  safefile::CSafeFile file;
  if (!file.Open(path)) return false;
  std::fprintf(file.Get(), "%lf %d\n", spectrum.precursor_mass, spectrum.charge);
  for (const Peak& peak : spectrum.peaks) {
    std::fprintf(file.Get(), "%lf %lf\n", peak.first, peak.second);
  }
  return file.Commit();
}

void WriteDta(const CSpectrum& spectrum, std::ostream& out) {
  // "%lf" of the largest double takes over 300 characters; a line cut short
  // would run into the next.
  char buffer[768];
  std::snprintf(buffer, sizeof buffer, "%lf %d\n", spectrum.precursor_mass, spectrum.charge);
  out << buffer;
  for (const Peak& peak : spectrum.peaks) {
    std::snprintf(buffer, sizeof buffer, "%lf %lf\n", peak.first, peak.second);
    out << buffer;
  }
}

bool ReadDta(std::istream& in, CSpectrum& spectrum, std::string& error) {
  std::string line;
  int line_number = 0;
  bool have_header = false;
  PeakList peaks;
  double mass = 0.0;
  int charge = 0;
  while (text::ReadLine(in, line)) {
    ++line_number;
    const std::string trimmed = text::Trim(line);
    if (trimmed.empty()) continue;
    double a = 0.0, b = 0.0;
    if (!ParseTwoNumbers(trimmed, a, b)) {
      error = "line " + std::to_string(line_number) + ": not two finite numbers: \"" +
              trimmed.substr(0, 80) + "\"";
      return false;
    }
    if (!have_header) {
      mass = a;
      if (!ChargeFromNumber(b, charge)) {
        error = "line " + std::to_string(line_number) + ": not a usable charge: \"" + trimmed.substr(0, 80) + "\"";
        return false;
      }
      have_header = true;
    } else {
      peaks.emplace_back(a, b);
    }
  }
  if (!have_header) {
    error = "empty spectrum file";
    return false;
  }
  spectrum.precursor_mass = mass;
  spectrum.charge = charge;
  spectrum.precursor_mz = MzFromMH(mass, charge);
  spectrum.peaks = std::move(peaks);
  return true;
}

bool ReadDta(const std::string& path, CSpectrum& spectrum, std::string& error) {
  std::ifstream in;
  if (!text::OpenInput(in, path)) {
    error = "Cannot open file: " + path;
    return false;
  }
  if (!ReadDta(in, spectrum, error)) {
    error = path + ": " + error;
    return false;
  }
  spectrum.name = path::FileName(path);
  DtaNameParts parts;
  if (ParseDtaName(spectrum.name, parts)) {
    spectrum.first_scan = parts.first_scan;
    spectrum.last_scan = parts.last_scan;
  }
  return true;
}

}  // namespace msdata
