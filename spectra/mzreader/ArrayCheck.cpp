#include "spectra/mzreader/ArrayCheck.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace mzreader {

namespace {

constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);

// The value of attribute `name` in the start tag that opens `text`; false
// when the tag has none.
bool Attribute(std::string_view text, std::string_view name, std::string_view& value) {
  const std::string_view tag = text.substr(0, text.find('>'));
  for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
    // A whole attribute name: a blank before it, "=" and a quote after.
    const std::size_t eq = at + name.size();
    if (at == 0 || (tag[at - 1] != ' ' && tag[at - 1] != '\t' && tag[at - 1] != '\n' && tag[at - 1] != '\r'))
      continue;
    if (eq + 1 >= tag.size() || tag[eq] != '=' || (tag[eq + 1] != '"' && tag[eq + 1] != '\'')) continue;
    const std::size_t close = tag.find(tag[eq + 1], eq + 2);
    if (close == std::string_view::npos) return false;
    value = tag.substr(eq + 2, close - eq - 2);
    return true;
  }
  return false;
}

// A count attribute; kUnknown when absent or not a whole number.
std::size_t CountAttribute(std::string_view text, std::string_view name) {
  std::string_view value;
  if (!Attribute(text, name, value) || value.empty() || value.size() > 12) return kUnknown;
  std::size_t count = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return kUnknown;
    count = count * 10 + static_cast<std::size_t>(c - '0');
  }
  return count;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Decodes base64 text (blanks allowed between groups, "=" padding only at
// the end); false when it is not base64.
bool DecodeBase64(std::string_view text, std::vector<unsigned char>& bytes) {
  bytes.clear();
  bytes.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  int in_group = 0, padding = 0;
  for (char c : text) {
    if (IsXmlBlank(c)) continue;
    if (c == '=') {
      ++padding;
      if (padding > 2) return false;
      group <<= 6;
      ++in_group;
    } else {
      const int v = Base64Value(c);
      if (v < 0 || padding > 0) return false;
      group = (group << 6) | static_cast<std::uint32_t>(v);
      ++in_group;
    }
    if (in_group == 4) {
      const unsigned char three[3] = {static_cast<unsigned char>(group >> 16),
                                      static_cast<unsigned char>(group >> 8), static_cast<unsigned char>(group)};
      bytes.insert(bytes.end(), three, three + 3 - padding);
      group = 0;
      in_group = 0;
    }
  }
  return in_group == 0;
}

// The size of the zlib stream `bytes` inflates to; false when it is none.
bool InflatedSize(const std::vector<unsigned char>& bytes, std::size_t& size) {
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = const_cast<unsigned char*>(bytes.data());
  stream.avail_in = static_cast<uInt>(bytes.size());
  unsigned char out[1 << 14];
  size = 0;
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = out;
    stream.avail_out = sizeof out;
    status = inflate(&stream, Z_NO_FLUSH);
    size += sizeof out - stream.avail_out;
    if (status == Z_BUF_ERROR && stream.avail_in == 0) break;  // cut short
  }
  inflateEnd(&stream);
  return status == Z_STREAM_END && stream.avail_in == 0;
}

// One binary array: its base64 text decoded, uncompressed where it says so,
// counted in values of `width` bytes. "" when sound; `count` is kUnknown
// when it cannot be told (unknown width, numpress).
std::string CountValues(std::string_view encoded, std::size_t width, bool zlib, bool numpress,
                        const std::string& what, std::size_t& count) {
  count = kUnknown;
  std::vector<unsigned char> bytes;
  if (!DecodeBase64(encoded, bytes)) return "the " + what + " is not base64";
  std::size_t size = bytes.size();
  if (zlib && !InflatedSize(bytes, size)) return "the " + what + " is not zlib-compressed data";
  if (numpress || width == 0) return std::string();
  if (size % width != 0) return "the " + what + " ends in the middle of a value";
  count = size / width;
  return std::string();
}

std::string CountWord(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// mzML: one <binaryDataArray> element, its start tag first.
struct MzmlArray {
  std::string kind;  // "m/z array", "intensity array", or "" for others
  std::size_t length = kUnknown;  // its own arrayLength, if given
  std::size_t count = kUnknown;
  std::string problem;
};

bool HasAccession(std::string_view text, const char* accession) {
  return text.find(std::string("accession=\"") + accession + "\"") != std::string_view::npos ||
         text.find(std::string("accession='") + accession + "'") != std::string_view::npos;
}

MzmlArray ReadMzmlArray(std::string_view array) {
  MzmlArray a;
  a.length = CountAttribute(array, "arrayLength");
  if (HasAccession(array, "MS:1000514")) a.kind = "m/z array";
  else if (HasAccession(array, "MS:1000515")) a.kind = "intensity array";
  std::size_t width = 0;
  if (HasAccession(array, "MS:1000523") || HasAccession(array, "MS:1000522")) width = 8;
  else if (HasAccession(array, "MS:1000521") || HasAccession(array, "MS:1000519")) width = 4;
  const bool zlib = HasAccession(array, "MS:1000574");
  bool numpress = false;
  for (const char* coding : {"MS:1002312", "MS:1002313", "MS:1002314", "MS:1002746", "MS:1002747", "MS:1002748"})
    numpress = numpress || HasAccession(array, coding);
  std::string_view encoded;
  const std::size_t open = array.find("<binary>");
  if (open != std::string_view::npos) {
    const std::size_t close = array.find("</binary>", open);
    if (close == std::string_view::npos) {
      a.problem = "the " + (a.kind.empty() ? std::string("binary array") : a.kind) + " is cut off";
      return a;
    }
    encoded = array.substr(open + 8, close - open - 8);
  }  // "<binary/>": an empty array
  a.problem = CountValues(encoded, width, zlib && !numpress, numpress,
                          a.kind.empty() ? std::string("binary array") : a.kind, a.count);
  return a;
}

}  // namespace

std::string CheckMzmlSpectrum(std::string_view text) {
  const std::size_t peaks = CountAttribute(text, "defaultArrayLength");
  std::size_t mz_count = kUnknown, intensity_count = kUnknown;
  constexpr std::string_view kArray = "<binaryDataArray";
  for (std::size_t at = text.find(kArray); at != std::string_view::npos; at = text.find(kArray, at + 1)) {
    // Not the list around the arrays.
    if (at + kArray.size() < text.size() && !IsXmlBlank(text[at + kArray.size()]) && text[at + kArray.size()] != '>')
      continue;
    const std::size_t end = text.find("</binaryDataArray>", at);
    if (end == std::string_view::npos) return "a binary array is cut off";
    const MzmlArray array = ReadMzmlArray(text.substr(at, end - at));
    if (!array.problem.empty()) return array.problem;
    if (array.kind.empty() || array.count == kUnknown) continue;
    const std::size_t expected = array.length != kUnknown ? array.length : peaks;
    if (expected != kUnknown && array.count != expected)
      return "the " + array.kind + " holds " + CountWord(array.count, "value", "values") + " where the spectrum has " +
             CountWord(expected, "peak", "peaks");
    (array.kind == "m/z array" ? mz_count : intensity_count) = array.count;
  }
  if (mz_count != kUnknown && intensity_count != kUnknown && mz_count != intensity_count)
    return "the m/z array holds " + CountWord(mz_count, "value", "values") + ", the intensity array " +
           std::to_string(intensity_count);
  return std::string();
}

std::string CheckMzxmlScan(std::string_view text) {
  const std::size_t peaks = CountAttribute(text, "peaksCount");
  const std::size_t at = text.find("<peaks");
  if (at == std::string_view::npos) return std::string();
  const std::string_view element = text.substr(at);
  const std::size_t gt = element.find('>');
  if (gt == std::string_view::npos) return "the peak array is cut off";
  if (element[gt - 1] == '/') return peaks == 0 || peaks == kUnknown ? std::string() : "the scan has no peak array";
  const std::size_t close = element.find("</peaks>", gt);
  if (close == std::string_view::npos) return "the peak array is cut off";
  std::string_view value;
  std::size_t width = 4;
  if (Attribute(element, "precision", value)) width = value == "64" ? 8 : value == "32" ? 4 : 0;
  const bool zlib = Attribute(element, "compressionType", value) && value == "zlib";
  // Only interleaved pairs say how many values a scan of N peaks holds.
  const bool pairs = !Attribute(element, "contentType", value) || value == "m/z-int";
  std::size_t count = kUnknown;
  const std::string problem =
      CountValues(element.substr(gt + 1, close - gt - 1), pairs ? width : 0, zlib, false, "peak array", count);
  if (!problem.empty()) return problem;
  if (count == kUnknown || peaks == kUnknown) return std::string();
  if (count != 2 * peaks)
    return "the peak array holds " + CountWord(count, "value", "values") + " where the scan has " +
           CountWord(peaks, "peak", "peaks") + " (" + std::to_string(2 * peaks) + " values)";
  return std::string();
}

namespace {

// The element name of the tag starting at `text[0]` ("<name ..." or
// "</name>"), without the slash of a closing tag.
std::string_view TagName(std::string_view text, bool& closing) {
  closing = text.size() > 1 && text[1] == '/';
  const std::size_t start = closing ? 2 : 1;
  std::size_t end = start;
  while (end < text.size() && !IsXmlBlank(text[end]) && text[end] != '>' && text[end] != '/') ++end;
  return text.substr(start, end - start);
}

// The number MSToolkit gives the scan whose start tag is `tag`.
std::string ScanNumber(std::string_view tag, bool mzml) {
  std::string_view value;
  if (!mzml) return Attribute(tag, "num", value) ? std::string(value) : std::string("?");
  if (Attribute(tag, "id", value)) {
    const std::size_t scan = value.find("scan=");
    if (scan != std::string_view::npos) {
      const std::string_view digits = value.substr(scan + 5);
      const std::size_t end = digits.find_first_not_of("0123456789");
      if (end != 0) return std::string(digits.substr(0, end));
    }
  }
  const std::size_t index = CountAttribute(tag, "index");
  return index == kUnknown ? std::string("?") : std::to_string(index + 1);
}

// The bytes [begin, end) of `file`; false when they cannot be read, or
// when they are more than any scan is (a gigabyte: damage).
bool ReadRange(std::FILE* file, long long begin, long long end, std::string& text) {
  constexpr long long kLargest = 1LL << 30;
  if (begin < 0 || end < begin || end - begin > kLargest || fseeko(file, static_cast<off_t>(begin), SEEK_SET) != 0)
    return false;
  text.resize(static_cast<std::size_t>(end - begin));
  text.resize(std::fread(text.data(), 1, text.size(), file));
  return true;
}

// "" when the arrays of the scan or spectrum in [at, end) of the file are
// sound (or the text there is not one the checks know), else "scan N (id):
// what is wrong". The next scan or spectrum bounds it: an mzXML scan holds
// its own peaks before the scans made from it.
std::string CheckElement(std::FILE* file, long long at, long long end) {
  std::string text;
  if (!ReadRange(file, at, end, text)) return std::string();
  const bool mzml = text.compare(0, 9, "<spectrum") == 0;
  const std::size_t gt = text.find('>');
  if (gt == std::string::npos) return std::string();
  const std::string_view mark = mzml ? "</spectrum>" : "</peaks>";
  const std::size_t close = text.find(mark);
  if (close == std::string::npos) return std::string();
  text.resize(close + mark.size());
  const std::string problem = mzml ? CheckMzmlSpectrum(text) : CheckMzxmlScan(text);
  if (problem.empty()) return problem;
  const std::string_view start_tag = std::string_view(text).substr(0, gt + 1);
  std::string where = "scan " + ScanNumber(start_tag, mzml);
  std::string_view id;
  if (mzml && Attribute(start_tag, "id", id)) where += " (" + std::string(id) + ")";
  return where + ": " + problem;
}

}  // namespace

std::string CheckFileArrays(std::FILE* file) {
  if (!file || fseeko(file, 0, SEEK_SET) != 0) return std::string();
  std::vector<long long> elements;  // where each scan or spectrum starts
  // Whether the last scan (spectrum, chromatogram) tag seen opened one; an
  // mzXML scan may hold the scans made from it, but its own peaks come first.
  bool in_scan = false, in_spectrum = false;
  constexpr std::size_t kLongestName = 32;  // a tag name is judged once this much of it is read
  std::string text;
  long long consumed = 0;  // file offset of text[0]
  char block[1 << 16];
  for (bool at_end = false; !at_end;) {
    const std::size_t n = std::fread(block, 1, sizeof block, file);
    at_end = n == 0;
    text.append(block, n);
    std::size_t at = text.find('<');
    for (; at != std::string::npos; at = text.find('<', at + 1)) {
      if (!at_end && text.size() - at < kLongestName) break;
      bool closing = false;
      const std::string_view name = TagName(std::string_view(text).substr(at), closing);
      const long long offset = consumed + static_cast<long long>(at);
      if (name == "scan" || name == "spectrum") {
        // The mzML <scan> inside a spectrum describes it and holds no
        // arrays: only its flag changes.
        const bool holds_arrays = name == "spectrum" || !in_spectrum;
        (name == "scan" ? in_scan : in_spectrum) = !closing;
        if (!closing && holds_arrays) elements.push_back(offset);
      } else if (name == "chromatogram") {
        in_spectrum = !closing;
      } else if (!closing && ((name == "peaks" && !in_scan) || (name == "binaryDataArray" && !in_spectrum))) {
        return "a peak array outside any scan at byte " + std::to_string(offset);
      }
    }
    const std::size_t keep = at == std::string::npos ? text.size() : at;
    text.erase(0, keep);
    consumed += static_cast<long long>(keep);
  }
  for (std::size_t k = 0; k < elements.size(); ++k) {
    const long long end = k + 1 < elements.size() ? elements[k + 1] : consumed;
    const std::string problem = CheckElement(file, elements[k], end);
    if (!problem.empty()) return problem;
  }
  return std::string();
}

}  // namespace mzreader
