#include "spectra/PklImporter.h"

#include "common/PathUtil.h"
#include "spectra/ImportSupport.h"

namespace {

// A PKL block: a header line "m/z intensity charge", then its peaks.
class PklBlocks : public spectra::PeakBlocks {
 public:
  PklBlocks(const std::string& path, spectra::SpectrumSink& sink, spectra::ProblemLog& problems)
      : PeakBlocks(path, sink, problems), base_(path::BaseName(path)), file_(path::FileName(path)) {}

 private:
  void Header(std::string_view s, std::size_t line_number) override {
    double v[3];
    if (spectra::SplitNumbers(s, v, 3) != 3 || v[0] <= 0.0 || !spectra::AsCharge(v[2], charge_)) {
      Refuse(s, line_number, " is not a PKL header (m/z intensity charge)");
      return;
    }
    mz_ = v[0];
  }

  void Add() override {
    std::vector<int> charges;
    if (charge_ != 0) charges.push_back(charge_);
    const int position = static_cast<int>(index_);
    CMS2Input::Origin origin;
    origin.file = file_;
    origin.run = base_;
    origin.index = index_ - 1;
    sink_.SetOrigin(origin);
    SayRefused(sink_.Add(base_, position, position, charges, mz_, 0.0, std::move(peaks_)));
  }

  const std::string base_;
  const std::string file_;
  double mz_ = 0.0;
  int charge_ = 0;
};

}  // namespace

bool CPklImporter::Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                        bool replace) {
  spectra::LineReader reader;
  if (!spectra::BeginTextLoad(path, spectra, replace, reader, last_error_)) return false;
  spectra::SpectrumSink sink(spectra, false);
  sink.SetOriginHook(&origin_hook_);
  sink.SetHook(&hook_);
  spectra::ProblemLog problems;
  spectra::Progress progress(verbose_, path);
  PklBlocks blocks(path, sink, problems);
  blocks.Read(reader, progress);
  return spectra::FinishTextLoad(path, reader.Failed(), sink, problems, last_error_);
}
