#include "propagation/PeptideText.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "common/TextUtil.h"

namespace peptide_text {

std::string Sequence(const std::string& identification) {
  const std::size_t space = identification.find(' ');
  // A text that starts with a space has no sequence of its own; the whole
  // text is taken, as the result files were always read.
  if (space == std::string::npos || space == 0) return identification;
  return identification.substr(0, space);
}

std::string PeptideKey(const std::string& identification) {
  std::string key = Sequence(identification);
  std::replace(key.begin(), key.end(), 'L', 'I');
  return key;
}

bool SamePeptide(const std::string& a, const std::string& b) {
  // Cut at the first space exactly (a leading space leaves an empty
  // sequence), then read L as I.
  std::string x = a.substr(0, a.find(' '));
  std::string y = b.substr(0, b.find(' '));
  std::replace(x.begin(), x.end(), 'L', 'I');
  std::replace(y.begin(), y.end(), 'L', 'I');
  if (x == y) return true;
  if (x.find(y) != std::string::npos || y.find(x) != std::string::npos) return true;
  if (x.size() != y.size() || x.empty()) return false;
  std::size_t differences = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (x[i] != y[i] && ++differences > 1) return false;
  }
  return differences == 1;
}

std::string NameTail(const std::string& name) {
  const std::string stem = name.size() >= 4 ? name.substr(0, name.size() - 4) : name;
  const std::size_t first = stem.find('.');
  if (first == std::string::npos) return stem;
  const std::size_t second = stem.find('.', first + 1);
  if (second == std::string::npos) return stem;
  return stem.substr(second + 1);
}

std::string ClusterLabel(const std::vector<std::string>& members) {
  if (members.empty()) return std::string();
  const std::size_t n = members.size();
  return NameTail(members[0]) + "-" + NameTail(members[n / 2]) + "-" + NameTail(members[n - 1]) +
         ".DTA";
}

namespace {

// One item: "<position>[,<modification number or mass>[,<mark>]]".
CItem ParseItem(const std::string& item_text, std::size_t offset,
                const ModificationList& modifications) {
  CItem item;
  item.text = item_text;
  item.offset = offset;
  const std::vector<std::string> fields = text::Split(item_text, ',');
  item.position = text::AtoI(fields[0]);
  if (fields.size() >= 2) {
    const std::string& second = fields[1];
    if (second.find('.') != std::string::npos) {
      item.mass = text::AtoF(second);
      item.has_mass = true;
    } else {
      const int number = text::AtoI(second);
      if (number >= 1 && static_cast<std::size_t>(number) <= modifications.size()) {
        item.mass = modifications[static_cast<std::size_t>(number) - 1].second;
        item.has_mass = true;
      }
    }
  }
  if (fields.size() >= 3) item.mark = text::AtoI(fields[2]);
  return item;
}

}  // namespace

std::vector<CItem> ParseItems(const std::string& identification,
                              const ModificationList& modifications) {
  std::vector<CItem> items;
  const std::size_t space = identification.find(' ');
  if (space == std::string::npos) return items;
  // Runs of spaces leave empty pieces between the items; the offsets count them.
  std::size_t offset = space + 1;
  for (const std::string& piece : text::Split(std::string_view(identification).substr(space + 1), ' ')) {
    if (!piece.empty()) items.push_back(ParseItem(piece, offset, modifications));
    offset += piece.size() + 1;
  }
  return items;
}

std::string WithPositions(const std::string& identification, const std::vector<CItem>& items,
                          const std::vector<std::pair<std::size_t, int>>& sites) {
  std::vector<std::pair<std::size_t, int>> ordered = sites;
  // From the back, so that the offsets of the items still to be replaced hold.
  std::sort(ordered.begin(), ordered.end(),
            [&items](const auto& x, const auto& y) { return items[x.first].offset > items[y.first].offset; });
  std::string placed = identification;
  for (const auto& [index, site] : ordered) {
    const CItem& item = items[index];
    const std::size_t comma = item.text.find(',');
    const std::size_t length = comma == std::string::npos ? item.text.size() : comma;
    placed.replace(item.offset, length, std::to_string(site));
  }
  return placed;
}

std::string SpectrumPath(const std::string& data_path, const std::string& name) {
  if (data_path.empty()) return name;
  const char last = data_path.back();
  if (last == '/' || last == '\\') return data_path + name;
  return data_path + "/" + name;
}

int ChooseSite(const std::vector<double>& scores, std::vector<int>* ties) {
  if (ties) ties->clear();
  if (scores.empty()) return -1;
  const double best = *std::max_element(scores.begin(), scores.end());
  int first = -1;
  for (std::size_t i = 0; i < scores.size(); ++i) {
    if (scores[i] == best) {
      if (first < 0) first = static_cast<int>(i);
      if (ties) ties->push_back(static_cast<int>(i));
    }
  }
  const int last = static_cast<int>(scores.size()) - 1;
  if (scores[0] == best) return 0;
  if (scores[static_cast<std::size_t>(last)] == best) return last;
  return first;
}

void WeighModifications(ModificationList& modifications, const std::vector<CModification>& table) {
  for (auto& entry : modifications) {
    if (entry.second != -1.0) continue;
    for (const CModification& record : table) {
      if (record.name == entry.first) {
        entry.second = record.mass;
        break;
      }
    }
  }
}

}  // namespace peptide_text
