#pragma once
// The spectral network as a file: GraphML (".graphml"), which Cytoscape,
// Gephi, yEd and networkx read, or Cytoscape's own JSON (".cyjs"), chosen
// by the file's extension. Numbers are written exactly (the shortest text
// that reads back as the same double, "." in every locale); a value that is
// not finite is left out. Text is written as valid UTF-8 without control
// characters, whatever bytes the input files held (NetworkFormats.cpp says
// how they are read).

#include <string>

#include "drivers/cluster/network/SpectralNetwork.h"

namespace network {

enum class NetworkFormat { kGraphMl, kCytoscapeJson };

// The format of a file name by its extension (any case); false for any
// other name.
bool FormatOfPath(const std::string& path, NetworkFormat& format);

std::string GraphMlText(const SpectralNetwork& network);
std::string CytoscapeJsonText(const SpectralNetwork& network);

// Writes the network in the format of the path's extension, whole or not
// at all. "" or why it could not.
std::string WriteNetwork(const SpectralNetwork& network, const std::string& path);

}  // namespace network
