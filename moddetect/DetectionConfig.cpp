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

std::uint8_t Switch(const std::string& v) { return text::AtoI(v) != 0 ? 1 : 0; }

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
  std::string line;
  while (text::ReadLine(in, line)) {
    const std::size_t comment = line.find('%');
    if (comment != std::string::npos) line.erase(comment);
    line = text::TrimRight(line);
    const std::string lower = text::ToLower(line);

    if (Contains(lower, "[data]")) { section = Section::kData; continue; }
    if (Contains(lower, "[modification]")) { section = Section::kModification; continue; }
    if (Contains(lower, "[pair]")) { section = Section::kPair; continue; }
    if (Contains(lower, "[mode]")) { section = Section::kMode; continue; }
    if (Contains(lower, "[other]")) { section = Section::kOther; continue; }

    if (section == Section::kNone) {
      // Blank and comment-only lines above the first header are not
      // parameters, so they are not reported as unknown ones.
      if (!text::Trim(line).empty()) notify::Message("Error: unknown parameter name!");
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;  // no key can match without "="
    // Keys are matched in the text before the value, so that a value (a
    // path, say) that happens to hold a key's text cannot be taken for it.
    std::string key_part;
    for (char c : lower.substr(0, eq + 1))
      if (c != ' ' && c != '\t') key_part += c;
    ApplyLine(section, key_part, text::Trim(line.substr(eq + 1)));
  }
}

void CDetectionConfig::ApplyLine(Section section, const std::string& key, const std::string& value) {
  switch (section) {
    case Section::kData:
      if (Contains(key, "filepath=")) {
        filepath_ = value;
      } else if (Contains(key, "filetype=")) {
        const std::string v = text::ToLower(value);
        if (Contains(v, "raw")) filetype_ = DETECTION_FILE_RAW;
        else if (Contains(v, "dta")) filetype_ = DETECTION_FILE_DTA;
        else if (Contains(v, "ms2")) filetype_ = DETECTION_FILE_MS2;
        else filetype_ = DETECTION_FILE_DUMP;
      } else if (Contains(key, "masslower=")) {
        masslower_ = text::AtoF(value);
      } else if (Contains(key, "massupper=")) {
        massupper_ = text::AtoF(value);
      } else if (Contains(key, "timelower=")) {
        timelower_ = text::AtoF(value);
      } else if (Contains(key, "timeupper=")) {
        timeupper_ = text::AtoF(value);
      }
      break;
    case Section::kModification:
      if (Contains(key, "modmasslower=")) modmasslower_ = text::AtoI(value);
      else if (Contains(key, "modmassupper=")) modmassupper_ = text::AtoI(value);
      break;
    case Section::kPair:
      if (Contains(key, "findpair=")) findpair_ = Switch(value);
      else if (Contains(key, "ppthres=")) ppthres_ = text::AtoF(value);
      else if (Contains(key, "dtaname=")) dtaname_ = value;
      else if (Contains(key, "pairpath=")) pairpath_ = value;
      break;
    case Section::kMode:
      if (Contains(key, "postsearch=")) postsearch_ = Switch(value);
      else if (Contains(key, "identspectfile=")) identspectfile_ = value;
      break;
    case Section::kOther:
      if (Contains(key, "t_d_score=")) t_d_score_ = text::AtoF(value);
      else if (Contains(key, "t_delta_c=")) t_delta_c_ = text::AtoF(value);
      else if (Contains(key, "masstol=")) masstol_ = text::AtoF(value);
      else if (Contains(key, "massres=")) massres_ = text::AtoF(value);
      else if (Contains(key, "maxndata=")) maxndata_ = text::AtoI(value);
      else if (Contains(key, "detectcomb=")) detectcomb_ = Switch(value);
      break;
    case Section::kNone:
      break;
  }
}

namespace {

// The widest integer shift range a run may scan; each shift is one pass over
// the precursors.
constexpr std::int32_t kMaxShift = 10000;

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

}  // namespace

bool CDetectionConfig::Validate(std::string& message) const {
  return Finite(masslower_, "masslower", message) && Finite(massupper_, "massupper", message) &&
         Finite(timelower_, "timelower", message) && Finite(timeupper_, "timeupper", message) &&
         InRange(modmasslower_, -kMaxShift, kMaxShift, "modmasslower", message) &&
         InRange(modmassupper_, -kMaxShift, kMaxShift, "modmassupper", message) &&
         InRange(ppthres_, 0.0, 1.0, "ppthres", message) && Finite(t_d_score_, "t_d_score", message) &&
         Finite(t_delta_c_, "t_delta_c", message) && InRange(masstol_, 0.0, 1e6, "masstol", message) &&
         InRange(massres_, 0.0, 1e6, "massres", message);
}

namespace {

// The shortest text that reads back as the same double ("0.98", not
// "0.97999999999999998").
std::string Number(double v) {
  char text[64];
  for (int precision = 6; precision <= 17; ++precision) {
    std::snprintf(text, sizeof text, "%.*g", precision, v);
    if (std::strtod(text, nullptr) == v) break;
  }
  return text;
}

}  // namespace

void CDetectionConfig::WriteConfig(std::ostream& out) const {
  static const char* const kTypeWords[] = {"RAW", "DTA", "MS2"};
  out << "[DATA]\nfilepath=" << filepath_ << "\n";
  if (filetype_ >= 0 && filetype_ < 3) out << "filetype=" << kTypeWords[filetype_] << "\n";
  else out << "filetype=DUMP\n";
  out << "masslower=" << Number(masslower_) << "\nmassupper=" << Number(massupper_) << "\ntimelower=" << Number(timelower_)
      << "\ntimeupper=" << Number(timeupper_) << "\n";
  out << "[MODIFICATION]\nmodmasslower=" << modmasslower_ << "\nmodmassupper=" << modmassupper_ << "\n";
  out << "[PAIR]\nfindpair=" << int{findpair_} << "\nppthres=" << Number(ppthres_) << "\ndtaname=" << dtaname_
      << "\npairpath=" << pairpath_ << "\n";
  out << "[MODE]\npostsearch=" << int{postsearch_} << "\nidentspectfile=" << identspectfile_ << "\n";
  out << "[OTHER]\nT_d_score=" << Number(t_d_score_) << "\nT_delta_c=" << Number(t_delta_c_) << "\nmasstol=" << Number(masstol_)
      << "\nmassres=" << Number(massres_) << "\nmaxndata=" << maxndata_ << "\ndetectcomb=" << int{detectcomb_} << "\n";
}

bool CDetectionConfig::WriteConfigFile(const std::string& path) const {
  std::ostringstream out;
  WriteConfig(out);
  return safefile::WriteWholeFile(path, out.str());
}
