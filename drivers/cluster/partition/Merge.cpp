// `--merge`: the parts' files become the files of one run. Type 0: the
// cluster files are concatenated in part order with the rows and clusters
// numbered on, and the consensus spectra are renamed as one run names them.
// Type 1: the owned pairs of every part are merged in one run's order and
// the mass-shift table is computed from the merged pair file.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <set>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "clustering/ConsensusNames.h"
#include "clustering/Para.h"
#include "clustering/SpectralPairSearch.h"
#include "common/CommandLine.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "drivers/cluster/loading/Failure.h"
#include "drivers/cluster/loading/SpectrumOrigins.h"
#include "drivers/cluster/partition/Partition.h"
#include "drivers/cluster/partition/PlanFiles.h"

namespace partition {

namespace fs = std::filesystem;

namespace {

using clusterjob::Fail;

// One cluster-file line "row,name,cluster,mass": the name may hold commas,
// the numbers do not.
struct ClusterLine {
  std::string name;
  std::string cluster;
  std::string mass;
};

bool ParseClusterLine(const std::string& line, ClusterLine& parsed) {
  const std::size_t first = line.find(',');
  const std::size_t last = line.rfind(',');
  if (first == std::string::npos || last == first) return false;
  const std::size_t before = line.rfind(',', last - 1);
  if (before == first) return false;
  parsed.name = line.substr(first + 1, before - first - 1);
  parsed.cluster = line.substr(before + 1, last - before - 1);
  parsed.mass = line.substr(last + 1);
  return true;
}

std::set<std::string> FilesIn(const std::string& directory) {
  std::set<std::string> names;
  std::error_code ec;
  if (!path::IsDirectory(directory)) return names;
  for (const auto& entry : fs::directory_iterator(directory, ec)) {
    if (entry.is_regular_file()) names.insert(entry.path().filename().string());
  }
  return names;
}

// Whether a file ends with a line end (an empty one does): a file cut
// short in the middle of a line does not.
bool EndsWithLineEnd(const std::string& file) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  const std::streamoff size = in.tellg();
  if (size <= 0) return static_cast<bool>(in);
  in.seekg(size - 1);
  return in.get() == '\n';
}

// The part must have been made by this plan: a part folder of another plan
// (even of the same spectra) carries another identifier.
std::string CheckPlanId(const std::string& dir, const PartEntry& part, const PlanInfo& info) {
  std::ifstream in(path::Join(dir, kPartPlanId), std::ios::binary);
  std::string id;
  text::ReadLine(in, id);
  id = text::Trim(id);
  if (id == info.plan_id) return {};
  if (id.empty()) return "Part " + part.name + " has no " + kPartPlanId + ": it was not made by this plan";
  return "Part " + part.name + " belongs to another plan (" + id + "; this plan is " + info.plan_id + ")";
}

// A clustering part's result lists each of its spectra once, whole.
std::string CheckClusterResult(const std::string& dir, const PartEntry& part) {
  const std::string result = path::Join(dir, kPartResult);
  std::ifstream in(result, std::ios::binary);
  if (!in) return "Part " + part.name + " has no result: has its cluster job run?";
  std::size_t rows = 0;
  std::uint64_t names = 0;
  std::string line;
  ClusterLine parsed;
  while (text::ReadLine(in, line)) {
    if (!ParseClusterLine(line, parsed)) return "Damaged line in the cluster file of " + part.name + ": " + line;
    ++rows;
    names += NameChecksum(parsed.name);
  }
  if (rows != part.count || !EndsWithLineEnd(result)) {
    return "The result of " + part.name + " lists " + std::to_string(rows) + " of its " + std::to_string(part.count) +
           " spectra: it is cut short or not this part's (" + result + ")";
  }
  if (names != part.names) return "The result of " + part.name + " lists other spectra than the part's: " + result;
  return {};
}

// A pair-search part's name list is its own, and its pair file whole: the
// mass-shift table the part's run wrote last, from its pair file, counts
// every pair of it.
std::string CheckPairResult(const std::string& dir, const PartEntry& part) {
  std::ifstream names_in(path::Join(dir, kPartNames), std::ios::binary);
  std::size_t count = 0;
  std::uint64_t names = 0;
  std::string line;
  while (text::ReadLine(names_in, line)) {
    ++count;
    names += NameChecksum(line);
  }
  if (count != part.count || names != part.names)
    return "The name list of " + part.name + " does not match its manifest line";
  const std::string result = path::Join(dir, kPartResult);
  std::ifstream in(result, std::ios::binary);
  if (!in) return "Part " + part.name + " has no result: has its cluster job run?";
  std::size_t pairs = 0;
  while (text::ReadLine(in, line)) {
    if (!text::Trim(line).empty()) ++pairs;
  }
  std::ifstream table(path::Join(dir, CSpectralPairSearch::kHistogramFile), std::ios::binary);
  if (!table) {
    return "Part " + part.name + " has no mass-shift table (" + CSpectralPairSearch::kHistogramFile +
           "): has its cluster job run to the end?";
  }
  std::size_t counted = 0;
  while (text::ReadLine(table, line)) {
    const std::size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    counted += static_cast<std::size_t>(std::max(0, text::AtoI(line.substr(comma + 1))));
  }
  if (pairs != counted || !EndsWithLineEnd(result)) {
    return "The result of " + part.name + " holds " + std::to_string(pairs) + " pairs where its run counted " +
           std::to_string(counted) + ": it is cut short or not this part's (" + result + ")";
  }
  return {};
}

// Every part is checked before anything is merged or removed.
std::string CheckParts(const std::string& work, const PlanInfo& info, const std::vector<PartEntry>& parts) {
  for (const PartEntry& part : parts) {
    const std::string dir = path::Join(work, part.name);
    std::string refused = CheckPlanId(dir, part, info);
    if (refused.empty()) {
      refused = info.cluster_type == CLUSTER_SPECTRAL_PAIR ? CheckPairResult(dir, part) : CheckClusterResult(dir, part);
    }
    if (!refused.empty()) return refused;
  }
  return {};
}

struct MergedCluster {
  std::string plain;       // the engine's name for it
  std::string part_file;   // its consensus spectrum in the part's folder
};

// The parts' cluster files and spectra merged part by part into one run's.
class ClusterMerge {
 public:
  ClusterMerge(const CPara& para, std::FILE* merged)
      : data_(*para.spectra_process),
        kind_(para.representative_spectra->consensus_type),
        consensus_(kind_ == REPRESENTATIVE_CONSENSUS || kind_ == REPRESENTATIVE_BOTH),
        merged_(merged) {}

  // Appends the rows of one part, numbered on, and takes note of its
  // spectrum files. Empty, or the message.
  std::string AddPart(const std::string& dir, const PartEntry& part) {
    std::vector<std::vector<std::string>> members;
    if (std::string refused = AppendRows(dir, part, members); !refused.empty()) return refused;
    // The part named its consensus spectra among its own clusters only;
    // naming them again shows which file is which cluster's.
    const std::string part_out = path::Join(dir, kPartOut);
    const std::set<std::string> files = FilesIn(part_out);
    any_out_ = any_out_ || path::IsDirectory(part_out);
    CConsensusNames local;
    ReserveSpectrumNames(members, files, local);
    const std::set<std::string> consensus_files = PlanConsensusFiles(members, part_out, local);
    for (const std::string& name : files) {
      if (!consensus_files.count(name)) copies_.emplace_back(path::Join(part_out, name), name);
    }
    return {};
  }

  void ReportClusterFile(std::ostream& out) const {
    out << "Cluster file: " << data_.cluster_result << " (" << row_ - 1 << " spectra, " << cluster_offset_
        << " clusters)\n";
  }

  // Copies the spectrum files into the job's output folder, the consensus
  // spectra under one run's names.
  int CopySpectra(std::ostream& out) {
    if (data_.out_directory.empty()) return 0;
    if ((consensus_ || any_out_) && !path::IsDirectory(data_.out_directory) &&
        !path::CreateDirectory(data_.out_directory)) {
      return Fail(out, "Cannot create the output folder: " + data_.out_directory);
    }
    // Spectrum files come from the job's own data folder where it holds them,
    // as one run copies them from there.
    const bool data_folder = path::IsDirectory(data_.data_directory);
    std::size_t failed = 0;
    for (const auto& [source, name] : copies_) {
      const std::string target = path::Join(data_.out_directory, name);
      std::string from = source;
      if (data_folder && path::IsRegularFile(path::Join(data_.data_directory, name))) {
        from = path::Join(data_.data_directory, name);
        if (safefile::SameFile(from, target)) continue;
      }
      if (!path::CopyFile(from, target)) ++failed;
    }
    for (const MergedCluster& c : clusters_) {
      const std::string target = path::Join(data_.out_directory, global_.Claim(c.plain));
      if (!path::CopyFile(c.part_file, target)) ++failed;
    }
    if (failed > 0) {
      return Fail(out, "Cannot write " + std::to_string(failed) + " spectrum files into " + data_.out_directory);
    }
    out << "Spectra: " << data_.out_directory << " (" << clusters_.size() << " consensus, " << copies_.size()
        << " copied)\n";
    return 0;
  }

 private:
  // The part's clusters in order, members in chain order.
  std::string AppendRows(const std::string& dir, const PartEntry& part,
                         std::vector<std::vector<std::string>>& members) {
    std::ifstream in(path::Join(dir, kPartResult), std::ios::binary);
    if (!in) return "Part " + part.name + " has no result: has its cluster job run?";
    std::string line, current;
    ClusterLine parsed;
    while (text::ReadLine(in, line)) {
      if (!ParseClusterLine(line, parsed)) return "Damaged line in the cluster file of " + part.name + ": " + line;
      if (members.empty() || parsed.cluster != current) {
        members.emplace_back();
        current = parsed.cluster;
      }
      members.back().push_back(parsed.name);
      const std::string row = std::to_string(row_++) + ',' + parsed.name + ',' +
                              std::to_string(cluster_offset_ + members.size()) + ',' + parsed.mass + '\n';
      std::fwrite(row.data(), 1, row.size(), merged_);
    }
    cluster_offset_ += members.size();
    return {};
  }

  // Names no consensus spectrum may take: single spectra, and with both
  // kinds of representatives the member written under its own name.
  void ReserveSpectrumNames(const std::vector<std::vector<std::string>>& members,
                            const std::set<std::string>& files, CConsensusNames& local) {
    for (const auto& m : members) {
      if (m.size() == 1) {
        local.Reserve(m.front());
        global_.Reserve(m.front());
      } else if (kind_ == REPRESENTATIVE_BOTH) {
        for (const std::string& name : m) {
          if (files.count(name)) {
            local.Reserve(name);
            global_.Reserve(name);
            break;
          }
        }
      }
    }
  }

  // The part's consensus spectra: their plain names, and the files the
  // part wrote them under. Answers those files' names.
  std::set<std::string> PlanConsensusFiles(const std::vector<std::vector<std::string>>& members,
                                           const std::string& part_out, CConsensusNames& local) {
    std::set<std::string> consensus_files;
    if (!consensus_ || data_.out_directory.empty()) return consensus_files;
    const std::size_t first_cluster = clusters_.size();
    for (const auto& m : members) {
      if (m.size() == 1) continue;
      MergedCluster c;
      c.plain = CRepresentativeSpectra::NamePart(m.front()) + "-" + CRepresentativeSpectra::NamePart(m[m.size() / 2]) +
                "-" + CRepresentativeSpectra::NamePart(m.back()) + ".dta";
      local.Plan(c.plain);
      global_.Plan(c.plain);
      clusters_.push_back(std::move(c));
    }
    for (std::size_t c = first_cluster; c < clusters_.size(); ++c) {
      clusters_[c].part_file = path::Join(part_out, local.Claim(clusters_[c].plain));
      consensus_files.insert(path::FileName(clusters_[c].part_file));
    }
    return consensus_files;
  }

  const CSpectraProcess& data_;
  const Representative_Spectra kind_;
  const bool consensus_;
  std::FILE* merged_;
  std::vector<MergedCluster> clusters_;  // those with a consensus spectrum, in order
  std::vector<std::pair<std::string, std::string>> copies_;  // spectrum files: source, name
  CConsensusNames global_;
  std::size_t row_ = 1;
  std::size_t cluster_offset_ = 0;
  bool any_out_ = false;
};

bool WholeNumber(const std::string& text, int& value) {
  long v = 0;
  if (!cli::ParseWholeNumber(text, v) || v < -1 || v > 2147483647L) return false;
  value = static_cast<int>(v);
  return true;
}

// What one part's cluster table says of its spectra, in part order: the
// cluster (numbered on from `offset`), its size and the representative
// flag, at the job's positions from the part's first. Empty, or the message.
std::string ReadPartTable(const std::string& dir, const PartEntry& part, int& offset, std::vector<int>& cluster_of,
                          std::vector<int>& sizes, std::vector<unsigned char>& representative) {
  const std::string table = path::Join(dir, clusterjob::kClusterTableName);
  std::ifstream in(table, std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line)) return "Part " + part.name + " has no cluster table (run it again): " + table;
  std::size_t row = 0;
  int highest = 0;
  while (std::getline(in, line)) {
    const std::vector<std::string_view> fields = clusterjob::RowFields(line);
    int cluster = 0, size = 0;
    if (fields.size() < 10 || row >= part.count || !WholeNumber(std::string(fields[7]), cluster) ||
        !WholeNumber(std::string(fields[8]), size) || cluster < 1 || size < 1)
      return "Part " + part.name + ": a damaged or extra row in its cluster table: " + table;
    const std::size_t p = part.first + row++;
    cluster_of[p] = offset + cluster;
    if (static_cast<std::size_t>(offset + cluster) >= sizes.size()) sizes.resize(offset + cluster + 1, 0);
    sizes[offset + cluster] = size;
    representative[p] = fields[9] == "1";
    highest = std::max(highest, cluster);
  }
  if (row != part.count) return "Part " + part.name + ": its cluster table lists " + std::to_string(row) +
                                " spectra, not " + std::to_string(part.count) + ": " + table;
  offset += highest;
  return {};
}

// The per-spectrum table of the whole job: the plan's origins joined with
// the parts' tables, as one run writes it. Empty, or the message.
std::string MergeClusterTable(const std::string& work, const CPara& para, const std::vector<PartEntry>& parts,
                              const PlanInfo& info, const std::string& accession) {
  std::vector<int> cluster_of(info.spectra, 0);
  std::vector<int> sizes(1, 0);
  std::vector<unsigned char> representative(info.spectra, 0);
  int offset = 0;
  for (const PartEntry& part : parts) {
    if (part.first + part.count > info.spectra) return "Part " + part.name + " lies outside the plan's spectra";
    if (std::string refused =
            ReadPartTable(path::Join(work, part.name), part, offset, cluster_of, sizes, representative);
        !refused.empty())
      return refused;
  }
  const std::string origins_path = path::Join(work, kOriginsFile);
  std::ifstream origins(origins_path, std::ios::binary);
  if (!origins) return "The plan has no spectrum origins (plan again): " + origins_path;
  std::string bad;
  const clusterjob::RowSource rows = [&](std::string& line, std::int32_t& position) {
    if (!bad.empty() || !std::getline(origins, line)) return false;
    const std::size_t tab = line.rfind('\t');
    int p = -1;
    if (tab == std::string::npos || (tab + 1 < line.size() && !WholeNumber(line.substr(tab + 1), p)) ||
        p >= static_cast<int>(info.spectra)) {
      bad = "A damaged line in " + origins_path;
      return false;
    }
    position = tab + 1 < line.size() ? p : -1;
    line.erase(tab);
    return true;
  };
  const clusterjob::ClusterCells cells{&cluster_of, &sizes, &representative};
  std::string error;
  const std::string table = clusterjob::ClusterTablePath(para.spectra_process->cluster_result);
  if (!clusterjob::WriteClusterTable(table, rows, cells, accession, error)) return error;
  if (!bad.empty()) {
    path::RemoveFile(table);
    return bad;
  }
  return {};
}

int MergeClusters(const std::string& work, const CPara& para, const std::vector<PartEntry>& parts,
                  const PlanInfo& info, const std::string& accession, std::ostream& out) {
  const std::string& result = para.spectra_process->cluster_result;
  safefile::CSafeFile merged;
  if (!merged.Open(result, "wb")) return Fail(out, "Cannot write the cluster file: " + result + ": " + merged.Error());
  ClusterMerge merge(para, merged.Get());
  for (const PartEntry& part : parts) {
    if (std::string refused = merge.AddPart(path::Join(work, part.name), part); !refused.empty())
      return Fail(out, refused);
  }
  merge.ReportClusterFile(out);
  if (const int status = merge.CopySpectra(out); status != 0) return status;
  if (std::string refused = MergeClusterTable(work, para, parts, info, accession); !refused.empty())
    return Fail(out, refused);
  // Last, as one run writes it: its presence says that the spectra are whole.
  if (!merged.Commit()) return Fail(out, "Cannot write the cluster file: " + result + ": " + merged.Error());
  return 0;
}

// The pairs of one part that it owns, in its order: by first spectrum,
// then second, as positions in the job's ordered list.
class OwnedPairs {
 public:
  bool Open(const std::string& dir, const PartEntry& part, std::string& why) {
    part_ = part;
    std::ifstream names(path::Join(dir, kPartNames), std::ios::binary);
    std::string line;
    while (text::ReadLine(names, line)) names_.push_back(line);
    if (names_.size() != part.count) {
      why = "The name list of " + part.name + " does not match its manifest line";
      return false;
    }
    // The keys view names_, which must stay where it is from here on.
    for (std::size_t k = 0; k < names_.size(); ++k) index_.emplace(names_[k], k);
    in_.open(path::Join(dir, kPartResult), std::ios::binary);
    if (!in_) {
      why = "Part " + part.name + " has no result: has its cluster job run?";
      return false;
    }
    return Next(why);
  }

  bool Done() const { return done_; }
  std::size_t First() const { return first_; }
  const std::string& Line() const { return line_; }

  // Moves to the next owned pair; false with `why` on a line it cannot place.
  bool Next(std::string& why) {
    while (text::ReadLine(in_, line_)) {
      if (text::Trim(line_).empty()) continue;
      std::size_t i = 0, j = 0;
      if (!Place(line_, i, j)) {
        why = "Cannot place a pair of " + part_.name + ": " + line_;
        return false;
      }
      if (part_.first + j < part_.owned_first) continue;  // the halo's pairs are not ours
      first_ = part_.first + i;
      return true;
    }
    done_ = true;
    return true;
  }

 private:
  // "first,mass,second,mass,difference,score": the names may hold commas,
  // so the split is the one that gives two names of the part.
  bool Place(const std::string& line, std::size_t& i, std::size_t& j) const {
    std::size_t end = line.size();
    for (int field = 0; field < 3; ++field) {
      end = line.rfind(',', end - 1);
      if (end == std::string::npos || end == 0) return false;
    }
    const std::string_view head(line.data(), end);
    for (std::size_t c = head.find(','); c != std::string_view::npos; c = head.find(',', c + 1)) {
      const auto a = index_.find(head.substr(0, c));
      if (a == index_.end()) continue;
      const std::size_t c2 = head.find(',', c + 1);
      if (c2 == std::string_view::npos) return false;
      const auto b = index_.find(head.substr(c2 + 1));
      if (b == index_.end()) continue;
      i = a->second;
      j = b->second;
      return true;
    }
    return false;
  }

  PartEntry part_;
  std::vector<std::string> names_;
  std::unordered_map<std::string_view, std::size_t> index_;
  std::ifstream in_;
  std::string line_;
  std::size_t first_ = 0;
  bool done_ = false;
};

int MergePairs(const std::string& work, const CPara& para, const std::vector<PartEntry>& parts,
               std::ostream& out) {
  const std::string& pair_path = para.spectra_process->cluster_result;
  std::vector<OwnedPairs> streams(parts.size());
  std::string why;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (!streams[k].Open(path::Join(work, parts[k].name), parts[k], why)) return Fail(out, why);
  }
  safefile::CSafeFile merged;
  if (!merged.Open(pair_path, "wb"))
    return Fail(out, "Cannot write the pair file: " + pair_path + ": " + merged.Error());
  // One run writes the pairs by first spectrum, then second; parts own
  // consecutive ranges of second spectra, so for equal first spectra the
  // earlier part's pairs come first.
  std::size_t count = 0;
  for (;;) {
    std::size_t pick = streams.size();
    for (std::size_t k = 0; k < streams.size(); ++k) {
      if (streams[k].Done()) continue;
      if (pick == streams.size() || streams[k].First() < streams[pick].First()) pick = k;
    }
    if (pick == streams.size()) break;
    const std::size_t first = streams[pick].First();
    while (!streams[pick].Done() && streams[pick].First() == first) {
      const std::string& line = streams[pick].Line();
      std::fwrite(line.data(), 1, line.size(), merged.Get());
      std::fputc('\n', merged.Get());
      ++count;
      if (!streams[pick].Next(why)) return Fail(out, why);
    }
  }
  if (!merged.Commit()) return Fail(out, "Cannot write the pair file: " + pair_path + ": " + merged.Error());
  if (!CSpectralPairSearch::WriteMassShiftHistogram(pair_path, para.cluster->cluster_masses_tol)) {
    return Fail(out, std::string("Cannot write the mass-shift table: ") +
                         CSpectralPairSearch::kHistogramFile);
  }
  out << "Pair file: " << pair_path << " (" << count << " pairs)\n"
      << "Mass-shift table: " << CSpectralPairSearch::kHistogramFile << "\n";
  return 0;
}

}  // namespace

int RunMerge(const std::vector<std::string>& args, std::ostream& out) {
  cli::CommandLine line("cluster --merge", {"<work folder> [--px ACCESSION]"},
                        "Writes one run's files from the parts of a plan that have all run.");
  line.Add(cli::Text("px", "ACCESSION", "USIs of this ProteomeXchange dataset in the cluster table"));
  if (const int answered = line.Report(line.Parse(args), out, out); answered >= 0) return answered;
  const std::string accession = line.Value("px");
  if (line.Positionals().size() != 1) {
    out << "cluster --merge: one work folder is needed\n" << line.Usage();
    return 2;
  }
  if (std::string refused = clusterjob::CheckAccession(accession); line.Has("px") && !refused.empty()) {
    out << "--px: " << refused << "\n" << line.Usage();
    return 2;
  }
  const std::string work = line.Positionals()[0];
  try {
    PlanInfo info;
    std::vector<PartEntry> parts;
    std::string why;
    if (!ReadPlanFiles(work, info, parts, why)) return Fail(out, why);
    CPara para;
    const std::string para_path = path::Join(work, kOriginalPara);
    if (!para.ReadParaFile(para_path) || !para.cluster || !para.representative_spectra) {
      return Fail(out, "Cannot read parameter file: " + para_path);
    }
    if (static_cast<int>(para.cluster->cluster_type) != info.cluster_type) {
      return Fail(out, "The plan and its parameter file disagree on the cluster type: " + work);
    }
    if (std::string refused = CheckParts(work, info, parts); !refused.empty()) return Fail(out, refused);
    // As in one run, the job's old results go first.
    path::RemoveFile(para.spectra_process->cluster_result);
    if (para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR) {
      if (!accession.empty()) return Fail(out, "--px gives the spectra of a clustering its USIs, not a pair search's");
      path::RemoveFile(CSpectralPairSearch::kHistogramFile);
      return MergePairs(work, para, parts, out);
    }
    path::RemoveFile(clusterjob::ClusterTablePath(para.spectra_process->cluster_result));
    return MergeClusters(work, para, parts, info, accession, out);
  } catch (const std::exception& e) {
    return Fail(out, std::string("Merging failed: ") + e.what());
  }
}

}  // namespace partition
