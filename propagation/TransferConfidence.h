#pragma once
// How far to trust an identification that propagation carried to a
// spectrum: the carried peptide, with its modifications and the mass shift
// at its best site, is scored against the spectrum with the KSDP scorer and
// compared with decoy peptides scored the same way (the reversed sequence
// and shuffled ones, each keeping the C-terminal residue and carrying the
// same shift at its own best site). Pooled over every propagated
// identification of a job, target and decoy scores give each one a q-value:
// the transfer FDR.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "propagation/Explanations.h"

class CPeptideDatabase;
class CPropagation;
struct CScoreSettings;
struct CScoreSpectrum;

// One propagated identification of the table.
struct CTransferRow {
  std::string spectrum;       // the spectrum propagation identified
  std::string sequence;
  std::string modifications;  // the items after the sequence, as the reports write them
  std::string route;          // "cluster" or "pairs"
  // The decision this row is part of: the members of a cluster that one pair
  // reached stand or fall together, so they are one transfer for the FDR.
  // Rows with the same route and decision share a q-value.
  std::string decision;
  std::string source;         // cluster label, or the pair partner it crossed from
  std::string run;            // the spectrum's run
  std::string source_run;     // the runs of the identified spectra it came from, "," between them
  std::string native_id;      // from the cluster table beside the cluster file, where it tells
  std::string retention_time;
  bool has_shift = false;     // carries shifts of pairs (their sum in `shift`)
  double shift = 0.0;
  bool scored = false;
  double ksdp = 0.0;          // KSDP of the target at its best site
  // The target's KSDP in standard deviations above its decoys' mean (the
  // deviation taken as at least 1): what the q-values rank.
  double score = 0.0;
  double q_value = 1.0;       // meaningful only when scored
  std::string not_scored;     // why there is no score
  // The shift read as an isotope error of another explanation, when it is one.
  std::optional<CIsotopeRelation> isotope;
  // The best other explanation of the spectrum from the protein database:
  // another peptide that fits the precursor with an observed shift (0 for
  // none) and an isotope error of 0 to 2 steps, at its best site; its score
  // on the target's scale (standard deviations above the target's decoys).
  bool has_alternative = false;
  std::string alternative;
  double alternative_shift = 0.0;
  double alternative_score = 0.0;
  std::vector<double> decoy_scores;
};

// Residue orders of the decoys of a sequence: first the reversal of all
// residues but the C-terminal one, then `shuffled` shuffles that keep the
// C-terminal residue too, drawn from a generator seeded by the sequence so
// that a job scores the same every time. Decoy i puts residue order[i][j]
// of the sequence at position j. Each shuffle is the one of several draws
// that shares the fewest fragments with the sequence (SharedFragments),
// repeating neither the sequence nor an earlier decoy when the residues
// allow.
std::vector<std::vector<int>> DecoyOrders(const std::string& sequence, int shuffled);

// How many prefix and suffix fragments (of lengths 1 to length - 1) two
// sequences share by composition, I counted as L and Q as K (within the
// scorer's tolerance they weigh the same).
int SharedFragments(const std::string& a, const std::string& b);

// The sequence a residue order makes.
std::string Reordered(const std::string& sequence, const std::vector<int>& order);

// q-values of target scores against a pooled set of decoy scores, made with
// `decoys_per_target` decoys for each target: the estimated FDR at a score
// threshold t is (decoys >= t / decoys_per_target) / (targets >= t), at most
// 1, and a target's q-value is the least FDR of any threshold at or below
// its score. Answers one q-value per target, in the targets' order.
std::vector<double> TransferQValues(const std::vector<double>& targets,
                                    const std::vector<double>& decoys, double decoys_per_target);

// Sets the q-values of scored rows, separately per route: a pair transfer
// is a different kind of claim from a within-cluster one, and the many
// sound within-cluster transfers would otherwise hide the pairs' errors.
// Rows of one decision (same route and `decision`) are one target: their
// standard scores averaged, and decoy k of the decision the average of the
// members' decoy k (the decoys of a sequence are the same peptides on
// every member); every member gets the decision's q-value.
//
// Where rows have a best alternative, a decision's margin is its score less
// the alternative's (averaged over its members that have one), and the
// q-value is at least the competition's (CompetitionQValues). The
// reference of right explanations is `identified` (the margins of the
// search's own identifications) when it holds at least 50, else the
// within-cluster decisions. A decision
// without an alternative is judged by its decoys alone. Answers per route
// the least margin at which the competition's estimate reaches `level`
// (none when it never does).
std::map<std::string, std::optional<double>> AssignTransferQValues(std::vector<CTransferRow>& rows,
                                                                   double level = 0.01,
                                                                   const std::vector<double>& identified = {});

// The competition's q-values of margins (a decision's score less its best
// alternative's). A right transfer seldom loses to another explanation,
// and then by chance; a wrong one loses whenever the right explanation is
// among the others, and is taken to lose at least as often as it wins. At
// a margin threshold d, the decisions that lose by more than d, less those
// that right transfers lose by chance (the share of `reference`, margins of
// transfers taken as right, losing by more than d, when it holds at least
// 50), estimate the wrong ones among those that win by more than d; a
// margin's q-value is the least estimate of any d below it, 1 for a margin
// of 0 or less: a transfer that does not beat the other explanation is
// never confident. `needed` receives the least d whose estimate is at or
// below `level`, when one is.
std::vector<double> CompetitionQValues(const std::vector<double>& margins, const std::vector<double>& reference,
                                       double level, std::optional<double>* needed = nullptr);

// A peptide as the confidence scoring takes it: the sequence, its fixed
// (position, mass) modifications, and the shift whose site is sought.
struct CScoredPeptide {
  std::string sequence;
  std::vector<std::pair<int, double>> fixed;
  double shift = 0.0;
};

// The best score of a peptide with its shift over every residue that can
// carry it (a residue plus its modifications plus the shift weighs more
// than nothing); nullopt when no residue can, or the sequence holds a
// residue without a mass.
std::optional<double> BestSiteScore(const CScoreSettings& settings, const CScoreSpectrum& spectrum,
                                    const CScoredPeptide& peptide);

struct CTransferSettings {
  // Folders searched, in order, for a propagated spectrum's own file before
  // the job's data path; cluster members often live apart from the
  // consensus spectra that the pairs were searched on.
  std::vector<std::string> spectrum_folders;
  int shuffled_decoys = 19;
  // Shifts of the shift tables given (the pair search's, Shiftscan's), with
  // those of the job's pair files the shifts that explain a spectrum.
  std::vector<CObservedShift> table_shifts;
  // Other peptides a spectrum could be (null: the decoys alone judge), and
  // how far a precursor may lie from a peptide's mass with its shift.
  CPeptideDatabase* database = nullptr;  // indexed by the scoring with the job's fixed modifications
  double precursor_ppm = 20.0;
  // The level of the summary's counts; `max_q` (when set) also keeps only
  // the identifications at or below it in the table and the summary.
  double level = 0.01;
  std::optional<double> max_q;
};

// Scores every spectrum the job identified by propagation (CPropagation::
// added) and sets the q-values over all of them. Residue masses come from
// "aa.ini" in the job's program directory; a spectrum whose own file is in
// no folder is scored on the spectrum of the node that carried it (its
// cluster's consensus spectrum in the data path). Rows that cannot be
// scored keep no score and say why. `progress` (may be empty) hears every
// hundredth row.
// With a database, up to 300 of the search's own identifications (evenly
// spread) are scored alike on their own spectra; their margins over the
// best other explanation, the reference of right explanations, go to
// `reference` when given.
std::vector<CTransferRow> ScoreTransfers(const CPropagation& job, const CTransferSettings& settings,
                                         const std::function<void(const std::string&)>& progress = {},
                                         std::vector<double>* reference = nullptr);

// The job's observed shifts: those of its pair files and of the tables
// given, grouped within 0.01 Da, the groups seen at least twice.
std::vector<CObservedShift> ObservedShifts(const CPropagation& job, const CTransferSettings& settings);

// The table: a header line, then "spectrum sequence modifications route
// source shift score q_value run source_run native_id retention_time
// isotope_of", tab-separated, one line per row (at or below
// `settings.max_q` when it is set; rows without a score then stay out).
// Shift and score have six decimals, the q-value four significant digits;
// a row without a shift leaves that field empty, one without a score says
// "NA" in both score and q_value. isotope_of, for a shift that is an
// isotope error of another explanation, is "<its shift>,<steps>"
// ("0.000000,+1": the unmodified peptide one isotope step up).
std::string TransferTableText(const std::vector<CTransferRow>& rows, const CTransferSettings& settings);

// Summary lines: per route (within clusters, through pairs) and together,
// how many were propagated, scored, and at or below the level; the rows
// without a score with their reasons; with `max_q`, how many the table
// keeps; with a database, what it held, how many transfers lost to another
// explanation and the margin the data asked for; without one, that the
// decoys alone are a weaker judge.
std::string TransferSummaryText(const std::vector<CTransferRow>& rows, const CTransferSettings& settings,
                                const std::vector<double>& identified = {});
