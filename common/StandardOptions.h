#pragma once
// The options several programs take, declared once: one name, one help
// text and one default text each, so that --fdr reads the same in every
// program's --help. A program adds them to its command line and may add a
// few words on what the option does there (`detail`, after the shared
// text).

#include <string>

#include "common/CommandLine.h"

namespace cli {
namespace standard {

// -o DIR: the output folder, created when missing.
OptionDefinition Output(const std::string& detail = "");
// -q: no progress on standard error.
OptionDefinition Quiet(const std::string& detail = "");
// --threads N, 1 to 1024; the results never depend on it.
OptionDefinition Threads(const std::string& detail = "");
// --no-wait: fail at once when another run uses the output folder.
OptionDefinition NoWait(const std::string& detail = "");
// --ids FILE: search-engine identifications, any result format.
OptionDefinition Ids(const std::string& detail = "");
// --fdr LEVEL: the FDR cut of --ids, "0.01" or "1%" (checked by the result
// readers' FilterFromChoice, which every program uses).
OptionDefinition Fdr(const std::string& detail = "");
// --id-threshold SCORE: a score cut of --ids instead of the FDR.
OptionDefinition IdThreshold(const std::string& detail = "");
// --decoy-prefix P[,P...]: accession prefixes of decoy proteins.
OptionDefinition DecoyPrefix(const std::string& detail = "");
// Tolerances with their unit ("20ppm", "0.5Da"); the default is the
// program's own.
OptionDefinition PrecursorTolerance(const std::string& default_text, const std::string& detail = "");
OptionDefinition FragmentTolerance(const std::string& default_text, const std::string& detail = "");

// The default texts, for programs that say them elsewhere.
inline constexpr const char* kFdrDefault = "0.01 (1%)";
inline constexpr const char* kDecoyPrefixDefault = "DECOY_,rev_,XXX_";

}  // namespace standard
}  // namespace cli
