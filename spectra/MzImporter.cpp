#include "spectra/MzImporter.h"

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "MSReader.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "spectra/ImportSupport.h"

namespace {

enum class MzKind { kMzML, kMzXML, kMS2, kUnknown };

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// One MS2 scan as the reading child hands it to the parent.
struct ScanRecord {
  int scan = 0;
  int last_scan = 0;
  int precursor_scan = 0;
  double rt_seconds = 0.0;
  double mz = 0.0;
  std::vector<int> charges;
  std::string instrument;
  std::string activation;
  msdata::PeakList peaks;
};

// ---- the record stream between child and parent ----

void PutInt(std::FILE* f, std::int64_t v) { std::fwrite(&v, sizeof v, 1, f); }
void PutDouble(std::FILE* f, double v) { std::fwrite(&v, sizeof v, 1, f); }
void PutString(std::FILE* f, const std::string& s) {
  PutInt(f, static_cast<std::int64_t>(s.size()));
  std::fwrite(s.data(), 1, s.size(), f);
}

void PutRecord(std::FILE* f, const ScanRecord& r) {
  PutInt(f, 1);  // record follows
  PutInt(f, r.scan);
  PutInt(f, r.last_scan);
  PutInt(f, r.precursor_scan);
  PutDouble(f, r.rt_seconds);
  PutDouble(f, r.mz);
  PutInt(f, static_cast<std::int64_t>(r.charges.size()));
  for (int z : r.charges) PutInt(f, z);
  PutString(f, r.instrument);
  PutString(f, r.activation);
  PutInt(f, static_cast<std::int64_t>(r.peaks.size()));
  if (!r.peaks.empty()) std::fwrite(r.peaks.data(), sizeof(msdata::Peak), r.peaks.size(), f);
}

bool GetInt(std::FILE* f, std::int64_t& v) { return std::fread(&v, sizeof v, 1, f) == 1; }
bool GetDouble(std::FILE* f, double& v) { return std::fread(&v, sizeof v, 1, f) == 1; }
bool GetString(std::FILE* f, std::string& s) {
  std::int64_t n = 0;
  if (!GetInt(f, n) || n < 0 || n > 4096) return false;
  s.resize(static_cast<std::size_t>(n));
  return n == 0 || std::fread(&s[0], 1, s.size(), f) == s.size();
}

// Returns 1 for a record, 0 at the end mark, -1 on a damaged stream.
int GetRecord(std::FILE* f, ScanRecord& r) {
  std::int64_t tag = 0, v = 0, n = 0;
  if (!GetInt(f, tag)) return -1;
  if (tag == 0) return 0;
  if (tag != 1) return -1;
  if (!GetInt(f, v)) return -1;
  r.scan = static_cast<int>(v);
  if (!GetInt(f, v)) return -1;
  r.last_scan = static_cast<int>(v);
  if (!GetInt(f, v)) return -1;
  r.precursor_scan = static_cast<int>(v);
  if (!GetDouble(f, r.rt_seconds) || !GetDouble(f, r.mz) || !GetInt(f, n) || n < 0 || n > 64)
    return -1;
  r.charges.resize(static_cast<std::size_t>(n));
  for (int& z : r.charges) {
    if (!GetInt(f, v)) return -1;
    z = static_cast<int>(v);
  }
  if (!GetString(f, r.instrument) || !GetString(f, r.activation) || !GetInt(f, n) || n < 0 ||
      n > (std::int64_t{1} << 32))
    return -1;
  r.peaks.resize(static_cast<std::size_t>(n));
  if (n > 0 && std::fread(r.peaks.data(), sizeof(msdata::Peak), r.peaks.size(), f) != r.peaks.size())
    return -1;
  return 1;
}

// ---- words for the precursor dump ----

// A word without blanks, so that a blank-separated line still splits right.
std::string Word(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!out.empty() && out.back() != '_') out += '_';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  return out.empty() ? "unknown" : out;
}

// Thermo filter lines begin with the analyzer ("ITMS + c NSI ..."); otherwise
// the run's analyzer name is the best we have.
std::string InstrumentWord(const char* filter_line, const std::string& analyzer) {
  const std::string filter = text::Trim(filter_line);
  if (!filter.empty()) {
    const std::string first = filter.substr(0, filter.find(' '));
    if (text::EndsWith(text::ToUpper(first), "MS")) return Word(first);
  }
  const std::string a = text::ToLower(analyzer);
  if (a.find("orbitrap") != std::string::npos || a.find("fourier") != std::string::npos ||
      a.find("ft-icr") != std::string::npos || a.find("ftms") != std::string::npos)
    return "FTMS";
  if (a.find("trap") != std::string::npos) return "ITMS";
  if (a.find("time-of-flight") != std::string::npos || a.find("tof") != std::string::npos)
    return "TOFMS";
  if (a.find("quadrupole") != std::string::npos) return "QMS";
  return "unknown";
}

std::string ActivationWord(MSToolkit::MSActivation a) {
  switch (a) {
    case MSToolkit::mstCID: return "CID";
    case MSToolkit::mstECD: return "ECD";
    case MSToolkit::mstETD: return "ETD";
    case MSToolkit::mstETDSA: return "ETDSA";
    case MSToolkit::mstPQD: return "PQD";
    case MSToolkit::mstHCD: return "HCD";
    case MSToolkit::mstIRMPD: return "IRMPD";
    default: return "unknown";
  }
}

// ---- reading, in the child ----

// Child exit codes.
constexpr int kChildOk = 0;
constexpr int kChildCannotOpen = 3;

int ReadXmlInChild(const std::string& path, std::FILE* out) {
  RAMPFILE* file = rampOpenFile(path.c_str());
  if (!file) return kChildCannotOpen;
  const ramp_fileoffset_t index_offset = getIndexOffset(file);
  int last = 0;
  ramp_fileoffset_t* index = readIndex(file, index_offset, &last);
  if (!index) {
    std::fprintf(stderr, "the offset index cannot be read\n");
    return kChildCannotOpen;
  }
  std::string analyzer;
  if (InstrumentStruct* ins = getInstrumentStruct(file)) {
    analyzer = ins->analyzer;
    std::free(ins);
  }
  int last_ms1 = 0;
  for (int i = 1; i <= last; ++i) {
    if (index[i] < 0) continue;
    ScanHeaderStruct h;
    std::memset(&h, 0, sizeof h);
    readHeader(file, index[i], &h);
    if (h.msLevel == 1) {
      last_ms1 = h.acquisitionNum;
      continue;
    }
    if (h.msLevel != 2) continue;
    ScanRecord r;
    r.scan = h.acquisitionNum;
    r.last_scan = h.acquisitionNum;
    // DTA converters take the last full scan before an MS2 as its precursor
    // scan when the file does not name one.
    r.precursor_scan = h.precursorScanNum > 0 ? h.precursorScanNum : last_ms1;
    r.rt_seconds = h.retentionTime;
    r.mz = h.precursorMZ;
    if (h.precursorCharge > 0) {
      r.charges.push_back(h.precursorCharge);
    } else {
      for (int z = 1; z < CHARGEARRAY_LENGTH; ++z) {
        if (h.possibleChargesArray[z]) r.charges.push_back(z);
      }
    }
    r.instrument = InstrumentWord(h.filterLine, analyzer);
    r.activation = Word(h.activationMethod);
    RAMPREAL* peaks = readPeaks(file, index[i]);
    if (peaks) {
      for (int k = 0; peaks[k] != -1; k += 2) r.peaks.emplace_back(peaks[k], peaks[k + 1]);
      std::free(peaks);
    }
    PutRecord(out, r);
  }
  std::free(index);
  rampCloseFile(file);
  PutInt(out, 0);
  return kChildOk;
}

int ReadMs2InChild(const std::string& path, std::FILE* out) {
  MSToolkit::MSReader reader;
  MSToolkit::Spectrum s;
  reader.setFilter(MSToolkit::MS2);
  std::string name = path;
  bool ok = reader.readFile(&name[0], s);
  if (!ok) return kChildCannotOpen;
  while (ok && s.getScanNumber() != 0) {
    ScanRecord r;
    r.scan = s.getScanNumber();
    r.last_scan = s.getScanNumber(true) > 0 ? s.getScanNumber(true) : r.scan;
    r.precursor_scan = 0;
    r.rt_seconds = static_cast<double>(s.getRTime()) * 60.0;  // MS2 files keep minutes
    r.mz = s.getMZ();
    for (int k = 0; k < s.sizeZ(); ++k) {
      if (s.atZ(k).z > 0) r.charges.push_back(s.atZ(k).z);
    }
    r.instrument = "unknown";
    r.activation = ActivationWord(s.getActivationMethod());
    for (int k = 0; k < s.size(); ++k) r.peaks.emplace_back(s.at(k).mz, s.at(k).intensity);
    PutRecord(out, r);
    ok = reader.readFile(nullptr, s);
  }
  PutInt(out, 0);
  return kChildOk;
}

// ---- the parent's side ----

std::string ReadAll(std::FILE* f) {
  std::string text;
  std::rewind(f);
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() < 100000) {
    text.append(buffer, n);
  }
  return text;
}

// The first line of what MSToolkit said, for the error text.
std::string FirstLine(const std::string& text) {
  std::string t = text::Trim(text);
  const std::size_t nl = t.find('\n');
  if (nl != std::string::npos) t = t.substr(0, nl);
  return text::Trim(t);
}

// Reads `path` in a child process. On success fills `records`; otherwise
// returns false with `error` saying why.
bool ReadInChild(const std::string& path, MzKind kind, std::vector<ScanRecord>& records,
                 std::string& error) {
  FilePtr data(std::tmpfile());
  FilePtr said(std::tmpfile());
  if (!data || !said) {
    error = "cannot create a temporary file";
    return false;
  }
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    error = std::string("cannot start the reading process: ") + std::strerror(errno);
    return false;
  }
  if (pid == 0) {
    dup2(fileno(said.get()), STDOUT_FILENO);
    dup2(fileno(said.get()), STDERR_FILENO);
    int code = kind == MzKind::kMS2 ? ReadMs2InChild(path, data.get())
                                    : ReadXmlInChild(path, data.get());
    if (std::fflush(data.get()) != 0) code = 4;
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(code);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      error = "lost the reading process";
      return false;
    }
  }
  const std::string message = FirstLine(ReadAll(said.get()));
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // A crash caught by a sanitizer ends with an exit status and a report of
  // the sanitizer's own; either way the user needs to hear it in our words.
  const bool crashed = WIFSIGNALED(status) || message.find("Sanitizer") != std::string::npos;
  if (crashed) {
    error = "the file could not be read: the reader crashed on it (" +
            (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                 : "exit status " + std::to_string(code)) +
            ")";
    return false;
  }
  const std::string told = message.empty() ? std::string() : " (MSToolkit: " + message + ")";
  if (code == kChildCannotOpen) {
    error = "MSToolkit cannot open it" + told;
    return false;
  }
  if (code != kChildOk) {
    error = "MSToolkit stopped on this file" + told;
    return false;
  }
  std::rewind(data.get());
  records.clear();
  ScanRecord r;
  int got;
  while ((got = GetRecord(data.get(), r)) == 1) records.push_back(std::move(r));
  if (got < 0) {
    error = "the reading process left incomplete data";
    return false;
  }
  return true;
}

// ---- file checks and the added index ----

bool ReadWholeFile(const std::string& path, std::string& content) {
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  content.clear();
  char buffer[1 << 16];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) content.append(buffer, n);
  return !std::ferror(f.get());
}

MzKind KindFromContent(const std::string& head) {
  std::size_t i = 0;
  if (head.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i]))) ++i;
  if (i < head.size() && head[i] == '<') {
    if (head.find("<mzXML") != std::string::npos) return MzKind::kMzXML;
    if (head.find("<mzML") != std::string::npos || head.find("<indexedmzML") != std::string::npos)
      return MzKind::kMzML;
    return MzKind::kUnknown;
  }
  if (i + 1 < head.size() && (head[i] == 'H' || head[i] == 'S') &&
      (head[i + 1] == '\t' || head[i + 1] == ' '))
    return MzKind::kMS2;
  return MzKind::kUnknown;
}

// Reads `length` bytes at `offset` (fewer at the end of the file).
std::string ReadPiece(std::FILE* f, long long offset, std::size_t length) {
  std::string piece(length, '\0');
  if (fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) return std::string();
  piece.resize(std::fread(&piece[0], 1, length, f));
  return piece;
}

// True when the file ends with an offset that points at its index and every
// entry of the index points at a scan: the only layout MSToolkit reads right.
// (Wrong offsets make it drop or misread scans without a word.)
bool HasUsableIndex(const std::string& path, MzKind kind) {
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  // One short read per index entry: a full stdio buffer per seek would read
  // the whole file.
  std::setvbuf(f.get(), nullptr, _IOFBF, 64);
  if (fseeko(f.get(), 0, SEEK_END) != 0) return false;
  const long long size = static_cast<long long>(ftello(f.get()));
  const char* open = kind == MzKind::kMzML ? "<indexListOffset>" : "<indexOffset>";
  const char* target = kind == MzKind::kMzML ? "<indexList" : "<index";
  const long long tail_at = size > 4096 ? size - 4096 : 0;
  const std::string tail = ReadPiece(f.get(), tail_at, 4096);
  const std::size_t at = tail.find(open);
  if (at == std::string::npos) return false;
  std::string_view digits(tail.data() + at + std::strlen(open), tail.size() - at - std::strlen(open));
  double offset = 0.0;
  if (!spectra::ParseDouble(digits, offset) || offset < 0 || offset >= static_cast<double>(size))
    return false;
  const long long index_at = static_cast<long long>(offset);
  const std::string index = ReadPiece(f.get(), index_at, static_cast<std::size_t>(size - index_at));
  // Writers differ on whether the offset counts the line end before the tag.
  const std::size_t tag = index.find_first_not_of(" \t\r\n");
  if (tag == std::string::npos || index.compare(tag, std::strlen(target), target) != 0) return false;
  std::size_t entries = 0;
  for (std::size_t p = index.find("<offset"); p != std::string::npos;
       p = index.find("<offset", p + 7)) {
    const std::size_t gt = index.find('>', p);
    if (gt == std::string::npos) return false;
    std::string_view number(index.data() + gt + 1, index.size() - gt - 1);
    double entry = 0.0;
    if (!spectra::ParseDouble(number, entry) || entry < 0 || entry >= static_cast<double>(index_at))
      return false;
    const std::string there = ReadPiece(f.get(), static_cast<long long>(entry), 16);
    const bool ok = kind == MzKind::kMzML
                        ? there.compare(0, 10, "<spectrum ") == 0 ||
                              there.compare(0, 13, "<chromatogram") == 0
                        : there.compare(0, 6, "<scan ") == 0;
    if (!ok) return false;
    ++entries;
  }
  return entries > 0;
}

// Start offsets of the elements `<tag ...>` and the value of `attribute` in
// each, searched between `from` and `to`.
void FindElements(const std::string& content, std::size_t from, std::size_t to, const char* tag,
                  const char* attribute, std::vector<std::pair<std::size_t, std::string>>& found) {
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

// Writes `content` with a fresh offset index to a temporary file named with
// the right extension; returns its path, or "" with `error` set.
std::string WriteIndexedCopy(const std::string& content, MzKind kind, std::string& error) {
  std::string out;
  std::size_t body_end = 0;
  std::vector<std::pair<std::size_t, std::string>> elements;
  std::size_t shift = 0;
  if (kind == MzKind::kMzML) {
    const std::size_t begin = content.find("<mzML");
    const std::size_t end = content.find("</mzML>", begin == std::string::npos ? 0 : begin);
    if (begin == std::string::npos || end == std::string::npos) {
      error = "the file is incomplete (no closing </mzML>)";
      return std::string();
    }
    body_end = end + 7;
    out = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
          "<indexedmzML xmlns=\"http://psi.hupo.org/ms/mzml\">\n";
    const std::size_t prolog = content.find("?>");
    if (prolog != std::string::npos && prolog < begin && content.compare(0, 5, "<?xml") == 0) {
      out = content.substr(0, prolog + 2) + "\n<indexedmzML xmlns=\"http://psi.hupo.org/ms/mzml\">\n";
    }
    shift = out.size() - begin;
    FindElements(content, begin, body_end, "spectrum", "id", elements);
    out.append(content, begin, body_end - begin);
    out += "\n";
    const std::size_t index_at = out.size();
    out += "<indexList count=\"1\">\n<index name=\"spectrum\">\n";
    for (const auto& e : elements) {
      out += "<offset idRef=\"" + XmlEscape(e.second) + "\">" + std::to_string(e.first + shift) +
             "</offset>\n";
    }
    out += "</index>\n</indexList>\n<indexListOffset>" + std::to_string(index_at) +
           "</indexListOffset>\n<fileChecksum>0</fileChecksum>\n</indexedmzML>\n";
  } else {
    const std::size_t begin = content.find("<mzXML");
    const std::size_t end = content.find("</msRun>", begin == std::string::npos ? 0 : begin);
    if (begin == std::string::npos || end == std::string::npos) {
      error = "the file is incomplete (no closing </msRun>)";
      return std::string();
    }
    body_end = end + 8;
    FindElements(content, begin, body_end, "scan", "num", elements);
    out.assign(content, 0, body_end);
    out += "\n";
    const std::size_t index_at = out.size();
    out += "<index name=\"scan\">\n";
    for (const auto& e : elements) {
      out += "<offset id=\"" + XmlEscape(e.second) + "\">" + std::to_string(e.first) + "</offset>\n";
    }
    out += "</index>\n<indexOffset>" + std::to_string(index_at) + "</indexOffset>\n</mzXML>\n";
  }
  if (elements.empty()) {
    error = "the file holds no spectrum";
    return std::string();
  }
  const char* tmpdir = std::getenv("TMPDIR");
  std::string name = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/tessera-XXXXXX" +
                     (kind == MzKind::kMzML ? ".mzML" : ".mzXML");
  const int suffix = kind == MzKind::kMzML ? 5 : 6;
  const int fd = mkstemps(&name[0], suffix);
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
  if (std::fwrite(out.data(), 1, out.size(), f.get()) != out.size() || std::fflush(f.get()) != 0) {
    f.reset();
    unlink(name.c_str());
    error = "cannot write a temporary file";
    return std::string();
  }
  return name;
}

}  // namespace

bool CMzImporter::Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                       bool replace) {
  last_error_.clear();
  scan_info_.clear();
  if (replace) spectra.clear();
  if (!path::IsRegularFile(path)) {
    last_error_ = "Cannot open file: " + path;
    return false;
  }
  std::string head;
  {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) {
      last_error_ = "Cannot open file: " + path;
      return false;
    }
    head = ReadPiece(f.get(), 0, 65536);
  }
  const std::string ext = path::Extension(path);
  const MzKind kind = KindFromContent(head);
  if (kind == MzKind::kUnknown) {
    last_error_ = path + ": not an mzML, mzXML or MS2 file";
    return false;
  }
  const bool named_right = (kind == MzKind::kMzML && ext == "mzml") ||
                           (kind == MzKind::kMzXML && ext == "mzxml") ||
                           (kind == MzKind::kMS2 && ext == "ms2");

  std::vector<ScanRecord> records;
  std::string error;
  bool ok = false;
  if (kind == MzKind::kMS2) {
    if (named_right) {
      ok = ReadInChild(path, kind, records, error);
    } else {
      error = "MS2 files are read only under the extension .ms2";
    }
  } else {
    if (named_right && HasUsableIndex(path, kind)) ok = ReadInChild(path, kind, records, error);
    if (!ok) {
      // No index, a broken one, or a name MSToolkit does not know: read a copy
      // with a fresh index.
      if (verbose_) notify::Message(path + ": no usable offset index; reading an indexed copy");
      std::string copy_error;
      std::string content;
      std::string copy;
      if (!ReadWholeFile(path, content)) {
        copy_error = "cannot be read";
      } else {
        copy = WriteIndexedCopy(content, kind, copy_error);
      }
      content.clear();
      content.shrink_to_fit();
      if (copy.empty()) {
        if (error.empty()) error = copy_error;
      } else {
        std::string retry_error;
        ok = ReadInChild(copy, kind, records, retry_error);
        unlink(copy.c_str());
        if (!ok) {
          // MSToolkit names the file it was given; the user knows only theirs.
          for (std::size_t at = retry_error.find(copy); at != std::string::npos;
               at = retry_error.find(copy, at + path.size())) {
            retry_error.replace(at, copy.size(), path);
          }
          error = retry_error;
        }
      }
    }
  }
  if (!ok) {
    last_error_ = path + ": " + error;
    return false;
  }

  const std::string base = path::BaseName(path);
  spectra::SpectrumSink sink(spectra, false);
  std::size_t without_precursor = 0;
  for (ScanRecord& r : records) {
    if (!(r.mz > 0.0)) {  // an MS2 without a precursor m/z cannot be used
      ++without_precursor;
      continue;
    }
    const std::size_t before = sink.Added();
    sink.Add(base, r.scan, r.last_scan, r.charges, r.mz, r.rt_seconds, std::move(r.peaks));
    const std::size_t copies = sink.Added() - before;
    for (std::size_t k = 0; k < copies; ++k) {
      scan_info_.push_back(MzScanInfo{r.scan, r.precursor_scan, r.instrument, r.activation});
    }
  }
  if (sink.Added() == 0) {
    last_error_ = path + ": no MS2 spectrum with a precursor in the file";
    return false;
  }
  if (without_precursor > 0) {
    notify::Message(path + ": skipped " + std::to_string(without_precursor) +
                    " MS2 scans without a precursor m/z");
  }
  return true;
}
