#include "drivers/search/CometParams.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "drivers/search/CometProcess.h"
#include "drivers/search/ShiftBatches.h"

namespace search {

namespace {

// The key of a "key = value" line; empty for comments and blank lines.
std::string KeyOf(const std::string& line) {
  const std::string trimmed = text::Trim(line);
  if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == '[') return std::string();
  const std::size_t equals = trimmed.find('=');
  return equals == std::string::npos ? std::string() : text::Trim(trimmed.substr(0, equals));
}

}  // namespace

bool CCometParams::Read(const std::string& path, std::string& error) {
  std::ifstream in;
  if (!text::OpenInput(in, path)) {
    error = "Cannot open Comet's parameter file " + path;
    return false;
  }
  lines_.clear();
  for (std::string line; text::ReadLine(in, line);) lines_.push_back(line);
  return true;
}

void CCometParams::FromText(const std::string& text) {
  std::istringstream in(text);
  lines_.clear();
  for (std::string line; text::ReadLine(in, line);) lines_.push_back(line);
}

std::string CCometParams::Text() const {
  std::string text;
  for (const std::string& line : lines_) text += line + "\n";
  return text;
}

bool CCometParams::Write(const std::string& path, std::string& error) const {
  return safefile::WriteWholeFile(path, Text(), &error);
}

std::string CCometParams::Get(const std::string& key) const {
  for (const std::string& line : lines_) {
    if (KeyOf(line) != key) continue;
    std::string value = line.substr(line.find('=') + 1);
    const std::size_t comment = value.find('#');
    if (comment != std::string::npos) value.erase(comment);
    return text::Trim(value);
  }
  return std::string();
}

void CCometParams::Set(const std::string& key, const std::string& value) {
  for (std::string& line : lines_) {
    if (KeyOf(line) == key) {
      line = key + " = " + value;
      return;
    }
  }
  lines_.push_back(key + " = " + value);
}

std::map<char, double> CCometParams::StaticAdditions() const {
  std::map<char, double> additions;
  for (const std::string& line : lines_) {
    const std::string key = KeyOf(line);
    // "add_C_cysteine", not the termini ("add_Nterm_peptide").
    if (key.size() > 6 && key.compare(0, 4, "add_") == 0 && key[5] == '_' && key[4] >= 'A' && key[4] <= 'Z')
      additions[key[4]] = text::AtoF(Get(key));
  }
  return additions;
}

bool FastaHasDecoys(const std::string& fasta) {
  std::ifstream in;
  if (!text::OpenInput(in, fasta)) return false;
  for (std::string line; text::ReadLine(in, line);) {
    if (line.empty() || line[0] != '>') continue;
    for (const char* prefix : {"DECOY_", "rev_", "XXX_"})
      if (text::StartsWith(std::string_view(line).substr(1), prefix)) return true;
  }
  return false;
}

bool DefaultParams(const std::string& comet, const std::string& folder, CCometParams& params, std::string& error) {
  const std::string printed = path::Join(folder, "comet.params.new");
  CCometRun run;
  run.program = comet;
  run.args = {"-p"};
  run.working_folder = folder;
  run.log = path::Join(folder, "comet-p.log");
  const bool ran = RunComet(run, error);
  path::RemoveFile(run.log);
  if (!ran) return false;
  const bool read = params.Read(printed, error);
  path::RemoveFile(printed);
  if (!read) error = "Comet printed no parameters (" + comet + " -p)";
  return read;
}

void SetSearch(CCometParams& params, const std::string& fasta, int threads) {
  params.Set("database_name", path::Absolute(fasta));
  params.Set("decoy_search", FastaHasDecoys(fasta) ? "0" : "1");
  params.Set("num_threads", std::to_string(threads));
  params.Set("num_output_lines", "1");
}

void SetShiftMods(CCometParams& params, const std::vector<CShiftMod>& mods) {
  params.Set("max_variable_mods_in_peptide", "3");
  int slot = 2;
  for (const CShiftMod& mod : mods) {
    if (slot > 9) break;
    char key[32], value[96];
    std::snprintf(key, sizeof key, "variable_mod%02d", slot++);
    std::snprintf(value, sizeof value, "%.6f %c 0 2 -1 0 0 0.0", mod.mass, mod.residue);
    params.Set(key, value);
  }
}

}  // namespace search
