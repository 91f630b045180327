#include "drivers/cluster/loading/JobLoading.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include <ostream>
#include <sstream>

#include "clustering/Para.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "spectra/MS2Input.h"
#include "spectra/MgfImporter.h"
#include "spectra/MgfWriter.h"

namespace clusterjob {

namespace {

void Reorder(std::vector<msdata::CSpectrum>& spectra, const std::vector<std::uint32_t>& order) {
  std::vector<msdata::CSpectrum> ordered;
  ordered.reserve(order.size());
  for (std::uint32_t from : order) ordered.push_back(std::move(spectra[from]));
  spectra.swap(ordered);
}

// Sets up the peaks held apart and hooks them into the importer: each
// spectrum's selection is stored as it is loaded, its raw peaks let go.
std::string OffloadPeaks(const CPara& para, const LoadChoices& choices, CMS2Input& importer,
                         LoadedSpectra& loaded) {
  const std::string& data = para.spectra_process->data_directory;
  loaded.offloaded = std::make_unique<COffloadedPeaks>(para.peak_select ? *para.peak_select : CPeakSelect(),
                                                       loaded.minimum_peaks, choices.threads);
  if (!loaded.offloaded->Open(data)) return "Cannot load spectra from " + data + ": Cannot open file: " + data;
  COffloadedPeaks* store = loaded.offloaded.get();
  COriginTable* origins = choices.origins;
  importer.SetHook([store, origins](msdata::CSpectrum& s, const CMS2Input::RecordPlace& place) {
    const bool kept = store->Keep(s, place);
    if (origins) origins->MarkLast(kept);
    return kept;
  });
  return {};
}

// Spectra with too few peaks go; the offloaded ones were left out as they
// were loaded.
void DropSmallSpectra(std::vector<msdata::CSpectrum>& spectra, LoadedSpectra& loaded, COriginTable* origins) {
  loaded.loaded = spectra.size();
  if (loaded.offloaded) {
    loaded.loaded += loaded.offloaded->Dropped();
    if (origins) origins->Filter({});
    return;
  }
  const std::size_t minimum = loaded.minimum_peaks;
  if (origins) {
    std::vector<unsigned char> kept(spectra.size());
    for (std::size_t i = 0; i < spectra.size(); ++i) kept[i] = spectra[i].peaks.size() >= minimum;
    origins->Filter(kept);
  }
  spectra.erase(std::remove_if(spectra.begin(), spectra.end(),
                               [minimum](const msdata::CSpectrum& s) { return s.peaks.size() < minimum; }),
                spectra.end());
}

void OrderForStrategy(const CPara& para, std::vector<msdata::CSpectrum>& spectra, LoadedSpectra& loaded,
                      COriginTable* origins) {
  if (para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR) {
    OrderForPairSearch(spectra);
    return;
  }
  std::vector<std::uint32_t> order = ClusteringOrder(spectra);
  Reorder(spectra, order);
  if (origins) origins->Reorder(order);
  if (loaded.offloaded) loaded.offloaded->Arrange(std::move(order));
}

}  // namespace

std::string ReadJobParameters(const std::string& para_path, bool shift_search, CPara& para) {
  if (!para.ReadParaFile(para_path)) return "Cannot read parameter file: " + para_path;
  if (!para.cluster) return "Unknown cluster type in parameter file: " + para_path;
  if (shift_search && para.cluster->cluster_type != CLUSTER_SPECTRAL_PAIR) {
    return "The shift search needs cluster_type=1: " + para_path;
  }
  const CSpectraProcess& data = *para.spectra_process;
  if (data.data_directory.empty()) return "Wrong data path!";
  if (data.cluster_result.empty()) return "No result file (cluster_result) in: " + para_path;
  return {};
}

std::string LoadJobSpectra(CPara& para, const std::string& para_path, const LoadChoices& choices,
                           LoadedSpectra& loaded) {
  CSpectraProcess& data = *para.spectra_process;
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(data.data_type, true));
  if (!importer) {
    return "Unknown data type " + std::to_string(static_cast<int>(data.data_type)) +
           " in parameter file: " + para_path;
  }
  loaded.minimum_peaks =
      data.small_peaks_count_filter > 0 ? static_cast<std::size_t>(data.small_peaks_count_filter) : 0;
  if (choices.offload_peaks && para.cluster->cluster_type != CLUSTER_SPECTRAL_PAIR &&
      data.data_type == MS2_FORMAT_MGF && path::IsRegularFile(data.data_directory)) {
    if (std::string refused = OffloadPeaks(para, choices, *importer, loaded); !refused.empty()) return refused;
  }
  if (auto* mgf = dynamic_cast<CMgfImporter*>(importer.get())) mgf->SetThreads(choices.threads);
  COriginTable* origins = para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR ? nullptr : choices.origins;
  if (origins) {
    importer->SetOriginHook(
        [origins](const msdata::CSpectrum& s, const CMS2Input::Origin& origin) { origins->Add(s, origin); });
  }
  if (!importer->Load(data.data_directory, data.spectra, true)) {
    return "Cannot load spectra from " + data.data_directory + ": " + importer->LastError();
  }
  DropSmallSpectra(data.spectra, loaded, origins);
  OrderForStrategy(para, data.spectra, loaded, origins);
  return {};
}

std::string PoolInputs(const std::vector<std::string>& inputs, const std::string& mgf_path, bool quiet,
                       std::ostream& err) {
  // The readers speak through the notifier, whose default is standard
  // output: here that is the run's summary, and progress belongs beside it.
  notify::ScopedHandler to_err([&err](const std::string& message) { err << message << "\n"; });
  std::vector<msdata::CSpectrum> all;
  for (const std::string& input : inputs) {
    MS2FormatType type = MS2_FORMAT_DTA;
    std::string why;
    if (!path::IsDirectory(input) && !CMS2InputFactory::FormatFromPath(input, type, why)) return why;
    std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, !quiet));
    if (!importer || !importer->Load(input, all, false))
      return "cannot load spectra from " + input + ": " + (importer ? importer->LastError() : "");
    if (!quiet) err << "Read " << input << "\n";
  }
  // A name of our own in the output folder: written whole, and never
  // through a link planted there.
  safefile::CSafeFile file;
  bool written = file.Open(mgf_path, "wb");
  std::ostringstream block;
  for (std::size_t k = 0; written && k < all.size(); ++k) {
    block.str("");
    spectra::WriteMgfSpectrum(block, all[k]);
    const std::string text = block.str();
    written = std::fwrite(text.data(), 1, text.size(), file.Get()) == text.size();
  }
  if (!written || !file.Commit())
    return "cannot write " + mgf_path + ": " + (file.Error().empty() ? "write failed" : file.Error());
  return {};
}

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

void OrderForClustering(std::vector<msdata::CSpectrum>& spectra) { Reorder(spectra, ClusteringOrder(spectra)); }

void OrderForPairSearch(std::vector<msdata::CSpectrum>& spectra) {
  std::stable_sort(spectra.begin(), spectra.end(), [](const msdata::CSpectrum& a, const msdata::CSpectrum& b) {
    return a.precursor_mass > b.precursor_mass;
  });
}

}  // namespace clusterjob
