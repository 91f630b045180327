#include "resultfiles/Identifications.h"

#include <cmath>
#include <cstdlib>
#include <memory>

#include "common/Notifier.h"
#include "common/TextUtil.h"

namespace {

// A whole-text number ("0.01", "1e-3"); "1%" when `percent` allows it.
bool ParseValue(std::string text, double& value, bool percent) {
  text = text::Trim(text);
  double scale = 1.0;
  if (percent && !text.empty() && text.back() == '%') {
    text.pop_back();
    scale = 0.01;
  }
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end) * scale;
  return *end == '\0' && std::isfinite(value);
}

// Readers such as Tagram's keep names as the file wrote them; joined with
// other files they are matched without regard to case.
void KeyForJoining(const std::string& path, ResultMap& results, NameSpellings& spellings) {
  ResultMap keyed;
  std::size_t merged = 0;
  std::string first;
  for (auto& [name, identification] : results) {
    const std::string key = ResultSpectrumKey(name);
    if (keyed.emplace(key, std::move(identification)).second) spellings[key] = name;
    else if (merged++ == 0) first = key;
  }
  results.swap(keyed);
  if (merged > 0) {
    notify::Message("Warning: " + path + " gives " + std::to_string(merged) +
                    (merged == 1 ? " spectrum name" : " spectrum names") +
                    " in another case too; names are matched without regard to case, and the first "
                    "of each is kept (first: " + first + ")");
  }
}

}  // namespace

bool FilterFromChoice(const CFilterChoice& choice, CIdentificationFilter& filter, std::string& message) {
  if (!choice.fdr_level.empty()) {
    double level = 0.0;
    if (!ParseValue(choice.fdr_level, level, true) || level <= 0.0 || level > 1.0) {
      message = "FDR level " + choice.fdr_level + " is not a fraction between 0 and 1 (0.01 or 1%)";
      return false;
    }
    filter.fdr_level = level;
  }
  if (!choice.score_threshold.empty()) {
    if (!ParseValue(choice.score_threshold, filter.score_threshold, false)) {
      message = "Score threshold " + choice.score_threshold + " is not a number";
      return false;
    }
    filter.has_score_threshold = true;
  }
  if (!choice.decoy_prefix.empty()) {
    filter.decoy_prefixes.clear();
    for (const std::string& field : text::Split(choice.decoy_prefix, ',')) {
      const std::string prefix = text::Trim(field);
      if (!prefix.empty()) filter.decoy_prefixes.push_back(prefix);
    }
  }
  message.clear();
  return true;
}

bool LoadIdentifications(const std::string& path, const CIdentificationFilter& filter, CIdentifications& out,
                         std::string& error) {
  std::unique_ptr<CResultFile> reader(CResultFileFactory().GetResult(path));
  if (!reader) {
    error = "Unknown result file type:" + path;
    return false;
  }
  auto* search = dynamic_cast<CSearchResultFile*>(reader.get());
  if (search) search->SetFilter(filter);
  reader->LoadResult(path, out.results, out.data_path, out.modifications);
  KeyForJoining(path, out.results, out.spellings);
  if (search) {
    out.report = search->Report();
    // A file read in part is no basis for anything built on it.
    if (!search->Succeeded()) {
      error = "Cannot read all identifications of " + path;
      return false;
    }
  }
  error.clear();
  return true;
}

bool HasPeptide(const std::string& identification) {
  return !identification.empty() && identification[0] != ' ';
}
