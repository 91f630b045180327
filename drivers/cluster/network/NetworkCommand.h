#pragma once
// The spectral network on the command line of `cluster`: written by a pair
// search (`--network FILE` with `--type pairs`, or with a pair search's
// parameter file), or afterwards from the files of one:
//
//   cluster --network FILE.graphml|FILE.cyjs --pairs PAIRFILE --spectra DIR|FILE
//           [--clusters FILE] [--ids FILE [--fdr L] [--decoy-prefix P]] [--propagated FILE] [--run FILE]
//           [--cluster-masses-tol DA] [--small-peaks-count-filter N] [--quiet]

#include <ostream>
#include <string>
#include <vector>

#include "common/CommandLine.h"
#include "common/Spectrum.h"
#include "resultfiles/Identifications.h"

namespace network {

// What a pair search is asked to write besides its own files (paths
// absolute; `path` empty for no network).
struct NetworkRequest {
  std::string path;        // .graphml or .cyjs
  std::string clusters;    // the cluster file of the spectra searched, "" for none
  std::string propagated;  // the table of `propagate --table`, "" for none
  std::vector<std::string> runs;  // the runs the spectra came from (retention times), none: empty
};

// The options of the network, added to the program's command line.
void AddNetworkOptions(cli::CommandLine& line);
inline constexpr const char* kNetworkSynopsis =
    "--network FILE.graphml|FILE.cyjs --pairs FILE --spectra DIR|FILE [--clusters FILE] [--ids FILE] "
    "[--propagated FILE] [--run FILE]...";

// The network options of a pair search, paths made absolute: "" or why
// they make no job (a usage error: a name of another extension, a value
// missing).
std::string ReadNetworkOptions(const cli::CommandLine& line, NetworkRequest& request);

// What a job writing the network is refused for before any work: a file
// it cannot write, or an input of the network that cannot be read.
std::string CheckNetworkRequest(const NetworkRequest& request, const std::vector<std::string>& ids);

// The network of the spectra a pair search searched and the pair file it
// wrote, written as the request asks; says where on `out`. "" or why not.
std::string WriteSearchNetwork(const std::vector<msdata::CSpectrum>& spectra, const std::string& pair_file,
                               const NetworkRequest& request, const std::vector<std::string>& ids, const CFilterChoice& filter,
                               double mass_tolerance, std::ostream& out);

// True when the command line asks for the network of an earlier search
// (--pairs given).
bool WantsNetworkForm(const cli::CommandLine& line);

// The network of an earlier search from its files: answers the exit status
// (2 for a wrong command line, 1 when the network could not be written).
// Where it went goes to `out`; what was read, to `err` unless --quiet.
int RunNetworkForm(const cli::CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace network
