#include "moddetect/ShiftscanOptions.h"

#include "common/PathUtil.h"
#include "common/StandardOptions.h"
#include "common/TextUtil.h"
#include "moddetect/PairCollector.h"

namespace {

bool ReadNumber(const cli::CommandLine& line, const char* name, double& value, std::string& error) {
  if (!line.Has(name)) return true;
  if (cli::ParseFiniteNumber(line.Value(name), value)) return true;
  error = "option --" + std::string(name) + ": not a number: \"" + line.Value(name) + "\"";
  return false;
}

bool ReadInteger(const cli::CommandLine& line, const char* name, std::int32_t& value, std::string& error) {
  if (!line.Has(name)) return true;
  long v = 0;
  if (!cli::ParseWholeNumber(line.Value(name), v)) {
    error = "option --" + std::string(name) + ": not a whole number: \"" + line.Value(name) + "\"";
    return false;
  }
  value = static_cast<std::int32_t>(v);
  return true;
}

// The road by which the input is read. Unless told, the dumper reads every
// run format; DTA folders and MS2 files have readers of their own.
bool ReadFileType(const cli::CommandLine& line, const std::string& input, CDetectionConfig& config,
                  std::string& error) {
  if (!line.Has("file-type")) {
    if (path::IsDirectory(input)) config.SetFileType(DETECTION_FILE_DTA);
    else if (path::Extension(input) == "ms2") config.SetFileType(DETECTION_FILE_MS2);
    else config.SetFileType(DETECTION_FILE_RAW);
    return true;
  }
  static const char* const kWords[] = {"raw", "dta", "ms2", "dump"};
  const std::string word = text::ToLower(line.Value("file-type"));
  for (std::int32_t type = DETECTION_FILE_RAW; type <= DETECTION_FILE_DUMP; ++type) {
    if (word == kWords[type]) {
      config.SetFileType(type);
      return true;
    }
  }
  error = "option --file-type: not raw, dta, ms2 or dump: \"" + line.Value("file-type") + "\"";
  return false;
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
// one comes with the pair output.
bool ReadNumbers(const cli::CommandLine& line, CDetectionConfig& config, double& probability,
                 std::string& error) {
  double mass_lower = config.MassLower(), mass_upper = config.MassUpper();
  double time_lower = config.TimeLower(), time_upper = config.TimeUpper();
  std::int32_t first_shift = config.FirstShift(), last_shift = config.LastShift();
  probability = config.PairProbabilityThreshold();
  double min_d_score = config.MinDScore(), min_bin_excess = config.MinBinExcess();
  double tolerance = config.RedundancyTolerancePpm(), bin_width = config.MassBinWidth();
  std::int32_t max_precursors = config.MaxPrecursors();
  if (!ReadNumber(line, "mass-lower", mass_lower, error) || !ReadNumber(line, "mass-upper", mass_upper, error) ||
      !ReadNumber(line, "time-lower", time_lower, error) || !ReadNumber(line, "time-upper", time_upper, error) ||
      !ReadInteger(line, "shift-lower", first_shift, error) ||
      !ReadInteger(line, "shift-upper", last_shift, error) ||
      !ReadNumber(line, "pp-threshold", probability, error) ||
      !ReadNumber(line, "t-d-score", min_d_score, error) ||
      !ReadNumber(line, "t-delta-c", min_bin_excess, error) ||
      !ReadNumber(line, "mass-tol", tolerance, error) || !ReadNumber(line, "mass-res", bin_width, error) ||
      !ReadInteger(line, "max-data", max_precursors, error))
    return false;
  config.SetMassWindow(mass_lower, mass_upper);
  config.SetTimeWindow(time_lower, time_upper);
  config.SetShiftRange(first_shift, last_shift);
  config.SetThresholds(min_d_score, min_bin_excess);
  config.SetRedundancyTolerancePpm(tolerance);
  config.SetMassBinWidth(bin_width);
  config.SetMaxPrecursors(max_precursors);
  return true;
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
  line.Add({"write-config", 0, "FILE", "", "only write the configuration file the options describe"});
  line.Add({"file-type", 0, "raw|dta|ms2|dump", "dta for a folder, ms2 for .ms2, else raw",
            "read through the dumper, as DTA files, as MS2, or as a precursor dump"});
  line.Add({"mass-lower", 0, "DA", "0", "lowest precursor MH+"});
  line.Add({"mass-upper", 0, "DA", "1000000", "highest precursor MH+"});
  line.Add({"time-lower", 0, "SEC", "0", "earliest retention time"});
  line.Add({"time-upper", 0, "SEC", "1000000", "latest retention time"});
  line.Add({"shift-lower", 0, "DA", "1", "first integer mass shift examined"});
  line.Add({"shift-upper", 0, "DA", "200", "last integer mass shift examined"});
  line.Add({"find-pairs", 0, "", "",
            "write the spectral-pair files of each accepted shift (an earlier run's pair files there are removed)"});
  line.Add({"pp-threshold", 0, "P", "0.98", "posterior probability a pair needs to be written"});
  line.Add({"pair-folder", 0, "DIR", "<output>/pairs",
            "folder of the pair files (without -o: pairs beside the --write-config file)"});
  line.Add({"dta-name", 0, "PREFIX", "", "prefix of the spectrum names in the pair files"});
  line.Add({"ids", 0, "FILE", "",
            "only pairs of spectra identified in this result file (Tagram, Kiln, pepXML, mzIdentML; other names "
            "are read as Kiln-style lines)"});
  line.Add(cli::standard::Fdr("of a search engine's --ids file"));
  line.Add(cli::standard::IdThreshold().Alias("threshold"));
  line.Add(cli::standard::DecoyPrefix());
  line.Add({"t-d-score", 0, "X", "10", "lowest d-score of an accepted shift"});
  line.Add({"t-delta-c", 0, "X", "0.3", "lowest relative excess over the background"});
  line.Add({"mass-tol", 0, "PPM", "5", "redundancy tolerance"});
  line.Add({"mass-res", 0, "DA", "0.01", "width of the delta-mass bins"});
  line.Add({"max-data", 0, "N", "5000", "most precursors kept after redundancy removal"});
  line.Add({"no-wait", 0, "", "", "fail at once when another run uses the working folder"});
  line.Add({"plot", 0, "FILE", "",
            "also draw the mass-shift histogram as a picture (.png or .svg) through tessera-plot, the shifts of "
            "most pairs named from Unimod; writes the pair files, whose pairs it counts"});
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
  if (!ReadFileType(line, input, config, error) || !ReadNumbers(line, config, probability, error)) return false;

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
