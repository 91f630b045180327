#include "propagation/PropagationPara.h"

#include "resultfiles/Identifications.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <istream>
#include <ostream>

#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"

namespace {

enum class ParaKey {
  kCluster, kPair, kResult, kDtaPath, kModCount, kSiteDetermined, kDirectory,
  kFdrLevel, kScoreThreshold, kDecoyPrefix
};

struct KeyName {
  const char* text;
  ParaKey key;
};

// Tried in this order: a line holding several keys is decided by the first.
constexpr KeyName kKeys[] = {
    {"clusterfile=", ParaKey::kCluster},
    {"pairfile=", ParaKey::kPair},
    {"resultfile=", ParaKey::kResult},
    {"dtapath=", ParaKey::kDtaPath},
    {"modcount=", ParaKey::kModCount},
    {"ismodsitedetermined=", ParaKey::kSiteDetermined},
    {"isdirectory=", ParaKey::kDirectory},
    {"fdrlevel=", ParaKey::kFdrLevel},
    {"scorethreshold=", ParaKey::kScoreThreshold},
    {"decoyprefix=", ParaKey::kDecoyPrefix},
};

void Assign(CPropagationPara& para, ParaKey key, const std::string& value) {
  switch (key) {
    case ParaKey::kCluster: para.cluster_file = value; break;
    case ParaKey::kPair: para.pair_file = value; break;
    case ParaKey::kResult: para.result_file = value; break;
    case ParaKey::kDtaPath: para.dta_path = value; break;
    case ParaKey::kModCount: para.mod_count = static_cast<std::int16_t>(text::AtoI(value)); break;
    case ParaKey::kSiteDetermined: para.is_mod_site_determined = text::AtoI(value); break;
    case ParaKey::kDirectory: para.is_directory = text::AtoI(value); break;
    case ParaKey::kFdrLevel: para.fdr_level = value; break;
    case ParaKey::kScoreThreshold: para.score_threshold = value; break;
    case ParaKey::kDecoyPrefix: para.decoy_prefix = value; break;
  }
}

}  // namespace

void ReadPropagationPara(std::istream& in, CPropagationPara& para) {
  std::string line;
  while (text::ReadLine(in, line)) {
    const std::string lower = text::ToLower(line);
    for (const KeyName& key : kKeys) {
      if (lower.find(key.text) == std::string::npos) continue;
      const std::string value = line.substr(line.find('=') + 1);
      if (!value.empty()) Assign(para, key.key, value);
      break;
    }
  }
}

bool ReadPropagationParaFile(const std::string& path, CPropagationPara& para) {
  std::ifstream in(path, std::ios::binary);
  if (!in || path::IsDirectory(path)) return false;
  ReadPropagationPara(in, para);
  return true;
}

void WritePropagationPara(std::ostream& out, const CPropagationPara& para) {
  out << "PairFile=" << para.pair_file << "\n"
      << "ResultFile=" << para.result_file << "\n"
      << "ClusterFile=" << para.cluster_file << "\n"
      << "DTAPath=" << para.dta_path << "\n"
      << "ModCounT=" << para.mod_count << "\n"
      << "IsModSiteDetermined=" << para.is_mod_site_determined << "\n"
      << "IsDirectory=" << para.is_directory << "\n";
  if (!para.fdr_level.empty()) out << "FdrLevel=" << para.fdr_level << "\n";
  if (!para.score_threshold.empty()) out << "ScoreThreshold=" << para.score_threshold << "\n";
  if (!para.decoy_prefix.empty()) out << "DecoyPrefix=" << para.decoy_prefix << "\n";
}

bool FilterFromPara(const CPropagationPara& para, CIdentificationFilter& filter,
                    std::string& message) {
  return FilterFromChoice({para.fdr_level, para.score_threshold, para.decoy_prefix}, filter, message);
}

bool WritePropagationParaFile(const std::string& path, const CPropagationPara& para) {
  // Whole or not at all: a half-written file would still read as a job.
  std::ostringstream out;
  WritePropagationPara(out, para);
  return safefile::WriteWholeFile(path, out.str());
}

std::string ProposeParaFileName(const std::string& pair_path) {
  std::string spaced = pair_path;
  for (char& c : spaced) {
    if (c == '\\' || c == '/') c = ' ';
  }
  const std::size_t space = spaced.rfind(' ');
  const std::string last = space == std::string::npos ? spaced : spaced.substr(space + 1);
  return last.size() >= 4 ? last.substr(0, last.size() - 4) : std::string();
}

bool CheckParaPaths(const CPropagationPara& para, std::string& message) {
  auto missing = [&message](const std::string& p) {
    message = "File: " + p + " does not exist!";
    return false;
  };
  if (!path::Exists(para.result_file)) return missing(para.result_file);
  if (!path::Exists(para.pair_file)) return missing(para.pair_file);
  if (!para.dta_path.empty() && !path::Exists(para.dta_path)) return missing(para.dta_path);
  if (!para.cluster_file.empty() && !path::Exists(para.cluster_file))
    return missing(para.cluster_file);
  message.clear();
  return true;
}

std::string OutputBaseOf(const std::string& para_path) {
  if (para_path.size() >= 5 && text::EqualsNoCase(para_path.substr(para_path.size() - 5), ".para"))
    return para_path.substr(0, para_path.size() - 5);
  return para_path;
}
