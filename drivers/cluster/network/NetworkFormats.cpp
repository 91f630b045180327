#include "drivers/cluster/network/NetworkFormats.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"

namespace network {

namespace {

// "%.*f" without the locale's decimal mark. The buffer holds any finite
// double in full (309 digits before the point), so a huge value is written
// as the number it is, never cut to nothing.
std::string Fixed(double value, int decimals) {
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return std::string(buffer, result.ptr);
}

enum class Type { kString, kInt, kDouble };

// One attribute of a node or an edge, with its value where the element has
// one.
struct Attribute {
  const char* name;
  Type type;
  bool present;
  std::string value;  // numbers already written
};

// A real-valued attribute: fixed decimals, and left out where the value is
// not finite (JSON has no infinity or NaN, and no reader of either format
// would make sense of one).
Attribute Real(const char* name, bool present, double value, int decimals = 6) {
  return {name, Type::kDouble, present && std::isfinite(value), Fixed(value, decimals)};
}

// Every attribute a network of this kind declares, in one order for both
// formats; `present` false where the element has no value.
std::vector<Attribute> NodeAttributes(const SpectralNetwork& network, const NetworkNode& node) {
  std::vector<Attribute> a = {
      {"name", Type::kString, true, node.name},
      // A spectrum known only from the pair file has a mass but no charge.
      Real("precursor_mz", node.precursor_mz > 0.0, node.precursor_mz),
      Real("precursor_mass", true, node.precursor_mass),
      {"charge", Type::kInt, node.charge != 0, std::to_string(node.charge)},
      Real("rt", node.rt >= 0.0, node.rt, 3),
  };
  if (network.with_clusters) {
    a.push_back({"cluster", Type::kInt, node.cluster > 0, std::to_string(node.cluster)});
    a.push_back({"cluster_size", Type::kInt, node.cluster > 0, std::to_string(node.cluster_size)});
  }
  if (network.with_identifications) {
    const bool identified = !node.peptide.empty();
    a.push_back({"peptide", Type::kString, identified, node.peptide});
    a.push_back({"modifications", Type::kString, identified && !node.modifications.empty(), node.modifications});
    a.push_back({"route", Type::kString, identified, node.route});
    a.push_back({"source", Type::kString, !node.source.empty(), node.source});
    a.push_back(Real("shift", node.has_shift, node.shift));
    a.push_back(Real("transfer_score", node.has_transfer, node.transfer_score));
    a.push_back(Real("transfer_q_value", node.has_transfer, node.transfer_q_value));
  }
  return a;
}

std::vector<Attribute> EdgeAttributes(const NetworkEdge& edge) {
  return {Real("similarity", true, edge.similarity),
          Real("mass_shift", true, edge.mass_shift),
          {"unimod", Type::kString, !edge.unimod.empty(), edge.unimod}};
}

std::string NodeId(std::size_t k) { return "n" + std::to_string(k); }
std::string EdgeId(std::size_t k) { return "e" + std::to_string(k); }

const char* GraphMlType(Type type) {
  return type == Type::kString ? "string" : type == Type::kInt ? "int" : "double";
}

void GraphMlKeys(const std::vector<Attribute>& attributes, const char* owner, std::string& out) {
  for (const Attribute& a : attributes) {
    out += "  <key id=\"";
    out += a.name;
    out += "\" for=\"";
    out += owner;
    out += "\" attr.name=\"";
    out += a.name;
    out += "\" attr.type=\"";
    out += GraphMlType(a.type);
    out += "\"/>\n";
  }
}

void GraphMlData(const std::vector<Attribute>& attributes, std::string& out) {
  for (const Attribute& a : attributes) {
    if (!a.present) continue;
    out += "      <data key=\"";
    out += a.name;
    out += "\">" + text::XmlEscaped(text::ValidUtf8(a.value)) + "</data>\n";
  }
}

void JsonData(const std::vector<Attribute>& attributes, std::string& out) {
  for (const Attribute& a : attributes) {
    if (!a.present) continue;
    out += ", ";
    out += text::JsonString(a.name);
    out += ": ";
    out += a.type == Type::kString ? text::JsonString(a.value) : a.value;
  }
}

}  // namespace

bool FormatOfPath(const std::string& path, NetworkFormat& format) {
  const std::string extension = path::Extension(path);
  if (extension == "graphml") {
    format = NetworkFormat::kGraphMl;
    return true;
  }
  if (extension == "cyjs") {
    format = NetworkFormat::kCytoscapeJson;
    return true;
  }
  return false;
}

std::string GraphMlText(const SpectralNetwork& network) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xsi:schemaLocation=\"http://graphml.graphdrawing.org/xmlns "
      "http://graphml.graphdrawing.org/xmlns/1.0/graphml.xsd\">\n";
  // The declarations depend only on what the network carries.
  GraphMlKeys(NodeAttributes(network, NetworkNode()), "node", out);
  GraphMlKeys(EdgeAttributes(NetworkEdge()), "edge", out);
  out += "  <graph id=\"spectral_network\" edgedefault=\"undirected\">\n";
  for (std::size_t k = 0; k < network.nodes.size(); ++k) {
    out += "    <node id=\"" + NodeId(k) + "\">\n";
    GraphMlData(NodeAttributes(network, network.nodes[k]), out);
    out += "    </node>\n";
  }
  for (std::size_t k = 0; k < network.edges.size(); ++k) {
    const NetworkEdge& edge = network.edges[k];
    out += "    <edge id=\"" + EdgeId(k) + "\" source=\"" + NodeId(edge.source) + "\" target=\"" +
           NodeId(edge.target) + "\">\n";
    GraphMlData(EdgeAttributes(edge), out);
    out += "    </edge>\n";
  }
  out += "  </graph>\n</graphml>\n";
  return out;
}

std::string CytoscapeJsonText(const SpectralNetwork& network) {
  std::string out =
      "{\n"
      "  \"format_version\": \"1.0\",\n"
      "  \"generated_by\": \"Tessera cluster\",\n"
      "  \"target_cytoscapejs_version\": \"~2.1\",\n"
      "  \"data\": {\"name\": \"spectral network\"},\n"
      "  \"elements\": {\n"
      "    \"nodes\": [";
  for (std::size_t k = 0; k < network.nodes.size(); ++k) {
    out += k == 0 ? "\n" : ",\n";
    out += "      {\"data\": {\"id\": " + text::JsonString(NodeId(k));
    JsonData(NodeAttributes(network, network.nodes[k]), out);
    out += "}}";
  }
  out += network.nodes.empty() ? "],\n" : "\n    ],\n";
  out += "    \"edges\": [";
  for (std::size_t k = 0; k < network.edges.size(); ++k) {
    const NetworkEdge& edge = network.edges[k];
    out += k == 0 ? "\n" : ",\n";
    out += "      {\"data\": {\"id\": " + text::JsonString(EdgeId(k)) + ", \"source\": " + text::JsonString(NodeId(edge.source)) +
           ", \"target\": " + text::JsonString(NodeId(edge.target));
    JsonData(EdgeAttributes(edge), out);
    out += "}}";
  }
  out += network.edges.empty() ? "]\n" : "\n    ]\n";
  out += "  }\n}\n";
  return out;
}

std::string WriteNetwork(const SpectralNetwork& network, const std::string& path) {
  NetworkFormat format = NetworkFormat::kGraphMl;
  if (!FormatOfPath(path, format)) return "The network file must end in .graphml or .cyjs: " + path;
  const std::string text = format == NetworkFormat::kGraphMl ? GraphMlText(network) : CytoscapeJsonText(network);
  std::string error;
  if (!safefile::WriteWholeFile(path, text, &error))
    return "Cannot write the network file: " + path + (error.empty() ? "" : " (" + error + ")");
  return std::string();
}

}  // namespace network
