#include "drivers/dtaexport/DtaExport.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

#include "common/CommandLine.h"
#include "common/Dta.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "spectra/MS2Input.h"
#include "spectra/MgfWriter.h"

namespace dtaexport {

namespace {

cli::CommandLine ExportCommandLine() {
  cli::CommandLine line("dtaexport", {"<spectrum file> [<output directory>] [--mgf <MGF file>]"},
                        "Writes one DTA file per MS2 spectrum of a spectrum file (mzML, mzXML, MGF,\n"
                        "MS2, DTAS, PKL, or a DTA directory) into the output directory, named\n"
                        "<run>.<first scan>.<last scan>.<charge>.dta, and/or the whole run as one MGF\n"
                        "file with those names as titles. Progress goes to standard error.");
  line.Add({"mgf", 0, "FILE", "", "also (or only) write the run as one MGF file"});
  line.Add({"quiet", 'q', "", "", "no progress on standard error"});
  return line;
}

// Every 1000 files, so that a large run shows it is moving.
constexpr std::size_t kProgressStep = 1000;

// The whole run as one MGF file; false with a message when it cannot be
// written whole.
bool WriteMgf(const std::string& path, const std::vector<msdata::CSpectrum>& spectra, std::ostream& err) {
  safefile::CSafeFile file;
  bool ok = file.Open(path, "wb");
  std::string block;
  for (std::size_t i = 0; ok && i < spectra.size(); ++i) {
    std::ostringstream text;
    spectra::WriteMgfSpectrum(text, spectra[i]);
    block = text.str();
    ok = std::fwrite(block.data(), 1, block.size(), file.Get()) == block.size();
  }
  ok = ok && file.Commit();
  if (!ok) err << "Cannot write file: " << path << " (" << (file.Error().empty() ? "write failed" : file.Error()) << ")\n";
  return ok;
}

}  // namespace

int Run(int argc, const char* const* argv, std::ostream& out) { return Run(argc, argv, out, out); }

int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  cli::CommandLine line = ExportCommandLine();
  const int answered = line.Report(line.Parse(argc, argv), out, err);
  if (answered >= 0) return answered;
  const std::vector<std::string>& positional = line.Positionals();
  const std::string mgf = line.Value("mgf");
  if (positional.empty() || positional.size() > 2 || (line.Has("mgf") && mgf.empty()) ||
      (positional.size() == 1 && mgf.empty())) {
    err << "dtaexport: "
        << (positional.size() > 2 ? "too many arguments"
                                  : "give an output directory, --mgf <MGF file>, or both")
        << "\n"
        << line.Usage();
    return 2;
  }
  const bool quiet = line.Has("quiet");
  const std::string input = positional[0];
  const std::string directory = positional.size() > 1 ? positional[1] : std::string();

  MS2FormatType type = MS2_FORMAT_MZML;
  std::string why;
  if (!CMS2InputFactory::FormatFromPath(input, type, why)) {
    err << why << "\n";
    return 1;
  }
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, true));
  std::vector<msdata::CSpectrum> spectra;
  if (!quiet) err << "dtaexport: reading " << input << std::endl;
  if (!importer || !importer->Load(input, spectra, true)) {
    err << (importer ? importer->LastError() : "no reader for " + input) << "\n";
    return 1;
  }

  // Nothing is written when any output would replace the input: a DTA file
  // exported into its own directory, a DTA directory exported into itself,
  // or the MGF written over the spectrum file. The paths are compared as
  // files (device and inode), whatever their spelling.
  const bool input_is_directory = path::IsDirectory(input);
  if (!mgf.empty() && safefile::SameFile(mgf, input)) {
    err << "Cannot write file: " << mgf << " (it is the input " << input << ")\n";
    return 1;
  }
  if (!directory.empty()) {
    if (input_is_directory && safefile::SameFile(directory, input)) {
      err << "Cannot write into " << directory << ": it is the input directory " << input << "\n";
      return 1;
    }
    for (const msdata::CSpectrum& spectrum : spectra) {
      const std::string target = path::Join(directory, spectrum.name);
      if (safefile::SameFile(target, input) || (!mgf.empty() && safefile::SameFile(target, mgf))) {
        err << "Cannot write file: " << target << " (it is the input " << input << ")\n";
        return 1;
      }
    }
  }

  if (!directory.empty() && !path::CreateDirectory(directory)) {
    err << "Cannot create directory: " << directory << "\n";
    return 1;
  }
  if (!mgf.empty()) {
    if (!quiet) err << "dtaexport: writing " << mgf << std::endl;
    if (!WriteMgf(mgf, spectra, err)) return 1;
    out << spectra.size() << " spectra of " << input << " written to " << mgf << "\n";
  }
  if (directory.empty()) return 0;
  for (std::size_t i = 0; i < spectra.size(); ++i) {
    if (!quiet && i % kProgressStep == 0)
      err << "dtaexport: writing DTA files " << i << " of " << spectra.size() << std::endl;
    const std::string target = path::Join(directory, spectra[i].name);
    std::ostringstream text;
    msdata::WriteDta(spectra[i], text);
    std::string error;
    if (!safefile::WriteWholeFile(target, text.str(), &error)) {
      err << "Cannot write file: " << target << " (" << error << ")\n";
      return 1;
    }
  }
  out << spectra.size() << " spectra of " << input << " written to " << directory << "\n";
  return 0;
}

}  // namespace dtaexport
