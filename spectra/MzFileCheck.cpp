#include "spectra/MzFileCheck.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "spectra/ImportSupport.h"

namespace spectra {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Where each element starts in the file, with the value that names it.
using Elements = std::vector<std::pair<std::size_t, std::string>>;

// Start offsets of the elements `<tag ...>` and the value of `attribute` in
// each, searched between `from` and `to`.
void FindElements(const std::string& content, std::size_t from, std::size_t to, const char* tag,
                  const char* attribute, Elements& found) {
  const std::string open = std::string("<") + tag;
  const std::string attr = std::string(" ") + attribute + "=\"";
  for (std::size_t at = content.find(open, from); at != std::string::npos && at < to;
       at = content.find(open, at + open.size())) {
    const std::size_t after = at + open.size();
    if (after >= content.size() || !std::isspace(static_cast<unsigned char>(content[after])))
      continue;
    const std::size_t close = content.find('>', after);
    if (close == std::string::npos) break;
    std::string value;
    const std::string element = content.substr(at, close - at);
    std::string spaced = element;
    for (char& c : spaced) {
      if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    const std::size_t a = spaced.find(attr);
    if (a != std::string::npos) {
      const std::size_t v = a + attr.size();
      const std::size_t e = spaced.find('"', v);
      if (e != std::string::npos) value = spaced.substr(v, e - v);
    }
    found.emplace_back(at, value);
  }
}

std::string XmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '"') out += "&quot;";
    else if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else out += c;
  }
  return out;
}

// The offset index entries, `shift` bytes past where the elements stood.
void AppendOffsets(const Elements& elements, std::size_t shift, const char* open,
                   std::string& out) {
  for (const auto& e : elements) {
    out += open + XmlEscape(e.second) + "\">" + std::to_string(e.first + shift) + "</offset>\n";
  }
}

// Where the run's element opened by `open` starts (`begin`) and where the
// first `close` after it ends (`body_end`); false with `error` set when
// either is missing.
bool FindBody(const std::string& content, const char* open, const char* close, std::size_t& begin,
              std::size_t& body_end, std::string& error) {
  begin = content.find(open);
  const std::size_t end = content.find(close, begin == std::string::npos ? 0 : begin);
  if (begin == std::string::npos || end == std::string::npos) {
    error = std::string("the file is incomplete (no closing ") + close + ")";
    return false;
  }
  body_end = end + std::strlen(close);
  return true;
}

// An mzML file as <indexedmzML>: its own XML declaration (or ours), the
// <mzML> element, the spectrum index and the offset that points at it.
bool IndexedMzML(const std::string& content, std::string& out, Elements& elements,
                 std::string& error) {
  std::size_t begin = 0, body_end = 0;
  if (!FindBody(content, "<mzML", "</mzML>", begin, body_end, error)) return false;
  out = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
        "<indexedmzML xmlns=\"http://psi.hupo.org/ms/mzml\">\n";
  const std::size_t prolog = content.find("?>");
  if (prolog != std::string::npos && prolog < begin && content.compare(0, 5, "<?xml") == 0) {
    out = content.substr(0, prolog + 2) + "\n<indexedmzML xmlns=\"http://psi.hupo.org/ms/mzml\">\n";
  }
  const std::size_t shift = out.size() - begin;
  FindElements(content, begin, body_end, "spectrum", "id", elements);
  out.append(content, begin, body_end - begin);
  out += "\n";
  const std::size_t index_at = out.size();
  out += "<indexList count=\"1\">\n<index name=\"spectrum\">\n";
  AppendOffsets(elements, shift, "<offset idRef=\"", out);
  out += "</index>\n</indexList>\n<indexListOffset>" + std::to_string(index_at) +
         "</indexListOffset>\n<fileChecksum>0</fileChecksum>\n</indexedmzML>\n";
  return true;
}

// An mzXML file up to its </msRun>, then the scan index and its offset.
bool IndexedMzXML(const std::string& content, std::string& out, Elements& elements,
                  std::string& error) {
  std::size_t begin = 0, body_end = 0;
  if (!FindBody(content, "<mzXML", "</msRun>", begin, body_end, error)) return false;
  FindElements(content, begin, body_end, "scan", "num", elements);
  out.assign(content, 0, body_end);
  out += "\n";
  const std::size_t index_at = out.size();
  out += "<index name=\"scan\">\n";
  AppendOffsets(elements, 0, "<offset id=\"", out);
  out += "</index>\n<indexOffset>" + std::to_string(index_at) + "</indexOffset>\n</mzXML>\n";
  return true;
}

// Writes `text` to a new temporary file ending in `extension`; its path, or
// "" with `error` set.
std::string WriteTemporary(const std::string& text, const std::string& extension,
                           std::string& error) {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string name =
      std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/tessera-XXXXXX" + extension;
  const int fd = mkstemps(&name[0], static_cast<int>(extension.size()));
  if (fd < 0) {
    error = "cannot create a temporary file";
    return std::string();
  }
  FilePtr f(fdopen(fd, "wb"));
  if (!f) {
    close(fd);
    unlink(name.c_str());
    error = "cannot create a temporary file";
    return std::string();
  }
  if (std::fwrite(text.data(), 1, text.size(), f.get()) != text.size() ||
      std::fflush(f.get()) != 0) {
    f.reset();
    unlink(name.c_str());
    error = "cannot write a temporary file";
    return std::string();
  }
  return name;
}

}  // namespace

MzFileKind KindFromContent(const std::string& head) {
  std::size_t i = 0;
  if (head.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i]))) ++i;
  if (i < head.size() && head[i] == '<') {
    if (head.find("<mzXML") != std::string::npos) return MzFileKind::kMzXML;
    if (head.find("<mzML") != std::string::npos || head.find("<indexedmzML") != std::string::npos)
      return MzFileKind::kMzML;
    return MzFileKind::kUnknown;
  }
  if (i + 1 < head.size() && (head[i] == 'H' || head[i] == 'S') &&
      (head[i + 1] == '\t' || head[i + 1] == ' '))
    return MzFileKind::kMS2;
  return MzFileKind::kUnknown;
}

std::string ReadFilePiece(std::FILE* f, long long offset, std::size_t length) {
  std::string piece(length, '\0');
  if (fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) return std::string();
  piece.resize(std::fread(&piece[0], 1, length, f));
  return piece;
}

bool HasUsableIndex(const std::string& path, MzFileKind kind) {
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  // One short read per index entry: a full stdio buffer per seek would read
  // the whole file.
  std::setvbuf(f.get(), nullptr, _IOFBF, 64);
  if (fseeko(f.get(), 0, SEEK_END) != 0) return false;
  const long long size = static_cast<long long>(ftello(f.get()));
  const char* open = kind == MzFileKind::kMzML ? "<indexListOffset>" : "<indexOffset>";
  const char* target = kind == MzFileKind::kMzML ? "<indexList" : "<index";
  const long long tail_at = size > 4096 ? size - 4096 : 0;
  const std::string tail = ReadFilePiece(f.get(), tail_at, 4096);
  const std::size_t at = tail.find(open);
  if (at == std::string::npos) return false;
  const std::size_t digits_at = at + std::strlen(open);
  std::string_view digits(tail.data() + digits_at, tail.size() - digits_at);
  double offset = 0.0;
  if (!ParseDouble(digits, offset) || offset < 0 || offset >= static_cast<double>(size))
    return false;
  const long long index_at = static_cast<long long>(offset);
  const std::string index =
      ReadFilePiece(f.get(), index_at, static_cast<std::size_t>(size - index_at));
  // Writers differ on whether the offset counts the line end before the tag.
  const std::size_t tag = index.find_first_not_of(" \t\r\n");
  if (tag == std::string::npos || index.compare(tag, std::strlen(target), target) != 0)
    return false;
  std::size_t entries = 0;
  for (std::size_t p = index.find("<offset"); p != std::string::npos;
       p = index.find("<offset", p + 7)) {
    const std::size_t gt = index.find('>', p);
    if (gt == std::string::npos) return false;
    std::string_view number(index.data() + gt + 1, index.size() - gt - 1);
    double entry = 0.0;
    if (!ParseDouble(number, entry) || entry < 0 || entry >= static_cast<double>(index_at))
      return false;
    const std::string there = ReadFilePiece(f.get(), static_cast<long long>(entry), 16);
    const bool ok = kind == MzFileKind::kMzML
                        ? there.compare(0, 10, "<spectrum ") == 0 ||
                              there.compare(0, 13, "<chromatogram") == 0
                        : there.compare(0, 6, "<scan ") == 0;
    if (!ok) return false;
    ++entries;
  }
  return entries > 0;
}


std::string WriteIndexedCopy(const std::string& content, MzFileKind kind, std::string& error) {
  std::string out;
  Elements elements;
  const bool whole = kind == MzFileKind::kMzML ? IndexedMzML(content, out, elements, error)
                                               : IndexedMzXML(content, out, elements, error);
  if (!whole) return std::string();
  if (elements.empty()) {
    error = "the file holds no spectrum";
    return std::string();
  }
  return WriteTemporary(out, kind == MzFileKind::kMzML ? ".mzML" : ".mzXML", error);
}

}  // namespace spectra
