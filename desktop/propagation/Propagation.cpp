#include "desktop/propagation/Propagation.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "desktop/propagation/PeptideText.h"
#include "desktop/propagation/PropagationInternal.h"
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

  // Without a reader no identification can be read; running the passes on
  // nothing would only replace earlier reports with empty ones.
  if (!std::unique_ptr<CResultFile>(CResultFileFactory().GetResult(para_.result_file))) {
    notify::Message("Unknown result file type:" + para_.result_file);
    return false;
  }

  if (para_.cluster_file.empty()) {
    if (!LoadResultFile(para_.result_file)) return false;
    {
      std::vector<std::string> names;
      std::vector<double> shifts;
      std::vector<std::int32_t> marks;
      notify::ScopedHandler quiet([](const std::string&) {});  // the passes report unreadable files
      for (const std::string& pair_file : pair_files.empty() ? std::vector<std::string>{para_.pair_file}
                                                             : pair_files) {
        std::vector<std::string> more;
        CResultFileFactory().GetPair_(pair_file, more, shifts, marks);
        names.insert(names.end(), more.begin(), more.end());
      }
      CountIdentifiedInJob(names, "pair files");
    }
    if (data_path_.empty()) data_path_ = dta_path;
    if (pair_files.empty()) {
      InterPropagate(para_.pair_file, determine_sites, false);
    } else {
      // Each pair file starts from the result file's identifications alone.
      for (const std::string& pair_file : pair_files) {
        const ResultMap initial = results_;
        InterPropagate(pair_file, determine_sites, false);
        results_ = initial;
      }
    }
  } else {
    // An inner report that cannot be written leaves the identifications as
    // read; the pairs are still worked through, and the run counts as failed.
    const bool inner_written = InnerPropagate(para_.cluster_file, para_.result_file);
    if (!results_loaded_) return false;
    if (data_path_.empty()) data_path_ = dta_path;
    if (pair_files.empty()) {
      InterPropagate(para_.pair_file, determine_sites, true);
    } else {
      for (const std::string& pair_file : pair_files) InterPropagate(pair_file, determine_sites, true);
    }
    return inner_written;
  }
  return true;
}

bool CPropagation::InnerPropagate(const std::string& cluster_file, const std::string& result_file) {
  CResultFileFactory().ReadClusterFile_(cluster_file, clusters_);
  if (!LoadResultFile(result_file)) return false;
  {
    std::vector<std::string> names;
    for (const auto& cluster : clusters_) names.insert(names.end(), cluster.second.begin(), cluster.second.end());
    CountIdentifiedInJob(names, "cluster file");
  }

  const std::string report_path = output_base_ + "_InnerPropagate.txt";
  propagation_detail::File out(std::fopen(report_path.c_str(), "wb"));
  if (!out) {
    notify::Message("Can not save file:" + report_path);
    return false;
  }
  std::fprintf(out.get(), "Conflict peptides:\n");

  struct ResultLine {
    std::int32_t count;
    std::string name;
    std::string identification;
  };
  std::vector<ResultLine> lines;
  ResultMap cluster_results;
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
      std::fprintf(out.get(), "Cluster:%d", k);
      for (const std::string& identification : distinct)
        std::fprintf(out.get(), " %s", identification.c_str());
      std::fprintf(out.get(), "\n");
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

  std::fprintf(out.get(), "Conflict num:%d\n", conflicts);
  std::fprintf(out.get(), "\nInner propagation result:\n");
  for (const ResultLine& line : lines)
    std::fprintf(out.get(), "%d %s %s\n", line.count, line.name.c_str(),
                 line.identification.c_str());
  std::fprintf(out.get(), "sum=%d\n", sum);
  summary_.inner_conflicts += conflicts;

  clusters_.clear();
  results_ = std::move(cluster_results);
  summary_.added_spectra = static_cast<int>(added_.size());
  if (!out.Close()) {
    notify::Message("Can not save file:" + report_path);
    return false;
  }
  summary_.outputs.push_back(report_path);
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
