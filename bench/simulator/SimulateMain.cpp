// simulate_spectra: MS/MS spectra of known peptides as one MGF file, with
// the truth table and, on request, an identification list of a share of
// them (bench/simulator/README.md).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "bench/simulator/SimulatorOptions.h"

int main(int argc, char** argv) {
  cli::CommandLine line("simulate_spectra",
                        {"--mgf OUT.mgf --truth TRUTH.tsv [--ids IDS.spectra] [--count N] [--seed S] [options]"},
                        "Simulates ion-trap MS/MS spectra of tryptic peptides of known identity; the same\n"
                        "options and seed give the same files byte for byte.");
  line.Add({"mgf", 0, "FILE", "", "the spectra (MGF)"});
  line.Add({"truth", 0, "FILE", "", "what each spectrum is (tab-separated)"});
  line.Add({"ids", 0, "FILE", "", "identification list (Kiln .spectra) of --id-share of the peptide spectra"});
  line.Add({"related-fasta", 0, "FILE", "", "the related peptides (--related-share) as FASTA entries"});
  line.Add({"threads", 0, "N", "all cores", "threads making spectra (the files do not depend on it)"});
  simulator::AddSimulatorOptions(line, simulator::CSimulatorOptions());
  const cli::Outcome outcome = line.Parse(argc, argv);
  const int answered = line.Report(outcome, std::cout, std::cerr);
  if (answered >= 0) return answered;
  if (!line.Positionals().empty() || line.Value("mgf").empty() || line.Value("truth").empty()) {
    std::cerr << "simulate_spectra: give --mgf and --truth, and no other arguments\n" << line.Usage();
    return 2;
  }
  simulator::CSimulatorOptions options;
  std::string error;
  long threads = std::max(1u, std::thread::hardware_concurrency());
  if (line.Has("threads") && !(cli::ParseWholeNumber(line.Value("threads"), threads) && threads >= 1))
    error = "--threads: not a whole number of at least 1: " + line.Value("threads");
  if (!error.empty() || !simulator::ReadSimulatorOptions(line, options, error)) {
    std::cerr << "simulate_spectra: " << error << "\n" << line.Usage();
    return 2;
  }

  const auto start = std::chrono::steady_clock::now();
  simulator::CSpectrumSimulator simulation(options);
  if (!simulation.Plan(error) ||
      !simulator::WriteSimulation(simulation, {line.Value("mgf"), line.Value("truth"), line.Value("ids"), line.Value("related-fasta")},
                                  error, static_cast<unsigned>(threads))) {
    std::printf("simulate_spectra: %s\n", error.c_str());
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const simulator::CSimulationSummary& s = simulation.Summary();
  std::printf("%zu target proteins (%zu decoys skipped), %zu peptides; %zu spectra: %zu of %zu peptides "
              "(replicate exponent %.2f, at most %zu of one), %zu of no peptide%s; %.1f s\n",
              s.proteins, s.decoys_skipped, s.peptides_available, simulation.SpectrumCount(),
              s.peptide_spectra, s.peptides_used, s.replicate_exponent, s.largest_replicate_count,
              s.no_peptide_spectra,
              s.related_peptides ? ("; " + std::to_string(s.related_peptides) + " related peptides").c_str() : "",
              seconds);
  return 0;
}
