#include "resultfiles/unimod/UnimodConvert.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace unimod {
namespace {

// TinyXML does not resolve namespaces; the official file prefixes every
// element with "umod:", so elements are matched by their local name.
bool IsNamed(const TiXmlElement* element, const char* local) {
  const std::string name = element->ValueStr();
  const std::size_t colon = name.find(':');
  return (colon == std::string::npos ? name : name.substr(colon + 1)) == local;
}

const TiXmlElement* Child(const TiXmlElement* parent, const char* local) {
  for (const TiXmlElement* e = parent ? parent->FirstChildElement() : nullptr; e; e = e->NextSiblingElement())
    if (IsNamed(e, local)) return e;
  return nullptr;
}

std::string Attribute(const TiXmlElement* element, const char* name) {
  const char* value = element ? element->Attribute(name) : nullptr;
  return value ? value : "";
}

void AddField(TiXmlElement& parent, const char* name, const std::string& value) {
  TiXmlElement field(name);
  if (!value.empty()) field.InsertEndChild(TiXmlText(value));
  parent.InsertEndChild(field);
}

struct Record {
  double mass = 0.0;
  TiXmlElement element{"mod"};
};

Record MakeRecord(const TiXmlElement* mod, const TiXmlElement* delta) {
  Record record;
  record.mass = std::atof(Attribute(delta, "mono_mass").c_str());
  TiXmlElement& out = record.element;
  // Unimod's exchange file carries one short name, the title: the PSI-MS
  // name where one was agreed, the interim name otherwise. Both fields get it.
  AddField(out, "record_id", Attribute(mod, "record_id"));
  AddField(out, "psi_ms_name", Attribute(mod, "title"));
  AddField(out, "interim_name", Attribute(mod, "title"));
  AddField(out, "composition", Attribute(delta, "composition"));
  AddField(out, "description", Attribute(mod, "full_name"));
  AddField(out, "mono_mass", Attribute(delta, "mono_mass"));
  AddField(out, "avge_mass", Attribute(delta, "avge_mass"));
  TiXmlElement sites("specificities");
  int count = 0;
  for (const TiXmlElement* e = mod->FirstChildElement(); e; e = e->NextSiblingElement()) {
    if (!IsNamed(e, "specificity")) continue;
    TiXmlElement site("specificity");
    AddField(site, "site", Attribute(e, "site"));
    AddField(site, "position", Attribute(e, "position"));
    AddField(site, "classification", Attribute(e, "classification"));
    sites.InsertEndChild(site);
    ++count;
  }
  sites.SetAttribute("count", count);
  out.InsertEndChild(sites);
  return record;
}

}  // namespace

ConvertResult ConvertText(const std::string& officialXml, std::string& monoXml) {
  ConvertResult result;
  TiXmlDocument official;
  official.Parse(officialXml.c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (official.Error()) {
    std::ostringstream why;
    why << official.ErrorDesc() << " at line " << official.ErrorRow();
    result.error = why.str();
    return result;
  }
  const TiXmlElement* root = official.FirstChildElement();
  if (root == nullptr || !IsNamed(root, "unimod")) {
    result.error = "not a Unimod file (no unimod root element)";
    return result;
  }
  const TiXmlElement* modifications = Child(root, "modifications");
  if (modifications == nullptr) {
    result.error = "no modifications element";
    return result;
  }

  std::vector<Record> records;
  for (const TiXmlElement* mod = modifications->FirstChildElement(); mod; mod = mod->NextSiblingElement()) {
    if (!IsNamed(mod, "mod")) continue;
    const TiXmlElement* delta = Child(mod, "delta");
    if (delta == nullptr || delta->Attribute("mono_mass") == nullptr) {
      ++result.skipped;
      continue;
    }
    result.newest = std::max(result.newest, Attribute(mod, "date_time_modified"));
    records.push_back(MakeRecord(mod, delta));
  }
  std::vector<std::size_t> order(records.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return records[a].mass < records[b].mass; });

  TiXmlDocument mono;
  mono.InsertEndChild(TiXmlDeclaration("1.0", "UTF-8", ""));
  // The official file opens with Unimod's copyright and licence notice; it
  // travels with every copy.
  for (const TiXmlNode* node = official.FirstChild(); node && node != root; node = node->NextSibling())
    if (node->ToComment()) mono.InsertEndChild(*node);
  const std::string about = "Unimod modifications in ascending monoisotopic mass; " +
                            std::to_string(records.size()) + " records, newest modified " +
                            (result.newest.empty() ? std::string("(unknown)") : result.newest) +
                            ". Made by unimod-mono from the official unimod.xml.";
  mono.InsertEndChild(TiXmlComment(about.c_str()));
  TiXmlElement top("unimod_mono");
  TiXmlElement list("modifications");
  list.SetAttribute("count", static_cast<int>(records.size()));
  for (std::size_t i : order) list.InsertEndChild(records[i].element);
  top.InsertEndChild(list);
  mono.InsertEndChild(top);

  TiXmlPrinter printer;
  printer.SetIndent("  ");
  mono.Accept(&printer);
  monoXml = printer.Str();
  result.written = static_cast<int>(records.size());
  result.ok = true;
  return result;
}

ConvertResult ConvertFile(const std::string& officialPath, const std::string& monoPath) {
  ConvertResult result;
  std::ifstream in(officialPath, std::ios::binary);
  if (!in) {
    result.error = "Cannot open file: " + officialPath;
    return result;
  }
  std::ostringstream content;
  content << in.rdbuf();
  std::string mono;
  result = ConvertText(content.str(), mono);
  if (!result.ok) {
    result.error = officialPath + ": " + result.error;
    return result;
  }
  std::ofstream out(monoPath, std::ios::binary | std::ios::trunc);
  out << mono;
  out.close();
  if (!out) {
    result.ok = false;
    result.error = "Cannot write file: " + monoPath;
  }
  return result;
}

}  // namespace unimod
