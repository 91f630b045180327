#pragma once
// The propagation job's parameter file (".para"): one "Key=Value" per line.
// The desktop dialog and the job share these reading and writing rules.

#include <cstdint>
#include <iosfwd>
#include <string>

struct CPropagationPara {
  std::string pair_file;     // a pair file, or a directory of pair files
  std::string result_file;   // ".tagram" or ".spectra"
  std::string cluster_file;  // may be empty
  std::string dta_path;      // may be empty
  std::int16_t mod_count = 0;
  std::int32_t is_mod_site_determined = 0;
  std::int32_t is_directory = 0;
};

// Reads lines into `para`. Keys match anywhere in a line, without regard to
// case, tried in the order clusterfile=, pairfile=, resultfile=, dtapath=,
// modcount=, ismodsitedetermined=, isdirectory=; the first found decides.
// The value is the text after the line's first "=", as written; an empty
// value leaves the field as it was. Other lines are ignored.
void ReadPropagationPara(std::istream& in, CPropagationPara& para);
// False when the file cannot be opened (`para` is then unchanged).
bool ReadPropagationParaFile(const std::string& path, CPropagationPara& para);

// The seven lines, in the order PairFile, ResultFile, ClusterFile, DTAPath,
// ModCounT, IsModSiteDetermined, IsDirectory.
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

// The base of the job's output names: the parameter-file path without its
// ".para" extension (any case); a path without it is used whole.
std::string OutputBaseOf(const std::string& para_path);
