// The spectral network of a pair search, read back by readers that are not
// ours (networkx for GraphML, Python's json for Cytoscape JSON), also with
// text and numbers no ordinary job has, and the network names and options
// that are refused before any work.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "drivers/cluster/network/NetworkFormats.h"
#include "tests/support/ScratchDir.h"

namespace {

namespace fs = std::filesystem;

using testsupport::ReadFile;

const std::string kSource = TESSERA_SOURCE_DIR;
const std::string kProgram = std::string(TESSERA_BIN_DIR) + "/cluster";
const std::string kSpectrum = kSource + "/desktop/shell/propagation_ui/tests/data/BSA1.670.670.2.dta";
// Comet's identifications of BSA1, among them scan 670 (YICDNQDTISSK).
const std::string kIds = kSource + "/data/BSA/BSA1_Comet.spectra";

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) text += " '" + a + "'";
  return text;
}

// A network file as Python sees it through a reader not ours: the lists
// `nodes` and `edges` of attribute dictionaries, each edge with the names of
// its ends (sorted) as "ends".
constexpr const char* kReader = R"PY(
import json, sys
path, kind = sys.argv[1], sys.argv[2]
if kind == "graphml":
    import networkx
    g = networkx.read_graphml(path)
    nodes = [d for _, d in g.nodes(data=True)]
    edges = [dict(d, ends=sorted(g.nodes[n]["name"] for n in (a, b))) for a, b, d in g.edges(data=True)]
else:
    elements = json.load(open(path, encoding="utf-8"))["elements"]
    nodes = [n["data"] for n in elements["nodes"]]
    ids = {n["id"]: n["name"] for n in nodes}
    edges = [dict(e["data"], ends=sorted(ids[e["data"][k]] for k in ("source", "target"))) for e in elements["edges"]]
)PY";

// A summary that does not depend on the format or the order of the
// elements: counts, then per node (by name) and per edge the attributes a
// user colours and filters by.
constexpr const char* kSummary = R"PY(
print(len(nodes), "nodes", len(edges), "edges")
for n in sorted(nodes, key=lambda n: n["name"]):
    print(n["name"], n["charge"], round(n["precursor_mz"], 2), n.get("cluster_size"), n.get("peptide"),
          n.get("route"), n.get("transfer_q_value"))
for e in edges:
    print(" ".join(e["ends"]), round(e["mass_shift"], 2), e["similarity"] > 0.6, "Oxidation" in e["unimod"].split("/"))
)PY";

// Every attribute of every element, text as ASCII escapes and numbers as
// Python's exact repr.
constexpr const char* kAttributes = R"PY(
for d in nodes + edges:
    print(ascii(sorted((k, v) for k, v in d.items() if k not in ("id", "source", "target"))))
)PY";

class Network : public ScratchDirTest {
 protected:
  int Cluster(const std::vector<std::string>& args, const std::string& log = "said.txt") {
    return Shell("cd '" + dir_.string() + "' && '" + kProgram + "'" + Quoted(args) + " > '" + log + "' 2>&1");
  }

  // Three copies of a real BSA1 spectrum: scan 670 and a copy named as a
  // scan the run does not have (one cluster), and a copy whose precursor is
  // 15.9949 Da (an oxidation) heavier. Clustered, the pair search on the
  // clustering's spectra finds the cluster's consensus and the heavier copy
  // one pair apart; the search identified scan 670, and propagation carried
  // the peptide to the copy.
  void MakeJob() {
    fs::create_directories(dir_ / "data");
    const std::string spectrum = ReadFile(kSpectrum);
    ASSERT_FALSE(spectrum.empty());
    Write("data/BSA1.670.670.2.dta", spectrum);
    Write("data/BSA1.9001.9001.2.dta", spectrum);
    const std::size_t line_end = spectrum.find('\n');
    char first[64];
    std::snprintf(first, sizeof first, "%.6f 2", std::atof(spectrum.c_str()) + 15.994915);
    Write("data/BSA1.9002.9002.2.dta", first + spectrum.substr(line_end));
    ASSERT_EQ(Cluster({File("data"), "-o", File("clustered"), "--spectra-format", "dta", "-q"}), 0) << ReadFile(File("said.txt"));
    Write("propagated.tsv",
          "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value\n"
          "BSA1.9002.9002.2.DTA\tYICDNQDTISSK\t2,1 4,15.994915,-1\tpairs\t670.2-9001.2-9001.2.DTA\t15.994915\t"
          "21.500000\t0.004000\n");
  }

  std::vector<std::string> Inputs() const {
    return {"--clusters", File("clustered/clusters.csv"), "--ids", kIds, "--propagated", File("propagated.tsv")};
  }
};

// A reader of the format, or why the test cannot run here.
std::string MissingReader(const std::string& format) {
  if (Shell("python3 -c 'import json' > /dev/null 2>&1") != 0) return "python3 is not installed";
  if (format == "graphml" && Shell("python3 -c 'import networkx' > /dev/null 2>&1") != 0)
    return "python3-networkx is not installed";
  return std::string();
}

class NetworkFormats : public Network, public ::testing::WithParamInterface<std::string> {};

TEST_P(NetworkFormats, OtherReadersReadTheNetworkOfASearchAndOfItsFiles) {
  const std::string format = GetParam();
  if (const std::string missing = MissingReader(format); !missing.empty()) GTEST_SKIP() << missing;
  MakeJob();
  const std::string searched = File("searched." + format);
  std::vector<std::string> search = {File("clustered/spectra"), "-o", File("pairs"), "--type", "pairs",
                                     "--similar-method", "Dot Product Mod", "--lower-mass", "6", "--upper-mass",
                                     "200", "--network", searched, "-q"};
  for (const std::string& a : Inputs()) search.push_back(a);
  ASSERT_EQ(Cluster(search), 0) << ReadFile(File("said.txt"));

  // The same network from the search's files, without searching again.
  const std::string later = File("later." + format);
  std::vector<std::string> from_files = {"--network", later, "--pairs", File("pairs/pairs.csv"), "--spectra",
                                         File("clustered/spectra")};
  for (const std::string& a : Inputs()) from_files.push_back(a);
  ASSERT_EQ(Cluster(from_files), 0) << ReadFile(File("said.txt"));
  EXPECT_EQ(ReadFile(later), ReadFile(searched));

  Write("summary.py", std::string(kReader) + kSummary);
  ASSERT_EQ(Shell("python3 '" + File("summary.py") + "' '" + searched + "' " + format + " > '" +
                  File("summary.txt") + "' 2>&1"),
            0)
      << ReadFile(File("summary.txt"));
  EXPECT_EQ(ReadFile(File("summary.txt")),
            "2 nodes 1 edges\n"
            "670.2-9001.2-9001.2.dta 2 722.33 2 YICDNQDTISSK search None\n"
            "BSA1.9002.9002.2.dta 2 730.32 1 YICDNQDTISSK pairs 0.004\n"
            "670.2-9001.2-9001.2.dta BSA1.9002.9002.2.dta 15.99 True True\n");
}

// Names from files of any origin (a Latin-1 title, control characters,
// bytes of no encoding) and numbers beyond the ordinary: every reader takes
// the file, and reads the same text and the same doubles from both formats.
TEST_P(NetworkFormats, CarryAnyTextAsUtf8AndEveryNumberInFull) {
  const std::string format = GetParam();
  if (const std::string missing = MissingReader(format); !missing.empty()) GTEST_SKIP() << missing;
  network::SpectralNetwork net;
  network::NetworkNode odd;
  // Latin-1 e acute; C0, DEL and C1 controls; an overlong "/" (two Latin-1
  // letters); U+FFFE, which XML excludes; a euro sign in UTF-8; markup; a
  // tab.
  odd.name = "caf\xe9 \x01\x7f\x85 \xc0\xaf \xef\xbf\xbe \xe2\x82\xac <&\">\t.dta";
  odd.precursor_mass = 1e100;
  odd.charge = 2;
  odd.rt = std::numeric_limits<double>::infinity();
  network::NetworkNode plain;
  plain.name = "BSA1.670.670.2.dta";
  plain.precursor_mz = 722.3312345678901;
  plain.precursor_mass = 5e-324;
  plain.charge = 1;
  plain.rt = 3.0;
  net.nodes = {odd, plain};
  network::NetworkEdge edge;
  edge.source = 0;
  edge.target = 1;
  edge.similarity = std::numeric_limits<double>::quiet_NaN();
  edge.mass_shift = -std::numeric_limits<double>::max();
  edge.unimod = "Oxidation\xff";
  net.edges = {edge};
  const std::string path = File("odd." + format);
  ASSERT_EQ(network::WriteNetwork(net, path), "");

  Write("attributes.py", std::string(kReader) + kAttributes);
  ASSERT_EQ(Shell("python3 '" + File("attributes.py") + "' '" + path + "' " + format + " > '" +
                  File("attributes.txt") + "' 2>&1"),
            0)
      << ReadFile(File("attributes.txt"));
  // The name as Python's ascii() writes it. Not finite: the rt of the first
  // node and the similarity are left out.
  const std::string name = R"('caf\xe9 \ufffd\ufffd\ufffd \xc0\xaf \ufffd \u20ac <&">\ufffd.dta')";
  EXPECT_EQ(ReadFile(File("attributes.txt")),
            "[('charge', 2), ('name', " + name + "), ('precursor_mass', 1e+100)]\n"
            "[('charge', 1), ('name', 'BSA1.670.670.2.dta'), ('precursor_mass', 0.0), "
            "('precursor_mz', 722.331235), ('rt', 3.0)]\n"
            "[('ends', ['BSA1.670.670.2.dta', " + name + "]), ('mass_shift', -1.7976931348623157e+308), "
            "('unimod', 'Oxidation\\xff')]\n");
}

INSTANTIATE_TEST_SUITE_P(Cytoscape, NetworkFormats, ::testing::Values("graphml", "cyjs"));

// The lines of a GraphML file that hold retention times.
std::string TimesOf(const std::string& graphml) {
  std::istringstream in(graphml);
  std::string times, line;
  while (std::getline(in, line)) {
    if (line.find("key=\"rt\"") != std::string::npos) times += line + "\n";
  }
  return times;
}

// DTA files carry no retention time: the run they came from gives each
// spectrum the one it has there.
TEST_F(Network, RetentionTimesComeFromTheRun) {
  const std::string run = kSource + "/spectra/tests/data/bsa_small.mzML";
  ASSERT_EQ(Shell("'" + std::string(TESSERA_BIN_DIR) + "/dtaexport' '" + run + "' '" + File("dta") + "' > /dev/null 2>&1"),
            0);
  Write("pairs.csv", "");
  const std::vector<std::string> common = {"--pairs", File("pairs.csv"), "--small-peaks-count-filter", "0"};
  std::vector<std::string> from_run = {"--network", File("run.graphml"), "--spectra", run};
  // Several runs: each spectrum takes its time from its own run, whichever
  // comes last.
  fs::copy_file(run, File("other.mzML"));
  std::vector<std::string> from_dta = {"--network", File("dta.graphml"), "--spectra", File("dta"),
                                       "--run",     run,                 "--run",     File("other.mzML")};
  for (auto* args : {&from_run, &from_dta}) {
    args->insert(args->end(), common.begin(), common.end());
    ASSERT_EQ(Cluster(*args), 0) << ReadFile(File("said.txt"));
  }
  const std::string times = TimesOf(ReadFile(File("run.graphml")));
  EXPECT_EQ(std::count(times.begin(), times.end(), '\n'), 6);
  EXPECT_EQ(TimesOf(ReadFile(File("dta.graphml"))), times);
}

struct Refusal {
  const char* label;
  std::vector<std::string> args;  // "@" stands for the scratch folder
  int status;
  const char* said;
};

void PrintTo(const Refusal& refusal, std::ostream* os) { *os << refusal.label; }

class NetworkRefusals : public Network, public ::testing::WithParamInterface<Refusal> {};

// A name of another extension or a folder that cannot be written is refused
// before any work: no pair search, no output folder, no file.
TEST_P(NetworkRefusals, BeforeAnyWork) {
  const Refusal& r = GetParam();
  fs::create_directories(dir_ / "data");
  fs::copy_file(kSpectrum, dir_ / "data/BSA1.670.670.2.dta");
  Write("pairs.csv", "");
  std::vector<std::string> args;
  for (std::string a : r.args) {
    if (const std::size_t at = a.find('@'); at != std::string::npos) a.replace(at, 1, dir_.string());
    args.push_back(a);
  }
  EXPECT_EQ(Cluster(args, "refused.txt"), r.status) << r.label;
  EXPECT_NE(ReadFile(File("refused.txt")).find(r.said), std::string::npos) << ReadFile(File("refused.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "out" / "pairs.csv")) << r.label;
  for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find("net"), std::string::npos) << r.label << ": " << entry.path();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, NetworkRefusals,
    ::testing::Values(
        Refusal{"other extension", {"--network", "@/net.xml", "--pairs", "@/pairs.csv", "--spectra", "@/data"}, 2,
                "is not a .graphml or .cyjs name"},
        Refusal{"no folder", {"--network", "@/none/net.graphml", "--pairs", "@/pairs.csv", "--spectra", "@/data"}, 1,
                "Cannot write the network file into the folder of"},
        Refusal{"search, other extension",
                {"@/data", "-o", "@/out", "--type", "pairs", "--network", "@/net.gml"}, 2,
                "is not a .graphml or .cyjs name"},
        Refusal{"search, no folder",
                {"@/data", "-o", "@/out", "--type", "pairs", "--network", "@/none/net.cyjs"}, 1,
                "Cannot write the network file into the folder of"},
        Refusal{"clustering", {"@/data", "-o", "@/out", "--network", "@/net.graphml"}, 2, "goes with type pairs"},
        Refusal{"peaks beyond any count",
                {"--network", "@/net.graphml", "--pairs", "@/pairs.csv", "--spectra", "@/data",
                 "--small-peaks-count-filter", "1e300"},
                2, "option --small-peaks-count-filter: \"1e300\" is not a whole number from 0 to"},
        Refusal{"peaks not whole",
                {"--network", "@/net.graphml", "--pairs", "@/pairs.csv", "--spectra", "@/data",
                 "--small-peaks-count-filter", "2.5"},
                2, "not a whole number"}),
    [](const ::testing::TestParamInfo<Refusal>& info) {
      std::string name = info.param.label;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

}  // namespace
