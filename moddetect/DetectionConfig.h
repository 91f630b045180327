#pragma once
// The Shiftscan configuration file: INI-like sections "[data]",
// "[modification]", "[pair]", "[mode]" and "[other]" holding key=value lines.
// Section names and keys match without regard to case; values keep their
// case (paths on Linux are case-sensitive).
//
// A "%" starts a comment only at the start of a line or after a blank or a
// tab, so that a path such as "run%1.mzML" stays whole while "500 % note"
// still reads as 500. A value in double quotes is taken as it stands up to
// the last double quote of its line: the writer quotes the rare text that
// would not read back otherwise (a " %" inside, blanks at either end).
//
// This class is the one writer of the file: the desktop dialog fills one and
// writes it, and `Shiftscan --write-config` writes one from options.

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

  // Values that would exhaust time or memory, tolerances or thresholds that
  // are not numbers, and ranges that hold nothing (a mass or time window
  // whose lower bound is not below its upper one, a shift range that ends
  // before it starts, fewer than one precursor to keep) are refused: false
  // with `message` naming the key and what it must be. A zero tolerance
  // passes (the run widens it).
  bool Validate(std::string& message) const;

  // Writes every value in the layout the desktop program has always written
  // (upper-case section headers, numbers in their shortest exact decimal
  // form), so that a file reads back to the same configuration. False when
  // the file cannot be written whole.
  void WriteConfig(std::ostream& out) const;
  bool WriteConfigFile(const std::string& path) const;

  // [data]: filepath=, filetype=, masslower=, massupper=, timelower=, timeupper=
  const std::string& DataPath() const { return data_path_; }
  std::int32_t FileType() const { return file_type_; }
  double MassLower() const { return mass_lower_; }
  double MassUpper() const { return mass_upper_; }
  double TimeLower() const { return time_lower_; }
  double TimeUpper() const { return time_upper_; }
  // [modification]: modmasslower=, modmassupper= (integer shifts, inclusive)
  std::int32_t FirstShift() const { return first_shift_; }
  std::int32_t LastShift() const { return last_shift_; }
  // [pair]: findpair=, ppthres=, dtaname=, pairpath=
  bool WritePairFiles() const { return write_pair_files_; }
  double PairProbabilityThreshold() const { return pair_probability_threshold_; }
  const std::string& TitlePrefix() const { return title_prefix_; }
  const std::string& PairFolder() const { return pair_folder_; }
  // [mode]: postsearch=, identspectfile=, and the filter of search-engine
  // result files as propagation reads them: fdrlevel= ("0.05" or "5%"),
  // scorethreshold= (replaces the FDR cut), decoyprefix= (comma-separated);
  // as written, empty for the defaults (1% FDR, "DECOY_", "rev_", "XXX_").
  bool IdentifiedOnly() const { return identified_only_; }
  const std::string& IdentificationFile() const { return identification_file_; }
  const std::string& FdrLevel() const { return fdr_level_; }
  const std::string& ScoreThreshold() const { return score_threshold_; }
  const std::string& DecoyPrefix() const { return decoy_prefix_; }
  // [other]: t_d_score=, t_delta_c=, masstol=, massres=, maxndata=, detectcomb=
  double MinDScore() const { return min_d_score_; }
  double MinBinExcess() const { return min_bin_excess_; }
  double RedundancyTolerancePpm() const { return redundancy_tolerance_ppm_; }
  double MassBinWidth() const { return mass_bin_width_; }
  std::int32_t MaxPrecursors() const { return max_precursors_; }
  bool DetectCombinations() const { return detect_combinations_; }

  // Redundancy removal widens the tolerance in place while too many
  // precursors remain.
  void SetRedundancyTolerancePpm(double ppm) { redundancy_tolerance_ppm_ = ppm; }

  // Setters for programs, the desktop dialog and tests that build a
  // configuration in memory.
  void SetDataPath(const std::string& p) { data_path_ = p; }
  void SetFileType(std::int32_t t) { file_type_ = t; }
  void SetMassWindow(double lower, double upper) { mass_lower_ = lower; mass_upper_ = upper; }
  void SetTimeWindow(double lower, double upper) { time_lower_ = lower; time_upper_ = upper; }
  void SetShiftRange(std::int32_t first, std::int32_t last) { first_shift_ = first; last_shift_ = last; }
  void SetPairOutput(bool on, double probability_threshold, const std::string& folder) {
    write_pair_files_ = on;
    pair_probability_threshold_ = probability_threshold;
    pair_folder_ = folder;
  }
  void SetTitlePrefix(const std::string& prefix) { title_prefix_ = prefix; }
  void SetIdentifiedOnly(bool on, const std::string& file) { identified_only_ = on; identification_file_ = file; }
  void SetIdentificationFilter(const std::string& fdr_level, const std::string& score_threshold,
                               const std::string& decoy_prefix) {
    fdr_level_ = fdr_level;
    score_threshold_ = score_threshold;
    decoy_prefix_ = decoy_prefix;
  }
  void SetThresholds(double min_d_score, double min_bin_excess) {
    min_d_score_ = min_d_score;
    min_bin_excess_ = min_bin_excess;
  }
  void SetMassBinWidth(double width) { mass_bin_width_ = width; }
  void SetMaxPrecursors(std::int32_t n) { max_precursors_ = n; }
  void SetDetectCombinations(bool on) { detect_combinations_ = on; }

 private:
  enum class Section { kNone, kData, kModification, kPair, kMode, kOther };
  void ApplyLine(Section section, const std::string& key_part, const std::string& value);

  std::string data_path_;
  std::int32_t file_type_ = DETECTION_FILE_RAW;
  double mass_lower_ = 400.0;  // MH+, Da
  double mass_upper_ = 6000.0;
  double time_lower_ = 0.0;
  double time_upper_ = 100000.0;
  std::int32_t first_shift_ = 1;  // Da
  std::int32_t last_shift_ = 100;
  bool write_pair_files_ = false;
  double pair_probability_threshold_ = 0.98;
  std::string title_prefix_;  // spectrum titles are "<prefix>.<scan>.<scan>.<charge>.dta"
  std::string pair_folder_;
  bool identified_only_ = false;  // pairs only where one spectrum is identified
  std::string identification_file_;
  std::string fdr_level_;
  std::string score_threshold_;
  std::string decoy_prefix_;
  double min_d_score_ = 20.0;
  double min_bin_excess_ = 0.4;  // relative excess of a mass bin over the background
  double redundancy_tolerance_ppm_ = 5.0;
  double mass_bin_width_ = 0.01;  // Da
  std::int32_t max_precursors_ = 5000;  // kept after redundancy removal
  // Read and written; the combination step always runs.
  bool detect_combinations_ = false;
};
