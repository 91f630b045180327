#pragma once
// The propagation job's parameter file (".para"): one "Key=Value" per line.
// The desktop dialog and the job share these reading and writing rules.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "resultfiles/SearchResultFile.h"

struct CPropagationPara {
  std::string pair_file;     // a pair file, or a directory of pair files
  // ".tagram", ".spectra", or a search engine's ".pep.xml", ".pepXML",
  // ".mzid", ".mzIdentML"
  std::string result_file;
  // Further result files read with `result_file`, their identifications
  // joined (resultfiles/Identifications.h): given on the command line, never
  // a key of the file, which names one.
  std::vector<std::string> more_result_files;
  std::string cluster_file;  // may be empty
  std::string dta_path;      // may be empty
  std::int16_t mod_count = 0;
  std::int32_t is_mod_site_determined = 0;
  std::int32_t is_directory = 0;
  // Filter of search-engine results. Written only when set, so that files
  // without them read as before: "FdrLevel=" (fraction, 0.01 is 1%; the
  // readers' default when empty), "ScoreThreshold=" (replaces the FDR cut),
  // "DecoyPrefix=" (one or more prefixes, comma-separated).
  std::string fdr_level;
  std::string score_threshold;
  std::string decoy_prefix;
};

// Reads lines into `para`. Keys match anywhere in a line, without regard to
// case, tried in the order clusterfile=, pairfile=, resultfile=, dtapath=,
// modcount=, ismodsitedetermined=, isdirectory=, fdrlevel=, scorethreshold=,
// decoyprefix=; the first found decides.
// The value is the text after the line's first "=", as written; an empty
// value leaves the field as it was. Other lines are ignored.
void ReadPropagationPara(std::istream& in, CPropagationPara& para);
// False when the file cannot be opened (`para` is then unchanged).
bool ReadPropagationParaFile(const std::string& path, CPropagationPara& para);

// The seven lines, in the order PairFile, ResultFile, ClusterFile, DTAPath,
// ModCounT, IsModSiteDetermined, IsDirectory; then FdrLevel, ScoreThreshold
// and DecoyPrefix, each only when set.
void WritePropagationPara(std::ostream& out, const CPropagationPara& para);
// False when the file cannot be written.
bool WritePropagationParaFile(const std::string& path, const CPropagationPara& para);

// The file name proposed when the parameters are saved: the last component
// of the pair path (split at "/", "\" and spaces) less its 4-character
// extension.
std::string ProposeParaFileName(const std::string& pair_path);

// The checks made before parameters are saved, in order: the result file and
// the pair path must exist; the data path and the cluster file must exist
// when given. On the first failure returns false with `message` set to
// "File: <path> does not exist!".
bool CheckParaPaths(const CPropagationPara& para, std::string& message);

// The search-result filter the parameters ask for; false with `message` set
// when a value is not usable (a level outside (0, 1], a threshold that is
// no number). A level may be written as a fraction or with "%" ("1%").
bool FilterFromPara(const CPropagationPara& para, CIdentificationFilter& filter,
                    std::string& message);

// The base of the job's output names: the parameter-file path without its
// ".para" extension (any case); a path without it is used whole.
std::string OutputBaseOf(const std::string& para_path);
