#include <fstream>

#include "common/DtaName.h"
#include "common/Notifier.h"
#include "common/TextUtil.h"
#include "resultfiles/ResultFile.h"
#include "resultfiles/SearchResultFile.h"

CResultFile::~CResultFile() = default;

std::string ResultSpectrumName(const std::string& name) {
  // The empty name of a malformed record stays empty.
  return msdata::HasUnsafeNameCharacters(name) ? msdata::SafeSpectrumName(name) : name;
}

std::string ResultSpectrumKey(const std::string& name) { return text::ToUpper(ResultSpectrumName(name)); }

const std::string& SpelledName(const NameSpellings& spellings, const std::string& key) {
  const auto found = spellings.find(key);
  return found == spellings.end() ? key : found->second;
}

namespace {

// Remembers how a file wrote `name` under the key it is read by.
void Learn(NameSpellings* spellings, const std::string& key, const std::string& name) {
  if (spellings && !key.empty()) (*spellings)[key] = name;
}

const std::string& FieldOrEmpty(const std::vector<std::string>& fields, std::size_t index) {
  static const std::string kEmpty;
  return index < fields.size() ? fields[index] : kEmpty;
}

}  // namespace

CResultFile* CResultFileFactory::GetResult(std::string path) const {
  const std::string upper = text::ToUpper(path);
  const std::size_t dot = upper.rfind('.');
  if (dot == std::string::npos) return nullptr;
  const std::string extension = upper.substr(dot);
  if (extension == ".TAGRAM") return new CTagramResultFile();
  if (extension == ".SPECTRA") return new CKilnResultFile();
  // ".pep.xml" has the last extension ".xml"; other XML files are no results.
  if (extension == ".PEPXML" || (extension == ".XML" && text::EndsWith(upper, ".PEP.XML")))
    return new CPepXmlResultFile();
  if (extension == ".MZID" || extension == ".MZIDENTML") return new CMzIdentMlResultFile();
  return nullptr;
}

void CResultFileFactory::GetPair_(std::string path, std::vector<std::string>& names,
                                  std::vector<double>& shifts, std::vector<std::int32_t>& marks,
                                  NameSpellings* spellings) const {
  std::ifstream in;
  if (!text::OpenInput(in, path)) {
    notify::Message("Can not read file:" + path);
    return;
  }
  names.clear();
  shifts.clear();
  marks.clear();
  std::string line;
  while (text::ReadLine(in, line)) {
    const std::vector<std::string> fields = text::Split(text::ToUpper(line), ',');
    marks.push_back(fields.size() == 7 ? text::AtoI(fields[6]) : -1);
    names.push_back(FieldOrEmpty(fields, 0));
    names.push_back(FieldOrEmpty(fields, 2));
    if (spellings) {
      const std::vector<std::string> written = text::Split(line, ',');
      Learn(spellings, names[names.size() - 2], FieldOrEmpty(written, 0));
      Learn(spellings, names.back(), FieldOrEmpty(written, 2));
    }
    shifts.push_back(text::AtoF(FieldOrEmpty(fields, 4)));
  }
}

void CResultFileFactory::ReadClusterFile_(std::string path, ClusterMap& clusters,
                                          NameSpellings* spellings) const {
  std::ifstream in;
  if (!text::OpenInput(in, path)) {
    notify::Message("Can not read file:" + path);
    return;
  }
  clusters.clear();
  std::string line;
  while (text::ReadLine(in, line)) {
    const std::vector<std::string> fields = text::Split(line, ',');
    const std::string name = text::ToUpper(FieldOrEmpty(fields, 1));
    Learn(spellings, name, FieldOrEmpty(fields, 1));
    const std::int32_t number = text::AtoI(FieldOrEmpty(fields, 2));
    clusters[number].push_back(name);
  }
}
