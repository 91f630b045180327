#include "moddetect/ShiftscanOptions.h"

#include "common/PathUtil.h"
#include "common/StandardOptions.h"
#include "moddetect/PairCollector.h"

namespace {

// The road by which the input is read. Unless told, the dumper reads every
// run format; DTA folders and MS2 files have readers of their own.
void ReadFileType(const cli::CommandLine& line, const std::string& input, CDetectionConfig& config) {
  if (!line.Has("file-type")) {
    if (path::IsDirectory(input)) config.SetFileType(DETECTION_FILE_DTA);
    else if (path::Extension(input) == "ms2") config.SetFileType(DETECTION_FILE_MS2);
    else config.SetFileType(DETECTION_FILE_RAW);
    return;
  }
  config.SetFileType(DETECTION_FILE_RAW + line.ChoiceIndex("file-type"));
}

// The values a new run is offered, the same as the desktop's Shiftscan
// dialog offers: a precursor and retention-time window that keeps every
// spectrum, shifts of 1 to 200 Da, T_d_score 10 and T_delta_C 0.3. (The
// configuration file's defaults for keys it lacks stay as they are.)
void SetOfferedDefaults(CDetectionConfig& config) {
  config.SetMassWindow(0.0, 1000000.0);
  config.SetTimeWindow(0.0, 1000000.0);
  config.SetShiftRange(1, 200);
  config.SetThresholds(10.0, 0.3);
}

// Every number but the pair probability threshold goes into `config`; that
// one comes with the pair output. Parse() has checked each value; the
// configuration's own checks judge them together (lower below upper).
void ReadNumbers(const cli::CommandLine& line, CDetectionConfig& config, double& probability) {
  const auto whole = [&line](const char* name, std::int32_t fallback) {
    return static_cast<std::int32_t>(line.Integer(name, fallback));
  };
  config.SetMassWindow(line.Real("mass-lower", config.MassLower()), line.Real("mass-upper", config.MassUpper()));
  config.SetTimeWindow(line.Real("time-lower", config.TimeLower()), line.Real("time-upper", config.TimeUpper()));
  config.SetShiftRange(whole("shift-lower", config.FirstShift()), whole("shift-upper", config.LastShift()));
  probability = line.Real("pp-threshold", config.PairProbabilityThreshold());
  config.SetThresholds(line.Real("t-d-score", config.MinDScore()), line.Real("t-delta-c", config.MinBinExcess()));
  config.SetRedundancyTolerancePpm(line.Real("mass-tol", config.RedundancyTolerancePpm()));
  config.SetMassBinWidth(line.Real("mass-res", config.MassBinWidth()));
  config.SetMaxPrecursors(whole("max-data", config.MaxPrecursors()));
}

// Post-search mode and the filter of its result file, refused here when the
// file is missing or a filter value is not what it must be: a run is never
// started to fail on them.
bool ReadIdentifications(const cli::CommandLine& line, CDetectionConfig& config, std::string& error) {
  config.SetIdentificationFilter(line.Value("fdr"), line.Value("id-threshold"), line.Value("decoy-prefix"));
  CIdentificationFilter filter;
  if (!IdentificationFilterOf(config, filter, error)) return false;
  if (!line.Has("ids")) return true;
  const std::string ids = path::Absolute(line.Value("ids"));
  if (!path::Exists(ids) || path::IsDirectory(ids)) {
    error = "option --ids: no such result file: " + line.Value("ids");
    return false;
  }
  config.SetIdentifiedOnly(true, ids);
  return true;
}

}  // namespace

cli::CommandLine ShiftscanCommandLine() {
  cli::CommandLine line(
      "Shiftscan",
      {"[--no-wait] [--plot FILE] <configuration file>", "[options] <run file or DTA folder> -o <output folder>",
       "--write-config FILE [options] <run file or DTA folder>"},
      "Finds protein modifications as precursor mass shifts. With a configuration file\n"
      "it writes the mass-shift table temp.temp in the current directory and, on\n"
      "failure, error_happened.error there (the exit status is then still 0). With\n"
      "options it writes Shiftscan.cfg, temp.temp and the pair files into the output\n"
      "folder and exits non-zero on failure; --write-config only writes the\n"
      "configuration file that the options describe. Run files: mzML, mzXML, MGF, MS2.\n"
      "The options' defaults are those the desktop's Shiftscan dialog offers, loose\n"
      "enough to show a person every candidate (87 shifts on the BSA1 run, many of\n"
      "them background); a configuration file without a key keeps that key's older,\n"
      "stricter default. The main job (scripts/main-job.sh) runs with those stricter\n"
      "values, so that its table holds shifts that stand well above the background\n"
      "(34 on BSA1): --mass-lower 400 --mass-upper 6000 --time-upper 100000\n"
      "--t-d-score 20 --t-delta-c 0.4 --max-data 5000 --find-pairs.\n"
      "Pair counts (the histogram's bars) are counted only while pair files are\n"
      "written: --plot writes them as --find-pairs does.");
  line.Add(cli::standard::Output());
  line.Add(cli::Path("write-config", "FILE", "only write the configuration file the options describe"));
  line.Add(cli::Choice("file-type", {"raw", "dta", "ms2", "dump"},
                       "read through the dumper, as DTA files, as MS2, or as a precursor dump",
                       "dta for a folder, ms2 for .ms2, else raw"));
  line.Add(cli::Real("mass-lower", "DA", "lowest precursor MH+", "0"));
  line.Add(cli::Real("mass-upper", "DA", "highest precursor MH+", "1000000"));
  line.Add(cli::Real("time-lower", "SEC", "earliest retention time", "0"));
  line.Add(cli::Real("time-upper", "SEC", "latest retention time", "1000000"));
  line.Add(cli::Integer("shift-lower", "DA", "first integer mass shift examined, -10000 to 10000", "1").Range(-10000, 10000));
  line.Add(cli::Integer("shift-upper", "DA", "last integer mass shift examined, -10000 to 10000", "200").Range(-10000, 10000));
  line.Add(cli::Flag("find-pairs",
                     "write the spectral-pair files of each accepted shift (an earlier run's pair files there are "
                     "removed)"));
  line.Add(cli::Real("pp-threshold", "P", "posterior probability a pair needs to be written, 0 to 1", "0.98").Range(0, 1));
  line.Add(cli::Path("pair-folder", "DIR", "folder of the pair files (without -o: pairs beside the --write-config file)")
               .Default("<output>/pairs"));
  line.Add(cli::Text("dta-name", "PREFIX", "prefix of the spectrum names in the pair files"));
  line.Add(cli::standard::Ids(
      "only pairs of spectra identified in it (Tagram, Kiln, pepXML, mzIdentML; other names are read as "
      "Kiln-style lines)"));
  line.Add(cli::standard::Fdr("of a search engine's --ids file"));
  line.Add(cli::standard::IdThreshold().Alias("threshold"));
  line.Add(cli::standard::DecoyPrefix());
  line.Add(cli::Real("t-d-score", "X", "lowest d-score of an accepted shift", "10"));
  line.Add(cli::Real("t-delta-c", "X", "lowest relative excess over the background", "0.3"));
  line.Add(cli::Real("mass-tol", "PPM", "redundancy tolerance", "5").Range(0, 1e6));
  line.Add(cli::Real("mass-res", "DA", "width of the delta-mass bins", "0.01").Range(1e-6, 1e6));
  line.Add(cli::Integer("max-data", "N", "most precursors kept after redundancy removal", "5000")
               .Range(1, 2147483647));
  line.Add(cli::standard::NoWait());
  line.Add(cli::Path("plot", "FILE",
                     "also draw the mass-shift histogram as a picture (.png or .svg) through tessera-plot, the shifts of most pairs "
                     "named from Unimod; writes the pair files, whose pairs it counts")
               .Extensions({"png", "svg"}));
  line.Add(cli::standard::Quiet());
  return line;
}

bool ConfigFromOptions(const cli::CommandLine& line, CDetectionConfig& config, std::string& output_folder,
                       std::string& error) {
  if (line.Positionals().size() != 1) {
    error = line.Positionals().empty() ? "no run file given" : "give one run file or DTA folder";
    return false;
  }
  const bool has_output = line.Has("output") && !line.Value("output").empty();
  const bool writes_config = line.Has("write-config") && !line.Value("write-config").empty();
  if (!has_output && !writes_config) {
    error = "option --output: the output folder is required (or --write-config FILE)";
    return false;
  }
  const std::string input = path::Absolute(line.Positionals()[0]);
  if (!path::Exists(input)) {
    error = "no such run file or folder: " + line.Positionals()[0];
    return false;
  }
  config.SetDataPath(input);
  SetOfferedDefaults(config);
  double probability = 0.0;
  ReadFileType(line, input, config);
  ReadNumbers(line, config, probability);

  output_folder = has_output ? path::Absolute(line.Value("output")) : std::string();
  // Without an output folder the pair files go beside the configuration
  // file, which names every path absolutely, wherever it is run from.
  const std::string default_pairs =
      has_output ? path::Join(output_folder, "pairs")
                 : path::Join(path::DirectoryOf(path::Absolute(line.Value("write-config"))), "pairs");
  const std::string pair_folder =
      line.Has("pair-folder") ? path::Absolute(line.Value("pair-folder")) : default_pairs;
  // The histogram's bars are pair counts, which the run counts only while it
  // writes pair files: a picture asks for them.
  config.SetPairOutput(line.Has("find-pairs") || line.Has("plot"), probability, pair_folder);
  config.SetTitlePrefix(line.Has("dta-name") ? line.Value("dta-name") : path::BaseName(input));
  return ReadIdentifications(line, config, error) && config.Validate(error);
}
