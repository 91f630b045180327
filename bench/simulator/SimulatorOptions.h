#pragma once
// The simulator's knobs on a command line, shared by the programs that make
// spectra (simulate_spectra, simulator_calibrate): one table of option names,
// so both read the same words the same way.

#include <string>

#include "bench/simulator/SpectrumSimulator.h"
#include "common/CommandLine.h"

namespace simulator {

// Adds --fasta, --decoy-prefix, --count, --seed, --prefix and every knob of
// CSimulatorOptions to `line`, each showing its value in `defaults`.
void AddSimulatorOptions(cli::CommandLine& line, const CSimulatorOptions& defaults);

// Sets the fields of the options given on `line`; the others keep their
// values. False with `error` naming the option when a value is not a number
// of the kind asked for.
bool ReadSimulatorOptions(const cli::CommandLine& line, CSimulatorOptions& options,
                          std::string& error);

}  // namespace simulator
