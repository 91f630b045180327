#pragma once
// The `cluster` console program as a function, so that tests reach it: read
// the parameter file, load and order the spectra, run the job's strategy,
// and map every failure to a non-zero status and the error marker.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "common/Spectrum.h"

namespace clusterjob {

// Runs one job. `args` are the command-line arguments after the program
// name. Messages go to `out`; the engine's own progress goes to standard
// output (or wherever its sinks point). Returns the exit status.
int Run(const std::vector<std::string>& args, std::ostream& out);

// The orders the strategies expect: by charge, then ascending precursor
// mass (similarity clustering); descending precursor mass, heavier first
// (pair search, so that delta = M(first) - M(second) is positive).
void OrderForClustering(std::vector<msdata::CSpectrum>& spectra);
// The same order as positions: order[p] is the spectrum that goes to p.
std::vector<std::uint32_t> ClusteringOrder(const std::vector<msdata::CSpectrum>& spectra);
void OrderForPairSearch(std::vector<msdata::CSpectrum>& spectra);

inline constexpr const char* kUsage =
    "usage: cluster [--shift-search] [--threads N] [--mgf FILE] [--no-wait] <parameter file>";

}  // namespace clusterjob
