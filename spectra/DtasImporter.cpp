#include "spectra/DtasImporter.h"

#include "common/DtaName.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "spectra/ImportSupport.h"

bool CDtasImporter::Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
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
  msdata::CSpectrum cur;
  msdata::DtaNameParts parts;
  bool named = false;

  auto finish = [&]() {
    if (!in_block || bad) return;
    if (cur.charge <= 0) {
      sink.Add(named ? parts.prefix : base, named ? parts.first_scan : static_cast<int>(index),
               named ? parts.last_scan : static_cast<int>(index), {}, cur.precursor_mass, 0.0,
               std::move(cur.peaks));
      return;
    }
    if (named && parts.charge == cur.charge) {
      cur.first_scan = parts.first_scan;
      cur.last_scan = parts.last_scan;
    } else {
      cur.first_scan = named ? parts.first_scan : static_cast<int>(index);
      cur.last_scan = named ? parts.last_scan : static_cast<int>(index);
      cur.name = msdata::MakeDtaName(named ? parts.prefix : base, cur.first_scan, cur.last_scan,
                                     cur.charge);
    }
    cur.precursor_mz = msdata::MzFromMH(cur.precursor_mass, cur.charge);
    sink.AddNamed(std::move(cur));
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
      named = false;
      ++index;
      cur = msdata::CSpectrum();
      std::string_view numbers = s;
      const std::size_t blank = s.find_first_of(" \t");
      if (blank != std::string_view::npos && spectra::SplitNumbers(s, v, 2) < 0) {
        // Not two numbers: a name comes first.
        const std::string name(s.substr(0, blank));
        named = msdata::ParseDtaName(name, parts) && !parts.prefix.empty();
        if (!named) {
          problems.Add(spectra::DescribeLine(path, reader.LineNumber(), s) +
                       " is not a DTA header (name MH+ charge)");
          bad = true;
          continue;
        }
        cur.name = name;
        numbers = s.substr(blank);
      }
      if (spectra::SplitNumbers(numbers, v, 2) != 2) {
        problems.Add(spectra::DescribeLine(path, reader.LineNumber(), s) +
                     " is not a DTA header (MH+ charge)");
        bad = true;
        continue;
      }
      cur.precursor_mass = v[0];
      if (v[0] <= 0.0 || !spectra::AsCharge(v[1], cur.charge)) {
        problems.Add(spectra::DescribeLine(path, reader.LineNumber(), s) +
                     " has no usable mass or charge");
        bad = true;
      }
      continue;
    }
    if (bad) continue;
    if (spectra::SplitNumbers(s, v, 2) != 2) {
      problems.Add(spectra::DescribeLine(path, reader.LineNumber(), s) + " is not a peak");
      bad = true;
      continue;
    }
    cur.peaks.emplace_back(v[0], v[1]);
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
