#pragma once
// One Shiftscan run: configuration, precursor loading and reduction, one
// detection pass per integer shift, combination marking and the result
// files, with the console dialogue written to a stream.

#include <memory>
#include <ostream>
#include <string>

#include "moddetect/CombinationFinder.h"
#include "moddetect/DetectionConfig.h"
#include "moddetect/ModificationDetector.h"
#include "moddetect/PairCollector.h"
#include "moddetect/PairWriter.h"
#include "moddetect/PrecursorList.h"

inline constexpr const char* kVersion = "v1.0";

class CDetectionRun {
 public:
  // `clear_console` sends the terminal's clear sequence before each banner;
  // only wanted when the output is a terminal.
  explicit CDetectionRun(std::ostream& out, bool clear_console = false);

  // Runs the whole job on the configuration file `config_path`; answers the
  // exit status: 0 when "temp.temp" was written, 1 when the run could not
  // produce it (the error marker file is then left in the working
  // directory). The caller does the final key wait.
  int Run(const std::string& config_path);

  void PrintBanner();

  CDetectionConfig& Config() { return *config_; }
  CPrecursorList& Precursors() { return *precursors_; }
  const CModificationDetector& Detector() const { return *detector_; }

  // Joins command-line arguments (after the program name) with one blank.
  static std::string JoinArguments(int argc, const char* const* argv);

 private:
  // Reads the file and refuses values out of range, inputs that the run
  // would overwrite and a pair folder that cannot be made; false (with the
  // message printed) when the run cannot start.
  bool ReadCheckedConfiguration(const std::string& config_path);
  // Sorts by charge and mass, then reduces with the configured tolerance,
  // doubling it while more than maxndata precursors remain.
  void ReduceRedundancy();
  // One detection pass per integer shift, the pair files of each accepted
  // one, then the combination marking over all of them. False when a pair
  // file could not be written.
  bool DetectAllShifts();
  int Fail();

  std::ostream& out_;
  bool clear_console_;
  std::unique_ptr<CDetectionConfig> config_;
  std::unique_ptr<CPrecursorList> precursors_;
  std::unique_ptr<CPairCollector> collector_;
  std::unique_ptr<CModificationDetector> detector_;
  std::unique_ptr<CPairWriter> writer_;
  std::unique_ptr<CCombinationFinder> combiner_;
};
