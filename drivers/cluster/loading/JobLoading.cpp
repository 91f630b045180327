#include "drivers/cluster/loading/JobLoading.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <numeric>

#include <ostream>
#include <sstream>

#include "clustering/Para.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
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

constexpr const char* kPooledLost = "the scratch file of the pooled spectra's origins cannot be read";

// Each record of the pooled file takes the row its spectrum had in its own
// run. The records come in file order, so the pooled rows are read once,
// front to back; a record without its row (none can be, as the pooled file
// is written from the same list) keeps the pooled file's own.
CMS2Input::OriginHook PooledOrigins(COriginTable& pooled, COriginTable& origins) {
  auto read = std::make_shared<std::size_t>(0);
  auto row = std::make_shared<std::string>();
  return [&pooled, &origins, read, row](const msdata::CSpectrum& s, const CMS2Input::Origin& origin) {
    while (*read <= origin.index && pooled.NextRow(*row)) ++*read;
    if (*read == origin.index + 1) {
      origins.AddRow(*row + '\n');
    } else {
      origins.Add(s, origin);
    }
  };
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

namespace {

std::string LoadAndOrder(CPara& para, const std::string& para_path, const LoadChoices& choices,
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
  if (origins && choices.pooled) {
    if (!choices.pooled->Rewind()) return "Cannot load spectra from " + data.data_directory + ": " + kPooledLost;
    importer->SetOriginHook(PooledOrigins(*choices.pooled, *origins));
  } else if (origins) {
    importer->SetOriginHook(
        [origins](const msdata::CSpectrum& s, const CMS2Input::Origin& origin) { origins->Add(s, origin); });
  }
  if (!importer->Load(data.data_directory, data.spectra, true)) {
    return "Cannot load spectra from " + data.data_directory + ": " + importer->LastError();
  }
  if (choices.pooled && choices.pooled->Failed())
    return "Cannot load spectra from " + data.data_directory + ": " + kPooledLost;
  DropSmallSpectra(data.spectra, loaded, origins);
  OrderForStrategy(para, data.spectra, loaded, origins);
  return {};
}

}  // namespace

std::string LoadJobSpectra(CPara& para, const std::string& para_path, const LoadChoices& choices,
                           LoadedSpectra& loaded) {
  const auto start = std::chrono::steady_clock::now();
  std::string refused = LoadAndOrder(para, para_path, choices, loaded);
  loaded.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return refused;
}

std::string CheckPooledRunNames(const std::vector<std::string>& inputs) {
  // A DTA folder's spectra are named by their files, not by the folder.
  std::map<std::string, std::string> first_of_run;
  for (const std::string& input : inputs) {
    if (path::IsDirectory(input)) continue;
    const auto [seen, fresh] = first_of_run.emplace(text::ToLower(path::BaseName(input)), input);
    if (!fresh)
      return seen->second + " and " + input + " are both run " + path::BaseName(seen->second) +
             ": their spectra would take the same names (rename one)";
  }
  return {};
}

std::string PoolInputs(const std::vector<std::string>& inputs, const std::string& mgf_path, bool quiet,
                       std::ostream& err, COriginTable* origins) {
  // The readers speak through the notifier, whose default is standard
  // output: here that is the run's summary, and progress belongs beside it.
  notify::ScopedHandler to_err([&err](const std::string& message) { err << message << "\n"; });
  std::vector<msdata::CSpectrum> all;
  for (const std::string& input : inputs) {
    MS2FormatType type = MS2_FORMAT_DTA;
    std::string why;
    if (!path::IsDirectory(input) && !CMS2InputFactory::FormatFromPath(input, type, why)) return why;
    std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, !quiet));
    if (importer && origins) {
      importer->SetOriginHook(
          [origins](const msdata::CSpectrum& s, const CMS2Input::Origin& origin) { origins->Add(s, origin); });
    }
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
  if (origins && origins->Failed()) return std::string("cannot pool the inputs: ") + kPooledLost;
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
