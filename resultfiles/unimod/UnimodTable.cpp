#include "resultfiles/unimod/UnimodTable.h"

#include <tinyxml.h>

#include <algorithm>
#include <fstream>
#include <numeric>
#include <sstream>

#include "common/TextUtil.h"

namespace {

std::string TextOf(const TiXmlElement* element) {
  if (element == nullptr || element->GetText() == nullptr) return std::string();
  return element->GetText();
}

// Older Unimod exports escaped the arrow of substitution names twice, so the
// parsed text still reads "-&gt;".
std::string WithArrows(std::string text) {
  const std::string escaped = "-&gt;";
  for (std::size_t at = text.find(escaped); at != std::string::npos; at = text.find(escaped, at)) {
    text.replace(at, escaped.size(), "->");
    at += 2;
  }
  return text;
}

void ReadSpecificities(const TiXmlElement* list, UnimodEntry& entry) {
  if (list == nullptr) return;
  if (const TiXmlAttribute* count = list->FirstAttribute()) entry.specificityCount = text::AtoI(count->Value());
  for (const TiXmlElement* item = list->FirstChildElement(); item; item = item->NextSiblingElement()) {
    const TiXmlElement* field = item->FirstChildElement();
    entry.sites.push_back(TextOf(field));
    field = field ? field->NextSiblingElement() : nullptr;
    entry.positions.push_back(TextOf(field));
    field = field ? field->NextSiblingElement() : nullptr;
    entry.classifications.push_back(TextOf(field));
  }
}

UnimodEntry ReadEntry(const TiXmlElement* element) {
  std::vector<const TiXmlElement*> fields(8, nullptr);
  const TiXmlElement* child = element->FirstChildElement();
  for (std::size_t i = 0; i < fields.size() && child; ++i, child = child->NextSiblingElement()) fields[i] = child;

  UnimodEntry entry;
  entry.key = TextOf(fields[0]);
  entry.psiMsName = TextOf(fields[1]);
  entry.interimName = WithArrows(TextOf(fields[2]));
  entry.composition = TextOf(fields[3]);
  entry.description = WithArrows(TextOf(fields[4]));
  entry.monoMassText = TextOf(fields[5]);
  entry.monoMass = text::AtoF(entry.monoMassText);
  entry.averageMass = text::AtoF(TextOf(fields[6]));
  ReadSpecificities(fields[7], entry);
  return entry;
}

}  // namespace

void CUnimodTable::Clear() {
  entries_.clear();
  mono_ = MassIndex();
  average_ = MassIndex();
  error_.clear();
}

bool CUnimodTable::Load(const std::string& path) {
  path_ = path;
  std::ifstream in;
  if (!text::OpenInput(in, path)) {
    Clear();
    error_ = "Can not open file:" + path;
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  const bool ok = Parse(content.str());
  if (!ok) error_ = path + ": " + error_;
  return ok;
}

bool CUnimodTable::Parse(const std::string& xml) {
  Clear();
  TiXmlDocument document;
  document.Parse(xml.c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (document.Error()) {
    std::ostringstream why;
    why << document.ErrorDesc() << " at line " << document.ErrorRow();
    error_ = why.str();
    return false;
  }
  const TiXmlElement* root = document.FirstChildElement();
  const TiXmlElement* list = root ? root->FirstChildElement() : nullptr;
  if (list == nullptr || list->FirstAttribute() == nullptr) {
    error_ = "no list of modifications";
    return false;
  }
  const int declared = text::AtoI(list->FirstAttribute()->Value());
  for (const TiXmlElement* item = list->FirstChildElement(); item; item = item->NextSiblingElement())
    entries_.push_back(ReadEntry(item));

  // A count that disagrees with the list is not trusted beyond the entries
  // that are really there.
  const std::size_t count = std::min(entries_.size(), static_cast<std::size_t>(std::max(declared, 0)));
  mono_ = Sorted(entries_, count, &UnimodEntry::monoMass);
  average_ = Sorted(entries_, count, &UnimodEntry::averageMass);
  return true;
}

CUnimodTable::MassIndex CUnimodTable::Sorted(const std::vector<UnimodEntry>& entries, std::size_t count,
                                             double UnimodEntry::*mass) {
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return entries[a].*mass < entries[b].*mass; });
  MassIndex index;
  index.where = order;
  for (std::size_t position : order) index.masses.push_back(entries[position].*mass);
  return index;
}

void CUnimodTable::CollectRange(double low, double high, std::vector<UnimodEntry>& hits) const {
  const auto first = std::lower_bound(mono_.masses.begin(), mono_.masses.end(), low);
  const auto last = std::upper_bound(first, mono_.masses.end(), high);
  // Positions go through the index, so a file not ordered by mass still
  // yields the entries whose masses matched.
  for (auto it = first; it != last; ++it)
    hits.push_back(entries_[mono_.where[static_cast<std::size_t>(it - mono_.masses.begin())]]);
}

void CUnimodTable::Lookup(double deltaMass, double tolerance, std::vector<UnimodEntry>& hits) const {
  CollectRange(deltaMass - tolerance, deltaMass + tolerance, hits);
  CollectRange(-deltaMass - tolerance, -deltaMass + tolerance, hits);
}

namespace {

// "CUSTOM" followed by one or more digits.
bool IsCustomName(const std::string& name) {
  constexpr std::size_t kPrefix = 6;
  if (name.size() <= kPrefix || name.compare(0, kPrefix, "CUSTOM") != 0) return false;
  return std::all_of(name.begin() + kPrefix, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool CUnimodTable::IsPlaceholder(const UnimodEntry& entry) {
  return IsCustomName(entry.psiMsName) || IsCustomName(entry.interimName);
}

void CUnimodTable::LookupModifications(double deltaMass, double tolerance, std::vector<UnimodEntry>& hits) const {
  const std::size_t first = hits.size();
  Lookup(deltaMass, tolerance, hits);
  hits.erase(std::remove_if(hits.begin() + static_cast<std::ptrdiff_t>(first), hits.end(), IsPlaceholder),
             hits.end());
}
