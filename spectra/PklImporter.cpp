#include "spectra/PklImporter.h"

#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "spectra/ImportSupport.h"

bool CPklImporter::Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                        bool replace) {
  spectra::LineReader reader;
  if (!spectra::BeginTextLoad(path, spectra, replace, reader, last_error_)) return false;
  const std::string base = path::BaseName(path);
  spectra::SpectrumSink sink(spectra, false);
  spectra::ProblemLog problems;
  spectra::Progress progress(verbose_, path);

  bool in_block = false;
  bool bad = false;
  std::size_t index = 0;
  double mz = 0.0;
  int charge = 0;
  msdata::PeakList peaks;

  auto finish = [&]() {
    if (!in_block || bad) return;
    std::vector<int> charges;
    if (charge != 0) charges.push_back(charge);
    sink.Add(base, static_cast<int>(index), static_cast<int>(index), charges, mz, 0.0,
             std::move(peaks));
    peaks.clear();
  };

  std::string_view line;
  double v[3];
  while (reader.Next(line)) {
    if ((reader.LineNumber() & 0xffff) == 0) progress.Update(reader.Consumed(), reader.Size());
    const std::string_view s = spectra::TrimView(line);
    if (s.empty()) {
      finish();
      in_block = false;
      continue;
    }
    if (!in_block) {
      in_block = true;
      bad = false;
      ++index;
      peaks.clear();
      if (spectra::SplitNumbers(s, v, 3) != 3 || v[0] <= 0.0 || !spectra::AsCharge(v[2], charge)) {
        problems.Add(spectra::DescribeLine(path, reader.LineNumber(), s) +
                     " is not a PKL header (m/z intensity charge)");
        bad = true;
        continue;
      }
      mz = v[0];
      continue;
    }
    if (bad) continue;
    if (spectra::SplitNumbers(s, v, 2) != 2) {
      problems.Add(spectra::DescribeLine(path, reader.LineNumber(), s) + " is not a peak");
      bad = true;
      continue;
    }
    peaks.emplace_back(v[0], v[1]);
  }
  if (reader.Failed()) {
    last_error_ = "Error reading file: " + path;
    return false;
  }
  finish();
  if (sink.Added() == 0) {
    last_error_ = path + ": no spectrum could be read";
    if (problems.Count() > 0) last_error_ += "; first problem: " + problems.First();
    return false;
  }
  if (problems.Count() > 0) notify::Message(problems.Summary(path));
  return true;
}
