#include "spectra/mzreader/ToolkitAdapter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "MSReader.h"
#include "common/TextUtil.h"
#include "spectra/mzreader/ArrayCheck.h"

namespace mzreader {

namespace {

using mzstream::ScanRecord;

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

// ---- mzML and mzXML through RAMP ----

std::string AnalyzerOf(RAMPFILE* file) {
  std::string analyzer;
  if (InstrumentStruct* ins = getInstrumentStruct(file)) {
    analyzer = ins->analyzer;
    std::free(ins);
  }
  return analyzer;
}

ScanRecord RecordOfHeader(const ScanHeaderStruct& h, int last_ms1, const std::string& analyzer) {
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
  // A C array that MSToolkit fills; never read past its end.
  r.native_id.assign(h.idString, strnlen(h.idString, sizeof h.idString));
  return r;
}

void ReadRampPeaks(RAMPFILE* file, ramp_fileoffset_t at, msdata::PeakList& peaks) {
  RAMPREAL* values = readPeaks(file, at);
  if (!values) return;
  for (int k = 0; values[k] != -1; k += 2) peaks.emplace_back(values[k], values[k + 1]);
  std::free(values);
}

}  // namespace

int ReadXml(const std::string& path, mzstream::CRecordWriter& out) {
  {
    // The arrays are checked in the text before MSToolkit decodes them.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> text(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!text) return mzstream::kExitCannotOpen;
    const std::string damaged = CheckFileArrays(text.get());
    if (!damaged.empty()) {
      std::fprintf(stderr, "%s\n", damaged.c_str());
      return mzstream::kExitDamaged;
    }
  }
  RAMPFILE* file = rampOpenFile(path.c_str());
  if (!file) return mzstream::kExitCannotOpen;
  int last = 0;
  ramp_fileoffset_t* index = readIndex(file, getIndexOffset(file), &last);
  if (!index) {
    std::fprintf(stderr, "the offset index cannot be read\n");
    return mzstream::kExitCannotOpen;
  }
  const std::string analyzer = AnalyzerOf(file);
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
    ScanRecord r = RecordOfHeader(h, last_ms1, analyzer);
    r.index = i - 1;
    ReadRampPeaks(file, index[i], r.peaks);
    out.Put(r);
  }
  std::free(index);
  rampCloseFile(file);
  return out.Finish() ? mzstream::kExitOk : mzstream::kExitCannotWrite;
}

int ReadMs2(const std::string& path, mzstream::CRecordWriter& out) {
  MSToolkit::MSReader reader;
  MSToolkit::Spectrum s;
  reader.setFilter(MSToolkit::MS2);
  std::string name = path;
  bool ok = reader.readFile(&name[0], s);
  if (!ok) return mzstream::kExitCannotOpen;
  int index = 0;
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
    r.index = index++;
    for (int k = 0; k < s.size(); ++k) r.peaks.emplace_back(s.at(k).mz, s.at(k).intensity);
    out.Put(r);
    ok = reader.readFile(nullptr, s);
  }
  return out.Finish() ? mzstream::kExitOk : mzstream::kExitCannotWrite;
}

}  // namespace mzreader
