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

// An identification of `from`'s modification numbers in those of `into`,
// names new to `into` added at its end.
std::string Renumbered(const std::string& identification, const ModificationList& from, ModificationList& into) {
  const std::vector<std::string> fields = text::Split(identification, ' ');
  if (fields.empty()) return identification;
  std::string text = fields[0];
  for (std::size_t f = 1; f < fields.size(); ++f) {
    const std::size_t comma = fields[f].find(',');
    const long number = comma == std::string::npos ? 0 : std::atol(fields[f].c_str() + comma + 1);
    if (number < 1 || static_cast<std::size_t>(number) > from.size()) {
      text += ' ' + fields[f];
      continue;
    }
    const auto& modification = from[number - 1];
    std::size_t at = 0;
    while (at < into.size() && into[at].first != modification.first) ++at;
    if (at == into.size()) into.push_back(modification);
    text += ' ' + fields[f].substr(0, comma + 1) + std::to_string(at + 1);
  }
  return text;
}

}  // namespace

int MergeIdentifications(CIdentifications& into, CIdentifications more) {
  int differing = 0;
  const bool comparable = into.score_kind >= 0 && into.score_kind == more.score_kind;
  for (auto& [key, identification] : more.results) {
    std::string text = Renumbered(identification, more.modifications, into.modifications);
    const auto score = more.scores.find(key);
    const auto [held, fresh] = into.results.emplace(key, text);
    if (fresh) {
      if (auto spelled = more.spellings.find(key); spelled != more.spellings.end())
        into.spellings.emplace(key, spelled->second);
      if (score != more.scores.end()) into.scores[key] = score->second;
      continue;
    }
    if (!HasPeptide(text) || held->second == text) continue;
    if (!HasPeptide(held->second)) {
      held->second = std::move(text);
      continue;
    }
    ++differing;
    const auto kept = into.scores.find(key);
    if (comparable && score != more.scores.end() && kept != into.scores.end() &&
        (LowerScoreIsBetter(into.score_kind) ? score->second < kept->second : score->second > kept->second)) {
      held->second = std::move(text);
      kept->second = score->second;
    }
  }
  if (into.score_kind != more.score_kind) into.score_kind = -1;
  if (into.data_path.empty()) into.data_path = std::move(more.data_path);
  into.report.insert(into.report.end(), more.report.begin(), more.report.end());
  return differing;
}

bool LoadIdentificationsOf(const std::vector<std::string>& paths, const CIdentificationFilter& filter,
                           CIdentifications& out, std::string& error) {
  int differing = 0;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    CIdentifications one;
    const bool read = LoadIdentifications(paths[i], filter, one, error);
    if (i == 0) {
      out = std::move(one);
    } else {
      differing += MergeIdentifications(out, std::move(one));
    }
    if (!read) return false;
  }
  if (differing > 0) {
    notify::Message("Warning: " + std::to_string(differing) +
                    (differing == 1 ? " spectrum is" : " spectra are") +
                    " identified with different peptides by two result files; the identification of better "
                    "score is kept");
  }
  return true;
}

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
    out.score_kind = search->ScoreKind();
    for (const auto& [name, score] : search->KeptScores()) out.scores[ResultSpectrumKey(name)] = score;
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
