#include "propagation/Propagation.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <system_error>

#include "common/Notifier.h"
#include "common/OptionTool.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "propagation/InnerPropagation.h"
#include "propagation/InterPropagation.h"
#include "propagation/PairErrorRate.h"
#include "propagation/PropagationInternal.h"
#include "propagation/RunProvenance.h"
#include "resultfiles/Identifications.h"
#include "scoring/Modification.h"

namespace fs = std::filesystem;

// The job's reports. Each is created under its temporary name before the
// work, so that an unwritable folder is said at once rather than after the
// passes; the texts are kept in memory and written whole at the end.
class CPropagation::CReports {
 public:
  // Creates `outputs` as JobOutputs names them; false (with a message) when
  // one cannot be created.
  bool Open(const std::vector<std::string>& outputs, bool with_inner) {
    std::size_t next_output = 0;
    for (safefile::CSafeFile* file : Files(with_inner)) {
      if (!file) continue;
      const std::string& path = outputs[next_output++];
      if (!file->Open(path, "wb")) {
        notify::Message("Can not save file:" + path + " (" + file->Error() + ")");
        return false;
      }
    }
    with_inner_ = with_inner;
    return true;
  }

  // Writes every report whole and adds its path to `written`; false (with
  // a message) when one could not be written, the others are still written.
  bool Commit(std::vector<std::string>& written) {
    bool all_written = true;
    const std::string* texts[] = {&inner, &copy, &inter};
    std::size_t i = 0;
    for (safefile::CSafeFile* file : Files(with_inner_)) {
      const std::string& text = *texts[i++];
      if (!file) continue;
      const bool ok =
          std::fwrite(text.data(), 1, text.size(), file->Get()) == text.size() && file->Commit();
      if (ok) {
        written.push_back(file->Path());
      } else {
        notify::Message("Can not save file:" + file->Path() + " (" +
                        (file->Error().empty() ? std::string("write failed") : file->Error()) + ")");
        file->Abandon();
        all_written = false;
      }
    }
    return all_written;
  }

  std::string inner;  // "<base>_InnerPropagate.txt", with a cluster file
  std::string copy;   // "pair_with_result.txt"
  std::string inter;  // "<base>_InterPropagate.txt"

 private:
  std::vector<safefile::CSafeFile*> Files(bool with_inner) {
    return {with_inner ? &inner_file_ : nullptr, &copy_file_, &inter_file_};
  }

  safefile::CSafeFile inner_file_, copy_file_, inter_file_;
  bool with_inner_ = false;
};

CPropagation::CPropagation()
    : program_directory_(path::ProgramDirectory()), sites_(program_directory_) {}

std::vector<std::string> CPropagation::ListPairFiles(const std::string& pair_path) {
  std::vector<std::string> files;
  if (!path::IsDirectory(pair_path)) return files;
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(pair_path, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (it->is_directory(type_ec)) continue;
    const std::string name = it->path().filename().string();
    if (name.size() < 3) continue;
    const std::string tail = text::ToUpper(name.substr(name.size() - 3));
    if (tail != "CSV" && tail != "TXT") continue;
    // The job's own reports sit beside its inputs; read back as pairs they
    // would carry shifts with the sign of an earlier propagation.
    if (name == kPairCopyName || text::EndsWith(name, "_InnerPropagate.txt") ||
        text::EndsWith(name, "_InterPropagate.txt"))
      continue;
    names.push_back(name);
  }
  // The file system's order differs between systems; name order keeps runs
  // repeatable where later pair files build on earlier ones.
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) files.push_back(propagation_detail::JoinPath(pair_path, name));
  return files;
}

bool CPropagation::LoadResultFile(const std::string& result_file) {
  CIdentificationFilter filter;
  std::string message;
  if (!FilterFromPara(para_, filter, message)) {
    notify::Message(message);
    return false;
  }
  filter.modify_ini_directory = program_directory_;
  CIdentifications loaded;
  std::vector<std::string> files = {result_file};
  files.insert(files.end(), para_.more_result_files.begin(), para_.more_result_files.end());
  const bool read = LoadIdentificationsOf(files, filter, loaded, message);
  state_.results = std::move(loaded.results);
  // The pair and cluster files' spelling of a name comes first.
  for (auto& [key, name] : loaded.spellings) state_.spellings.emplace(key, std::move(name));
  state_.data_path = std::move(loaded.data_path);
  state_.modifications = std::move(loaded.modifications);
  state_.summary.result_report = std::move(loaded.report);
  if (!read) {
    // A reader's own failure is in its report; only a file no reader knows is said here.
    if (state_.summary.result_report.empty()) notify::Message(message);
    return false;
  }
  state_.summary.identified_before = 0;
  for (const auto& entry : state_.results) {
    if (!propagation_detail::HasPeptide(entry.second)) continue;
    ++state_.summary.identified_before;
    state_.search_runs[entry.first] = RunOfSpectrum(SpelledName(state_.spellings, entry.first));
    state_.search_identifications[entry.first] = entry.second;
  }
  return true;
}

void CPropagation::CountIdentifiedInJob(const std::vector<std::string>& names, const char* where) {
  CPropagationSummary& summary = state_.summary;
  std::set<std::string> seen;
  summary.identified_in_job = 0;
  for (const std::string& name : names) {
    if (!seen.insert(name).second) continue;
    const auto it = state_.results.find(name);
    if (it != state_.results.end() && propagation_detail::HasPeptide(it->second))
      ++summary.identified_in_job;
  }
  if (summary.identified_before > 0 && summary.identified_in_job == 0) {
    notify::Message("Warning: none of the " + std::to_string(summary.identified_before) +
                    " identifications of " + para_.result_file + " names a spectrum of the " +
                    where + "; were they made on another run?");
  }
}

namespace {

// "" when `path` is a file that can be read, else why not.
std::string UnreadableFile(const std::string& what, const std::string& path) {
  if (!path::Exists(path)) return what + ": File: " + path + " does not exist!";
  std::ifstream in;
  if (!text::OpenInput(in, path)) return what + ": Can not open file:" + path;
  return std::string();
}

// Every spectrum name the pair files list, in order.
std::vector<std::string> NamesInPairFiles(const std::vector<std::string>& pair_files) {
  std::vector<std::string> names;
  std::vector<double> shifts;
  std::vector<std::int32_t> marks;
  for (const std::string& pair_file : pair_files) {
    std::vector<std::string> more;
    CResultFileFactory().GetPair_(pair_file, more, shifts, marks);
    names.insert(names.end(), more.begin(), more.end());
  }
  return names;
}

}  // namespace

std::string CheckJobInputs(const CPropagationPara& para) {
  std::string why;
  std::vector<std::string> result_files = {para.result_file};
  result_files.insert(result_files.end(), para.more_result_files.begin(), para.more_result_files.end());
  for (const std::string& result_file : result_files) {
    why = UnreadableFile("Result file", result_file);
    if (!why.empty()) return why;
    if (!std::unique_ptr<CResultFile>(CResultFileFactory().GetResult(result_file)))
      return "Result file: Unknown result file type:" + result_file;
  }
  if (path::IsDirectory(para.pair_file)) {
    if (CPropagation::ListPairFiles(para.pair_file).empty())
      return "Pair files: no .csv or .txt file in the directory " + para.pair_file;
  } else {
    why = UnreadableFile("Pair file", para.pair_file);
    if (!why.empty()) return why;
  }
  if (!para.cluster_file.empty()) {
    why = UnreadableFile("Cluster file", para.cluster_file);
    if (!why.empty()) return why;
  }
  if (!para.dta_path.empty() && !path::Exists(para.dta_path))
    return "Data path: File: " + para.dta_path + " does not exist!";
  return std::string();
}

std::vector<std::string> JobOutputs(const CPropagationPara& para, const std::string& para_path) {
  const std::string base = OutputBaseOf(para_path);
  std::vector<std::string> outputs;
  if (!para.cluster_file.empty()) outputs.push_back(base + "_InnerPropagate.txt");
  outputs.push_back(CPropagation::kPairCopyName);
  outputs.push_back(base + "_InterPropagate.txt");
  return outputs;
}

std::string CheckJobOutputs(const CPropagationPara& para, const std::string& para_path,
                            const std::vector<std::string>& outputs) {
  std::vector<std::pair<const char*, std::string>> inputs = {
      {"parameter file", para_path}, {"result file", para.result_file}};
  for (const std::string& result_file : para.more_result_files) inputs.emplace_back("result file", result_file);
  if (!para.cluster_file.empty()) inputs.emplace_back("cluster file", para.cluster_file);
  const std::vector<std::string> listed = CPropagation::ListPairFiles(para.pair_file);
  if (listed.empty()) inputs.emplace_back("pair file", para.pair_file);
  for (const std::string& pair_file : listed) inputs.emplace_back("pair file", pair_file);
  for (const std::string& output : outputs) {
    for (const auto& [what, input] : inputs) {
      if (safefile::SameFile(output, input))
        return "Output file " + output + " is the job's " + what + " " + input +
               "; it would be overwritten. Choose another name or folder.";
    }
  }
  return std::string();
}

std::string FormatSummary(const CPropagation& job, bool absolute_paths) {
  return SummaryText(job.summary(), !job.para().cluster_file.empty(), job.determines_sites(),
                     absolute_paths);
}

bool CPropagation::SaveOutput(const std::string& path, const std::string& text) {
  std::string error;
  if (!safefile::WriteWholeFile(path, text, &error)) {
    notify::Message("Can not save file:" + path + " (" + error + ")");
    return false;
  }
  state_.summary.outputs.push_back(path);
  return true;
}

void CPropagation::AssessTransfers(const CTransferSettings& settings) {
  Progress("transfer confidence");
  std::vector<double> reference;
  transfers_ = ScoreTransfers(*this, settings, progress_, &reference);
  state_.summary.transfer_confidence =
      TransferSummaryText(transfers_, settings, reference) + PairErrorText(JobPairErrorRates(*this));
  CountRunTransfers(&transfers_, settings.max_q ? *settings.max_q : settings.level);
}

void CPropagation::Reset(bool determine_sites) {
  state_ = CPropagationState();
  transfers_.clear();
  para_ = CPropagationPara();
  determine_sites_ = determine_sites;
}

bool CPropagation::ReadPara(const std::string& para_path) {
  if (!ReadPropagationParaFile(para_path, para_)) {
    notify::Message("Can not open file:" + para_path);
    return false;
  }
  if (!override_.fdr_level.empty()) para_.fdr_level = override_.fdr_level;
  if (!override_.score_threshold.empty()) para_.score_threshold = override_.score_threshold;
  if (!override_.decoy_prefix.empty()) para_.decoy_prefix = override_.decoy_prefix;
  para_.more_result_files.insert(para_.more_result_files.end(), more_result_files_.begin(),
                                 more_result_files_.end());
  return true;
}

bool CPropagation::Run(const std::string& para_path, bool determine_sites) {
  Reset(determine_sites);
  if (!ReadPara(para_path)) return false;
  output_base_ = OutputBaseOf(para_path);
  const std::vector<std::string> listed = ListPairFiles(para_.pair_file);

  // Nothing is written until the inputs are known to be there: running the
  // passes on nothing would only replace earlier reports with empty ones.
  std::string problem = CheckJobInputs(para_);
  const std::vector<std::string> outputs = JobOutputs(para_, para_path);
  if (problem.empty()) problem = CheckJobOutputs(para_, para_path, outputs);
  if (!problem.empty()) {
    notify::Message(problem);
    return false;
  }
  const bool cluster_mode = !para_.cluster_file.empty();
  CReports reports;
  if (!reports.Open(outputs, cluster_mode)) return false;

  // A pair path that is no directory is its own one pair file.
  const bool pair_directory = !listed.empty();
  const std::vector<std::string> pair_files =
      pair_directory ? listed : std::vector<std::string>{para_.pair_file};
  const bool passes_ran = cluster_mode ? RunWithClusters(pair_files, reports)
                                       : RunWithoutClusters(pair_files, pair_directory, reports);
  if (!passes_ran) return false;

  CountRunTransfers(nullptr, 0.0);
  Progress("writing reports");
  return reports.Commit(state_.summary.outputs);
}

bool CPropagation::RunWithoutClusters(const std::vector<std::string>& pair_files,
                                      bool pair_directory, CReports& reports) {
  Progress("reading " + para_.result_file);
  if (!LoadResultFile(para_.result_file)) return false;
  std::vector<std::string> names;
  {
    notify::ScopedHandler quiet([](const std::string&) {});  // the passes report unreadable files
    names = NamesInPairFiles(pair_files);
  }
  CountIdentifiedInJob(names, "pair files");
  if (state_.data_path.empty()) state_.data_path = para_.dta_path;
  for (const std::string& pair_file : pair_files) {
    const ResultMap initial = state_.results;
    PropagatePairFile(pair_file, pair_files.size() > 1, false, reports);
    if (pair_directory) state_.results = initial;
  }
  return true;
}

bool CPropagation::RunWithClusters(const std::vector<std::string>& pair_files, CReports& reports) {
  Progress("inner propagation: " + para_.cluster_file);
  ResultMap cluster_results;
  if (!InnerPass(para_.cluster_file, para_.result_file, reports.inner, cluster_results)) return false;
  InstallClusterResults(std::move(cluster_results));
  if (state_.data_path.empty()) state_.data_path = para_.dta_path;
  for (const std::string& pair_file : pair_files)
    PropagatePairFile(pair_file, pair_files.size() > 1, true, reports);
  return true;
}

void CPropagation::PropagatePairFile(const std::string& pair_file, bool several, bool after_inner,
                                     CReports& reports) {
  std::string share;
  PropagatePairs(pair_file, determine_sites_, after_inner, reports.copy, share);
  if (several) {
    if (!reports.inter.empty()) reports.inter += "\n";
    reports.inter += "Pair file: " + pair_file + "\n";
  }
  reports.inter += share;
}

bool CPropagation::InnerPropagate(const std::string& cluster_file, const std::string& result_file) {
  std::string report;
  ResultMap cluster_results;
  if (!InnerPass(cluster_file, result_file, report, cluster_results)) return false;
  // An unwritten report leaves the identifications as read.
  if (!SaveOutput(output_base_ + "_InnerPropagate.txt", report)) return false;
  InstallClusterResults(std::move(cluster_results));
  return true;
}

bool CPropagation::InnerPass(const std::string& cluster_file, const std::string& result_file,
                             std::string& report, ResultMap& cluster_results) {
  ClusterMap clusters;
  CResultFileFactory().ReadClusterFile_(cluster_file, clusters, &state_.spellings);
  if (!LoadResultFile(result_file)) return false;
  std::vector<std::string> names;
  for (const auto& cluster : clusters) names.insert(names.end(), cluster.second.begin(), cluster.second.end());
  CountIdentifiedInJob(names, "cluster file");
  PropagateWithinClusters(clusters, state_, report, cluster_results);
  return true;
}

std::vector<std::string> CPropagation::SourceRuns(const std::string& name) const {
  std::set<std::string> runs;
  std::string at = name;
  // Each hop goes one pass back; the passes are few, a cycle is not followed.
  for (int hop = 0; hop < 256 && runs.empty(); ++hop) {
    const auto added = state_.added.find(at);
    if (added == state_.added.end()) break;
    const std::string& source = added->second.source;
    const auto members = state_.cluster_members.find(source);
    if (members != state_.cluster_members.end()) {
      for (const std::string& member : members->second) {
        const auto run = state_.search_runs.find(member);
        if (run != state_.search_runs.end() && !run->second.empty()) runs.insert(run->second);
      }
      // A cluster identified through pairs: its members were carried too.
      if (runs.empty() && members->second.front() != at) at = members->second.front();
      else break;
      continue;
    }
    if (const auto run = state_.search_runs.find(source); run != state_.search_runs.end()) {
      if (!run->second.empty()) runs.insert(run->second);
      break;
    }
    if (source == at) break;
    at = source;
  }
  return std::vector<std::string>(runs.begin(), runs.end());
}

void CPropagation::CountRunTransfers(const std::vector<CTransferRow>* rows, double level) {
  auto& between = state_.summary.transfers_between_runs;
  between.clear();
  for (const auto& [name, added] : state_.added) {
    const std::string target = RunOfSpectrum(PrintedName(name));
    if (target.empty()) continue;
    const bool within = std::string(added.via) == "cluster";
    for (const std::string& source : SourceRuns(name)) {
      CRunTransfers& counts = between[{source, target}];
      ++counts.propagated;
      ++(within ? counts.within_clusters : counts.through_pairs);
    }
  }
  if (!rows) return;
  state_.summary.transfers_scored = true;
  for (const CTransferRow& row : *rows) {
    if (!row.scored || row.q_value > level || row.run.empty()) continue;
    for (const std::string& source : text::Split(row.source_run, ','))
      if (!source.empty()) ++between[{source, row.run}].confident;
  }
}

std::string CPropagation::PrintedName(const std::string& name) const {
  const auto spelled = state_.spellings.find(name);
  if (spelled != state_.spellings.end()) return spelled->second;
  // A label is made of scan numbers and charges; its extension is its only
  // letters.
  if (state_.cluster_members.count(name) != 0 && text::EndsWith(name, ".DTA"))
    return name.substr(0, name.size() - 4) + ".dta";
  return name;
}

void CPropagation::InstallClusterResults(ResultMap cluster_results) {
  state_.results = std::move(cluster_results);
}

bool CPropagation::InterPropagate(const std::string& pair_file, bool determine_sites,
                                  bool after_inner) {
  std::string copy, report;
  PropagatePairs(pair_file, determine_sites, after_inner, copy, report);
  const bool copied = SaveOutput(kPairCopyName, copy);
  return SaveOutput(output_base_ + "_InterPropagate.txt", report) && copied;
}

void CPropagation::PropagatePairs(const std::string& pair_file, bool determine_sites,
                                  bool after_inner, std::string& copy, std::string& report) {
  FillModificationMasses();
  CPairPassSettings settings;
  settings.determine_sites = determine_sites;
  settings.after_inner = after_inner;
  settings.mod_count = para_.mod_count;
  settings.progress = progress_;
  PropagateAcrossPairs(pair_file, settings, state_, sites_, copy, report);
}

int CPropagation::DetermineSite(const std::string& identification, const std::string& name,
                                double shift, std::int32_t mark) {
  return sites_.DetermineSite(state_, identification, name, shift, mark);
}

std::string CPropagation::DetermineSites(const std::string& name,
                                         const std::string& identification) {
  return sites_.DetermineSites(state_, para_.mod_count, name, identification);
}

void CPropagation::FillModificationMasses() {
  std::vector<CModification> table;
  try {
    table = LoadModificationsFromDirectory(program_directory_);
  } catch (const COptionToolException& e) {
    notify::Message("Can not open file:" + e.path());
    return;
  }
  for (auto& entry : state_.modifications) {
    for (const CModification& record : table) {
      if (record.name == entry.first) {
        entry.second = record.mass;
        break;
      }
    }
  }
}
