#include "clustering/RepresentativeSpectra.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "clustering/ConsensusNames.h"
#include "clustering/PeakOrder.h"
#include "clustering/PeakSelect.h"
#include "clustering/Workers.h"
#include "common/Dta.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"

namespace {

// A spectrum name becomes a file name in the output directory; one that
// would point elsewhere is not written at all.
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec);
}

// A consensus spectrum as a DTA file, under its name only when whole.
bool WriteConsensusFile(const msdata::CSpectrum& consensus, const std::string& target) {
  safefile::CSafeFile out;
  if (!out.Open(target)) return false;
  std::fprintf(out.Get(), "%f %d\n", consensus.precursor_mass, consensus.charge);
  for (const msdata::Peak& p : consensus.peaks) {
    std::fprintf(out.Get(), "%f %f\n", p.first, p.second);
  }
  return out.Commit();
}

// A cluster of several members with the name its consensus file is
// planned under.
struct Consensus {
  std::vector<int> members;  // chain order
  std::string name;
};

// The clusters whose heads are not `done`, heads ascending, each named
// part(head)-part(middle)-part(last).dta; marks their members done.
std::vector<Consensus> PlanConsensus(const std::vector<msdata::CSpectrum>& spectra,
                                     const std::vector<ClusterLink>& links,
                                     std::vector<unsigned char>& done) {
  const std::size_t n = done.size();
  std::vector<Consensus> clusters;
  for (std::size_t k = 0; k < n; ++k) {
    if (done[k]) continue;
    Consensus c;
    for (int m : CRepresentativeSpectra::Chain(links, static_cast<int>(k))) {
      if (static_cast<std::size_t>(m) >= n || done[m]) break;
      done[m] = 1;
      c.members.push_back(m);
    }
    const std::vector<int>& mem = c.members;
    c.name = CRepresentativeSpectra::NamePart(spectra[mem.front()].name) + "-" +
             CRepresentativeSpectra::NamePart(spectra[mem[mem.size() / 2]].name) + "-" +
             CRepresentativeSpectra::NamePart(spectra[mem.back()].name) + ".dta";
    clusters.push_back(std::move(c));
  }
  return clusters;
}

// The consensus spectrum of a cluster, not yet named: the raw peaks of all
// members merged (MergePeaks) and selected, top 10 per 100 Da; the upper
// median of the members' masses; the head's charge.
msdata::CSpectrum BuildConsensus(const Consensus& cluster,
                                 const std::vector<msdata::CSpectrum>& spectra,
                                 const CPeakSource* source) {
  static const CPeakSelect kConsensusSelection(PEAK_SELECT_TOP_M_PER_WINDOW, 0, 10, 100);
  msdata::PeakList peaks;
  std::vector<double> masses;
  msdata::PeakList raw;
  for (int m : cluster.members) {
    if (source) {
      source->Raw(static_cast<std::size_t>(m), raw);
      peaks.insert(peaks.end(), raw.begin(), raw.end());
    } else {
      peaks.insert(peaks.end(), spectra[m].peaks.begin(), spectra[m].peaks.end());
    }
    masses.push_back(spectra[m].precursor_mass);
  }
  std::sort(masses.begin(), masses.end());
  msdata::CSpectrum consensus;
  consensus.precursor_mass = masses[masses.size() / 2];
  consensus.charge = spectra[cluster.members.front()].charge;
  consensus.precursor_mz = msdata::MzFromMH(consensus.precursor_mass, consensus.charge);
  consensus.peaks = CRepresentativeSpectra::MergePeaks(std::move(peaks));
  kConsensusSelection.Select(consensus.peaks);
  return consensus;
}

// The cluster file's lines, "row,name,cluster,mass" per spectrum, clusters
// in ascending order of their heads, members in chain order.
template <class Put>
void ForEachClusterLine(const std::vector<msdata::CSpectrum>& spectra,
                        const std::vector<ClusterLink>& links, Put put) {
  const std::size_t n = std::min(spectra.size(), links.size());
  std::vector<unsigned char> taken(n, 0);
  int row = 1;
  int cluster = 1;
  char mass[64];
  std::string line;
  for (std::size_t p = 0; p < n; ++p) {
    if (taken[p]) continue;
    for (int m : CRepresentativeSpectra::Chain(links, static_cast<int>(p))) {
      if (static_cast<std::size_t>(m) >= n || taken[m]) break;
      taken[m] = 1;
      std::snprintf(mass, sizeof mass, "%lf\n", spectra[m].precursor_mass);
      line = std::to_string(row);
      line += ',';
      line += spectra[m].name;
      line += ',';
      line += std::to_string(cluster);
      line += ',';
      line += mass;
      put(line);
      ++row;
    }
    ++cluster;
  }
}

}  // namespace

bool PlaceSpectrum(const msdata::CSpectrum& spectrum, const std::string& data_directory,
                   const std::string& out_directory) {
  if (out_directory.empty() || !IsPlainFileName(spectrum.name)) return false;
  if (!path::IsDirectory(out_directory) && !path::CreateDirectory(out_directory)) return false;
  const std::string target = path::Join(out_directory, spectrum.name);
  if (path::IsDirectory(data_directory)) {
    const std::string source = path::Join(data_directory, spectrum.name);
    if (path::IsRegularFile(source)) {
      if (SameFile(source, target)) return true;
      if (path::CopyFile(source, target)) return true;
    }
  }
  // Not in a data directory (one input file such as mzML, or a missing
  // file): the spectrum in memory is what there is.
  return msdata::WriteDta(spectrum, target);
}

msdata::CSpectrum WithPeaks(const msdata::CSpectrum& spectrum, std::size_t position,
                            const CPeakSource* source) {
  msdata::CSpectrum copy(spectrum);
  if (source) source->Raw(position, copy.peaks);
  return copy;
}

std::string CRepresentativeSpectra::NamePart(const std::string& name) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return "";
  std::string rest = name.substr(0, dot);  // without the extension
  dot = rest.rfind('.');
  if (dot == std::string::npos) return "";
  const std::string charge = rest.substr(dot);  // dot included
  rest.erase(dot);
  dot = rest.rfind('.');
  if (dot == std::string::npos) return "";
  rest.erase(dot);  // without the end scan
  dot = rest.rfind('.');
  if (dot == std::string::npos) return "";
  return rest.substr(dot + 1) + charge;
}

std::vector<int> CRepresentativeSpectra::Chain(const std::vector<ClusterLink>& links, int head) {
  std::vector<int> members;
  const int n = static_cast<int>(links.size());
  // A well-formed chain visits each position once; the bound guards against
  // links that loop.
  for (int m = head; m >= 0 && m < n && static_cast<int>(members.size()) < n; m = links[m].next) {
    members.push_back(m);
  }
  return members;
}

void CRepresentativeSpectra::WriteClusterFile(const std::vector<msdata::CSpectrum>& spectra,
                                              const std::vector<ClusterLink>& links,
                                              std::ostream& out) {
  ForEachClusterLine(spectra, links, [&out](const std::string& line) {
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
  });
}

msdata::PeakList CRepresentativeSpectra::MergePeaks(msdata::PeakList peaks) {
  peakorder::SortLongByMz(peaks);
  msdata::PeakList merged;
  std::size_t g = 0;
  while (g < peaks.size()) {
    const double start = peaks[g].first;
    double mz_sum = 0.0;
    double intensity_sum = 0.0;
    std::size_t end = g;
    while (end < peaks.size() && (end == g || peaks[end].first - start < kMergeWindow)) {
      mz_sum += peaks[end].first;
      intensity_sum += peaks[end].second;
      ++end;
    }
    merged.emplace_back(mz_sum / static_cast<double>(end - g), intensity_sum);
    g = end;
  }
  return merged;
}

void CRepresentativeSpectra::Generate(const std::vector<msdata::CSpectrum>& spectra,
                                      const std::vector<ClusterLink>& links,
                                      const std::vector<int>& representatives,
                                      CSpectraProcess data) {
  spectra_process = std::move(data);
  failed_writes = 0;
  written.clear();
  NumberClusters(links, std::min(spectra.size(), links.size()));

  notify::Message("Generating consensus spectra...");
  // Every kind of representatives puts the spectra that are clusters of
  // their own in place, each once; the other types write no spectrum file.
  const bool consensus = consensus_type == REPRESENTATIVE_CONSENSUS || consensus_type == REPRESENTATIVE_BOTH;
  const bool copies = consensus_type == REPRESENTATIVE_MOST_SIMILAR || consensus_type == REPRESENTATIVE_BOTH;
  if (consensus || copies) {
    const std::size_t n = std::min(spectra.size(), links.size());
    std::vector<unsigned char> done(n, 0);
    CConsensusNames claims;
    PlaceLoneSpectra(spectra, links, done, claims);
    if (consensus) BuildConsensusSpectra(spectra, links, representatives, done, claims);
    if (copies) CopyRepresentatives(spectra, representatives);
  }
  if (clusters_numbered && !clusters_numbered(RepresentativeFlags(representatives))) {
    notify::Message("Cannot generate the clustering result file!");
    return;
  }
  WriteResultFile(spectra, links);
}

void CRepresentativeSpectra::WriteResultFile(const std::vector<msdata::CSpectrum>& spectra,
                                             const std::vector<ClusterLink>& links) const {
  // Written straight to the file: a whole-file text in memory would cost
  // as much again as the names it holds. It takes its name only whole.
  const std::string& result = spectra_process.cluster_result;
  safefile::CSafeFile file;
  if (!file.Open(result, "wb")) {
    notify::Message("Cannot generate the clustering result file!");
    return;
  }
  std::FILE* out = file.Get();
  ForEachClusterLine(spectra, links,
                     [out](const std::string& line) { std::fwrite(line.data(), 1, line.size(), out); });
  if (!file.Commit()) notify::Message("Cannot write the clustering result file: " + result);
}

std::vector<unsigned char> CRepresentativeSpectra::RepresentativeFlags(const std::vector<int>& representatives) const {
  std::vector<unsigned char> flags(cluster_of_.size(), 0);
  const bool copies = consensus_type == REPRESENTATIVE_MOST_SIMILAR || consensus_type == REPRESENTATIVE_BOTH;
  if (!copies && consensus_type != REPRESENTATIVE_CONSENSUS) return flags;
  for (std::size_t p = 0; p < flags.size(); ++p) flags[p] = size_of_cluster_[cluster_of_[p]] == 1;
  if (copies) {
    for (int r : representatives) {
      if (r >= 0 && static_cast<std::size_t>(r) < flags.size()) flags[r] = 1;
    }
  }
  return flags;
}

void CRepresentativeSpectra::NumberClusters(const std::vector<ClusterLink>& links,
                                            std::size_t n) {
  cluster_of_.assign(n, 0);
  size_of_cluster_.assign(1, 0);
  for (std::size_t p = 0; p < n; ++p) {
    if (cluster_of_[p] != 0) continue;
    const int number = static_cast<int>(size_of_cluster_.size());
    size_of_cluster_.push_back(0);
    for (int m : Chain(links, static_cast<int>(p))) {
      if (static_cast<std::size_t>(m) >= n || cluster_of_[m] != 0) break;
      cluster_of_[m] = number;
      ++size_of_cluster_[number];
    }
  }
}

void CRepresentativeSpectra::PlaceMember(const msdata::CSpectrum& member, int position) {
  const std::string& out_directory = spectra_process.out_directory;
  msdata::CSpectrum loaded;
  if (peak_source) loaded = WithPeaks(member, static_cast<std::size_t>(position), peak_source);
  const msdata::CSpectrum& spectrum = peak_source ? loaded : member;
  // Without files the spectrum is recorded under the same conditions as a
  // placed one, so that the caller's MGF file is the same either way.
  const bool placed = write_files ? PlaceSpectrum(spectrum, spectra_process.data_directory, out_directory)
                                  : !out_directory.empty() && IsPlainFileName(spectrum.name);
  if (!placed) {
    // A name that is no plain file name is skipped by design; anything else
    // is a spectrum lost.
    if (!out_directory.empty() && IsPlainFileName(spectrum.name)) ++failed_writes;
    return;
  }
  if (record_written && static_cast<std::size_t>(position) < cluster_of_.size()) {
    const int cluster = cluster_of_[position];
    written.push_back({spectrum, cluster, size_of_cluster_[cluster], position});
  }
}

void CRepresentativeSpectra::CopyRepresentatives(const std::vector<msdata::CSpectrum>& spectra,
                                                 const std::vector<int>& representatives) {
  for (int r : representatives) {
    if (r < 0 || static_cast<std::size_t>(r) >= spectra.size()) continue;
    // A cluster of one was put in place with the lone spectra.
    if (static_cast<std::size_t>(r) < cluster_of_.size() && size_of_cluster_[cluster_of_[r]] == 1) continue;
    PlaceMember(spectra[r], r);
  }
}

void CRepresentativeSpectra::BuildConsensusSpectra(const std::vector<msdata::CSpectrum>& spectra,
                                                   const std::vector<ClusterLink>& links,
                                                   const std::vector<int>& representatives,
                                                   std::vector<unsigned char>& done, CConsensusNames& claims) {
  const std::string& out_directory = spectra_process.out_directory;
  const std::size_t n = done.size();
  if (write_files && !out_directory.empty() && !path::IsDirectory(out_directory)) {
    path::CreateDirectory(out_directory);
  }
  if (consensus_type == REPRESENTATIVE_BOTH) {
    for (int r : representatives) {
      if (r >= 0 && static_cast<std::size_t>(r) < n) claims.Reserve(spectra[r].name);
    }
  }
  // All names are planned before any is claimed, so that the plain name of
  // a later cluster is never given to an earlier one as a suffixed name.
  const std::vector<Consensus> clusters = PlanConsensus(spectra, links, done);
  for (const Consensus& c : clusters) claims.Plan(c.name);

  // Rounds of clusters built side by side, then written in order.
  constexpr std::size_t kRound = 256;
  const std::size_t threads = static_cast<std::size_t>(std::max(1, worker_threads));
  std::vector<msdata::CSpectrum> built;
  for (std::size_t first = 0; first < clusters.size(); first += kRound) {
    const std::size_t end = std::min(clusters.size(), first + kRound);
    built.assign(end - first, msdata::CSpectrum());
    std::atomic<std::size_t> next{first};
    workers::OnThreads(static_cast<int>(std::min(threads, end - first)), [&]() {
      for (std::size_t c = next.fetch_add(1); c < end; c = next.fetch_add(1)) {
        built[c - first] = BuildConsensus(clusters[c], spectra, peak_source);
      }
    });
    for (std::size_t c = first; c < end; ++c) {
      built[c - first].name = claims.Claim(clusters[c].name);
      WriteConsensus(std::move(built[c - first]), clusters[c].members.front());
    }
  }
}

void CRepresentativeSpectra::PlaceLoneSpectra(const std::vector<msdata::CSpectrum>& spectra,
                                              const std::vector<ClusterLink>& links,
                                              std::vector<unsigned char>& done,
                                              CConsensusNames& claims) {
  for (std::size_t k = 0; k < done.size(); ++k) {
    if (links[k].root == static_cast<std::int32_t>(k) && links[k].next == -1) {
      PlaceMember(spectra[k], static_cast<int>(k));
      claims.Reserve(spectra[k].name);
      done[k] = 1;
    }
  }
}

void CRepresentativeSpectra::WriteConsensus(msdata::CSpectrum consensus, int head) {
  const std::string& out_directory = spectra_process.out_directory;
  if (out_directory.empty() || !IsPlainFileName(consensus.name)) return;
  if (write_files && !WriteConsensusFile(consensus, path::Join(out_directory, consensus.name))) {
    ++failed_writes;
    return;
  }
  if (record_written) {
    const int cluster = cluster_of_[head];
    written.push_back({std::move(consensus), cluster, size_of_cluster_[cluster], -1});
  }
}
