#include "propagation/Propagation.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <system_error>

#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "propagation/PeptideText.h"
#include "propagation/PropagationInternal.h"
#include "common/OptionTool.h"
#include "scoring/Modification.h"
#include "scoring/PeptideScoreFactory.h"

namespace fs = std::filesystem;

CPropagation::CPropagation() : program_directory_(path::ProgramDirectory()) {}

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
    if (name == "pair_with_result.txt" || text::EndsWith(name, "_InnerPropagate.txt") ||
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
  results_loaded_ = false;
  std::unique_ptr<CResultFile> reader(CResultFileFactory().GetResult(result_file));
  if (!reader) {
    notify::Message("Unknown result file type:" + result_file);
    return false;
  }
  auto* search = dynamic_cast<CSearchResultFile*>(reader.get());
  if (search) {
    CIdentificationFilter filter;
    std::string message;
    if (!FilterFromPara(para_, filter, message)) {
      notify::Message(message);
      return false;
    }
    filter.modify_ini_directory = program_directory_;
    search->SetFilter(filter);
  }
  reader->LoadResult(result_file, results_, data_path_, modifications_);
  if (search) {
    summary_.result_report = search->Report();
    // A file read in part is no basis for propagation.
    if (!search->Succeeded()) return false;
  }
  summary_.identified_before = 0;
  for (const auto& entry : results_) {
    if (propagation_detail::HasPeptide(entry.second)) ++summary_.identified_before;
  }
  results_loaded_ = true;
  return true;
}

void CPropagation::CountIdentifiedInJob(const std::vector<std::string>& names, const char* where) {
  std::set<std::string> seen;
  summary_.identified_in_job = 0;
  for (const std::string& name : names) {
    if (!seen.insert(name).second) continue;
    const auto it = results_.find(name);
    if (it != results_.end() && propagation_detail::HasPeptide(it->second)) ++summary_.identified_in_job;
  }
  if (summary_.identified_before > 0 && summary_.identified_in_job == 0) {
    notify::Message("Warning: none of the " + std::to_string(summary_.identified_before) +
                    " identifications of " + para_.result_file + " names a spectrum of the " +
                    where + "; were they made on another run?");
  }
}

void CPropagation::RecordAdded(const std::string& name, const std::string& identification) {
  const auto members = cluster_members_.find(name);
  if (members == cluster_members_.end()) {
    added_.emplace(name, CAdded{identification, "pairs"});
    return;
  }
  for (const std::string& member : members->second) added_.emplace(member, CAdded{identification, "pairs"});
}

namespace {

// "" when `path` is a file that can be read, else why not.
std::string UnreadableFile(const std::string& what, const std::string& path) {
  if (!path::Exists(path)) return what + ": File: " + path + " does not exist!";
  std::ifstream in;
  if (!text::OpenInput(in, path)) return what + ": Can not open file:" + path;
  return std::string();
}

}  // namespace

std::string CheckJobInputs(const CPropagationPara& para) {
  std::string why = UnreadableFile("Result file", para.result_file);
  if (!why.empty()) return why;
  if (!std::unique_ptr<CResultFile>(CResultFileFactory().GetResult(para.result_file)))
    return "Result file: Unknown result file type:" + para.result_file;
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

bool CPropagation::SaveOutput(const std::string& path, const std::string& text) {
  std::string error;
  if (!safefile::WriteWholeFile(path, text, &error)) {
    notify::Message("Can not save file:" + path + " (" + error + ")");
    return false;
  }
  summary_.outputs.push_back(path);
  return true;
}

bool CPropagation::Run(const std::string& para_path, bool determine_sites) {
  results_.clear();
  clusters_.clear();
  modifications_.clear();
  data_path_.clear();
  cluster_sizes_.clear();
  site_statistics_.clear();
  residue_counts_.clear();
  summary_ = CPropagationSummary();
  para_ = CPropagationPara();
  added_.clear();
  cluster_members_.clear();
  results_loaded_ = false;
  determine_sites_ = determine_sites;

  if (!ReadPropagationParaFile(para_path, para_)) {
    notify::Message("Can not open file:" + para_path);
    return false;
  }
  if (!override_.fdr_level.empty()) para_.fdr_level = override_.fdr_level;
  if (!override_.score_threshold.empty()) para_.score_threshold = override_.score_threshold;
  if (!override_.decoy_prefix.empty()) para_.decoy_prefix = override_.decoy_prefix;
  output_base_ = OutputBaseOf(para_path);
  const std::string dta_path = para_.dta_path;
  const std::vector<std::string> pair_files = ListPairFiles(para_.pair_file);

  // Nothing is written until the inputs are known to be there: running the
  // passes on nothing would only replace earlier reports with empty ones.
  std::string problem = CheckJobInputs(para_);
  const std::vector<std::string> outputs = JobOutputs(para_, para_path);
  if (problem.empty()) problem = CheckJobOutputs(para_, para_path, outputs);
  if (!problem.empty()) {
    notify::Message(problem);
    return false;
  }
  // Every report is created (under its temporary name) before the work, so
  // that an unwritable folder is said at once rather than after the passes.
  const bool cluster_mode = !para_.cluster_file.empty();
  safefile::CSafeFile inner_file, copy_file, inter_file;
  safefile::CSafeFile* files[] = {cluster_mode ? &inner_file : nullptr, &copy_file, &inter_file};
  std::size_t next_output = 0;
  for (safefile::CSafeFile* file : files) {
    if (!file) continue;
    const std::string& path = outputs[next_output++];
    if (!file->Open(path, "wb")) {
      notify::Message("Can not save file:" + path + " (" + file->Error() + ")");
      return false;
    }
  }

  std::string inner_report, copy, inter_report;
  const std::vector<std::string> passes =
      pair_files.empty() ? std::vector<std::string>{para_.pair_file} : pair_files;
  // The pair files' shares of the inter report; with several, each is headed
  // by its pair file.
  auto propagate_pairs = [&](const std::string& pair_file, bool after_inner) {
    std::string share;
    PropagatePairs(pair_file, determine_sites, after_inner, copy, share);
    if (passes.size() > 1) {
      if (!inter_report.empty()) inter_report += "\n";
      inter_report += "Pair file: " + pair_file + "\n";
    }
    inter_report += share;
  };

  if (!cluster_mode) {
    Progress("reading " + para_.result_file);
    if (!LoadResultFile(para_.result_file)) return false;
    {
      std::vector<std::string> names;
      std::vector<double> shifts;
      std::vector<std::int32_t> marks;
      notify::ScopedHandler quiet([](const std::string&) {});  // the passes report unreadable files
      for (const std::string& pair_file : passes) {
        std::vector<std::string> more;
        CResultFileFactory().GetPair_(pair_file, more, shifts, marks);
        names.insert(names.end(), more.begin(), more.end());
      }
      CountIdentifiedInJob(names, "pair files");
    }
    if (data_path_.empty()) data_path_ = dta_path;
    // Each pair file starts from the result file's identifications alone.
    for (const std::string& pair_file : passes) {
      const ResultMap initial = results_;
      propagate_pairs(pair_file, false);
      if (!pair_files.empty()) results_ = initial;
    }
  } else {
    Progress("inner propagation: " + para_.cluster_file);
    ResultMap cluster_results;
    if (!InnerPass(para_.cluster_file, para_.result_file, inner_report, cluster_results)) return false;
    InstallClusterResults(std::move(cluster_results));
    if (data_path_.empty()) data_path_ = dta_path;
    for (const std::string& pair_file : passes) propagate_pairs(pair_file, true);
  }

  Progress("writing reports");
  bool written = true;
  const std::string* texts[] = {&inner_report, &copy, &inter_report};
  for (std::size_t i = 0; i < 3; ++i) {
    safefile::CSafeFile* file = files[i];
    if (!file) continue;
    const std::string& text = *texts[i];
    const bool ok = std::fwrite(text.data(), 1, text.size(), file->Get()) == text.size() && file->Commit();
    if (ok) {
      summary_.outputs.push_back(file->Path());
    } else {
      notify::Message("Can not save file:" + file->Path() + " (" +
                      (file->Error().empty() ? std::string("write failed") : file->Error()) + ")");
      file->Abandon();
      written = false;
    }
  }
  return written;
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

void CPropagation::InstallClusterResults(ResultMap cluster_results) {
  clusters_.clear();
  results_ = std::move(cluster_results);
}

bool CPropagation::InnerPass(const std::string& cluster_file, const std::string& result_file,
                             std::string& out, ResultMap& cluster_results) {
  using propagation_detail::Appendf;
  CResultFileFactory().ReadClusterFile_(cluster_file, clusters_);
  if (!LoadResultFile(result_file)) return false;
  {
    std::vector<std::string> names;
    for (const auto& cluster : clusters_) names.insert(names.end(), cluster.second.begin(), cluster.second.end());
    CountIdentifiedInJob(names, "cluster file");
  }

  Appendf(out, "Conflict peptides:\n");

  struct ResultLine {
    std::int32_t count;
    std::string name;
    std::string identification;
  };
  std::vector<ResultLine> lines;
  int conflicts = 0;
  int sum = 0;
  // Cluster numbers run from 1 to the number of clusters read; a number in
  // that range that the file skipped is an empty cluster.
  const std::int32_t cluster_count = static_cast<std::int32_t>(clusters_.size());
  for (std::int32_t k = 1; k <= cluster_count; ++k) {
    const auto found = clusters_.find(k);
    if (found == clusters_.end()) continue;
    const std::vector<std::string>& members = found->second;
    const std::int32_t n = static_cast<std::int32_t>(members.size());

    std::vector<std::string> keys;
    std::vector<std::string> distinct;
    int unidentified = 0;
    for (const std::string& member : members) {
      const auto result = results_.find(member);
      if (result == results_.end() || !propagation_detail::HasPeptide(result->second)) {
        ++unidentified;
        continue;
      }
      const std::string key = peptide_text::PeptideKey(result->second);
      if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
      keys.push_back(key);
      distinct.push_back(result->second);
    }

    if (distinct.size() >= 2) {
      Appendf(out, "Cluster:%d", k);
      for (const std::string& identification : distinct)
        Appendf(out, " %s", identification.c_str());
      Appendf(out, "\n");
      ++conflicts;
    } else if (n == 1) {
      cluster_sizes_[members[0]] = 1;
      if (distinct.size() == 1) {
        cluster_results[members[0]] = distinct[0];
        lines.push_back({1, members[0], distinct[0]});
        sum += 1;
      }
    } else if (n >= 2) {
      const std::string label = peptide_text::ClusterLabel(members);
      cluster_sizes_[label] = n;
      cluster_members_[label] = members;
      if (distinct.size() == 1) {
        cluster_results[label] = distinct[0];
        lines.push_back({n, label, distinct[0]});
        sum += n;
        ++summary_.inner_clusters_identified;
        summary_.inner_new_spectra += unidentified;
        for (const std::string& member : members) {
          const auto result = results_.find(member);
          if (result == results_.end() || !propagation_detail::HasPeptide(result->second))
            added_.emplace(member, CAdded{distinct[0], "cluster"});
        }
      }
    }
  }

  Appendf(out, "Conflict num:%d\n", conflicts);
  Appendf(out, "\nInner propagation result:\n");
  for (const ResultLine& line : lines)
    Appendf(out, "%d %s %s\n", line.count, line.name.c_str(),
                 line.identification.c_str());
  Appendf(out, "sum=%d\n", sum);
  summary_.inner_conflicts += conflicts;

  summary_.added_spectra = static_cast<int>(added_.size());
  return true;
}


void CPropagation::FillModificationMasses() {
  std::vector<CModification> table;
  try {
    table = LoadModificationsFromDirectory(program_directory_);
  } catch (const COptionToolException& e) {
    notify::Message("Can not open file:" + e.path());
    return;
  }
  for (auto& entry : modifications_) {
    for (const CModification& record : table) {
      if (record.name == entry.first) {
        entry.second = record.mass;
        break;
      }
    }
  }
}

void CPropagation::Score(const std::string& spectrum_path, const std::string& sequence,
                         const std::vector<std::pair<int, double>>& fixed, double mass,
                         std::vector<double>& scores) {
  if (scorer_) {
    scorer_(spectrum_path, sequence, fixed, mass, scores);
    return;
  }
  CPeptideScoreFactory factory;
  factory.GetKSDPScore(spectrum_path, sequence, fixed, mass, scores, program_directory_);
}
