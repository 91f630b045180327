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
  // Where the reason of a failure goes when not with the dialogue (a run
  // whose progress nobody wants still says why it failed).
  void SetReasonStream(std::ostream& reasons) { reasons_ = &reasons; }
  // The run summary the caller writes after a successful run: no input may
  // be it, and an earlier one goes with the earlier table.
  void SetSummaryPath(const std::string& path) { summary_path_ = path; }

  // Runs the whole job on the configuration file `config_path`; answers the
  // exit status: 0 when "temp.temp" was written, 1 when the run could not
  // produce it (the error marker file is then left in the working
  // directory, and the last line written names the reason). A table left by
  // an earlier run is removed once the configuration is accepted, and, when
  // pair files are asked for, the earlier run's pair files in the pair
  // folder (CPairWriter::RemoveEarlierPairFiles). The caller does the final
  // key wait.
  int Run(const std::string& config_path);

  void PrintBanner();

  CDetectionConfig& Config() { return *config_; }
  const CDetectionConfig& Config() const { return *config_; }
  CPrecursorList& Precursors() { return *precursors_; }
  const CPrecursorList& Precursors() const { return *precursors_; }
  const CModificationDetector& Detector() const { return *detector_; }

  // Joins command-line arguments (after the program name) with one blank.
  static std::string JoinArguments(int argc, const char* const* argv);

 private:
  // Reads the file and refuses values out of range, inputs that the run
  // would overwrite, an identification file that cannot be read (in
  // post-search mode) and a pair folder that cannot be made; the reason
  // when the run cannot start, empty when it can.
  std::string ReadCheckedConfiguration(const std::string& config_path);
  // Post-search mode: the identified scans, with the reader's report and a
  // warning when none is identified. False when the file cannot be read.
  bool LoadIdentifications();
  // Sorts by charge and mass, then reduces with the configured tolerance,
  // doubling it while more than maxndata precursors remain.
  void ReduceRedundancy();
  // One detection pass per integer shift, the pair files of each accepted
  // one, then the combination marking over all of them. False when a pair
  // file could not be written.
  bool DetectAllShifts();
  // Prints `reason` as the last line, leaves the error marker
  // and answers the failure status.
  int Fail(const std::string& reason);

  std::ostream& out_;
  std::ostream* reasons_;
  bool clear_console_;
  std::unique_ptr<CDetectionConfig> config_;
  std::unique_ptr<CPrecursorList> precursors_;
  std::unique_ptr<CPairCollector> collector_;
  std::unique_ptr<CModificationDetector> detector_;
  std::unique_ptr<CPairWriter> writer_;
  std::unique_ptr<CCombinationFinder> combiner_;
  CIdentificationFilter filter_;
  std::string summary_path_;
};
