#include "drivers/cluster/ClusterJob.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <memory>
#include <numeric>
#include <thread>

#include "clustering/Para.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/SpectralPairSearch.h"
#include "common/ErrorMarker.h"
#include "common/SafeFile.h"
#include "drivers/cluster/JobChecks.h"
#include "drivers/cluster/OffloadedPeaks.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "spectra/MS2Input.h"
#include "spectra/MgfImporter.h"
#include "spectra/MgfWriter.h"

namespace clusterjob {

namespace {

struct Options {
  std::string parameter_file;
  bool shift_search = false;
  int threads = 0;  // 0: every hardware thread
  std::string mgf;  // also write the output spectra into this MGF file
  bool no_wait = false;
};

bool ParseArguments(const std::vector<std::string>& args, Options& options) {
  bool have_file = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (a == "--shift-search") {
      options.shift_search = true;
    } else if (a == "--threads") {
      if (k + 1 >= args.size()) return false;
      options.threads = text::AtoI(args[++k]);
      if (options.threads < 1) return false;
    } else if (a == "--mgf") {
      if (k + 1 >= args.size() || args[k + 1].empty()) return false;
      options.mgf = args[++k];
    } else if (a == "--no-wait") {
      options.no_wait = true;
    } else if (!have_file && !a.empty() && a.rfind("--", 0) != 0) {
      options.parameter_file = a;
      have_file = true;
    } else {
      return false;
    }
  }
  return have_file;
}

// Every way out that leaves no result tells the desktop program so.
int Fail(std::ostream& out, const std::string& message) {
  out << message << "\n";
  marker::CreateErrorMarker();
  return 1;
}

}  // namespace

std::vector<std::uint32_t> ClusteringOrder(const std::vector<msdata::CSpectrum>& spectra) {
  std::vector<std::uint32_t> order(spectra.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&spectra](std::uint32_t x, std::uint32_t y) {
    const msdata::CSpectrum& a = spectra[x];
    const msdata::CSpectrum& b = spectra[y];
    if (a.charge != b.charge) return a.charge < b.charge;
    return a.precursor_mass < b.precursor_mass;
  });
  return order;
}

namespace {
void Reorder(std::vector<msdata::CSpectrum>& spectra, const std::vector<std::uint32_t>& order) {
  std::vector<msdata::CSpectrum> ordered;
  ordered.reserve(order.size());
  for (std::uint32_t from : order) ordered.push_back(std::move(spectra[from]));
  spectra.swap(ordered);
}
}  // namespace

void OrderForClustering(std::vector<msdata::CSpectrum>& spectra) {
  Reorder(spectra, ClusteringOrder(spectra));
}

void OrderForPairSearch(std::vector<msdata::CSpectrum>& spectra) {
  std::stable_sort(spectra.begin(), spectra.end(),
                   [](const msdata::CSpectrum& a, const msdata::CSpectrum& b) {
                     return a.precursor_mass > b.precursor_mass;
                   });
}

int Run(const std::vector<std::string>& args, std::ostream& out) {
  Options options;
  if (!ParseArguments(args, options)) return Fail(out, kUsage);
  if (!options.mgf.empty() && path::IsRegularFile(options.mgf) && path::IsRegularFile(options.parameter_file) &&
      safefile::SameFile(options.mgf, options.parameter_file))
    return Fail(out, "The MGF file would overwrite the parameter file: " + options.mgf);

  try {
    CPara para;
    if (!para.ReadParaFile(options.parameter_file)) {
      return Fail(out, "Cannot read parameter file: " + options.parameter_file);
    }
    if (!para.cluster) {
      return Fail(out, "Unknown cluster type in parameter file: " + options.parameter_file);
    }
    CSpectraProcess& data = *para.spectra_process;
    const bool pair_search = para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR;
    if (options.shift_search && !pair_search) {
      return Fail(out, "The shift search needs cluster_type=1: " + options.parameter_file);
    }
    if (data.data_directory.empty()) {
      return Fail(out, "Wrong data path!");
    }
    if (data.cluster_result.empty()) {
      return Fail(out, "No result file (cluster_result) in: " + options.parameter_file);
    }
    if (const std::string refused = CheckParameterLimits(para); !refused.empty()) return Fail(out, refused);
    if (const std::string refused = CheckJobPaths(para); !refused.empty()) return Fail(out, refused);
    if (!options.mgf.empty() && safefile::SameFile(options.mgf, data.data_directory))
      return Fail(out, "The MGF file would overwrite the input: " + options.mgf);
    // The pair search writes "temp.temp" under its fixed name in the working
    // folder: two searches there would leave one table for two runs.
    safefile::CFolderLock lock;
    if (pair_search && !safefile::LockWorkingFolder(lock, options.no_wait))
      return Fail(out, "Another run is using this working folder");

    std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(data.data_type, true));
    if (!importer) {
      return Fail(out, "Unknown data type " + std::to_string(static_cast<int>(data.data_type)) +
                           " in parameter file: " + options.parameter_file);
    }
    const int threads =
        options.threads > 0
            ? options.threads
            : static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u));
    const std::size_t minimum =
        data.small_peaks_count_filter > 0 ? static_cast<std::size_t>(data.small_peaks_count_filter)
                                          : 0;
    // Clustering one MGF file keeps only the selected peaks in memory and
    // reads the raw ones again for the spectrum files it writes.
    std::unique_ptr<COffloadedPeaks> offloaded;
    if (!pair_search && data.data_type == MS2_FORMAT_MGF && path::IsRegularFile(data.data_directory)) {
      offloaded = std::make_unique<COffloadedPeaks>(
          para.peak_select ? *para.peak_select : CPeakSelect(), minimum, threads);
      if (!offloaded->Open(data.data_directory)) {
        return Fail(out, "Cannot load spectra from " + data.data_directory + ": Cannot open file: " +
                             data.data_directory);
      }
      importer->SetHook([&offloaded](msdata::CSpectrum& s, const CMS2Input::RecordPlace& place) {
        return offloaded->Keep(s, place);
      });
    }
    if (auto* mgf = dynamic_cast<CMgfImporter*>(importer.get())) mgf->SetThreads(threads);
    if (!importer->Load(data.data_directory, data.spectra, true)) {
      return Fail(out, "Cannot load spectra from " + data.data_directory + ": " +
                           importer->LastError());
    }
    std::size_t loaded = data.spectra.size();
    if (offloaded) {
      loaded += offloaded->Dropped();
    } else {
      data.spectra.erase(std::remove_if(data.spectra.begin(), data.spectra.end(),
                                        [minimum](const msdata::CSpectrum& s) {
                                          return s.peaks.size() < minimum;
                                        }),
                         data.spectra.end());
    }
    out << "Loaded " << loaded << " spectra from " << data.data_directory << "; "
        << loaded - data.spectra.size() << " with fewer than " << minimum
        << " peaks dropped, " << data.spectra.size() << " used.\n";
    out.flush();

    if (pair_search) {
      OrderForPairSearch(data.spectra);
    } else if (offloaded) {
      std::vector<std::uint32_t> order = ClusteringOrder(data.spectra);
      Reorder(data.spectra, order);
      offloaded->Arrange(std::move(order));
    } else {
      OrderForClustering(data.spectra);
    }

    // The results are replaced by this run; removing them first means that
    // a run that fails to write them cannot pass off an older file as its own.
    path::RemoveFile(data.cluster_result);
    path::RemoveFile(CSpectralPairSearch::kHistogramFile);

    if (auto* clustering = dynamic_cast<CSimilarityCluster*>(para.cluster.get())) {
      clustering->worker_threads = threads;
      clustering->peak_source = offloaded.get();
      CRepresentativeSpectra& representatives = *para.representative_spectra;
      representatives.record_written = !options.mgf.empty();
      clustering->Run(data.spectra, para.similarity.get(), para.peak_select.get());
      if (!path::IsRegularFile(data.cluster_result)) {
        return Fail(out, "Cannot write the cluster file: " + data.cluster_result);
      }
      if (representatives.failed_writes > 0) {
        return Fail(out, "Cannot write " + std::to_string(representatives.failed_writes) +
                             " spectra into " + data.out_directory);
      }
      if (!options.mgf.empty()) {
        auto& written = representatives.written;
        std::stable_sort(written.begin(), written.end(),
                         [](const auto& a, const auto& b) { return a.cluster < b.cluster; });
        std::vector<msdata::CSpectrum> spectra;
        std::vector<spectra::CMgfCluster> clusters;
        for (auto& w : written) {
          spectra.push_back(std::move(w.spectrum));
          clusters.push_back({w.cluster, w.size});
        }
        std::string error;
        if (!spectra::WriteMgfFile(options.mgf, spectra, error, &clusters)) return Fail(out, error);
        out << "MGF file: " << options.mgf << "\n";
      }
      out << "Cluster file: " << data.cluster_result << "\n";
      out << "Pairs scored: " << clustering->pairs_scored
          << ", above the threshold: " << clustering->pairs_above << "\n";
      if (!data.out_directory.empty()) out << "Spectra: " << data.out_directory << "\n";
      return 0;
    }

    auto* search = dynamic_cast<CSpectralPairSearch*>(para.cluster.get());
    if (!search) return Fail(out, "Unknown cluster type in parameter file: " + options.parameter_file);
    search->worker_threads = threads;
    if (options.shift_search) {
      search->ShiftSearch(data.spectra, para.similarity.get(), para.peak_select.get());
      if (!path::IsRegularFile(data.cluster_result)) {
        return Fail(out, "Cannot write the pair file: " + data.cluster_result);
      }
      out << "Pair file with shifts: " << data.cluster_result << "\n";
      return 0;
    }
    search->Run(data.spectra, para.similarity.get(), para.peak_select.get());
    if (!path::IsRegularFile(data.cluster_result)) {
      return Fail(out, "Cannot write the pair file: " + data.cluster_result);
    }
    if (!path::IsRegularFile(CSpectralPairSearch::kHistogramFile)) {
      return Fail(out, std::string("Cannot write the mass-shift table: ") +
                           CSpectralPairSearch::kHistogramFile);
    }
    out << "Pair file: " << data.cluster_result << "\n"
        << "Mass-shift table: " << CSpectralPairSearch::kHistogramFile << "\n"
        << "Pairs scored: " << search->pairs_scored << ", above the threshold: " << search->pairs_above
        << "\n";
    return 0;
  } catch (const std::exception& e) {
    return Fail(out, std::string("Clustering failed: ") + e.what());
  }
}

}  // namespace clusterjob
