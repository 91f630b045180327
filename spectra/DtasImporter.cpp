#include "spectra/DtasImporter.h"

#include "common/DtaName.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "spectra/ImportSupport.h"

namespace {

// Gathers the spectra of a DTAS file block by block: a header line, peak
// lines, and a blank line (or the end of the file) that closes the block.
class BlockReader {
 public:
  BlockReader(const std::string& path, spectra::SpectrumSink& sink, spectra::ProblemLog& problems)
      : path_(path), base_(path::BaseName(path)), sink_(sink), problems_(problems) {}

  // A line that is not blank, trimmed.
  void Line(std::string_view s, std::size_t line_number) {
    if (!in_block_) {
      Header(s, line_number);
      return;
    }
    if (bad_) return;
    double v[2];
    if (spectra::SplitNumbers(s, v, 2) != 2) {
      Refuse(s, line_number, " is not a peak");
      return;
    }
    cur_.peaks.emplace_back(v[0], v[1]);
  }

  // Closes the block: its spectrum is added unless a line of it was bad.
  void EndBlock() {
    if (in_block_ && !bad_) Add();
    in_block_ = false;
  }

 private:
  void Refuse(std::string_view s, std::size_t line_number, const char* why) {
    problems_.Add(spectra::DescribeLine(path_, line_number, s) + why);
    bad_ = true;
  }

  // "MH+ charge" or "name MH+ charge".
  void Header(std::string_view s, std::size_t line_number) {
    in_block_ = true;
    bad_ = false;
    named_ = false;
    ++index_;
    cur_ = msdata::CSpectrum();
    double v[2];
    std::string_view numbers = s;
    const std::size_t blank = s.find_first_of(" \t");
    if (blank != std::string_view::npos && spectra::SplitNumbers(s, v, 2) < 0) {
      // Not two numbers: a name comes first.
      const std::string name(s.substr(0, blank));
      named_ = msdata::ParseDtaName(name, parts_) && !parts_.prefix.empty();
      if (!named_) {
        Refuse(s, line_number, " is not a DTA header (name MH+ charge)");
        return;
      }
      cur_.name = name;
      numbers = s.substr(blank);
    }
    if (spectra::SplitNumbers(numbers, v, 2) != 2) {
      Refuse(s, line_number, " is not a DTA header (MH+ charge)");
      return;
    }
    cur_.precursor_mass = v[0];
    if (v[0] <= 0.0 || !spectra::AsCharge(v[1], cur_.charge)) {
      Refuse(s, line_number, " has no usable mass or charge");
    }
  }

  void Add() {
    const std::string& prefix = named_ ? parts_.prefix : base_;
    const int first = named_ ? parts_.first_scan : static_cast<int>(index_);
    const int last = named_ ? parts_.last_scan : static_cast<int>(index_);
    if (cur_.charge <= 0) {
      sink_.Add(prefix, first, last, {}, cur_.precursor_mass, 0.0, std::move(cur_.peaks));
      return;
    }
    cur_.first_scan = first;
    cur_.last_scan = last;
    // A header's name stands as written when its charge is the spectrum's.
    if (!named_ || parts_.charge != cur_.charge) {
      cur_.name = msdata::MakeDtaName(prefix, first, last, cur_.charge);
    }
    cur_.precursor_mz = msdata::MzFromMH(cur_.precursor_mass, cur_.charge);
    sink_.AddNamed(std::move(cur_));
  }

  const std::string& path_;
  const std::string base_;
  spectra::SpectrumSink& sink_;
  spectra::ProblemLog& problems_;
  bool in_block_ = false;
  bool bad_ = false;
  std::size_t index_ = 0;
  msdata::CSpectrum cur_;
  msdata::DtaNameParts parts_;
  bool named_ = false;
};

}  // namespace

bool CDtasImporter::Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                         bool replace) {
  spectra::LineReader reader;
  if (!spectra::BeginTextLoad(path, spectra, replace, reader, last_error_)) return false;
  spectra::SpectrumSink sink(spectra, false);
  spectra::ProblemLog problems;
  spectra::Progress progress(verbose_, path);
  BlockReader blocks(path, sink, problems);
  std::string_view line;
  while (reader.Next(line)) {
    if ((reader.LineNumber() & 0xffff) == 0) progress.Update(reader.Consumed(), reader.Size());
    const std::string_view s = spectra::TrimView(line);
    if (s.empty()) {
      blocks.EndBlock();
    } else {
      blocks.Line(s, reader.LineNumber());
    }
  }
  if (reader.Failed()) {
    last_error_ = "Error reading file: " + path;
    return false;
  }
  blocks.EndBlock();
  if (sink.Added() == 0) {
    last_error_ = path + ": no spectrum could be read";
    if (problems.Count() > 0) last_error_ += "; first problem: " + problems.First();
    return false;
  }
  if (problems.Count() > 0) notify::Message(problems.Summary(path));
  return true;
}
