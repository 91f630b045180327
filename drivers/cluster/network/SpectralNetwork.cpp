#include "drivers/cluster/network/SpectralNetwork.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <unordered_map>

#include "clustering/ConsensusNames.h"
#include "clustering/RepresentativeSpectra.h"
#include "common/CommandLine.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "resultfiles/ResultFile.h"
#include "resultfiles/unimod/UnimodTable.h"
#include "spectra/MS2Input.h"

namespace network {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Node positions by upper-cased name: pair, cluster and result files may
// each write a name in its own case.
class NodeIndex {
 public:
  std::size_t Find(const std::string& name) const {
    const auto found = positions_.find(text::ToUpper(name));
    return found == positions_.end() ? kNone : found->second;
  }
  void Add(const std::string& name, std::size_t position) { positions_.emplace(text::ToUpper(name), position); }

 private:
  std::unordered_map<std::string, std::size_t> positions_;
};

NetworkNode NodeOf(const msdata::CSpectrum& spectrum) {
  NetworkNode node;
  node.name = spectrum.name;
  node.precursor_mass = spectrum.precursor_mass;
  node.charge = spectrum.charge;
  // DTA files give MH+ and charge only.
  node.precursor_mz = spectrum.precursor_mz > 0.0 ? spectrum.precursor_mz
                                                  : msdata::MzFromMH(spectrum.precursor_mass, spectrum.charge);
  node.rt = spectrum.retention_time > 0.0 ? spectrum.retention_time : -1.0;
  return node;
}

bool Number(const std::string& field, double& value) { return cli::ParseFiniteNumber(text::Trim(field), value); }

std::string UnimodNames(const CUnimodTable& unimod, double shift, double tolerance) {
  std::string names;
  for (const UnimodEntry& hit : unimod.Matches(shift, tolerance)) {
    if (!names.empty()) names += '/';
    names += hit.interimName;
  }
  return names;
}

// The edges of the pair file: "name,mass,name,mass,shift,score" per line
// (the shift search adds a seventh field).
std::string ReadPairs(const std::string& path, const CUnimodTable& unimod, double tolerance, NodeIndex& index,
                      SpectralNetwork& network, std::ostream& log) {
  std::ifstream in;
  if (!text::OpenInput(in, path)) return "Cannot read the pair file: " + path;
  std::string line;
  std::size_t number = 0, added = 0;
  while (text::ReadLine(in, line)) {
    ++number;
    if (text::Trim(line).empty()) continue;
    const std::vector<std::string> fields = text::Split(line, ',');
    double masses[2] = {0.0, 0.0};
    NetworkEdge edge;
    if (fields.size() < 6 || fields[0].empty() || fields[2].empty() || !Number(fields[1], masses[0]) ||
        !Number(fields[3], masses[1]) || !Number(fields[4], edge.mass_shift) || !Number(fields[5], edge.similarity))
      return "The pair file " + path + ", line " + std::to_string(number) + ", is not a pair line: \"" + line + "\"";
    std::size_t ends[2] = {kNone, kNone};
    for (int k = 0; k < 2; ++k) {
      const std::string& name = fields[static_cast<std::size_t>(2 * k)];
      ends[k] = index.Find(name);
      if (ends[k] != kNone) continue;
      NetworkNode node;
      node.name = name;
      node.precursor_mass = masses[k];
      ends[k] = network.nodes.size();
      index.Add(name, ends[k]);
      network.nodes.push_back(node);
      ++added;
    }
    edge.source = ends[0];
    edge.target = ends[1];
    edge.unimod = UnimodNames(unimod, edge.mass_shift, tolerance);
    network.edges.push_back(edge);
  }
  if (added > 0)
    log << "Spectra of the pair file not among the spectra given: " << added
        << " (their nodes carry the pair file's mass only)\n";
  return std::string();
}

// Cluster numbers and sizes on the nodes: a node is a cluster's consensus
// spectrum, named as the clustering names it (first, middle and last
// member, "_2", "_3", ... where names coincide), or a spectrum of the file
// itself. Fills `node_of_member` with the node of every member, so that
// identifications of members reach their cluster's node.
std::string ReadClusters(const std::string& path, const NodeIndex& index, SpectralNetwork& network,
                         std::unordered_map<std::string, std::size_t>& node_of_member,
                         std::vector<std::vector<std::string>>& members_of_node, std::ostream& log) {
  std::ifstream probe;
  if (!text::OpenInput(probe, path)) return "Cannot read the cluster file: " + path;
  ClusterMap clusters;
  CResultFileFactory().ReadClusterFile_(path, clusters);
  // The clustering claims names in the order of the clusters' heads, which
  // is the order of their numbers, after reserving the lone spectra's. The
  // file's names come upper-cased; the claims are made in one case so that
  // the suffixed names meet the reserved ones.
  CConsensusNames names;
  std::map<std::int32_t, std::string> plain;
  for (const auto& [number, members] : clusters) {
    if (members.size() == 1) {
      names.Reserve(text::ToLower(members[0]));
      continue;
    }
    plain[number] = text::ToLower(CRepresentativeSpectra::NamePart(members.front()) + "-" +
                                  CRepresentativeSpectra::NamePart(members[members.size() / 2]) + "-" +
                                  CRepresentativeSpectra::NamePart(members.back()) + ".dta");
    names.Plan(plain[number]);
  }
  std::size_t placed = 0;  // clusters with a node
  bool on_node = false;
  const auto place = [&](std::size_t node, std::int32_t number, std::size_t size) {
    if (node == kNone) return;
    network.nodes[node].cluster = number;
    network.nodes[node].cluster_size = static_cast<int>(size);
    on_node = true;
  };
  for (const auto& [number, members] : clusters) {
    on_node = false;
    const std::size_t consensus = members.size() > 1 ? index.Find(names.Claim(plain[number])) : kNone;
    place(consensus, number, members.size());
    for (const std::string& member : members) {
      const std::size_t own = index.Find(member);
      place(own, number, members.size());
      const std::size_t node = own != kNone ? own : consensus;
      if (node != kNone) node_of_member.emplace(member, node);
      if (consensus != kNone) members_of_node[consensus].push_back(member);
    }
    placed += on_node;
  }
  log << "Clusters: " << clusters.size() << " in " << path << ", " << placed << " of them on the network's nodes\n";
  network.with_clusters = true;
  return std::string();
}

std::size_t NodeOfName(const std::string& name, const NodeIndex& index,
                       const std::unordered_map<std::string, std::size_t>& node_of_member) {
  const std::size_t own = index.Find(name);
  if (own != kNone) return own;
  const auto member = node_of_member.find(text::ToUpper(name));
  return member == node_of_member.end() ? kNone : member->second;
}

void SetPeptide(NetworkNode& node, const std::string& identification) {
  const std::size_t blank = identification.find(' ');
  node.peptide = identification.substr(0, blank);
  node.modifications = blank == std::string::npos ? std::string() : text::Trim(identification.substr(blank + 1));
}

// The search's identifications: a node takes the one its spectrum, or
// the identified members of its cluster, agree on; members naming
// different identifications leave it without.
std::string ReadIdentifications(const NetworkInputs& inputs, const NodeIndex& index,
                                const std::unordered_map<std::string, std::size_t>& node_of_member,
                                SpectralNetwork& network, std::ostream& log) {
  CIdentificationFilter filter;
  std::string error;
  if (!FilterFromChoice(inputs.id_filter, filter, error)) return error;
  filter.modify_ini_directory = path::ProgramDirectory();
  CIdentifications loaded;
  const bool read = LoadIdentificationsOf(inputs.ids, filter, loaded, error);
  for (const std::string& line : loaded.report) log << line << "\n";
  if (!read) return error;
  std::map<std::size_t, std::string> agreed;
  std::map<std::size_t, bool> conflicting;
  std::size_t named = 0;
  for (const auto& [name, identification] : loaded.results) {
    if (!HasPeptide(identification)) continue;
    const std::size_t node = NodeOfName(name, index, node_of_member);
    if (node == kNone) continue;
    ++named;
    const auto [at, fresh] = agreed.emplace(node, identification);
    if (!fresh && at->second != identification) conflicting[node] = true;
  }
  for (const auto& [node, identification] : agreed) {
    if (conflicting.count(node)) continue;
    SetPeptide(network.nodes[node], identification);
    network.nodes[node].route = "search";
  }
  log << "Identifications: " << named << " of " << text::Join(inputs.ids, ", ") << " name spectra of the network; "
      << agreed.size() - conflicting.size() << " nodes identified";
  if (!conflicting.empty()) log << ", " << conflicting.size() << " left out (their members disagree)";
  log << "\n";
  return std::string();
}

// The propagated identifications ("spectrum sequence modifications route
// source shift score q_value"). A node the search identified keeps that;
// of several propagated spectra of one node (the members of a cluster)
// the one with the lowest q-value speaks for it.
std::string ReadPropagated(const std::string& path, const NodeIndex& index,
                           const std::unordered_map<std::string, std::size_t>& node_of_member,
                           SpectralNetwork& network, std::ostream& log) {
  std::ifstream in;
  if (!text::OpenInput(in, path)) return "Cannot read the propagation table: " + path;
  const std::string kHeader = "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value";
  std::string line;
  // Columns after these (the runs, native id, retention time) are read past.
  if (!text::ReadLine(in, line) || line.compare(0, kHeader.size(), kHeader) != 0 ||
      (line.size() > kHeader.size() && line[kHeader.size()] != '\t'))
    return "The propagation table " + path + " does not begin with the header line \"" + kHeader + "\"";
  std::size_t number = 1, rows = 0, named = 0;
  std::map<std::size_t, bool> taken;  // propagated nodes, by whether their row has a q-value
  while (text::ReadLine(in, line)) {
    ++number;
    if (line.empty()) continue;
    const std::vector<std::string> f = text::Split(line, '\t');
    double shift = 0.0, score = 0.0, q = 0.0;
    const bool scored = f.size() >= 8 && f[6] != "NA" && f[7] != "NA";
    if (f.size() < 8 || f[0].empty() || f[1].empty() || (f[3] != "cluster" && f[3] != "pairs") ||
        (!f[5].empty() && !Number(f[5], shift)) || (scored && (!Number(f[6], score) || !Number(f[7], q))) ||
        (!scored && (f[6] != "NA" || f[7] != "NA")))
      return "The propagation table " + path + ", line " + std::to_string(number) + ", is not a row: \"" + line + "\"";
    ++rows;
    const std::size_t at = NodeOfName(f[0], index, node_of_member);
    if (at == kNone) continue;
    ++named;
    NetworkNode& node = network.nodes[at];
    if (node.route == "search") continue;
    const auto seen = taken.find(at);
    const bool better = seen == taken.end() || (scored && (!seen->second || q < node.transfer_q_value));
    if (!better) continue;
    taken[at] = scored;
    node.peptide = f[1];
    node.modifications = text::Trim(f[2]);
    node.route = f[3];
    node.source = f[4];
    node.has_shift = !f[5].empty();
    node.shift = shift;
    node.has_transfer = scored;
    node.transfer_score = score;
    node.transfer_q_value = q;
  }
  log << "Propagated identifications: " << named << " of the " << rows << " of " << path
      << " name spectra of the network; " << taken.size() << " nodes identified through them\n";
  return std::string();
}

// Retention times from the run for nodes whose file had none: a spectrum's
// own, a consensus spectrum's the median of its members' (the upper one of
// an even count, as its mass is).
std::string ReadRetentionTimes(const std::vector<std::string>& runs,
                               const std::vector<std::vector<std::string>>& members_of_node, SpectralNetwork& network,
                               std::ostream& log) {
  // Spectrum names carry their run's base name, so the runs' times share
  // one table.
  std::unordered_map<std::string, double> rt_of;
  for (const std::string& run : runs) {
    std::vector<msdata::CSpectrum> spectra;
    if (std::string refused = LoadSpectrumFile(run, spectra); !refused.empty()) return refused;
    for (const msdata::CSpectrum& s : spectra) {
      if (s.retention_time > 0.0) rt_of.emplace(text::ToUpper(s.name), s.retention_time);
    }
  }
  std::size_t timed = 0;
  for (std::size_t k = 0; k < network.nodes.size(); ++k) {
    NetworkNode& node = network.nodes[k];
    if (node.rt >= 0.0) continue;
    std::vector<double> times;
    const std::vector<std::string> names = members_of_node[k].empty() ? std::vector<std::string>{node.name}
                                                                        : members_of_node[k];
    for (const std::string& name : names) {
      const auto found = rt_of.find(text::ToUpper(name));
      if (found != rt_of.end()) times.push_back(found->second);
    }
    if (times.empty()) continue;
    std::sort(times.begin(), times.end());
    node.rt = times[times.size() / 2];
    ++timed;
  }
  log << "Retention times: " << timed << " nodes from " << text::Join(runs, ", ") << " (" << rt_of.size()
      << " timed spectra)\n";
  return std::string();
}

}  // namespace

std::string LoadSpectrumFile(const std::string& input, std::vector<msdata::CSpectrum>& spectra) {
  MS2FormatType type = MS2_FORMAT_DTA;
  std::string why;
  if (!path::IsDirectory(input) && !CMS2InputFactory::FormatFromPath(input, type, why)) return why;
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, false));
  if (!importer || !importer->Load(input, spectra, true))
    return "Cannot load spectra from " + input + (importer ? ": " + importer->LastError() : std::string());
  return std::string();
}

std::string BuildNetwork(const std::vector<msdata::CSpectrum>& spectra, const NetworkInputs& inputs,
                         SpectralNetwork& network, std::ostream& log) {
  network = SpectralNetwork();
  NodeIndex index;
  for (const msdata::CSpectrum& spectrum : spectra) {
    if (index.Find(spectrum.name) != kNone) continue;
    index.Add(spectrum.name, network.nodes.size());
    network.nodes.push_back(NodeOf(spectrum));
  }
  CUnimodTable unimod;
  if (!unimod.Load(inputs.unimod_file)) log << "No Unimod names on the edges: " << unimod.Error() << "\n";
  if (std::string refused = ReadPairs(inputs.pair_file, unimod, inputs.unimod_tolerance, index, network, log);
      !refused.empty())
    return refused;
  std::unordered_map<std::string, std::size_t> node_of_member;
  std::vector<std::vector<std::string>> members_of_node(network.nodes.size());
  if (!inputs.cluster_file.empty()) {
    if (std::string refused = ReadClusters(inputs.cluster_file, index, network, node_of_member, members_of_node, log);
        !refused.empty())
      return refused;
  }
  if (!inputs.runs.empty()) {
    if (std::string refused = ReadRetentionTimes(inputs.runs, members_of_node, network, log); !refused.empty())
      return refused;
  }
  if (!inputs.ids.empty()) {
    if (std::string refused = ReadIdentifications(inputs, index, node_of_member, network, log); !refused.empty())
      return refused;
    network.with_identifications = true;
  }
  if (!inputs.propagated.empty()) {
    if (std::string refused = ReadPropagated(inputs.propagated, index, node_of_member, network, log);
        !refused.empty())
      return refused;
    network.with_identifications = true;
  }
  return std::string();
}

}  // namespace network
