#include "resultfiles/XmlStream.h"

#include <expat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "common/TextUtil.h"

namespace xmlstream {

namespace {

constexpr long long kBlock = 1 << 16;
// XML_Parse takes an int length.
constexpr long long kLargestBlock = 1 << 30;

std::string_view LocalName(const char* name) {
  const char* colon = std::strrchr(name, ':');
  return colon ? std::string_view(colon + 1) : std::string_view(name);
}

}  // namespace

const char* CAttributes::Find(std::string_view name) const {
  for (const char** p = pairs_; p && p[0]; p += 2) {
    if (LocalName(p[0]) == name) return p[1];
  }
  return nullptr;
}

bool ParseNumber(const std::string& text, double& value) {
  const char* begin = text.c_str();
  char* end = nullptr;
  value = std::strtod(begin, &end);
  if (end == begin || !std::isfinite(value)) return false;
  while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
  return *end == '\0';
}

bool ParseInteger(const std::string& text, int& value) {
  double number = 0.0;
  if (!ParseNumber(text, number) || number != std::floor(number) || std::fabs(number) > 2e9)
    return false;
  value = static_cast<int>(number);
  return true;
}

bool CAttributes::Number(std::string_view name, double& value) const {
  const char* text = Find(name);
  return text && ParseNumber(text, value);
}

bool CAttributes::Integer(std::string_view name, int& value) const {
  const char* text = Find(name);
  return text && ParseInteger(text, value);
}

std::string Where(const std::string& path, unsigned long line, const std::string& element) {
  std::string where = "file '" + path + "', line " + std::to_string(line);
  if (!element.empty()) where += ", element <" + element + ">";
  return where + ": ";
}

struct ReaderAccess {
  // Where the parser last reported something: what it was handed after that
  // is an unfinished token (a tag, a long attribute) that it scans again
  // from its start at every call.
  static void Reported(CReader* reader) {
    reader->reported_at_ = XML_GetCurrentByteIndex(static_cast<XML_Parser>(reader->parser_));
  }
  static void XMLCALL Start(void* data, const char* name, const char** attributes) {
    auto* reader = static_cast<CReader*>(data);
    Reported(reader);
    const std::string_view local = LocalName(name);
    reader->open_.emplace_back(local);
    reader->current_ = reader->open_.back();
    reader->handler_->Start(local, CAttributes(attributes));
  }
  static void XMLCALL End(void* data, const char* name) {
    auto* reader = static_cast<CReader*>(data);
    Reported(reader);
    reader->handler_->End(LocalName(name));
    if (!reader->open_.empty()) reader->open_.pop_back();
    reader->current_ = reader->open_.empty() ? std::string() : reader->open_.back();
  }
  static void XMLCALL Text(void* data, const char* text, int length) {
    auto* reader = static_cast<CReader*>(data);
    Reported(reader);
    reader->handler_->Text(std::string_view(text, static_cast<std::size_t>(length)));
  }
};

void CReader::Stop(const std::string& why) {
  if (!parser_ || !stop_reason_.empty()) return;
  auto* parser = static_cast<XML_Parser>(parser_);
  stop_reason_ = Where(path_, XML_GetCurrentLineNumber(parser), current_) + why;
  XML_StopParser(parser, XML_FALSE);
}

bool CReader::Feed(std::istream& in, std::string& error) {
  auto* parser = static_cast<XML_Parser>(parser_);
  reported_at_ = 0;
  long long fed = 0;
  std::vector<char> block;
  for (;;) {
    // The parser scans an unfinished token again from its start at every
    // call; a block at least as long as the token so far keeps the total
    // work proportional to the file, however long one attribute is.
    const long long pending = fed - reported_at_;
    block.resize(static_cast<std::size_t>(std::max(kBlock, std::min(pending, kLargestBlock))));
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const std::streamsize got = in.gcount();
    const bool last = got < static_cast<std::streamsize>(block.size());
    fed += got;
    if (XML_Parse(parser, block.data(), static_cast<int>(got), last) == XML_STATUS_ERROR) {
      error = !stop_reason_.empty() ? stop_reason_
                                    : Where(path_, XML_GetCurrentLineNumber(parser), current_) + "malformed XML (" +
                                          XML_ErrorString(XML_GetErrorCode(parser)) + ")";
      return false;
    }
    if (last) return true;
  }
}

bool CReader::Read(const std::string& path, CHandler& handler, std::string& error) {
  std::ifstream in;
  if (!text::OpenInput(in, path)) {
    error = "Can not open file:" + path;
    return false;
  }
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) {
    error = "Out of memory reading " + path;
    return false;
  }
  parser_ = parser;
  handler_ = &handler;
  path_ = path;
  stop_reason_.clear();
  current_.clear();
  open_.clear();
  XML_SetUserData(parser, this);
  XML_SetElementHandler(parser, &ReaderAccess::Start, &ReaderAccess::End);
  XML_SetCharacterDataHandler(parser, &ReaderAccess::Text);

  bool ok = Feed(in, error);
  if (ok && in.bad()) {
    error = "Can not read file:" + path;
    ok = false;
  }
  XML_ParserFree(parser);
  parser_ = nullptr;
  handler_ = nullptr;
  return ok;
}

}  // namespace xmlstream
