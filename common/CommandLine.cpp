#include "common/CommandLine.h"

#include <algorithm>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cctype>
#include <sstream>

#ifndef TESSERA_VERSION
#define TESSERA_VERSION "1.0"
#endif

namespace cli {

std::string VersionLine(const std::string& program) {
  return std::string("Tessera ") + TESSERA_VERSION + " (" + program + ")";
}

CommandLine::CommandLine(std::string program, std::vector<std::string> synopsis, std::string description)
    : program_(std::move(program)), synopsis_(std::move(synopsis)), description_(std::move(description)) {
  options_.push_back({"help", 0, "", "", "print this help and exit"});
  options_.push_back({"version", 0, "", "", "print the version and exit"});
}

void CommandLine::Add(OptionDefinition option) { options_.push_back(std::move(option)); }

const OptionDefinition* CommandLine::Find(const std::string& name) const {
  for (const OptionDefinition& o : options_)
    if (o.name == name) return &o;
  return nullptr;
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
    if (option->name == "help") help = true;
    if (option->name == "version") version = true;
    values_[option->name] = value;
    given_.emplace_back(option->name, value);
  }
  if (help) return Outcome::kHelp;
  if (version) return Outcome::kVersion;
  return Outcome::kRun;
}

std::string CommandLine::Value(const std::string& name, const std::string& fallback) const {
  const auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
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
    if (!o.default_text.empty()) out << " (default: " << o.default_text << ")";
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
