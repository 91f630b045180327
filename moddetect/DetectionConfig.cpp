#include "moddetect/DetectionConfig.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"

namespace {

bool Contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

bool Switch(const std::string& v) { return text::AtoI(v) != 0; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The line before its comment. A "%" glued to other text belongs to it (a
// file name such as "run%1.mzML"); hand-written notes are set apart by a
// blank, as in "masslower=500 % lower bound". A quoted value is passed over
// whole.
std::string WithoutComment(const std::string& line) {
  std::size_t from = 0;
  const std::size_t eq = line.find('=');
  if (eq != std::string::npos) {
    const std::size_t value = line.find_first_not_of(" \t", eq + 1);
    if (value != std::string::npos && line[value] == '"') {
      const std::size_t close = line.rfind('"');
      if (close > value) from = close + 1;
    }
  }
  for (std::size_t i = from; i < line.size(); ++i)
    if (line[i] == '%' && (i == 0 || IsBlank(line[i - 1]))) return line.substr(0, i);
  return line;
}

std::string Unquoted(const std::string& value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

// One line of the file: what stands before its first "=" (the whole line
// when there is none), which names a section or a key, and its value.
struct ConfigLine {
  std::string head;  // lower case
  bool has_value = false;
  std::string value;
};

ConfigLine SplitLine(const std::string& raw) {
  const std::string line = text::TrimRight(WithoutComment(raw));
  const std::size_t eq = line.find('=');
  ConfigLine out;
  out.head = text::ToLower(line.substr(0, eq));
  if (eq != std::string::npos) {
    out.has_value = true;
    out.value = Unquoted(text::Trim(line.substr(eq + 1)));
  }
  return out;
}

}  // namespace

bool CDetectionConfig::ReadConfigFile(const std::string& path) {
  if (path.empty() || path::IsDirectory(path)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  ReadConfig(in);
  return true;
}

void CDetectionConfig::ReadConfig(std::istream& in) {
  Section section = Section::kNone;
  std::string raw;
  while (text::ReadLine(in, raw)) {
    const ConfigLine line = SplitLine(raw);
    // Headers are looked for before any "=": a value (a folder named
    // "[data]", say) never switches the section.
    if (Contains(line.head, "[data]")) { section = Section::kData; continue; }
    if (Contains(line.head, "[modification]")) { section = Section::kModification; continue; }
    if (Contains(line.head, "[pair]")) { section = Section::kPair; continue; }
    if (Contains(line.head, "[mode]")) { section = Section::kMode; continue; }
    if (Contains(line.head, "[other]")) { section = Section::kOther; continue; }

    if (section == Section::kNone) {
      // Blank and comment-only lines above the first header are not
      // parameters, so they are not reported as unknown ones.
      if (line.has_value || !text::Trim(line.head).empty()) notify::Message("Error: unknown parameter name!");
      continue;
    }
    if (!line.has_value) continue;  // no key can match without "="
    // Keys are matched in the text before the value, so that a value (a
    // path, say) that happens to hold a key's text cannot be taken for it.
    std::string key_part;
    for (char c : line.head)
      if (!IsBlank(c)) key_part += c;
    ApplyLine(section, key_part + "=", line.value);
  }
}

void CDetectionConfig::ApplyLine(Section section, const std::string& key, const std::string& value) {
  switch (section) {
    case Section::kData:
      if (Contains(key, "filepath=")) {
        data_path_ = value;
      } else if (Contains(key, "filetype=")) {
        const std::string v = text::ToLower(value);
        if (Contains(v, "raw")) file_type_ = DETECTION_FILE_RAW;
        else if (Contains(v, "dta")) file_type_ = DETECTION_FILE_DTA;
        else if (Contains(v, "ms2")) file_type_ = DETECTION_FILE_MS2;
        else file_type_ = DETECTION_FILE_DUMP;
      } else if (Contains(key, "masslower=")) {
        mass_lower_ = text::AtoF(value);
      } else if (Contains(key, "massupper=")) {
        mass_upper_ = text::AtoF(value);
      } else if (Contains(key, "timelower=")) {
        time_lower_ = text::AtoF(value);
      } else if (Contains(key, "timeupper=")) {
        time_upper_ = text::AtoF(value);
      }
      break;
    case Section::kModification:
      if (Contains(key, "modmasslower=")) first_shift_ = text::AtoI(value);
      else if (Contains(key, "modmassupper=")) last_shift_ = text::AtoI(value);
      break;
    case Section::kPair:
      if (Contains(key, "findpair=")) write_pair_files_ = Switch(value);
      else if (Contains(key, "ppthres=")) pair_probability_threshold_ = text::AtoF(value);
      else if (Contains(key, "dtaname=")) title_prefix_ = value;
      else if (Contains(key, "pairpath=")) pair_folder_ = value;
      break;
    case Section::kMode:
      if (Contains(key, "postsearch=")) identified_only_ = Switch(value);
      else if (Contains(key, "identspectfile=")) identification_file_ = value;
      else if (Contains(key, "fdrlevel=")) fdr_level_ = value;
      else if (Contains(key, "scorethreshold=")) score_threshold_ = value;
      else if (Contains(key, "decoyprefix=")) decoy_prefix_ = value;
      break;
    case Section::kOther:
      if (Contains(key, "t_d_score=")) min_d_score_ = text::AtoF(value);
      else if (Contains(key, "t_delta_c=")) min_bin_excess_ = text::AtoF(value);
      else if (Contains(key, "masstol=")) redundancy_tolerance_ppm_ = text::AtoF(value);
      else if (Contains(key, "massres=")) mass_bin_width_ = text::AtoF(value);
      else if (Contains(key, "maxndata=")) max_precursors_ = text::AtoI(value);
      else if (Contains(key, "detectcomb=")) detect_combinations_ = Switch(value);
      break;
    case Section::kNone:
      break;
  }
}

namespace {

// The widest integer shift range a run may scan; each shift is one pass over
// the precursors.
constexpr std::int32_t kMaxShift = 10000;
// Finer delta-mass bins than this (a million per dalton) no instrument
// resolves; the histogram takes one count per bin.
constexpr double kMinMassBinWidth = 1e-6;
constexpr double kMaxInt32 = 2147483647.0;

bool Finite(double v, const char* key, std::string& message) {
  if (std::isfinite(v)) return true;
  message = std::string("Error: ") + key + " must be a finite number";
  return false;
}

bool InRange(double v, double low, double high, const char* key, std::string& message) {
  if (std::isfinite(v) && v >= low && v <= high) return true;
  char range[128];
  std::snprintf(range, sizeof range, " must lie in [%g, %g]", low, high);
  message = std::string("Error: ") + key + range;
  return false;
}

// A window or range that holds nothing makes a run that reports nothing,
// which is never what was meant.
bool Ordered(double lower, double upper, bool strictly, const char* lower_key, const char* upper_key,
             std::string& message) {
  if (strictly ? lower < upper : lower <= upper) return true;
  char text[256];
  std::snprintf(text, sizeof text, "Error: %s (%g) must %s %s (%g)", lower_key, lower,
                strictly ? "lie below" : "not exceed", upper_key, upper);
  message = text;
  return false;
}

}  // namespace

bool CDetectionConfig::Validate(std::string& message) const {
  return Finite(mass_lower_, "masslower", message) && Finite(mass_upper_, "massupper", message) &&
         Ordered(mass_lower_, mass_upper_, true, "masslower", "massupper", message) &&
         Finite(time_lower_, "timelower", message) && Finite(time_upper_, "timeupper", message) &&
         Ordered(time_lower_, time_upper_, true, "timelower", "timeupper", message) &&
         InRange(first_shift_, -kMaxShift, kMaxShift, "modmasslower", message) &&
         InRange(last_shift_, -kMaxShift, kMaxShift, "modmassupper", message) &&
         Ordered(first_shift_, last_shift_, false, "modmasslower", "modmassupper", message) &&
         InRange(pair_probability_threshold_, 0.0, 1.0, "ppthres", message) &&
         Finite(min_d_score_, "t_d_score", message) && Finite(min_bin_excess_, "t_delta_c", message) &&
         InRange(redundancy_tolerance_ppm_, 0.0, 1e6, "masstol", message) &&
         InRange(mass_bin_width_, kMinMassBinWidth, 1e6, "massres", message) &&
         InRange(max_precursors_, 1, kMaxInt32, "maxndata", message);
}

namespace {

// Below this magnitude a number is written without an exponent ("1000000",
// not "1e+06", as the desktop dialog's fields have always written it)
// wherever a plain decimal reads back exactly.
constexpr double kPlainNotationLimit = 1e16;

// The shortest text that reads back as the same double ("0.98", not
// "0.97999999999999998"), without an exponent where a plain decimal is exact.
std::string Number(double v) {
  char text[64];
  for (int precision = 6; precision <= 17; ++precision) {
    std::snprintf(text, sizeof text, "%.*g", precision, v);
    if (std::strtod(text, nullptr) == v) break;
  }
  if (std::string(text).find('e') == std::string::npos || !(std::fabs(v) < kPlainNotationLimit)) return text;
  char plain[64];
  for (int decimals = 0; decimals <= 17; ++decimals) {
    std::snprintf(plain, sizeof plain, "%.*f", decimals, v);
    if (std::strtod(plain, nullptr) == v) return plain;
  }
  return text;
}

// The line of a text value: the value as it stands, or quoted where the
// reader would not give it back otherwise.
std::string TextLine(const char* key, const std::string& value) {
  const std::string plain = key + value;
  if (SplitLine(plain).value == value) return plain;
  return key + ('"' + value + '"');
}

}  // namespace

void CDetectionConfig::WriteConfig(std::ostream& out) const {
  static const char* const kTypeWords[] = {"RAW", "DTA", "MS2"};
  out << "[DATA]\n" << TextLine("filepath=", data_path_) << "\n";
  if (file_type_ >= 0 && file_type_ < 3) out << "filetype=" << kTypeWords[file_type_] << "\n";
  else out << "filetype=DUMP\n";
  out << "masslower=" << Number(mass_lower_) << "\nmassupper=" << Number(mass_upper_)
      << "\ntimelower=" << Number(time_lower_) << "\ntimeupper=" << Number(time_upper_) << "\n";
  out << "[MODIFICATION]\nmodmasslower=" << first_shift_ << "\nmodmassupper=" << last_shift_ << "\n";
  out << "[PAIR]\nfindpair=" << int{write_pair_files_} << "\nppthres=" << Number(pair_probability_threshold_)
      << "\n" << TextLine("dtaname=", title_prefix_) << "\n" << TextLine("pairpath=", pair_folder_) << "\n";
  out << "[MODE]\npostsearch=" << int{identified_only_} << "\n"
      << TextLine("identspectfile=", identification_file_) << "\n";
  // The filter keys only when set: files without them read as they always did.
  if (!fdr_level_.empty()) out << TextLine("fdrlevel=", fdr_level_) << "\n";
  if (!score_threshold_.empty()) out << TextLine("scorethreshold=", score_threshold_) << "\n";
  if (!decoy_prefix_.empty()) out << TextLine("decoyprefix=", decoy_prefix_) << "\n";
  out << "[OTHER]\nT_d_score=" << Number(min_d_score_) << "\nT_delta_c=" << Number(min_bin_excess_)
      << "\nmasstol=" << Number(redundancy_tolerance_ppm_) << "\nmassres=" << Number(mass_bin_width_)
      << "\nmaxndata=" << max_precursors_ << "\ndetectcomb=" << int{detect_combinations_} << "\n";
}

bool CDetectionConfig::WriteConfigFile(const std::string& path) const {
  std::ostringstream out;
  WriteConfig(out);
  return safefile::WriteWholeFile(path, out.str());
}
