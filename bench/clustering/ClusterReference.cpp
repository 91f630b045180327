// The `cluster` job done the straightforward way, for timing the engine
// against it and for checking that both write the same files: the same
// parameter file, loading, filtering and order as `cluster`, then the
// reference clustering (every pair prepared afresh, the matrix rescanned
// after every merge) or the reference pair search, and the same writers.
//
//   cluster_reference <parameter file>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <set>
#include <string>

#include "clustering/Para.h"
#include "clustering/Progress.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/SpectralPairSearch.h"
#include "tests/support/ReferenceEngine.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "drivers/cluster/loading/JobLoading.h"
#include "spectra/MS2Input.h"

namespace {

int Fail(const std::string& message) {
  std::cout << message << "\n";
  return 1;
}

bool WriteText(const std::string& path, const std::string& text, const char* mode) {
  std::FILE* f = std::fopen(path.c_str(), mode);
  if (!f) return false;
  std::fwrite(text.data(), 1, text.size(), f);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return Fail("usage: cluster_reference <parameter file>");
  CPara para;
  if (!para.ReadParaFile(argv[1]) || !para.cluster) {
    return Fail(std::string("Cannot read parameter file: ") + argv[1]);
  }
  CSpectraProcess& data = *para.spectra_process;
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(data.data_type, false));
  if (!importer || !importer->Load(data.data_directory, data.spectra, true)) {
    return Fail("Cannot load spectra from " + data.data_directory);
  }
  const std::size_t minimum =
      data.small_peaks_count_filter > 0 ? static_cast<std::size_t>(data.small_peaks_count_filter)
                                        : 0;
  data.spectra.erase(std::remove_if(data.spectra.begin(), data.spectra.end(),
                                    [minimum](const msdata::CSpectrum& s) {
                                      return s.peaks.size() < minimum;
                                    }),
                     data.spectra.end());
  std::cout << "Spectra used: " << data.spectra.size() << "\n";

  if (para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR) {
    clusterjob::OrderForPairSearch(data.spectra);
    const auto& search = static_cast<const CSpectralPairSearch&>(*para.cluster);
    const reference::PairOutcome out =
        reference::PairSearch(data.spectra, search, *para.similarity, *para.peak_select);
    if (!WriteText(data.cluster_result, out.pairs, "w")) return Fail("Cannot write pairs");
    WriteText(CSpectralPairSearch::kScoreLog, out.scores, "a");
    // The histogram from the pair text, grouped by the reference grouping.
    std::vector<double> differences;
    std::size_t start = 0;
    while (start < out.pairs.size()) {
      std::size_t end = out.pairs.find('\n', start);
      if (end == std::string::npos) end = out.pairs.size();
      differences.push_back(
          CSpectralPairSearch::PairLineDifference(out.pairs.substr(start, end - start)));
      start = end + 1;
    }
    std::string histogram;
    for (const auto& g : reference::GroupShifts(differences, search.cluster_masses_tol)) {
      char line[128];
      std::snprintf(line, sizeof line, "%lf,%d, 0, 0, 0, 0, 0\n", g.mean, g.count);
      histogram += line;
    }
    if (!WriteText(CSpectralPairSearch::kHistogramFile, histogram, "w")) {
      return Fail("Cannot write the mass-shift table");
    }
    std::cout << "Pair file: " << data.cluster_result << "\n";
    return 0;
  }

  clusterjob::OrderForClustering(data.spectra);
  const auto& strategy = static_cast<const CSimilarityCluster&>(*para.cluster);
  const reference::ClusterOutcome out =
      reference::Cluster(data.spectra, strategy, *para.similarity, *para.peak_select);
  std::cout << out.progress << "Clustering done!\n";
  // Lone spectra of the inner blocks are placed while the blocks close; they
  // are the clusters of one that represent nothing.
  const std::set<int> represented(out.representatives.begin(), out.representatives.end());
  for (std::size_t k = 0; k < out.links.size(); ++k) {
    if (out.links[k].root == static_cast<int>(k) && out.links[k].next == -1 &&
        represented.count(static_cast<int>(k)) == 0) {
      PlaceSpectrum(data.spectra[k], data.data_directory, data.out_directory);
    }
  }
  para.representative_spectra->Generate(data.spectra, out.links, out.representatives,
                                        data.SettingsOnly());
  std::cout << "Cluster file: " << data.cluster_result << "\n";
  return 0;
}
