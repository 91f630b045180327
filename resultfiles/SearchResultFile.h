#pragma once
// Readers of search-engine result files (pepXML, mzIdentML). They fill the
// same result map and modification list as the Tagram and Kiln readers, from
// the rank-1 hit of every spectrum, after dropping decoy hits and cutting at
// a false discovery rate (or a score threshold).
//
// Spectra are named as this system names them: "<run base name>.<first
// scan>.<last scan>.<charge>.dta", by the naming rule of common/DtaName.h
// (blanks of the run's name become "_", titles lose any path), in the case
// the run's own spectra have them; programs match them without regard to
// case (Identifications.h).
// Modifications are named after the record of "modify.ini" whose mass lies
// within 0.01 Da (residue and terminus that fit are preferred), otherwise
// after the mass ("Mod+15.9949"); such mass names carry their mass in the
// list, the others the placeholder -1.0.

#include <array>
#include <map>
#include <string>
#include <vector>

#include "resultfiles/ResultFile.h"

// How the hits of a search-engine file are filtered.
struct CIdentificationFilter {
  // Target-decoy q-value cut on the engine's primary score (fraction: 0.01
  // is 1%). Ignored when a score threshold is set.
  double fdr_level = 0.01;
  // Keep the target hits whose primary score is at least this good instead
  // (at most this for E-values, at least this for scores and probabilities).
  bool has_score_threshold = false;
  double score_threshold = 0.0;
  // A hit is a decoy when the file flags it, or when every protein it
  // names begins with one of these prefixes.
  std::vector<std::string> decoy_prefixes = {"DECOY_", "rev_", "XXX_"};
  // Every rank-1 hit at any score, decoys included (comparisons).
  bool keep_all = false;
  // Where "modify.ini" is read; the program's directory when empty.
  std::string modify_ini_directory;
};

// The primary scores known, best-suited first: a file is filtered on the
// first of these that its hits carry.
enum Score_Kind : int {
  SCORE_PROPHET_PROBABILITY = 0,  // PeptideProphet / iProphet probability
  SCORE_SPEC_EVALUE,              // MS-GF+ SpecEValue
  SCORE_EXPECT,                   // Comet, X!Tandem, OMSSA, Mascot E-values
  SCORE_EVALUE,                   // MS-GF+ EValue
  SCORE_MASCOT,                   // Mascot ion score
  SCORE_PEPTIDESHAKER,            // PeptideShaker PSM score
  SCORE_HYPERSCORE,               // X!Tandem, MSFragger
  SCORE_XCORR,                    // Comet, SEQUEST
  SCORE_MSGF_RAW,                 // MS-GF+ raw score
  SCORE_QVALUE,                   // a q-value computed by another program
  SCORE_KIND_COUNT
};

// The kind a score name or controlled-vocabulary accession stands for;
// -1 when unknown. Names match without regard to case.
int ScoreKindOf(const std::string& name_or_accession);
const char* ScoreKindName(int kind);
bool LowerScoreIsBetter(int kind);

// One modification of a hit as the file gives it.
struct CHitModification {
  int position = 0;   // 0-based residue the item is written on
  double mass = 0.0;  // mass difference in daltons
  char terminus = 0;  // 'n' or 'c' for a terminal modification, 0 otherwise
};

// The rank-1 hit of one spectrum.
struct CSearchHit {
  std::string name;  // this system's spectrum name
  std::string sequence;
  std::vector<CHitModification> modifications;
  bool decoy = false;
  std::array<double, SCORE_KIND_COUNT> scores;  // NaN where the file has none
  CSearchHit();
};

// Names hit modifications from "modify.ini" and keeps the caller's list.
class CModificationNamer {
 public:
  // False (names then come from masses only) when "modify.ini" is missing.
  bool Load(const std::string& directory);
  // The name of a mass difference on `residue` (terminus 'n', 'c' or 0).
  std::string Name(double mass, char residue, char terminus) const;

 private:
  struct Record {
    std::string name;
    std::string residues;
    int terminal = 0;
    double mass = 0.0;
  };
  std::vector<Record> records_;
};

// The base name of a run from a path or file URL: the file name without its
// spectrum-file extensions ("file:///d/BSA1.mzML" -> "BSA1").
std::string RunBaseName(const std::string& path_or_location);
// This system's spectrum name of a scan range and charge; the base becomes
// a name prefix as the importers make one ("BSA1 copy" gives
// "BSA1_copy.<first>.<last>.<charge>.dta").
std::string HitSpectrumName(const std::string& base, int first_scan, int last_scan, int charge);

// The spectrum name an MGF title gives: a title that is itself one of this
// system's names ("run.120.120.2.dta", a consensus "10.2-20.2-31.2.dta"),
// or a DTA-style name without ".dta" ("run.120.120.2 File:..." as msconvert
// writes it; `charge`, when not 0, replaces its charge). False otherwise.
bool SpectrumNameFromTitle(const std::string& title, int charge, std::string& name);

// "Mod+15.9949": the name of a mass that no record of "modify.ini" matches.
std::string MassModificationName(double mass);

class CSearchResultFile : public CResultFile {
 public:
  void SetFilter(const CIdentificationFilter& filter) { filter_ = filter; }
  const CIdentificationFilter& filter() const { return filter_; }

  // Reads the file whole; only when it was read and filtered without fault
  // are the kept hits added to the containers (nothing half-read is used).
  // Faults go to the notifier and leave Succeeded() false.
  void LoadResult(const std::string& path, ResultMap& results, std::string& data_path,
                  ModificationList& modifications) override;

  bool Succeeded() const { return succeeded_; }
  // What the last load kept and why it dropped the rest, one line each.
  const std::vector<std::string>& Report() const { return report_; }
  // The score the last load ranked hits by (-1: none) and each kept hit's
  // value of it, by spectrum name: where two files identify one spectrum,
  // the better of them is kept.
  int ScoreKind() const { return score_kind_; }
  const std::map<std::string, double>& KeptScores() const { return kept_scores_; }

  // The format's name for messages ("pepXML", "mzIdentML").
  virtual const char* FormatName() const = 0;

 protected:
  // Reads every rank-1 hit of the file into `hits` in file order. False
  // with `error` set (naming the file and the element) on a fault.
  virtual bool ReadHits(const std::string& path, std::vector<CSearchHit>& hits,
                        std::string& error) = 0;

  bool IsDecoyAccession(const std::string& accession) const;

  // Filled by ReadHits: the runs met (base names, in file order) and score
  // names that no score kind knows (for the message when none is known).
  std::vector<std::string> runs_;
  std::vector<std::string> unknown_scores_;
  // The element that carries the scores, for messages.
  std::string score_element_;

 private:
  CIdentificationFilter filter_;
  bool succeeded_ = false;
  std::vector<std::string> report_;
  int score_kind_ = -1;
  std::map<std::string, double> kept_scores_;
};

// pepXML (".pep.xml", ".pepXML"): Comet, X!Tandem, MSFragger, the TPP.
class CPepXmlResultFile : public CSearchResultFile {
 public:
  const char* FormatName() const override { return "pepXML"; }

 protected:
  bool ReadHits(const std::string& path, std::vector<CSearchHit>& hits,
                std::string& error) override;
};

// mzIdentML 1.1 and 1.2 (".mzid", ".mzIdentML"): MS-GF+, OpenMS,
// PeptideShaker, Mascot.
class CMzIdentMlResultFile : public CSearchResultFile {
 public:
  const char* FormatName() const override { return "mzIdentML"; }

 protected:
  bool ReadHits(const std::string& path, std::vector<CSearchHit>& hits,
                std::string& error) override;
};

// Target-decoy q-values of hits sorted best first by `kind`: the q-value of
// a hit is the lowest decoy-to-target ratio over every cut at or below its
// score (hits of equal score fall on the same side of a cut). Hits without
// the score get NaN. Exposed for the tests.
std::vector<double> TargetDecoyQValues(const std::vector<CSearchHit>& hits, int kind);
