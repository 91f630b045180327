// The files of a simulation: the MGF file, the truth table and the
// identification list. A million spectra make about two gigabytes of MGF, so
// numbers are formatted with std::to_chars (several times faster than
// printf, the same digits) into a buffer that goes out in large writes.

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/simulator/SpectrumSimulator.h"
#include "common/SafeFile.h"

namespace simulator {

const char* const kTruthHeader =
    "name\tscan\tpeptide\tcharge\tprecursor_mz\tmodifications\ttheoretical_mz\t"
    "retention_time\tidentified\n";

namespace {

void AppendFixed(std::string& out, double value, int decimals) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  out.append(text, result.ptr);
}

void AppendNumber(std::string& out, long long value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

// The block our MGF importer names by its title: precursor m/z with six
// decimals, ion-trap m/z with four, intensities with three.
void AppendMgfBlock(std::string& out, const msdata::CSpectrum& spectrum) {
  out += "BEGIN IONS\nTITLE=";
  out += spectrum.name;
  out += "\nPEPMASS=";
  AppendFixed(out, spectrum.precursor_mz, 6);
  out += "\nCHARGE=";
  AppendNumber(out, spectrum.charge);
  out += "+\nRTINSECONDS=";
  AppendFixed(out, spectrum.retention_time, 3);
  out += "\nSCANS=";
  AppendNumber(out, spectrum.first_scan);
  out += '\n';
  for (const msdata::Peak& peak : spectrum.peaks) {
    AppendFixed(out, peak.first, 4);
    out += ' ';
    AppendFixed(out, peak.second, 3);
    out += '\n';
  }
  out += "END IONS\n\n";
}

void AppendTruthRow(std::string& out, const CSpectrumTruth& truth, bool listed) {
  out += truth.name;
  out += '\t';
  AppendNumber(out, truth.scan);
  out += '\t';
  out += truth.peptide;
  out += '\t';
  AppendNumber(out, truth.charge);
  out += '\t';
  AppendFixed(out, truth.precursor_mz, 6);
  out += '\t';
  out += truth.Modifications();
  out += '\t';
  if (!truth.peptide.empty()) AppendFixed(out, truth.theoretical_mz, 6);
  out += '\t';
  AppendFixed(out, truth.retention_time, 3);
  out += listed ? "\t1\n" : "\t0\n";
}

// A Kiln entry: "<n>,\t<scan>\t<name>\t<charge>\t<m/z>", then
// "*\t<before>.<PEPTIDE>.<after>" with one "\t<position> <residue>(<name>)"
// per modification (1-based) and a score field.
void AppendKilnEntry(std::string& out, std::size_t number, const CSpectrumTruth& truth) {
  AppendNumber(out, static_cast<long long>(number));
  out += ",\t";
  AppendNumber(out, truth.scan);
  out += '\t';
  out += truth.name;
  out += '\t';
  AppendNumber(out, truth.charge);
  out += '\t';
  AppendFixed(out, truth.precursor_mz, 4);
  out += "\n*\t";
  out += truth.before;
  out += '.';
  out += truth.peptide;
  out += '.';
  out += truth.after;
  for (const CSpectrumTruth::Site& site : truth.ModificationSites()) {
    out += '\t';
    AppendNumber(out, static_cast<long long>(site.position + 1));
    out += ' ';
    out += site.residue;
    out += '(';
    out += site.modification;
    out += ')';
  }
  out += "\t0\n";
}

// One output file, written whole or not at all, through a buffer.
class BufferedOutput {
 public:
  bool Open(const std::string& path, std::string& error) {
    if (path.empty()) return true;
    if (!file_.Open(path, "wb")) {
      error = file_.Error();
      return false;
    }
    buffer_.reserve(kFlushAt + 65536);
    return true;
  }
  bool IsOpen() const { return file_.Get() != nullptr; }
  std::string& Buffer() { return buffer_; }
  void FlushIfFull() {
    if (IsOpen() && buffer_.size() >= kFlushAt) Flush();
  }
  bool Commit(std::string& error) {
    if (!IsOpen()) return true;
    Flush();
    if (!file_.Commit()) {
      error = file_.Error().empty() ? "Can not save file: " + file_.Path() : file_.Error();
      return false;
    }
    return true;
  }

 private:
  static constexpr std::size_t kFlushAt = 4u << 20;
  void Flush() {
    if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), file_.Get());
    buffer_.clear();
  }

  safefile::CSafeFile file_;
  std::string buffer_;
};

}  // namespace

namespace {

// The text of a run of consecutive spectra; the identification list is
// numbered through the whole file, so its entries are formatted in order
// afterwards from the truths kept here.
struct FormattedRun {
  std::string mgf;
  std::string truth;
  std::vector<CSpectrumTruth> listed;
};

// Replaces what `run` held by the text of spectra [begin, end).
void FormatRun(const CSpectrumSimulator& simulator, std::size_t begin, std::size_t end,
               const CSimulationFiles& files, FormattedRun& run) {
  run.mgf.clear();
  run.truth.clear();
  run.listed.clear();
  msdata::CSpectrum spectrum;
  CSpectrumTruth truth;
  for (std::size_t position = begin; position < end; ++position) {
    simulator.Make(position, spectrum, truth);
    const bool in_ids = !files.ids.empty() && truth.identified;
    if (!files.mgf.empty()) AppendMgfBlock(run.mgf, spectrum);
    if (!files.truth.empty()) AppendTruthRow(run.truth, truth, in_ids);
    if (in_ids) run.listed.push_back(truth);
  }
}

}  // namespace

bool WriteSimulation(const CSpectrumSimulator& simulator, const CSimulationFiles& files,
                     std::string& error, unsigned threads) {
  BufferedOutput mgf, truth, ids;
  if (!mgf.Open(files.mgf, error) || !truth.Open(files.truth, error) || !ids.Open(files.ids, error))
    return false;
  if (truth.IsOpen()) truth.Buffer() += kTruthHeader;
  constexpr std::size_t kRun = 512;  // spectra per piece of work
  const std::size_t workers = std::max(1u, threads);
  std::vector<FormattedRun> runs(workers);
  const std::size_t total = simulator.SpectrumCount();
  std::size_t listed = 0;
  for (std::size_t start = 0; start < total; start += workers * kRun) {
    std::vector<std::thread> helpers;
    for (std::size_t w = 1; w < workers && start + w * kRun < total; ++w) {
      const std::size_t begin = start + w * kRun;
      const std::size_t end = std::min(total, begin + kRun);
      helpers.emplace_back([&, w, begin, end] { FormatRun(simulator, begin, end, files, runs[w]); });
    }
    FormatRun(simulator, start, std::min(total, start + kRun), files, runs[0]);
    for (std::thread& helper : helpers) helper.join();
    for (std::size_t w = 0; w <= helpers.size(); ++w) {
      mgf.Buffer() += runs[w].mgf;
      truth.Buffer() += runs[w].truth;
      for (const CSpectrumTruth& entry : runs[w].listed) AppendKilnEntry(ids.Buffer(), ++listed, entry);
    }
    mgf.FlushIfFull();
    truth.FlushIfFull();
    ids.FlushIfFull();
  }
  if (!mgf.Commit(error) || !truth.Commit(error) || !ids.Commit(error)) return false;
  if (files.related_fasta.empty()) return true;
  BufferedOutput related;
  if (!related.Open(files.related_fasta, error)) return false;
  std::size_t number = 0;
  for (const std::string& sequence : simulator.RelatedPeptides())
    related.Buffer() += ">related_" + std::to_string(++number) + "\n" + sequence + "\n";
  return related.Commit(error);
}

}  // namespace simulator
