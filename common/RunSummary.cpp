#include "common/RunSummary.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <limits>

#include "common/SafeFile.h"
#include "common/TextUtil.h"

#ifndef TESSERA_VERSION
#define TESSERA_VERSION "1.0"
#endif

namespace summary {

namespace fs = std::filesystem;

CJson::CJson(bool value) : kind_(Kind::kBool), bool_(value) {}
CJson::CJson(int value) : CJson(static_cast<long long>(value)) {}
CJson::CJson(long value) : CJson(static_cast<long long>(value)) {}
CJson::CJson(long long value) : kind_(Kind::kInteger), integer_(value) {}
CJson::CJson(unsigned value) : CJson(static_cast<long long>(value)) {}
CJson::CJson(unsigned long value) : CJson(static_cast<unsigned long long>(value)) {}
CJson::CJson(unsigned long long value) {
  // Counts never come near 2^63; a value beyond it is kept as a real rather
  // than wrapped to a negative count.
  if (value > static_cast<unsigned long long>(std::numeric_limits<long long>::max())) {
    kind_ = Kind::kReal;
    real_ = static_cast<double>(value);
  } else {
    kind_ = Kind::kInteger;
    integer_ = static_cast<long long>(value);
  }
}
CJson::CJson(double value) {
  if (std::isfinite(value)) {
    kind_ = Kind::kReal;
    real_ = value;
  }
}
CJson::CJson(const char* value) : kind_(Kind::kText), text_(value ? value : "") {}
CJson::CJson(std::string value) : kind_(Kind::kText), text_(std::move(value)) {}

CJson CJson::Array() {
  CJson value;
  value.kind_ = Kind::kArray;
  return value;
}

CJson CJson::Object() {
  CJson value;
  value.kind_ = Kind::kObject;
  return value;
}

CJson& CJson::Set(const std::string& key, CJson value) {
  if (kind_ == Kind::kNull) kind_ = Kind::kObject;
  for (auto& member : members_) {
    if (member.first == key) {
      member.second = std::move(value);
      return member.second;
    }
  }
  members_.emplace_back(key, std::move(value));
  return members_.back().second;
}

CJson& CJson::Append(CJson value) {
  if (kind_ == Kind::kNull) kind_ = Kind::kArray;
  items_.push_back(std::move(value));
  return items_.back();
}

CJson& CJson::operator[](const std::string& key) {
  if (kind_ == Kind::kNull) kind_ = Kind::kObject;
  for (auto& member : members_) {
    if (member.first == key) return member.second;
  }
  return Set(key, Object());
}

namespace {

// Shortest text that reads back as the same double, without the locale's
// decimal mark.
std::string RealText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buffer;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace

std::string CJson::Text(int indent) const {
  const std::string inner(static_cast<std::size_t>(indent + 2), ' ');
  const std::string outer(static_cast<std::size_t>(indent), ' ');
  switch (kind_) {
    case Kind::kNull:
      return "null";
    case Kind::kBool:
      return bool_ ? "true" : "false";
    case Kind::kInteger:
      return std::to_string(integer_);
    case Kind::kReal:
      return RealText(real_);
    case Kind::kText:
      return text::JsonString(text_);
    case Kind::kArray: {
      if (items_.empty()) return "[]";
      std::string out = "[\n";
      for (std::size_t k = 0; k < items_.size(); ++k) {
        out += inner + items_[k].Text(indent + 2);
        out += k + 1 < items_.size() ? ",\n" : "\n";
      }
      return out + outer + "]";
    }
    case Kind::kObject: {
      if (members_.empty()) return "{}";
      std::string out = "{\n";
      for (std::size_t k = 0; k < members_.size(); ++k) {
        out += inner + text::JsonString(members_[k].first) + ": " + members_[k].second.Text(indent + 2);
        out += k + 1 < members_.size() ? ",\n" : "\n";
      }
      return out + outer + "}";
    }
  }
  return "null";
}

std::string SummaryPathFor(const std::string& main_output) {
  const fs::path path(main_output);
  fs::path stem = path.stem();
  if (stem.empty()) stem = path.filename();  // "spectra/" or a name without stem
  if (stem.empty()) stem = path.parent_path().filename();
  const fs::path folder = path.has_filename() ? path.parent_path() : path.parent_path().parent_path();
  return (folder / (stem.string() + ".summary.json")).string();
}

CRunSummary::CRunSummary(std::string program, std::string kind)
    : program_(std::move(program)), kind_(std::move(kind)), started_(UtcNow()),
      start_(std::chrono::steady_clock::now()) {}

void CRunSummary::AddInput(const std::string& role, const std::string& path) {
  CJson& item = inputs_.Append(CJson::Object());
  item.Set("role", role);
  item.Set("path", AbsolutePath(path));
}

void CRunSummary::AddOutput(const std::string& role, const std::string& path) {
  CJson& item = outputs_.Append(CJson::Object());
  item.Set("role", role);
  item.Set("path", AbsolutePath(path));
}

void CRunSummary::AddPicture(const std::string& path, const std::string& caption) {
  CJson& item = outputs_.Append(CJson::Object());
  item.Set("role", "picture");
  item.Set("path", AbsolutePath(path));
  item.Set("caption", caption);
}

CJson CRunSummary::ToJson() const {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  CJson json = CJson::Object();
  json.Set("program", program_);
  json.Set("version", TESSERA_VERSION);
  json.Set("kind", kind_);
  json.Set("started", started_);
  json.Set("wall_time_s", std::round(seconds * 1000.0) / 1000.0);
  json.Set("inputs", inputs_);
  json.Set("parameters", parameters_);
  json.Set("counts", counts_);
  json.Set("outputs", outputs_);
  if (!details_.IsNull()) json.Set("details", details_);
  return json;
}

bool CRunSummary::Write(const std::string& path, std::string* error) const {
  return safefile::WriteWholeFile(path, ToJson().Text() + "\n", error);
}

}  // namespace summary
