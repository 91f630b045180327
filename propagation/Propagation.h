#pragma once
// The propagation job: carries peptide identifications from identified
// spectra to unidentified ones, within clusters of similar spectra and
// across spectral pairs, and optionally places the modification site of
// each carried identification with the KSDP scorer.
//
// One object serves one Run. Everything goes to the caller's notifier
// (common/Notifier.h); nothing is printed directly.
//
// The job reads its inputs, checks and creates its reports, and calls the
// passes in turn, each a unit of its own that works on the job's state
// (PropagationState.h) and never calls back: inner propagation
// (InnerPropagation.h), inter propagation over one pair file
// (InterPropagation.h), and site determination (SiteDetermination.h).

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "propagation/PropagationPara.h"
#include "propagation/PropagationState.h"
#include "propagation/PropagationSummary.h"
#include "propagation/SiteDetermination.h"
#include "propagation/TransferConfidence.h"
#include "resultfiles/ResultFile.h"

class CPropagation {
 public:
  // Scores a peptide at every residue position, as the KSDP scorer does.
  using ScoreFunction = CSiteDeterminer::ScoreFunction;

  // Told the stage of the job as it goes ("inner propagation", "inter
  // propagation: <pair file>, pass 2", ...), for progress displays.
  using ProgressFunction = std::function<void(const std::string& stage)>;

  // The copy of the travelled pairs, written in the working directory.
  static constexpr const char* kPairCopyName = "pair_with_result.txt";

  CPropagation();

  // Runs the job of a parameter file. With a cluster file, inner propagation
  // runs first and every pair file builds on what the ones before found;
  // without one, every pair file starts from the result file alone. A pair
  // path that is a directory stands for its ".csv" and ".txt" files, taken
  // in name order; each report is written once and holds every pair file's
  // share (the inter report one section per pair file, headed by its path,
  // when there are several).
  // False (with a message) before anything is written when the parameter
  // file cannot be read, an input is missing or unreadable, no reader knows
  // the result file's type, an output would replace an input, or an output
  // cannot be created; earlier reports then stay as they are. Reports are
  // written whole or not at all: false also when one cannot be written (the
  // others are still written; an unwritable inner report leaves the pairs to
  // be worked through on the identifications as read).
  bool Run(const std::string& para_path, bool determine_sites);

  // Gives each cluster the identification its identified members agree on
  // and replaces the result map by one keyed by clusters (labels) and
  // identified single spectra. Writes "<output base>_InnerPropagate.txt".
  // False when the result file has no reader or the report cannot be
  // written; the maps then stay as read.
  bool InnerPropagate(const std::string& cluster_file, const std::string& result_file);

  // Carries identifications across the pairs of one pair file, in passes
  // until nothing changes. Writes "pair_with_result.txt" in the working
  // directory and "<output base>_InterPropagate.txt". Sites are placed per
  // edge when `after_inner` and `determine_sites` are set, and for every
  // new identification after the passes when only `determine_sites` is.
  // False (with a message) when a report cannot be written.
  bool InterPropagate(const std::string& pair_file, bool determine_sites, bool after_inner);

  // The site of a modification of `shift` daltons carried to spectrum
  // `name` with `identification`; -1 when the spectrum file is missing or
  // the sequence has 3 residues or fewer. Adds the tied positions to the
  // site statistics of `mark`.
  int DetermineSite(const std::string& identification, const std::string& name, double shift,
                    std::int32_t mark);

  // Fills in the undetermined sites ("-1,") of up to ModCount items of an
  // identification, scoring their positions together; returns the text
  // unchanged when there are more, or when the spectrum file is missing.
  std::string DetermineSites(const std::string& name, const std::string& identification);

  // Job state, open to the desktop program and the tests.
  ResultMap& results() { return state_.results; }
  const ResultMap& results() const { return state_.results; }
  ModificationList& modifications() { return state_.modifications; }
  const ModificationList& modifications() const { return state_.modifications; }
  std::string& data_path() { return state_.data_path; }
  const std::string& data_path() const { return state_.data_path; }
  const std::map<std::string, std::int32_t>& cluster_sizes() const { return state_.cluster_sizes; }
  // Cluster label -> its members, for the clusters of two or more.
  const std::map<std::string, std::vector<std::string>>& cluster_members() const {
    return state_.cluster_members;
  }
  const SiteStatistics& site_statistics() const { return state_.site_statistics; }
  const std::map<char, int>& residue_counts() const { return state_.residue_counts; }
  const CPropagationPara& para() const { return para_; }
  const CPropagationSummary& summary() const { return state_.summary; }
  // The site-determination switch of the last Run.
  bool determines_sites() const { return determine_sites_; }
  // Every spectrum that propagation identified (cluster members and single
  // spectra, not cluster labels) with the identification it got and the way
  // it came ("cluster" or "pairs"); the first pass to reach a spectrum decides.
  using CAdded = CPropagationAdded;
  const std::map<std::string, CAdded>& added() const { return state_.added; }
  // Every spectrum the result files identified, with its identification as read.
  const std::map<std::string, std::string>& search_identifications() const {
    return state_.search_identifications;
  }
  // A spectrum or cluster name of the job (matched upper-cased) as the files
  // have it: the pair and cluster files' spelling, else the result file's; a
  // cluster label ends in ".dta" like the consensus spectrum it names.
  std::string PrintedName(const std::string& name) const;
  // The runs of the spectra the result files identified from which the
  // identification of a propagated spectrum (a key of added()) came, each
  // once and in order; through pairs followed back over the spectra that
  // were themselves propagated.
  std::vector<std::string> SourceRuns(const std::string& name) const;

  // Scores every spectrum propagation identified against decoys and gives
  // each a q-value (TransferConfidence.h), after Run; the rows are kept in
  // transfers() and the summary gains their counts.
  void AssessTransfers(const CTransferSettings& settings);
  const std::vector<CTransferRow>& transfers() const { return transfers_; }

  // Filter values that replace those of the parameter file (empty: keep).
  void OverrideFilter(const std::string& fdr_level, const std::string& score_threshold,
                      const std::string& decoy_prefix) {
    override_.fdr_level = fdr_level;
    override_.score_threshold = score_threshold;
    override_.decoy_prefix = decoy_prefix;
  }

  // Result files read with the parameter file's own, their identifications
  // joined with its (PropagateMain's repeated --ids).
  void AddResultFiles(std::vector<std::string> paths) { more_result_files_ = std::move(paths); }

  void SetOutputBase(const std::string& base) { output_base_ = base; }
  const std::string& output_base() const { return output_base_; }
  void SetModCount(std::int16_t count) { para_.mod_count = count; }
  // Where "aa.ini" and "modify.ini" are read; the program's directory unless set.
  void SetProgramDirectory(const std::string& directory) {
    program_directory_ = directory;
    sites_.SetProgramDirectory(directory);
  }
  const std::string& program_directory() const { return program_directory_; }
  void SetProgress(ProgressFunction progress) { progress_ = std::move(progress); }
  // Replaces the KSDP scorer (tests).
  void SetScorer(ScoreFunction scorer) { sites_.SetScorer(std::move(scorer)); }

  // The pair files a pair path stands for: the ".csv"/".txt" files of a
  // directory (by the last three characters of the name, any case) in name
  // order, without sub-directories or this job's own reports; empty when
  // the path is not a directory.
  static std::vector<std::string> ListPairFiles(const std::string& pair_path);

 private:
  class CReports;

  // Forgets everything of an earlier run.
  void Reset(bool determine_sites);
  // Reads the parameter file and applies the filter overrides; false (with
  // a message) when it cannot be read.
  bool ReadPara(const std::string& para_path);
  // The passes of a job without a cluster file: every pair file of a pair
  // directory starts from the result file's identifications alone.
  bool RunWithoutClusters(const std::vector<std::string>& pair_files, bool pair_directory,
                          CReports& reports);
  // The passes of a job with a cluster file: inner propagation, then every
  // pair file builds on what the ones before found.
  bool RunWithClusters(const std::vector<std::string>& pair_files, CReports& reports);
  // One pair file's passes, its share of the inter report headed by its path
  // when the job has several.
  void PropagatePairFile(const std::string& pair_file, bool several, bool after_inner,
                         CReports& reports);
  // Reads the clusters and the result file and runs the inner pass, with its
  // report kept in `report` and the cluster-keyed result map in
  // `cluster_results` (the caller installs it); false when the result file
  // could not be read.
  bool InnerPass(const std::string& cluster_file, const std::string& result_file,
                 std::string& report, ResultMap& cluster_results);
  void InstallClusterResults(ResultMap cluster_results);
  // One pair file's passes: the travelled pair lines are appended to `copy`,
  // the report to `report`.
  void PropagatePairs(const std::string& pair_file, bool determine_sites, bool after_inner,
                      std::string& copy, std::string& report);
  // Writes a report whole (temporary name, renamed when complete); false
  // with a message when it cannot be written.
  bool SaveOutput(const std::string& path, const std::string& text);
  void Progress(const std::string& stage) const {
    if (progress_) progress_(stage);
  }
  bool LoadResultFile(const std::string& result_file);
  // Counts the identified spectra among `names` and warns when none is.
  void CountIdentifiedInJob(const std::vector<std::string>& names, const char* where);
  // The masses of the result file's modifications, from "modify.ini".
  void FillModificationMasses();
  // Counts what was carried between each ordered pair of runs; with
  // `rows`, also the confident ones at `level`.
  void CountRunTransfers(const std::vector<CTransferRow>* rows, double level);

  CPropagationState state_;
  std::vector<CTransferRow> transfers_;
  CPropagationPara para_;
  std::string output_base_;
  std::string program_directory_;
  CSiteDeterminer sites_;
  ProgressFunction progress_;
  bool determine_sites_ = false;
  CPropagationPara override_;
  std::vector<std::string> more_result_files_;
};

// The checks a job's inputs must pass before anything is written, in order:
// the result file is a readable file of a known type; the pair path is a
// readable file or a directory holding pair files; the cluster file, when
// given, is a readable file; the data path, when given, exists. "" when all
// pass, else what failed ("Result file: File: <path> does not exist!", ...).
std::string CheckJobInputs(const CPropagationPara& para);

// The files a job of `para_path` writes: "<base>_InnerPropagate.txt" (with a
// cluster file), "pair_with_result.txt", "<base>_InterPropagate.txt".
std::vector<std::string> JobOutputs(const CPropagationPara& para, const std::string& para_path);

// "" unless one of `outputs` is the same file as an input of the job (the
// parameter file, the result, cluster or pair files), however the two
// paths are spelled; then says which.
std::string CheckJobOutputs(const CPropagationPara& para, const std::string& para_path,
                            const std::vector<std::string>& outputs);

// The summary lines of a finished job, as the propagate program prints
// them: the identifications before, those present in the job's files, the
// counts of each pass, the site-determination switch, and the files
// written ("  <path>" lines under "Output files:"), each once. With
// `absolute_paths` the files are named by their absolute paths (the pair
// copy is written in the working directory).
std::string FormatSummary(const CPropagation& job, bool absolute_paths = false);
