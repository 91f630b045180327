#pragma once
// Streaming XML reading for search-engine result files, which reach
// gigabytes: the file is fed to expat in blocks and the handler sees one
// element at a time, so memory grows with what the handler keeps (and with
// the longest single tag). Reading time grows with the file's length alone,
// also for one attribute of many megabytes.

#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace xmlstream {

// Attributes of one start tag, as expat hands them over (name, value, ...,
// null). Names lose any namespace prefix when looked up.
class CAttributes {
 public:
  explicit CAttributes(const char** pairs) : pairs_(pairs) {}
  // The value of `name`, or nullptr when the tag has no such attribute.
  const char* Find(std::string_view name) const;
  std::string Get(std::string_view name) const {
    const char* value = Find(name);
    return value ? std::string(value) : std::string();
  }
  bool Has(std::string_view name) const { return Find(name) != nullptr; }
  // A finite number; false when the attribute is missing or not one.
  bool Number(std::string_view name, double& value) const;
  // A whole number within the range of int.
  bool Integer(std::string_view name, int& value) const;

 private:
  const char** pairs_;
};

// A finite number, with nothing but blanks after it.
bool ParseNumber(const std::string& text, double& value);
bool ParseInteger(const std::string& text, int& value);

class CHandler {
 public:
  virtual ~CHandler() = default;
  // Element names come without namespace prefix ("mzid:Peptide" -> "Peptide").
  virtual void Start(std::string_view name, const CAttributes& attributes) = 0;
  virtual void End(std::string_view name) = 0;
  // Character data of the innermost element, possibly in several pieces.
  virtual void Text(std::string_view /*text*/) {}
};

class CReader {
 public:
  // Reads `path` through `handler`. False when the file cannot be opened,
  // the XML is malformed, or the handler called Stop(); `error` then says
  // why, naming the file, the line and the innermost open element.
  bool Read(const std::string& path, CHandler& handler, std::string& error);

  // For handlers: abandons the read with a message (prefixed like a parse
  // error with the file, line and element).
  void Stop(const std::string& why);

  // The innermost element open at the moment (for messages).
  const std::string& CurrentElement() const { return current_; }

 private:
  friend struct ReaderAccess;
  // Hands the stream to the parser in blocks; false with `error` set when
  // the XML is malformed or the handler stopped.
  bool Feed(std::istream& in, std::string& error);
  void* parser_ = nullptr;
  CHandler* handler_ = nullptr;
  std::string path_;
  std::string stop_reason_;
  std::string current_;
  std::vector<std::string> open_;  // names of the open elements, outermost first
  long long reported_at_ = 0;      // byte index of the last event the handler saw
};

// "file 'x.pep.xml', line 12, element <search_hit>: " for messages.
std::string Where(const std::string& path, unsigned long line, const std::string& element);

}  // namespace xmlstream
