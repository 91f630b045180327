#pragma once
// The Shiftscan configuration file: INI-like sections "[data]",
// "[modification]", "[pair]", "[mode]" and "[other]" holding key=value lines,
// "%" starting a comment. Section names and keys match without regard to
// case; values keep their case (paths on Linux are case-sensitive).

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

enum Detection_File_Type : std::int32_t {
  DETECTION_FILE_RAW = 0,
  DETECTION_FILE_DTA = 1,
  DETECTION_FILE_MS2 = 2,
  DETECTION_FILE_DUMP = 3,
};

class CDetectionConfig {
 public:
  CDetectionConfig() = default;

  // False when the file cannot be opened; any content reads (unknown lines
  // are reported and skipped).
  bool ReadConfigFile(const std::string& path);
  // The same parse over an open stream.
  void ReadConfig(std::istream& in);

  // Values that would exhaust time or memory, and tolerances or thresholds
  // that are not numbers, are refused: false with `message` naming the key
  // and its allowed range. Values whose meaning the run defines (an empty
  // shift range, a zero tolerance) pass.
  bool Validate(std::string& message) const;

  // Writes every value in the layout the desktop program writes (upper-case
  // section headers), so that a run made from options can be repeated from
  // its file. False when the file cannot be written whole.
  void WriteConfig(std::ostream& out) const;
  bool WriteConfigFile(const std::string& path) const;

  // [data]
  const std::string& DataPath() const { return filepath_; }
  std::int32_t FileType() const { return filetype_; }
  double MassLower() const { return masslower_; }
  double MassUpper() const { return massupper_; }
  double TimeLower() const { return timelower_; }
  double TimeUpper() const { return timeupper_; }
  // [modification]
  std::int32_t ModMassLower() const { return modmasslower_; }
  std::int32_t ModMassUpper() const { return modmassupper_; }
  // [pair]
  bool FindPair() const { return findpair_ != 0; }
  double PPThreshold() const { return ppthres_; }
  const std::string& DtaName() const { return dtaname_; }
  const std::string& PairPath() const { return pairpath_; }
  // [mode]
  bool PostSearch() const { return postsearch_ != 0; }
  const std::string& IdentSpectFile() const { return identspectfile_; }
  // [other]
  double TDScore() const { return t_d_score_; }
  double TDeltaC() const { return t_delta_c_; }
  double MassTol() const { return masstol_; }
  double MassRes() const { return massres_; }
  std::int32_t MaxNData() const { return maxndata_; }
  bool DetectComb() const { return detectcomb_ != 0; }

  // Redundancy removal widens the tolerance in place while too many
  // precursors remain.
  void SetMassTol(double ppm) { masstol_ = ppm; }

  // Setters for programs and tests that build a configuration in memory.
  void SetDataPath(const std::string& p) { filepath_ = p; }
  void SetFileType(std::int32_t t) { filetype_ = t; }
  void SetMassWindow(double lower, double upper) { masslower_ = lower; massupper_ = upper; }
  void SetTimeWindow(double lower, double upper) { timelower_ = lower; timeupper_ = upper; }
  void SetShiftRange(std::int32_t lower, std::int32_t upper) { modmasslower_ = lower; modmassupper_ = upper; }
  void SetPairOutput(bool on, double ppthres, const std::string& pairpath) {
    findpair_ = on ? 1 : 0; ppthres_ = ppthres; pairpath_ = pairpath;
  }
  void SetDtaName(const std::string& n) { dtaname_ = n; }
  void SetPostSearch(bool on, const std::string& file) { postsearch_ = on ? 1 : 0; identspectfile_ = file; }
  void SetThresholds(double t_d_score, double t_delta_c) { t_d_score_ = t_d_score; t_delta_c_ = t_delta_c; }
  void SetMassRes(double r) { massres_ = r; }
  void SetMaxNData(std::int32_t n) { maxndata_ = n; }
  void SetDetectComb(bool on) { detectcomb_ = on ? 1 : 0; }

 private:
  enum class Section { kNone, kData, kModification, kPair, kMode, kOther };
  void ApplyLine(Section section, const std::string& key_part, const std::string& value);

  std::string filepath_;
  std::int32_t filetype_ = DETECTION_FILE_RAW;
  double masslower_ = 400.0;
  double massupper_ = 6000.0;
  double timelower_ = 0.0;
  double timeupper_ = 100000.0;
  std::int32_t modmasslower_ = 1;
  std::int32_t modmassupper_ = 100;
  std::uint8_t findpair_ = 0;
  double ppthres_ = 0.98;
  std::string dtaname_;
  std::string pairpath_;
  std::uint8_t postsearch_ = 0;
  std::string identspectfile_;
  double t_d_score_ = 20.0;
  double t_delta_c_ = 0.4;
  double masstol_ = 5.0;
  double massres_ = 0.01;
  std::int32_t maxndata_ = 5000;
  std::uint8_t detectcomb_ = 0;
};
