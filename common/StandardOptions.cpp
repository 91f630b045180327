#include "common/StandardOptions.h"

namespace cli {
namespace standard {

namespace {

std::string With(std::string help, const std::string& detail) {
  return detail.empty() ? help : help + "; " + detail;
}

}  // namespace

OptionDefinition Output(const std::string& detail) {
  return Path("output", "DIR", With("output folder (created when missing)", detail)).Short('o');
}

OptionDefinition Quiet(const std::string& detail) {
  return Flag("quiet", With("no progress on standard error", detail)).Short('q');
}

OptionDefinition Threads(const std::string& detail) {
  return Integer("threads", "N", With("threads, at most 1024 (the results do not depend on it)", detail), "all")
      .Range(1, 1024);
}

OptionDefinition NoWait(const std::string& detail) {
  return Flag("no-wait", With("fail at once when another run uses the output folder", detail));
}

OptionDefinition Ids(const std::string& detail) {
  return Path("ids", "FILE",
              With("identification result file (any format the result readers know)", detail));
}

OptionDefinition Fdr(const std::string& detail) {
  return Text("fdr", "LEVEL", With("FDR level of the identifications, as 0.01 or 1%", detail), kFdrDefault);
}

OptionDefinition IdThreshold(const std::string& detail) {
  return Real("id-threshold", "SCORE", With("score cut of the identifications instead of the FDR", detail));
}

OptionDefinition DecoyPrefix(const std::string& detail) {
  return Text("decoy-prefix", "P[,P...]", With("accession prefixes of decoy proteins", detail), kDecoyPrefixDefault);
}

OptionDefinition PrecursorTolerance(const std::string& default_text, const std::string& detail) {
  return ToleranceOption("precursor-tol", With("precursor tolerance, with its unit: 20ppm or 0.02Da", detail),
                         default_text);
}

OptionDefinition FragmentTolerance(const std::string& default_text, const std::string& detail) {
  return ToleranceOption("fragment-tol", With("fragment ion tolerance, with its unit: 0.5Da or 20ppm", detail),
                         default_text);
}

}  // namespace standard
}  // namespace cli
