#pragma once
// The command line every Tessera program shares: long options with values,
// flags, positional arguments, and the answers users expect of a tool of
// this field (--help prints the usage and exits 0, --version names the
// release, a wrong option prints the usage and exits 2). Parsing never
// prints and never exits; the program decides what to do with the outcome.

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace cli {

// "Tessera <version> (<program>)"
std::string VersionLine(const std::string& program);

struct OptionDefinition {
  std::string name;        // long name without the dashes: "threshold"
  char short_name = 0;     // optional one-letter alias: 'o' for -o
  std::string value_name;  // empty: a flag without value
  std::string default_text;
  std::string help;
};

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
