// simulator_calibrate: the figures of the BSA runs beside those of a
// simulated set (bench/simulator/README.md), to tune the simulator's
// defaults. Same-peptide pairs of the runs come from the Comet
// identifications of BSA1.

#include <cstdio>
#include <iostream>
#include <memory>

#include "bench/simulator/Calibration.h"
#include "bench/simulator/SimulatorOptions.h"
#include "common/TextUtil.h"
#include "resultfiles/SearchResultFile.h"
#include "tests/support/SyntheticMgf.h"

namespace {

const char* const kBsaRuns =
    "/usr/share/doc/openms/examples/BSA/BSA1.mzML,/usr/share/doc/openms/examples/BSA/BSA2.mzML,"
    "/usr/share/doc/openms/examples/BSA/BSA3.mzML";

// Spectrum name (upper case) to identification text, filtered as
// propagation filters it.
bool ReadIdentifications(const std::string& path, double fdr, ResultMap& results, std::string& error) {
  std::unique_ptr<CResultFile> reader(CResultFileFactory().GetResult(path));
  if (!reader) {
    error = "Unknown result file type:" + path;
    return false;
  }
  auto* search = dynamic_cast<CSearchResultFile*>(reader.get());
  if (search) {
    CIdentificationFilter filter;
    filter.fdr_level = fdr;
    filter.modify_ini_directory = TESSERA_BIN_DIR;
    search->SetFilter(filter);
  }
  std::string data_path;
  ModificationList modifications;
  reader->LoadResult(path, results, data_path, modifications);
  if (search && !search->Succeeded()) {
    error = "cannot read the identifications of " + path;
    return false;
  }
  return true;
}

simulator::CPairLabel LabelOf(const std::string& identification, int charge) {
  if (identification.empty()) return {};
  return {identification + "/" + std::to_string(charge),
          identification.substr(0, identification.find(' '))};
}

bool RunFigures(const std::string& runs, const ResultMap& identifications,
                simulator::CFigureCollector& collector, std::string& error) {
  for (const std::string& path : text::Split(runs)) {
    std::vector<msdata::CSpectrum> spectra;
    if (!bench::LoadTemplates(path, spectra, error)) return false;
    for (const msdata::CSpectrum& s : spectra) {
      const auto found = identifications.find(text::ToUpper(s.name));
      collector.Add(s, LabelOf(found == identifications.end() ? "" : found->second, s.charge));
    }
  }
  return true;
}

bool SimulatedFigures(const simulator::CSimulatorOptions& options,
                      simulator::CFigureCollector& collector, std::string& error) {
  simulator::CSpectrumSimulator simulation(options);
  if (!simulation.Plan(error)) return false;
  simulation.Generate([&](const msdata::CSpectrum& spectrum, const simulator::CSpectrumTruth& truth) {
    const std::string identification =
        truth.peptide.empty() ? "" : truth.peptide + " " + truth.Modifications();
    collector.Add(spectrum, LabelOf(identification, truth.charge));
    return true;
  });
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  cli::CommandLine line("simulator_calibrate", {"[--runs A,B,...] [--run-ids FILE] [options]"},
                        "Prints the figures of real runs beside those of a simulated set: peaks, intensities,\n"
                        "charges, and cosines of same- and different-peptide pairs as the clustering scores them.");
  line.Add({"runs", 0, "FILE[,FILE...]", "the BSA1-3 runs of openms-doc", "real runs"});
  line.Add({"run-ids", 0, "FILE", "data/BSA/BSA1_Comet.pep.xml", "identifications of the runs' spectra"});
  line.Add({"fdr", 0, "LEVEL", "0.01", "false-discovery-rate level of those identifications"});
  line.Add({"pairs", 0, "N", "2000", "most pairs of each kind scored per set"});
  simulator::CSimulatorOptions options;
  options.spectrum_count = 20000;
  simulator::AddSimulatorOptions(line, options);
  const cli::Outcome outcome = line.Parse(argc, argv);
  const int answered = line.Report(outcome, std::cout, std::cerr);
  if (answered >= 0) return answered;
  std::string error;
  double fdr = 0.01;
  long pairs = 2000;
  if (!line.Positionals().empty() || !simulator::ReadSimulatorOptions(line, options, error) ||
      !cli::ParseFiniteNumber(line.Value("fdr", "0.01"), fdr) ||
      !cli::ParseWholeNumber(line.Value("pairs", "2000"), pairs) || pairs < 1) {
    std::cerr << "simulator_calibrate: " << (error.empty() ? "bad arguments" : error) << "\n"
              << line.Usage();
    return 2;
  }

  ResultMap identifications;
  const std::string ids = line.Value("run-ids", TESSERA_SOURCE_DIR "/data/BSA/BSA1_Comet.pep.xml");
  simulator::CFigureCollector runs(static_cast<std::size_t>(pairs), options.seed);
  simulator::CFigureCollector simulated(static_cast<std::size_t>(pairs), options.seed);
  if (!ReadIdentifications(ids, fdr, identifications, error) ||
      !RunFigures(line.Value("runs", kBsaRuns), identifications, runs, error) ||
      !SimulatedFigures(options, simulated, error)) {
    std::printf("simulator_calibrate: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s", simulator::FigureTable(runs.Finish(), "BSA1-3", simulated.Finish(), "simulated").c_str());
  return 0;
}
