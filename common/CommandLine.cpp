#include "common/CommandLine.h"

#include <algorithm>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <sstream>

#include "common/TextUtil.h"

#ifndef TESSERA_VERSION
#define TESSERA_VERSION "1.0"
#endif

namespace cli {

std::string VersionLine(const std::string& program) {
  return std::string("Tessera ") + TESSERA_VERSION + " (" + program + ")";
}

OptionDefinition& OptionDefinition::Short(char letter) {
  short_name = letter;
  return *this;
}
OptionDefinition& OptionDefinition::Range(double lowest, double highest) {
  min = lowest;
  max = highest;
  return *this;
}
OptionDefinition& OptionDefinition::Exclusive() {
  exclusive = true;
  return *this;
}
OptionDefinition& OptionDefinition::Unit(std::string text) {
  unit = std::move(text);
  return *this;
}
OptionDefinition& OptionDefinition::Default(std::string text) {
  default_text = std::move(text);
  return *this;
}
OptionDefinition& OptionDefinition::Alias(std::string older_name) {
  aliases.push_back(std::move(older_name));
  return *this;
}
OptionDefinition& OptionDefinition::Numbered() {
  numbered_choices = true;
  return *this;
}
OptionDefinition& OptionDefinition::Extensions(std::vector<std::string> endings) {
  extensions = std::move(endings);
  return *this;
}

namespace {

OptionDefinition Defined(std::string name, std::string value_name, std::string help, std::string default_text,
                         OptionKind kind) {
  OptionDefinition o;
  o.name = std::move(name);
  o.value_name = std::move(value_name);
  o.help = std::move(help);
  o.default_text = std::move(default_text);
  o.kind = kind;
  return o;
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text::EqualsNoCase(text.substr(text.size() - end.size()), end);
}

// A number as --help and messages show it: 0.3, 1024, 6, 2147483647.
std::string Number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

// Words joined by ", " but the last two by `last_glue` (", " or " or "),
// or all by `last_glue` when it is "|".
std::string Joined(const std::vector<std::string>& words, const std::string& last_glue) {
  std::string joined;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) joined += i + 1 == words.size() || last_glue == "|" ? last_glue : ", ";
    joined += words[i];
  }
  return joined;
}

constexpr std::size_t kListedChoicesWidth = 40;

// "from 1 to 1024", "between 0 and 1", "of at least 0", "" for no range.
std::string RangeText(const OptionDefinition& o) {
  const bool low = std::isfinite(o.min);
  const bool high = std::isfinite(o.max);
  if (low && high)
    return o.exclusive ? "between " + Number(o.min) + " and " + Number(o.max) + " (both excluded)"
                       : "from " + Number(o.min) + " to " + Number(o.max);
  if (low) return (o.exclusive ? "above " : "of at least ") + Number(o.min);
  if (high) return (o.exclusive ? "below " : "of at most ") + Number(o.max);
  return std::string();
}

bool InRange(const OptionDefinition& o, double v) {
  return o.exclusive ? v > o.min && v < o.max : v >= o.min && v <= o.max;
}

std::string Refused(const OptionDefinition& o, const std::string& value, const std::string& what) {
  return "option --" + o.name + ": \"" + value + "\" is not " + what;
}

}  // namespace

OptionDefinition Flag(std::string name, std::string help) {
  return Defined(std::move(name), "", std::move(help), "", OptionKind::kFlag);
}
OptionDefinition Text(std::string name, std::string value_name, std::string help, std::string default_text) {
  return Defined(std::move(name), std::move(value_name), std::move(help), std::move(default_text), OptionKind::kText);
}
OptionDefinition Path(std::string name, std::string value_name, std::string help) {
  return Defined(std::move(name), std::move(value_name), std::move(help), "", OptionKind::kPath);
}
OptionDefinition Integer(std::string name, std::string value_name, std::string help, std::string default_text) {
  return Defined(std::move(name), std::move(value_name), std::move(help), std::move(default_text),
                 OptionKind::kInteger);
}
OptionDefinition Real(std::string name, std::string value_name, std::string help, std::string default_text) {
  return Defined(std::move(name), std::move(value_name), std::move(help), std::move(default_text), OptionKind::kReal);
}
OptionDefinition ToleranceOption(std::string name, std::string help, std::string default_text) {
  OptionDefinition o =
      Defined(std::move(name), "TOL", std::move(help), std::move(default_text), OptionKind::kTolerance);
  o.min = 0;
  return o;
}
OptionDefinition Choice(std::string name, std::vector<std::string> choices, std::string help,
                        std::string default_text) {
  OptionDefinition o = Defined(std::move(name), "", std::move(help), std::move(default_text), OptionKind::kChoice);
  o.choices = std::move(choices);
  return o;
}

OptionDefinition Fraction(std::string name, std::string value_name, std::string help, std::string default_text) {
  OptionDefinition o = Defined(std::move(name), std::move(value_name), std::move(help), std::move(default_text),
                               OptionKind::kFraction);
  return o.Range(0, 1);
}

bool ParseFraction(const std::string& text, double& value) {
  const bool percent = !text.empty() && text.back() == '%';
  double number = 0;
  if (!ParseFiniteNumber(percent ? text.substr(0, text.size() - 1) : text, number)) return false;
  value = percent ? number / 100.0 : number;
  return true;
}

bool ParseTolerance(const std::string& text, Tolerance& value) {
  const std::string t = text::Trim(text);
  for (const auto& unit : {std::make_pair("ppm", TOLERANCE_PPM), std::make_pair("da", TOLERANCE_DA)}) {
    if (!EndsWithNoCase(t, unit.first)) continue;
    double number = 0;
    if (!ParseFiniteNumber(text::Trim(t.substr(0, t.size() - std::strlen(unit.first))), number)) return false;
    value = {number, unit.second};
    return true;
  }
  return false;
}

std::string CheckValue(const OptionDefinition& o, const std::string& value, std::string& canonical) {
  canonical = value;
  const bool flag = o.kind == OptionKind::kFlag || o.value_name.empty();
  if (flag && o.kind != OptionKind::kChoice) return std::string();
  switch (o.kind) {
    case OptionKind::kFlag:
    case OptionKind::kText:
      return std::string();
    case OptionKind::kPath: {
      if (value.empty()) return "option --" + o.name + " needs a name";
      if (o.extensions.empty()) return std::string();
      std::vector<std::string> dotted;
      for (const std::string& e : o.extensions) {
        if (EndsWithNoCase(value, "." + e)) return std::string();
        dotted.push_back("." + e);
      }
      return "option --" + o.name + ": " + value + " is not a " + Joined(dotted, " or ") + " name";
    }
    case OptionKind::kInteger: {
      long v = 0;
      const std::string range = RangeText(o);
      if (!ParseWholeNumber(value, v) || !InRange(o, static_cast<double>(v)))
        return Refused(o, value, "a whole number" + (range.empty() ? "" : " " + range));
      return std::string();
    }
    case OptionKind::kReal: {
      double v = 0;
      const std::string range = RangeText(o);
      if (!ParseFiniteNumber(value, v) || !InRange(o, v))
        return Refused(o, value, "a number" + (range.empty() ? "" : " " + range));
      return std::string();
    }
    case OptionKind::kFraction: {
      double v = 0;
      if (!ParseFraction(value, v) || !InRange(o, v))
        return Refused(o, value, "a level " + RangeText(o) + " (as 0.01 or 1%)");
      return std::string();
    }
    case OptionKind::kTolerance: {
      Tolerance t;
      double bare = 0;
      if (ParseFiniteNumber(text::Trim(value), bare)) {
        const std::string n = text::Trim(value);
        return "option --" + o.name + ": give a unit: " + n + "ppm or " + n + "Da";
      }
      if (!ParseTolerance(value, t)) return Refused(o, value, "a tolerance such as 20ppm or 0.5Da");
      if (!InRange(o, t.value)) return Refused(o, value, "a tolerance " + RangeText(o));
      return std::string();
    }
    case OptionKind::kChoice: {
      for (const std::string& c : o.choices) {
        if (text::EqualsNoCase(c, text::Trim(value))) {
          canonical = c;
          return std::string();
        }
      }
      long index = 0;
      if (o.numbered_choices && ParseWholeNumber(value, index) && index >= 0 &&
          index < static_cast<long>(o.choices.size())) {
        canonical = o.choices[static_cast<std::size_t>(index)];
        return std::string();
      }
      std::string what = "one of " + Joined(o.choices, " or ");
      if (o.numbered_choices) what += " (or its number, 0 to " + std::to_string(o.choices.size() - 1) + ")";
      return Refused(o, value, what);
    }
  }
  return std::string();
}

CommandLine::CommandLine(std::string program, std::vector<std::string> synopsis, std::string description)
    : program_(std::move(program)), synopsis_(std::move(synopsis)), description_(std::move(description)) {
  options_.push_back(Flag("help", "print this help and exit"));
  options_.push_back(Flag("version", "print the version and exit"));
}

void CommandLine::Add(OptionDefinition option) {
  // The kind and the value name agree: a flag has no value, a valued
  // option shows one.
  if (option.kind == OptionKind::kFlag) option.value_name.clear();
  if (option.kind != OptionKind::kFlag && option.value_name.empty()) {
    if (option.kind == OptionKind::kChoice) {
      // A long list would push every help text far right: it goes into the
      // help text instead.
      const std::string listed = Joined(option.choices, "|").size() <= kListedChoicesWidth
                                     ? Joined(option.choices, "|")
                                     : std::string();
      option.value_name = listed.empty() ? "NAME" : listed;
      if (listed.empty()) option.help += " (one of: " + Joined(option.choices, ", ") + ")";
    }
    else if (option.kind != OptionKind::kText) option.value_name = "VALUE";
    else option.kind = OptionKind::kFlag;
  }
  options_.push_back(std::move(option));
}

const OptionDefinition* CommandLine::Find(const std::string& name) const {
  for (const OptionDefinition& o : options_)
    if (o.name == name) return &o;
  for (const OptionDefinition& o : options_)
    if (std::find(o.aliases.begin(), o.aliases.end(), name) != o.aliases.end()) return &o;
  return nullptr;
}

const OptionDefinition& CommandLine::Defined(const std::string& name) const {
  if (const OptionDefinition* o = Find(name)) return *o;
  static const OptionDefinition kNone;
  return kNone;
}

const OptionDefinition* CommandLine::FindShort(char name) const {
  for (const OptionDefinition& o : options_)
    if (o.short_name != 0 && o.short_name == name) return &o;
  return nullptr;
}

Outcome CommandLine::Parse(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return Parse(args);
}

Outcome CommandLine::Parse(const std::vector<std::string>& args) {
  values_.clear();
  given_.clear();
  positionals_.clear();
  error_.clear();
  bool options_ended = false;
  bool help = false;
  bool version = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      positionals_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    const OptionDefinition* option = nullptr;
    std::string value;
    bool inline_value = false;
    if (arg[1] == '-') {
      std::string name = arg.substr(2);
      const std::size_t eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
        inline_value = true;
      }
      option = Find(name);
    } else if (arg.size() == 2) {
      option = FindShort(arg[1]);
    }
    if (option == nullptr) {
      // A lone "-5" is a negative number given where a path or value goes.
      if (arg[1] != '-' && (std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.')) {
        positionals_.push_back(arg);
        continue;
      }
      error_ = "unknown option: " + arg;
      return Outcome::kError;
    }
    if (option->value_name.empty()) {
      if (inline_value) {
        error_ = "option --" + option->name + " takes no value";
        return Outcome::kError;
      }
    } else if (!inline_value) {
      if (i + 1 >= args.size()) {
        error_ = "option --" + option->name + " needs a value (" + option->value_name + ")";
        return Outcome::kError;
      }
      value = args[++i];
    }
    std::string canonical;
    if (error_ = CheckValue(*option, value, canonical); !error_.empty()) return Outcome::kError;
    value = canonical;
    if (option->name == "help") help = true;
    if (option->name == "version") version = true;
    values_[option->name] = value;
    given_.emplace_back(option->name, value);
  }
  if (help) return Outcome::kHelp;
  if (version) return Outcome::kVersion;
  return Outcome::kRun;
}

std::vector<std::string> CommandLine::Values(const std::string& name) const {
  std::vector<std::string> values;
  for (const auto& [given, value] : given_)
    if (given == name) values.push_back(value);
  return values;
}

std::string CommandLine::Value(const std::string& name, const std::string& fallback) const {
  const auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
}

long CommandLine::Integer(const std::string& name, long fallback) const {
  long v = fallback;
  return Has(name) && ParseWholeNumber(Value(name), v) ? v : fallback;
}

double CommandLine::Real(const std::string& name, double fallback) const {
  double v = fallback;
  if (!Has(name)) return fallback;
  const bool read = Defined(name).kind == OptionKind::kFraction ? ParseFraction(Value(name), v)
                                                                 : ParseFiniteNumber(Value(name), v);
  return read ? v : fallback;
}

cli::Tolerance CommandLine::Tolerance(const std::string& name, cli::Tolerance fallback) const {
  cli::Tolerance v = fallback;
  return Has(name) && ParseTolerance(Value(name), v) ? v : fallback;
}

std::string CommandLine::Choice(const std::string& name, const std::string& fallback) const {
  return Value(name, fallback);
}

int CommandLine::ChoiceIndex(const std::string& name, int fallback) const {
  if (!Has(name)) return fallback;
  const std::vector<std::string>& choices = Defined(name).choices;
  const auto it = std::find(choices.begin(), choices.end(), Value(name));
  return it == choices.end() ? fallback : static_cast<int>(it - choices.begin());
}

std::string CommandLine::Usage() const {
  std::ostringstream out;
  for (std::size_t i = 0; i < synopsis_.size(); ++i)
    out << (i == 0 ? "usage: " : "       ") << program_ << (synopsis_[i].empty() ? "" : " ") << synopsis_[i]
        << "\n";
  if (!description_.empty()) out << "\n" << description_ << "\n";
  out << "\noptions:\n";
  std::size_t width = 0;
  std::vector<std::string> heads;
  for (const OptionDefinition& o : options_) {
    std::string head = o.short_name != 0 ? std::string("-") + o.short_name + ", " : "    ";
    head += "--" + o.name;
    if (!o.value_name.empty()) head += " " + o.value_name;
    width = std::max(width, head.size());
    heads.push_back(std::move(head));
  }
  for (std::size_t i = 0; i < options_.size(); ++i) {
    const OptionDefinition& o = options_[i];
    out << "  " << heads[i] << std::string(width - heads[i].size() + 2, ' ') << o.help;
    std::vector<std::string> notes;
    if (!o.unit.empty() && o.default_text.empty()) notes.push_back("in " + o.unit);
    if (!o.default_text.empty())
      notes.push_back("default: " + o.default_text + (o.unit.empty() ? "" : " " + o.unit));
    for (const std::string& alias : o.aliases) notes.push_back("also --" + alias);
    for (const std::string& note : notes) out << " (" << note << ")";
    out << "\n";
  }
  return out.str();
}

int CommandLine::Report(Outcome outcome, std::ostream& out, std::ostream& err) const {
  switch (outcome) {
    case Outcome::kRun:
      return -1;
    case Outcome::kHelp:
      out << Usage();
      return 0;
    case Outcome::kVersion:
      out << VersionLine(program_) << "\n";
      return 0;
    case Outcome::kError:
      err << program_ << ": " << error_ << "\n" << Usage();
      return 2;
  }
  return 2;
}

CDivertedStandardOutput::CDivertedStandardOutput(bool silent) {
  std::cout.flush();
  std::fflush(stdout);
  saved_ = ::dup(STDOUT_FILENO);
  const int sink = silent ? ::open("/dev/null", O_WRONLY) : ::dup(STDERR_FILENO);
  if (sink >= 0) {
    ::dup2(sink, STDOUT_FILENO);
    ::close(sink);
  }
}

CDivertedStandardOutput::~CDivertedStandardOutput() {
  std::cout.flush();
  std::fflush(stdout);
  if (saved_ >= 0) {
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
  }
}

bool ParseFiniteNumber(const std::string& text, double& value) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool ParseWholeNumber(const std::string& text, long& value) {
  double v = 0;
  if (!ParseFiniteNumber(text, v) || v != std::trunc(v) || v < -2147483648.0 || v > 2147483647.0) return false;
  value = static_cast<long>(v);
  return true;
}

bool AsksForHelpOrVersion(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "--version") return true;
  }
  return false;
}

}  // namespace cli
