// tessera-report: the page of a results folder (desktop/plot/Report.h), one
// self-contained HTML file a browser opens from a server's disk or a mail.
// Exit status 0 when the page is written, 1 when it cannot be, 2 for a
// wrong command line.

#include <cstdio>
#include <iostream>
#include <string>

#include "common/CommandLine.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "desktop/plot/Report.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "tessera-report: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  cli::CommandLine line("tessera-report", {"[options] RESULTS_FOLDER -o REPORT.html"},
                        "Writes one self-contained HTML page (pictures inlined) with the counts, pictures, top mass "
                        "shifts with their Unimod names, propagated identifications and settings of a results "
                        "folder that the main job wrote.");
  line.Add({"output", 'o', "FILE", "", "the page to write (required)"});
  line.Add({"run", 0, "NAME", "the results folder", "the run the job read, as shown on the page"});
  line.Add({"picture", 0, "CAPTION=FILE", "", "a PNG or SVG picture to show, with its caption (repeatable)"});
  line.Add({"unimod", 0, "FILE", "Unimod_xml/Unimod_mono.xml beside the program", "the Unimod table for names"});
  line.Add({"unimod-tolerance", 0, "DA", "0.01",
            "how far a Unimod mass may lie from a shift (the pictures' and the pair search's own)"});
  line.Add({"top", 0, "N", "10", "how many of the most frequent shifts to list"});
  const cli::Outcome outcome = line.Parse(argc, argv);
  if (outcome == cli::Outcome::kRun && (line.Positionals().size() != 1 || !line.Has("output"))) {
    std::cerr << "tessera-report: one results folder and -o REPORT.html are needed\n" << line.Usage();
    return 2;
  }
  if (const int status = line.Report(outcome, std::cout, std::cerr); status >= 0) return status;

  report::ReportInputs inputs;
  inputs.results_folder = line.Positionals()[0];
  inputs.run = line.Value("run", inputs.results_folder);
  inputs.unimod_path = line.Value("unimod", path::Join(path::ProgramDirectory(), "Unimod_xml/Unimod_mono.xml"));
  long top = 10;
  double tolerance = 0.01;
  if (!cli::ParseWholeNumber(line.Value("top", "10"), top) || top < 1 ||
      !cli::ParseFiniteNumber(line.Value("unimod-tolerance", "0.01"), tolerance) || tolerance < 0.0) {
    std::cerr << "tessera-report: --top takes a whole number of at least 1 and --unimod-tolerance a number of "
                 "at least 0\n"
              << line.Usage();
    return 2;
  }
  inputs.top_shifts = static_cast<int>(top);
  inputs.unimod_tolerance = tolerance;
  for (const auto& [name, value] : line.Given()) {
    if (name != "picture") continue;
    const std::size_t equals = value.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == value.size()) {
      std::cerr << "tessera-report: --picture takes CAPTION=FILE, not \"" << value << "\"\n" << line.Usage();
      return 2;
    }
    inputs.pictures.emplace_back(value.substr(0, equals), value.substr(equals + 1));
  }
  if (!path::IsDirectory(inputs.results_folder)) return Fail(inputs.results_folder + ": no such folder");

  const std::string output = line.Value("output");
  if (const std::string refused = report::CheckReportOutput(inputs, output); !refused.empty()) return Fail(refused);
  std::string html, error;
  if (!report::BuildReport(inputs, html, error)) return Fail(error);
  if (!safefile::WriteWholeFile(output, html, &error)) return Fail("cannot write " + output + " (" + error + ")");
  std::cout << "Report: " << output << "\n";
  return 0;
}
