#include "moddetect/ShiftscanOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "common/PathUtil.h"

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

}  // namespace

cli::CommandLine ShiftscanCommandLine() {
  cli::CommandLine line(
      "Shiftscan", {"<configuration file>", "[options] <run file or DTA folder> -o <output folder>"},
      "Finds protein modifications as precursor mass shifts. With a configuration file\n"
      "it writes the mass-shift table temp.temp in the current directory and, on\n"
      "failure, error_happened.error there (the exit status is then still 0). With\n"
      "options it writes Shiftscan.cfg, temp.temp and the pair files into the output\n"
      "folder and exits non-zero on failure. Run files: mzML, mzXML, MGF, MS2.");
  line.Add({"output", 'o', "DIR", "", "output folder (created when missing)"});
  line.Add({"mass-lower", 0, "DA", "400", "lowest precursor MH+"});
  line.Add({"mass-upper", 0, "DA", "6000", "highest precursor MH+"});
  line.Add({"time-lower", 0, "SEC", "0", "earliest retention time"});
  line.Add({"time-upper", 0, "SEC", "100000", "latest retention time"});
  line.Add({"shift-lower", 0, "DA", "1", "first integer mass shift examined"});
  line.Add({"shift-upper", 0, "DA", "100", "last integer mass shift examined"});
  line.Add({"find-pairs", 0, "", "", "write the spectral-pair files of each accepted shift"});
  line.Add({"pp-threshold", 0, "P", "0.98", "posterior probability a pair needs to be written"});
  line.Add({"pair-folder", 0, "DIR", "<output>/pairs", "folder of the pair files"});
  line.Add({"dta-name", 0, "PREFIX", "", "prefix of the spectrum names in the pair files"});
  line.Add({"ids", 0, "FILE", "", "only pairs of spectra identified in this result file"});
  line.Add({"t-d-score", 0, "X", "20", "lowest d-score of an accepted shift"});
  line.Add({"t-delta-c", 0, "X", "0.4", "lowest relative excess over the background"});
  line.Add({"mass-tol", 0, "PPM", "5", "redundancy tolerance"});
  line.Add({"mass-res", 0, "DA", "0.01", "width of the delta-mass bins"});
  line.Add({"max-data", 0, "N", "5000", "most precursors kept after redundancy removal"});
  line.Add({"no-wait", 0, "", "", "fail at once when another run uses the working folder"});
  line.Add({"quiet", 'q', "", "", "no progress on standard error"});
  return line;
}

bool ConfigFromOptions(const cli::CommandLine& line, CDetectionConfig& config, std::string& output_folder,
                       std::string& error) {
  if (line.Positionals().size() != 1) {
    error = line.Positionals().empty() ? "no run file given" : "give one run file or DTA folder";
    return false;
  }
  if (!line.Has("output") || line.Value("output").empty()) {
    error = "option --output: the output folder is required";
    return false;
  }
  const std::string input = path::Absolute(line.Positionals()[0]);
  if (!path::Exists(input)) {
    error = "no such run file or folder: " + line.Positionals()[0];
    return false;
  }
  output_folder = path::Absolute(line.Value("output"));
  config.SetDataPath(input);
  // The dumper reads every run format; DTA folders and MS2 files have
  // readers of their own.
  if (path::IsDirectory(input)) config.SetFileType(DETECTION_FILE_DTA);
  else if (path::Extension(input) == "ms2") config.SetFileType(DETECTION_FILE_MS2);
  else config.SetFileType(DETECTION_FILE_RAW);

  double mass_lower = config.MassLower(), mass_upper = config.MassUpper();
  double time_lower = config.TimeLower(), time_upper = config.TimeUpper();
  std::int32_t shift_lower = config.ModMassLower(), shift_upper = config.ModMassUpper();
  double pp = config.PPThreshold(), tds = config.TDScore(), tdc = config.TDeltaC();
  double tol = config.MassTol(), res = config.MassRes();
  std::int32_t max_data = config.MaxNData();
  if (!ReadNumber(line, "mass-lower", mass_lower, error) || !ReadNumber(line, "mass-upper", mass_upper, error) ||
      !ReadNumber(line, "time-lower", time_lower, error) || !ReadNumber(line, "time-upper", time_upper, error) ||
      !ReadInteger(line, "shift-lower", shift_lower, error) ||
      !ReadInteger(line, "shift-upper", shift_upper, error) || !ReadNumber(line, "pp-threshold", pp, error) ||
      !ReadNumber(line, "t-d-score", tds, error) || !ReadNumber(line, "t-delta-c", tdc, error) ||
      !ReadNumber(line, "mass-tol", tol, error) || !ReadNumber(line, "mass-res", res, error) ||
      !ReadInteger(line, "max-data", max_data, error))
    return false;
  config.SetMassWindow(mass_lower, mass_upper);
  config.SetTimeWindow(time_lower, time_upper);
  config.SetShiftRange(shift_lower, shift_upper);
  const std::string pair_folder =
      line.Has("pair-folder") ? path::Absolute(line.Value("pair-folder")) : path::Join(output_folder, "pairs");
  config.SetPairOutput(line.Has("find-pairs"), pp, pair_folder);
  config.SetDtaName(line.Has("dta-name") ? line.Value("dta-name") : path::BaseName(input));
  if (line.Has("ids")) config.SetPostSearch(true, path::Absolute(line.Value("ids")));
  config.SetThresholds(tds, tdc);
  config.SetMassTol(tol);
  config.SetMassRes(res);
  config.SetMaxNData(max_data);
  std::string invalid;
  if (!config.Validate(invalid)) {
    error = invalid;
    return false;
  }
  return true;
}
