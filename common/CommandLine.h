#pragma once
// The command line every Tessera program shares: long options with values,
// flags, positional arguments, and the answers users expect of a tool of
// this field (--help prints the usage and exits 0, --version names the
// release, a wrong option prints the usage and exits 2). Parsing never
// prints and never exits; the program decides what to do with the outcome.

#include <limits>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "common/Types.h"

namespace cli {

// "Tessera <version> (<program>)"
std::string VersionLine(const std::string& program);

// What an option's value is. Parse() refuses a value that is not of its
// kind, so programs read typed values and never check option text.
enum class OptionKind {
  kFlag,       // no value
  kText,       // any text
  kPath,       // a non-empty name, optionally of one of `extensions`
  kInteger,    // a whole number within `min`..`max` (and the 32-bit range)
  kReal,       // a finite number within `min`..`max`
  kTolerance,  // a number of at least `min` with its unit: "20ppm", "0.5Da"
  kChoice,     // one of `choices`, matched without regard to case
  kFraction    // a level within `min`..`max`, as a fraction "0.01" or a percentage "1%"
};

// A tolerance as written: value and unit.
struct Tolerance {
  double value = 0.0;
  Tolerance_Type unit = TOLERANCE_DA;
};

struct OptionDefinition {
  OptionDefinition() = default;
  // {name, short name, value name, default text, help}: a text option, or
  // a flag when `value_name` is empty, as before kinds existed.
  OptionDefinition(std::string long_name, char letter, std::string value, std::string default_value,
                   std::string help_text)
      : name(std::move(long_name)),
        short_name(letter),
        value_name(std::move(value)),
        default_text(std::move(default_value)),
        help(std::move(help_text)) {}

  std::string name;        // long name without the dashes: "threshold"
  char short_name = 0;     // optional one-letter alias: 'o' for -o
  std::string value_name;  // empty: a flag without value
  std::string default_text;
  std::string help;
  OptionKind kind = OptionKind::kText;
  double min = -std::numeric_limits<double>::infinity();
  double max = std::numeric_limits<double>::infinity();
  bool exclusive = false;  // `min` and `max` themselves are refused
  std::string unit;        // shown in --help: "Da", "ppm"
  std::vector<std::string> choices;     // canonical spellings
  bool numbered_choices = false;        // a choice's index is taken too
  std::vector<std::string> extensions;  // kPath: accepted name endings, without the dot
  std::vector<std::string> aliases;     // older long names, still taken

  // Chainable refinements: cli::Integer("threads", ...).Range(1, 1024).
  OptionDefinition& Short(char letter);
  OptionDefinition& Range(double lowest, double highest);
  OptionDefinition& Exclusive();
  OptionDefinition& Unit(std::string text);
  OptionDefinition& Default(std::string text);
  OptionDefinition& Alias(std::string older_name);
  OptionDefinition& Numbered();
  OptionDefinition& Extensions(std::vector<std::string> endings);
};

// Definitions of each kind. `value_name` is what --help shows after the
// option ("N", "FILE"); a choice shows its choices when none is given.
OptionDefinition Flag(std::string name, std::string help);
OptionDefinition Text(std::string name, std::string value_name, std::string help, std::string default_text = "");
OptionDefinition Path(std::string name, std::string value_name, std::string help);
OptionDefinition Integer(std::string name, std::string value_name, std::string help, std::string default_text = "");
OptionDefinition Real(std::string name, std::string value_name, std::string help, std::string default_text = "");
// Never negative.
OptionDefinition ToleranceOption(std::string name, std::string help, std::string default_text = "");
OptionDefinition Choice(std::string name, std::vector<std::string> choices, std::string help,
                        std::string default_text = "");
// From 0 to 1 unless given another range; Real() answers the fraction.
OptionDefinition Fraction(std::string name, std::string value_name, std::string help, std::string default_text = "");

enum class Outcome {
  kRun,      // options parsed, go on
  kHelp,     // --help: print Usage() to standard output, exit 0
  kVersion,  // --version: print VersionLine(), exit 0
  kError     // print Error() and Usage() to standard error, exit 2
};

class CommandLine {
 public:
  // `synopsis` lines follow "usage: "; `description` is printed below them.
  CommandLine(std::string program, std::vector<std::string> synopsis, std::string description);

  void Add(OptionDefinition option);

  Outcome Parse(int argc, const char* const* argv);
  Outcome Parse(const std::vector<std::string>& args);

  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  // The value given, or `fallback` when the option was not given. An option
  // given twice keeps its last value.
  std::string Value(const std::string& name, const std::string& fallback = "") const;
  // Every value of an option that may be given more than once, in the
  // order given; empty when it was not given.
  std::vector<std::string> Values(const std::string& name) const;
  // Typed values of options given, `fallback` when not given. Parse() has
  // checked them, so these never fail on a parsed line. A choice answers its
  // canonical spelling (Value() does too), ChoiceIndex() its place in the
  // list of choices.
  long Integer(const std::string& name, long fallback = 0) const;
  double Real(const std::string& name, double fallback = 0.0) const;
  cli::Tolerance Tolerance(const std::string& name, cli::Tolerance fallback = {}) const;
  std::string Choice(const std::string& name, const std::string& fallback = "") const;
  int ChoiceIndex(const std::string& name, int fallback = -1) const;
  // Options in the order they were given, for programs whose options write
  // into one record in turn.
  const std::vector<std::pair<std::string, std::string>>& Given() const { return given_; }
  const std::vector<std::string>& Positionals() const { return positionals_; }
  const std::string& Error() const { return error_; }
  const std::string& Program() const { return program_; }

  std::string Usage() const;

  // Writes what the outcome asks for and answers the exit status
  // (0 for help and version, 2 for an error); for kRun writes nothing and
  // answers -1.
  int Report(Outcome outcome, std::ostream& out, std::ostream& err) const;

 private:
  const OptionDefinition* Find(const std::string& name) const;
  const OptionDefinition& Defined(const std::string& name) const;
  const OptionDefinition* FindShort(char name) const;

  std::string program_;
  std::vector<std::string> synopsis_;
  std::string description_;
  std::vector<OptionDefinition> options_;
  std::map<std::string, std::string> values_;
  std::vector<std::pair<std::string, std::string>> given_;
  std::vector<std::string> positionals_;
  std::string error_;
};

// Option values: the whole text must be a finite number (a whole one for
// ParseWholeNumber, within 32-bit range); no trailing text, no "nan".
bool ParseFiniteNumber(const std::string& text, double& value);
bool ParseWholeNumber(const std::string& text, long& value);
// "0.05" or "5%" as the fraction 0.05.
bool ParseFraction(const std::string& text, double& value);
// "20ppm", "0.5Da", "0.5 da" (units without regard to case); a bare number
// has no unit and is refused.
bool ParseTolerance(const std::string& text, Tolerance& value);
// Why `value` is not a value of `option` ("option --x: ..."), or "" when it
// is; `canonical` receives the value as stored (a choice's own spelling).
std::string CheckValue(const OptionDefinition& option, const std::string& value, std::string& canonical);

// While it lives, what the process writes to standard output (child
// processes included) goes to standard error, or nowhere when `silent`: the
// options forms of the back ends keep their consoles as progress there, so
// that standard output holds only where the results went.
class CDivertedStandardOutput {
 public:
  explicit CDivertedStandardOutput(bool silent);
  ~CDivertedStandardOutput();
  CDivertedStandardOutput(const CDivertedStandardOutput&) = delete;
  CDivertedStandardOutput& operator=(const CDivertedStandardOutput&) = delete;

 private:
  int saved_ = -1;
};

// True when any argument is --help or --version: programs whose one
// argument is a file path check this before treating it as a path.
bool AsksForHelpOrVersion(int argc, const char* const* argv);

}  // namespace cli
