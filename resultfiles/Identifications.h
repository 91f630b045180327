#pragma once
// Identifications as every program takes them from a result file: the
// reader the file's extension names, the filter a user asks for (a false
// discovery rate, a score threshold, decoy prefixes, as typed), and what
// the reader said of the file. One way for propagation, Shiftscan, the
// clustering's quality figures and the lists.

#include <map>
#include <string>
#include <vector>

#include "resultfiles/ResultFile.h"
#include "resultfiles/SearchResultFile.h"

// The filter as typed; empty texts keep the defaults (1% FDR, the known
// decoy prefixes).
struct CFilterChoice {
  std::string fdr_level;        // "0.01" or "1%", in (0, 1]
  std::string score_threshold;  // a number
  std::string decoy_prefix;     // comma-separated
};

// The search-result filter a choice asks for; false with `message` set
// when a value is not usable (a level outside (0, 1], a threshold that is
// no number).
bool FilterFromChoice(const CFilterChoice& choice, CIdentificationFilter& filter, std::string& message);

struct CIdentifications {
  ResultMap results;  // keyed by ResultSpectrumKey, whatever case the file wrote
  NameSpellings spellings;  // each key's name as the file gave it (the one kept)

  std::string data_path;
  ModificationList modifications;
  std::vector<std::string> report;  // what a search-engine reader said of the file
  // Search-engine files: the score the hits were ranked by (-1: none) and
  // each kept spectrum's value of it, by key.
  int score_kind = -1;
  std::map<std::string, double> scores;
};

// Reads `path` with the reader its extension names, search-engine files
// through `filter`, and keys the results by ResultSpectrumKey, the key every
// program joins them with spectra, pair and cluster files by. Names that
// differ only in case come to one key: the first in the reader's order is
// kept, and the file is said to hold such names. False with `error` set for a file no reader knows, or a
// search-engine file read only in part (what was read stays in `out`).
bool LoadIdentifications(const std::string& path, const CIdentificationFilter& filter, CIdentifications& out,
                         std::string& error);

// Reads every file of `paths` as LoadIdentifications does and joins them:
// the union of their identifications, modification numbers made those of
// one list. A spectrum that two files identify with different peptides
// keeps the one of better score (of one score kind; else the earlier
// file's), and the count of such spectra is said in a warning. False as
// soon as one file fails (what was read stays in `out`).
bool LoadIdentificationsOf(const std::vector<std::string>& paths, const CIdentificationFilter& filter,
                           CIdentifications& out, std::string& error);

// Adds `more` to `into` as LoadIdentificationsOf joins two files; answers
// how many spectra the two identify with different peptides.
int MergeIdentifications(CIdentifications& into, CIdentifications more);

// Entries with a peptide: readers leave empty texts for spectra that were
// searched and not identified.
bool HasPeptide(const std::string& identification);
