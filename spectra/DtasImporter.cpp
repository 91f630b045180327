#include "spectra/DtasImporter.h"

#include "common/DtaName.h"
#include "common/PathUtil.h"
#include "spectra/ImportSupport.h"

namespace {

// A DTAS block: a header line "MH+ charge" or "name MH+ charge", then its
// peaks.
class DtasBlocks : public spectra::PeakBlocks {
 public:
  DtasBlocks(const std::string& path, spectra::SpectrumSink& sink, spectra::ProblemLog& problems)
      : PeakBlocks(path, sink, problems), base_(path::BaseName(path)), file_(path::FileName(path)) {}

 private:
  void Header(std::string_view s, std::size_t line_number) override {
    named_ = false;
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

  void Add() override {
    CMS2Input::Origin origin;
    origin.file = file_;
    origin.run = named_ ? std::string_view(parts_.prefix) : std::string_view(base_);
    origin.scan = named_ ? parts_.first_scan : -1;
    origin.index = index_ - 1;
    sink_.SetOrigin(origin);
    const std::string& prefix = named_ ? parts_.prefix : base_;
    const int first = named_ ? parts_.first_scan : static_cast<int>(index_);
    const int last = named_ ? parts_.last_scan : static_cast<int>(index_);
    if (cur_.charge <= 0) {
      SayRefused(sink_.Add(prefix, first, last, {}, cur_.precursor_mass, 0.0, std::move(peaks_)));
      return;
    }
    cur_.first_scan = first;
    cur_.last_scan = last;
    // A header's name stands as written when its charge is the spectrum's.
    if (!named_ || parts_.charge != cur_.charge) {
      cur_.name = msdata::MakeDtaName(prefix, first, last, cur_.charge);
    }
    cur_.precursor_mz = msdata::MzFromMH(cur_.precursor_mass, cur_.charge);
    cur_.peaks = std::move(peaks_);
    SayRefused(sink_.AddNamed(std::move(cur_)));
  }

  const std::string base_;
  const std::string file_;
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
  sink.SetOriginHook(&origin_hook_);
  sink.SetHook(&hook_);
  spectra::ProblemLog problems;
  spectra::Progress progress(verbose_, path);
  DtasBlocks blocks(path, sink, problems);
  blocks.Read(reader, progress);
  return spectra::FinishTextLoad(path, reader.Failed(), sink, problems, last_error_);
}
