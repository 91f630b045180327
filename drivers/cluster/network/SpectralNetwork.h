#pragma once
// The spectral network of a pair search, for Cytoscape and other network
// tools: one node per spectrum searched (or per cluster, when the spectra
// searched are a clustering's output), one edge per pair found, with what
// the job knows of each: precursor, cluster, identification and how it
// was reached, and the Unimod modifications a pair's mass shift may be.

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "common/Spectrum.h"
#include "resultfiles/Identifications.h"

namespace network {

struct NetworkNode {
  std::string name;  // as the pair file names the spectrum
  double precursor_mz = 0.0;
  double precursor_mass = 0.0;  // MH+
  int charge = 0;
  double rt = -1.0;  // seconds; below 0 where the spectrum file holds none
  // With a cluster file: the cluster's number and size (0 when the node is
  // in no cluster of the file).
  int cluster = 0;
  int cluster_size = 0;
  // With identifications: the peptide and its modification items as the
  // result file or the propagation table write them; the route "search",
  // "cluster" or "pairs"; for a propagated identification where it came
  // from, the shift the pairs added and its transfer score and q-value.
  std::string peptide;
  std::string modifications;
  std::string route;
  std::string source;
  bool has_shift = false;
  double shift = 0.0;
  bool has_transfer = false;  // false: not propagated, or not scored ("NA")
  double transfer_score = 0.0;
  double transfer_q_value = 0.0;
};

struct NetworkEdge {
  std::size_t source = 0;  // the heavier spectrum of the pair (first in the pair file)
  std::size_t target = 0;
  double similarity = 0.0;
  double mass_shift = 0.0;  // precursor mass of source minus that of target
  std::string unimod;       // names of the matching modifications, "/" between them
};

struct SpectralNetwork {
  std::vector<NetworkNode> nodes;
  std::vector<NetworkEdge> edges;
  bool with_clusters = false;         // the nodes carry cluster numbers and sizes
  bool with_identifications = false;  // the nodes carry peptides and routes
};

// What the network is built from besides the spectra.
struct NetworkInputs {
  std::string pair_file;
  std::string cluster_file;     // "" for none
  std::vector<std::string> ids;  // result files, their identifications joined; none: empty
  CFilterChoice id_filter;      // how search-engine results are filtered
  std::string propagated;       // the table of `propagate --table`, "" for none
  // The runs the spectra came from, for the retention times that DTA files
  // lack; none: empty.
  std::vector<std::string> runs;
  double unimod_tolerance = 0.01;  // Da, the job's mass-shift tolerance
  std::string unimod_file;      // the Unimod table
};

// The spectra of a DTA folder or a spectrum file, by the importer of its
// format. "" or why they cannot be loaded.
std::string LoadSpectrumFile(const std::string& input, std::vector<msdata::CSpectrum>& spectra);

// Builds the network of the spectra (the nodes, in their order) and the
// pairs of `inputs.pair_file`. A pair naming a spectrum that is not in the
// list adds a node with the pair file's mass. Names match without regard
// to case, as every reader of pair and cluster files matches them. Answers
// "" or why an input cannot be used; what was read goes to `log`.
std::string BuildNetwork(const std::vector<msdata::CSpectrum>& spectra, const NetworkInputs& inputs,
                         SpectralNetwork& network, std::ostream& log);

}  // namespace network
