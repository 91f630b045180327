#include "drivers/cluster/ClusterJob.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "clustering/Para.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/SpectralPairSearch.h"
#include "common/ErrorMarker.h"
#include "common/PathUtil.h"
#include "common/PlotProgram.h"
#include "common/SafeFile.h"
#include "drivers/cluster/ClusterSummary.h"
#include "drivers/cluster/JobChecks.h"
#include "drivers/cluster/QualityReport.h"
#include "drivers/cluster/loading/Failure.h"
#include "spectra/MgfWriter.h"

namespace clusterjob {

namespace {

namespace fs = std::filesystem;

// Every way out that leaves no result tells the desktop program so.
int FailWithMarker(std::ostream& out, const std::string& message) {
  const int status = Fail(out, message);
  marker::CreateErrorMarker();
  return status;
}

int WorkerThreads(const JobOptions& options) {
  return options.threads > 0 ? options.threads : static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u));
}

void ReportLoaded(const CSpectraProcess& data, const LoadedSpectra& loaded, std::ostream& out) {
  out << "Loaded " << loaded.loaded << " spectra from " << data.data_directory << "; "
      << loaded.loaded - data.spectra.size() << " with fewer than " << loaded.minimum_peaks
      << " peaks dropped, " << data.spectra.size() << " used.\n";
  out.flush();
}

// Fills each written cluster's members and their files from one pass over
// the origins, and each member written as itself its own file.
bool AddProvenance(const CRepresentativeSpectra& representatives, COriginTable& origins,
                   const std::vector<msdata::CSpectrum>& loaded, const std::string& accession,
                   std::vector<spectra::CMgfCluster>& clusters, const std::vector<int>& positions) {
  const std::vector<int>& cluster_of = representatives.ClusterOf();
  std::unordered_map<int, std::size_t> first_entry;  // cluster number -> first written entry
  std::unordered_map<int, std::size_t> self_entry;   // position -> written entry
  for (std::size_t i = 0; i < clusters.size(); ++i) {
    first_entry.emplace(clusters[i].number, i);
    if (positions[i] >= 0) self_entry.emplace(positions[i], i);
  }
  std::unordered_map<std::size_t, std::unordered_set<std::string>> files_seen;
  const std::vector<std::int32_t>& position_of_row = origins.Positions();
  if (!origins.Rewind()) return false;
  std::string line;
  for (std::size_t row = 0; origins.NextRow(line); ++row) {
    const std::int32_t p = row < position_of_row.size() ? position_of_row[row] : -1;
    if (p < 0 || static_cast<std::size_t>(p) >= cluster_of.size()) continue;
    const auto entry = first_entry.find(cluster_of[p]);
    if (entry == first_entry.end()) continue;
    const std::vector<std::string_view> fields = RowFields(line);
    if (fields.size() < 9) return false;
    spectra::CMgfCluster& c = clusters[entry->second];
    if (!c.members.empty()) c.members += '\t';
    if (!accession.empty()) {
      c.members += RowUsi(fields, accession);
    } else if (!fields[3].empty()) {
      c.members += fields[3];
    } else {
      c.members += loaded[p].name;
    }
    const std::string file(fields[0]);
    if (files_seen[entry->second].insert(file).second) {
      if (!c.member_files.empty()) c.member_files += '\t';
      c.member_files += file;
    }
    if (const auto self = self_entry.find(p); self != self_entry.end()) clusters[self->second].source_file = file;
  }
  if (origins.Failed()) return false;
  // A cluster written twice (consensus and representative) carries its
  // members on both.
  for (std::size_t i = 0; i < clusters.size(); ++i) {
    const spectra::CMgfCluster& first = clusters[first_entry[clusters[i].number]];
    if (&first == &clusters[i]) continue;
    clusters[i].members = first.members;
    clusters[i].member_files = first.member_files;
  }
  return true;
}

// The spectra the clustering wrote, as one MGF file in cluster order.
bool WriteOutputMgf(CRepresentativeSpectra& representatives, const std::string& path, COriginTable* origins,
                    const std::vector<msdata::CSpectrum>& loaded, const std::string& accession, std::string& error) {
  auto& written = representatives.written;
  std::stable_sort(written.begin(), written.end(), [](const auto& a, const auto& b) { return a.cluster < b.cluster; });
  std::vector<msdata::CSpectrum> spectra;
  std::vector<spectra::CMgfCluster> clusters;
  std::vector<int> positions;
  for (auto& w : written) {
    spectra.push_back(std::move(w.spectrum));
    spectra::CMgfCluster c;
    c.number = w.cluster;
    c.size = w.size;
    c.members_table = kClusterTableName;
    clusters.push_back(std::move(c));
    positions.push_back(w.position);
  }
  if (origins && !AddProvenance(representatives, *origins, loaded, accession, clusters, positions)) {
    error = "Cannot write the MGF file: " + path + " (the scratch file of the spectrum origins cannot be read)";
    return false;
  }
  return spectra::WriteMgfFile(path, spectra, error, &clusters);
}

// The merges of a clustering at `floor` that writes nothing: what every
// threshold from 1.0 down to it would cluster.
std::vector<linkage::Merge> SurveyMerges(const CPara& para, const CSimilarityCluster& clustering, double floor) {
  CSpectraProcess settings = para.spectra_process->SettingsOnly();
  settings.out_directory.clear();
  CSimilarityCluster survey(&settings, nullptr, clustering.precursor_ion_tol, clustering.precursor_ion_tol_type,
                            floor);
  survey.worker_threads = clustering.worker_threads;
  survey.clustering_mode = clustering.clustering_mode;
  survey.peak_source = clustering.peak_source;
  std::vector<linkage::Merge> merges;
  survey.merge_log = &merges;
  CSimilarity similarity = *para.similarity;
  CPeakSelect selection = *para.peak_select;
  survey.Run(para.spectra_process->spectra, &similarity, &selection);
  return merges;
}

// With a target incorrect ratio: the threshold chosen from a survey down
// to the search floor, set on the strategy and written into the parameter
// file; the survey's curve in `rows`. False when the file cannot be written.
bool ChooseThresholdForTarget(CPara& para, CSimilarityCluster& clustering, const JobOptions& options,
                              const std::vector<int>& peptides, std::vector<quality::Figures>& rows,
                              ThresholdChoice& choice, std::ostream& out) {
  const double floor = std::min(options.search_floor, clustering.threshold);
  out << "Surveying thresholds from 1.00 down to " << floor << "...\n";
  out.flush();
  rows = quality::Curve(para.spectra_process->spectra.size(), SurveyMerges(para, clustering, floor), peptides, floor);
  choice = ChooseThreshold(rows, options.target_incorrect);
  out << DescribeChoice(choice, options.target_incorrect, clustering.threshold) << "\n";
  if (!choice.chosen) return true;
  clustering.threshold = choice.at.threshold;
  return para.WriteParaFile(options.parameter_file);
}

// The threshold curve as its table, its picture or both, from `rows`;
// each file written is added to `written`. "" or why not.
std::string WriteCurve(const std::vector<quality::Figures>& rows, const JobOptions& options,
                       std::vector<std::string>& written) {
  // The picture is drawn from a table: the curve file, or one of its own
  // beside the picture for as long as the drawing takes.
  const std::string table =
      !options.curve.empty() ? options.curve : options.curve_plot + ".curve-" + std::to_string(::getpid());
  std::string error;
  if (!safefile::WriteWholeFile(table, quality::CurveTable(rows), &error))
    return "Cannot write the curve file: " + table + " (" + error + ")";
  if (!options.curve.empty()) written.push_back(table);
  if (options.curve_plot.empty()) return {};
  const std::string refused = DrawCurvePicture(table, options.curve_plot);
  if (options.curve.empty()) std::remove(table.c_str());
  if (!refused.empty()) return refused;
  written.push_back(options.curve_plot);
  return {};
}

// The run's closing counts: how many clusters the spectra made, and how
// many spectra share a cluster with another. One line of fixed words and
// plain numbers, whatever the counts, so that scripts read it as it is.
std::string ClusterCounts(const CRepresentativeSpectra& representatives) {
  std::size_t spectra = 0, clusters = 0, joined = 0, joined_spectra = 0;
  for (const int size : representatives.ClusterSizes()) {
    if (size <= 0) continue;  // the unused number 0
    spectra += static_cast<std::size_t>(size);
    ++clusters;
    if (size >= 2) {
      ++joined;
      joined_spectra += static_cast<std::size_t>(size);
    }
  }
  return "Clusters: " + std::to_string(clusters) + " from " + std::to_string(spectra) +
         " spectra; clusters of two or more: " + std::to_string(joined) + ", holding " +
         std::to_string(joined_spectra) + " spectra.";
}

// The pair search's closing counts, in the same words.
std::string PairCounts(std::size_t pairs, std::size_t spectra) {
  return "Pairs: " + std::to_string(pairs) + " among " + std::to_string(spectra) + " spectra.";
}

// The lines of a pair file written whole: its pairs.
std::size_t LinesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::size_t lines = 0;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    lines += static_cast<std::size_t>(std::count(buffer, buffer + in.gcount(), '\n'));
  }
  return lines;
}

// Removes the files a failed run wrote: only files of its own, as its
// writers leave them (a device or a link to one was written in place and
// is never ours to remove).
void RemoveWritten(const std::vector<std::string>& written) {
  for (const std::string& file : written) {
    std::error_code ec;
    if (fs::is_regular_file(fs::symlink_status(file, ec))) fs::remove(file, ec);
  }
}

// Where the run's time went, in its summary: reading, clustering (of
// which preparing peaks, comparing and linking are summed over threads) and
// writing the spectrum and cluster files.
void AddPhases(summary::CRunSummary& run, const LoadedSpectra& loaded, const CSimilarityCluster& clustering) {
  const CSimilarityCluster::Phases& p = clustering.phases;
  summary::CJson& phases = run.Details()["phase_seconds"];
  phases.Set("reading", loaded.seconds);
  phases.Set("clustering", p.clustering_wall);
  phases.Set("preparing_peaks_on_threads", p.preparing);
  phases.Set("comparing_on_threads", p.comparing);
  phases.Set("linking_on_threads", p.linking);
  phases.Set("writing", p.writing_wall);
}

int RunClustering(CPara& para, CSimilarityCluster& clustering, const JobOptions& options, int threads,
                  const LoadedSpectra& loaded, COriginTable& origins, summary::CRunSummary& run,
                  std::ostream& out) {
  COffloadedPeaks* offloaded = loaded.offloaded.get();
  const CSpectraProcess& data = *para.spectra_process;
  clustering.worker_threads = threads;
  clustering.peak_source = offloaded;
  std::vector<int> peptides;
  if (!options.ids.empty()) {
    if (std::string refused = PeptidesOfSpectra(options.ids, options.id_filter, data.spectra, peptides, out);
        !refused.empty())
      return FailWithMarker(out, refused);
  }
  const bool curve = !options.curve.empty() || !options.curve_plot.empty();
  std::vector<quality::Figures> rows;
  std::vector<linkage::Merge> merges;
  ThresholdChoice choice;
  if (options.target_incorrect >= 0.0) {
    if (!ChooseThresholdForTarget(para, clustering, options, peptides, rows, choice, out))
      return FailWithMarker(out, "Cannot write the parameter file: " + options.parameter_file);
  } else if (curve) {
    clustering.merge_log = &merges;
  }
  CRepresentativeSpectra& representatives = *para.representative_spectra;
  representatives.record_written = !options.mgf.empty();
  representatives.write_files = options.spectrum_files;
  // Every other file of the run comes after the spectrum files and before
  // the cluster file, the last file of a run that has finished: a run that
  // fails on one of them writes no cluster file, and the ones it wrote go.
  const std::string table = ClusterTablePath(data.cluster_result);
  std::vector<std::string> written;
  std::string failure;
  representatives.clusters_numbered = [&](const std::vector<unsigned char>& representative) {
    if (representatives.failed_writes > 0) {
      failure = "Cannot write " + std::to_string(representatives.failed_writes) + " spectra into " + data.out_directory;
      return false;
    }
    const ClusterCells cells{&representatives.ClusterOf(), &representatives.ClusterSizes(), &representative};
    if (!WriteClusterTable(table, origins, cells, options.px, failure)) return false;
    written.push_back(table);
    if (!options.mgf.empty()) {
      if (!WriteOutputMgf(representatives, options.mgf, &origins, data.spectra, options.px, failure)) return false;
      written.push_back(options.mgf);
    }
    if (curve) {
      if (rows.empty()) rows = quality::Curve(data.spectra.size(), merges, peptides, clustering.threshold);
      failure = WriteCurve(rows, options, written);
    }
    return failure.empty();
  };
  clustering.Run(para.spectra_process->spectra, para.similarity.get(), para.peak_select.get());
  representatives.clusters_numbered = nullptr;
  if (failure.empty() && !path::IsRegularFile(data.cluster_result))
    failure = "Cannot write the cluster file: " + data.cluster_result;
  if (failure.empty()) {
    ClusteringOutcome outcome;
    outcome.spectra_read = loaded.loaded;
    outcome.spectra_kept = data.spectra.size();
    outcome.cluster_sizes = &representatives.ClusterSizes();
    if (options.target_incorrect >= 0.0) outcome.choice = &choice;
    if (!rows.empty() && !options.ids.empty()) outcome.curve_end = &rows.back();
    AddPhases(run, loaded, clustering);
    failure = WriteClusteringSummary(run, para, options, outcome);
  }
  if (!failure.empty()) {
    RemoveWritten(written);
    return FailWithMarker(out, failure);
  }
  if (!options.mgf.empty()) out << "MGF file: " << options.mgf << "\n";
  out << "Cluster table: " << table << "\n";
  out << "Cluster file: " << data.cluster_result << "\n";
  out << "Pairs scored: " << clustering.pairs_scored << ", above the threshold: " << clustering.pairs_above << "\n";
  if (options.spectrum_files && WritesRepresentatives(para) && !data.out_directory.empty())
    out << "Spectra: " << data.out_directory << "\n";
  if (!options.curve.empty()) out << "Threshold curve: " << options.curve << "\n";
  if (!options.curve_plot.empty()) out << "Threshold curve picture: " << options.curve_plot << "\n";
  if (curve && !options.ids.empty() && !rows.empty() &&
      rows.back().identified_clustered < quality::kLeastIdentifiedClustered) {
    out << "The incorrect ratio cannot be estimated: " << rows.back().identified_clustered
        << " identified spectra are clustered at " << rows.back().threshold << " (at least "
        << quality::kLeastIdentifiedClustered << " needed)\n";
  }
  out << ClusterCounts(representatives) << "\n";
  return 0;
}

// The network of the pairs just found, when asked for.
int WriteNetworkOfSearch(const CSpectraProcess& data, const CSpectralPairSearch& search, const JobOptions& options,
                         std::ostream& out) {
  if (options.network.path.empty()) return 0;
  const std::string refused = network::WriteSearchNetwork(data.spectra, data.cluster_result, options.network,
                                                          options.ids, options.id_filter, search.cluster_masses_tol, out);
  return refused.empty() ? 0 : FailWithMarker(out, refused);
}

// The pair search's summary once its files are all written; a failure to
// write it fails the run.
int WritePairSearchSummary(summary::CRunSummary& run, const CPara& para, const CSpectralPairSearch& search,
                           const JobOptions& options, std::size_t pairs, std::ostream& out) {
  PairSearchOutcome outcome;
  outcome.spectra = para.spectra_process->spectra.size();
  outcome.pairs = pairs;
  outcome.search = &search;
  if (!options.shift_search) outcome.shift_table = CSpectralPairSearch::kHistogramFile;
  const std::string refused = WritePairSummary(run, para, options, outcome);
  return refused.empty() ? 0 : FailWithMarker(out, refused);
}

int RunPairSearch(CPara& para, CSpectralPairSearch& search, const JobOptions& options, int threads,
                  summary::CRunSummary& run, std::ostream& out) {
  CSpectraProcess& data = *para.spectra_process;
  search.worker_threads = threads;
  search.release_raw_peaks = true;  // nothing reads the spectra's peaks after the search
  if (options.shift_search) {
    search.ShiftSearch(data.spectra, para.similarity.get(), para.peak_select.get());
    if (!path::IsRegularFile(data.cluster_result)) {
      return FailWithMarker(out, "Cannot write the pair file: " + data.cluster_result);
    }
    out << "Pair file with shifts: " << data.cluster_result << "\n";
    if (const int status = WriteNetworkOfSearch(data, search, options, out); status != 0) return status;
    const std::size_t pairs = LinesOf(data.cluster_result);
    if (const int status = WritePairSearchSummary(run, para, search, options, pairs, out); status != 0) return status;
    out << PairCounts(pairs, data.spectra.size()) << "\n";
    return 0;
  }
  search.Run(data.spectra, para.similarity.get(), para.peak_select.get());
  if (!path::IsRegularFile(data.cluster_result)) {
    return FailWithMarker(out, "Cannot write the pair file: " + data.cluster_result);
  }
  if (!path::IsRegularFile(CSpectralPairSearch::kHistogramFile)) {
    return FailWithMarker(out,
                          std::string("Cannot write the mass-shift table: ") + CSpectralPairSearch::kHistogramFile);
  }
  out << "Pair file: " << data.cluster_result << "\n"
      << "Mass-shift table: " << CSpectralPairSearch::kHistogramFile << "\n";
  // Without the score log only the pairs that could pass were scored.
  if (search.joined) out << "Pairs in the mass window: " << search.pairs_in_window << "\n";
  out << "Pairs scored: " << search.pairs_scored << ", above the threshold: " << search.pairs_above << "\n";
  if (search.decoy_pairs) out << CSpectralPairSearch::DecoyEstimate(search.pairs_above, search.decoy_pairs_above) << "\n";
  if (!options.plot.empty()) {
    if (std::string refused = plotprogram::Draw({"histogram", CSpectralPairSearch::kHistogramFile, options.plot},
                                                "Cannot draw the mass-shift histogram picture: " + options.plot);
        !refused.empty())
      return FailWithMarker(out, refused);
    out << "Mass-shift histogram picture: " << options.plot << "\n";
  }
  if (const int status = WriteNetworkOfSearch(data, search, options, out); status != 0) return status;
  if (const int status = WritePairSearchSummary(run, para, search, options, search.pairs_above, out); status != 0)
    return status;
  out << PairCounts(search.pairs_above, data.spectra.size()) << "\n";
  return 0;
}

}  // namespace

std::string CheckJob(const CPara& para, const JobOptions& options) {
  if (std::string refused = CheckThreads(options.threads); !refused.empty()) return refused;
  if (std::string refused = CheckParameterLimits(para); !refused.empty()) return refused;
  const bool clustering = para.cluster->cluster_type == CLUSTER_SIMILARITY;
  const bool pair_search = para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR;
  if (!clustering && ((!options.ids.empty() && options.network.path.empty()) || !options.curve.empty() ||
                      !options.curve_plot.empty() || options.target_incorrect >= 0.0))
    return "The threshold curve and a target incorrect ratio are figures of clustering (type clusters) only";
  if (options.decoy_pairs && (!pair_search || options.shift_search))
    return "The expected false pairs (--decoy-pairs) are a figure of the pair search (type pairs, without "
           "--shift-search) only";
  if (!options.mgf.empty() && !clustering)
    return "Only a clustering (cluster_type=0) writes an MGF file of its spectra; a pair search writes none: " +
           options.mgf;
  if (!options.plot.empty() && (!pair_search || options.shift_search))
    return "The mass-shift histogram picture (--plot) is drawn by the pair search (type pairs) only";
  if (!options.network.path.empty() && !pair_search) return "The network is one of a pair search (type pairs)";
  if (!options.px.empty()) {
    if (!clustering) return "--px gives the spectra of the cluster table their USIs: clustering (type clusters) only";
    if (std::string refused = CheckAccession(options.px); !refused.empty()) return "--px: " + refused;
  }
  const JobFiles files = FilesOfJob(para, options);
  if (std::string refused = CheckFileClashes(files); !refused.empty()) return refused;
  if (std::string refused = CheckJobPaths(para, options.spectrum_files); !refused.empty()) return refused;
  if (std::string refused = CheckFileAccess(files); !refused.empty()) return refused;
  // The pictures need the plot program as well.
  if (!options.curve_plot.empty()) {
    if (std::string refused = plotprogram::CheckPictureTarget(options.curve_plot, "curve picture", "cluster");
        !refused.empty())
      return refused;
  }
  if (!options.plot.empty()) {
    if (std::string refused = plotprogram::CheckPictureTarget(options.plot, "histogram picture", "cluster");
        !refused.empty())
      return refused;
  }
  if (!options.network.path.empty()) return network::CheckNetworkRequest(options.network, options.ids);
  return {};
}

int FailWithUsage(std::ostream& out) { return FailWithMarker(out, kUsage); }

int Run(const JobOptions& options, std::ostream& out) {
  try {
    CPara para;
    if (std::string refused = ReadJobParameters(options.parameter_file, options.shift_search, para); !refused.empty())
      return FailWithMarker(out, refused);
    if (std::string refused = CheckJob(para, options); !refused.empty()) return FailWithMarker(out, refused);
    if (options.decoy_pairs) para.cluster->decoy_pairs = true;
    summary::CRunSummary run("cluster", para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR ? "pairs" : "clustering");
    // The pair search writes "temp.temp" under its fixed name in the working
    // folder: two searches there would leave one table for two runs.
    const bool pair_search = para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR;
    safefile::CFolderLock lock;
    if (pair_search && !options.folder_locked && !safefile::LockWorkingFolder(lock, options.no_wait))
      return FailWithMarker(out, "Another run is using this working folder");

    const int threads = WorkerThreads(options);
    LoadChoices choices;
    choices.threads = threads;
    choices.offload_peaks = true;
    // Clustering keeps where each spectrum came from, in a scratch file
    // beside the cluster file, for the table written there.
    COriginTable origins;
    if (!pair_search) {
      std::string error;
      // A folder that takes no scratch file takes no cluster file either:
      // said before the work, in the words of the later failure.
      if (!origins.Open(path::DirectoryOf(path::Absolute(para.spectra_process->cluster_result)), error))
        return FailWithMarker(out, "Cannot write the cluster file: " + para.spectra_process->cluster_result + " (" +
                                       error + ")");
      choices.origins = &origins;
      choices.pooled = options.pooled_origins.get();
    }
    LoadedSpectra loaded;
    if (std::string refused = LoadJobSpectra(para, options.parameter_file, choices, loaded); !refused.empty())
      return FailWithMarker(out, refused);
    const CSpectraProcess& data = *para.spectra_process;
    ReportLoaded(data, loaded, out);

    // The results are replaced by this run; removing them first means that
    // a run that fails to write them cannot pass off an older file as its own.
    path::RemoveFile(data.cluster_result);
    path::RemoveFile(summary::SummaryPathFor(data.cluster_result));
    if (!pair_search) path::RemoveFile(ClusterTablePath(data.cluster_result));
    path::RemoveFile(CSpectralPairSearch::kHistogramFile);

    if (auto* clustering = dynamic_cast<CSimilarityCluster*>(para.cluster.get()))
      return RunClustering(para, *clustering, options, threads, loaded, origins, run, out);
    if (auto* search = dynamic_cast<CSpectralPairSearch*>(para.cluster.get()))
      return RunPairSearch(para, *search, options, threads, run, out);
    return FailWithMarker(out, "Unknown cluster type in parameter file: " + options.parameter_file);
  } catch (const std::exception& e) {
    return FailWithMarker(out, std::string("Clustering failed: ") + e.what());
  }
}

}  // namespace clusterjob
