// tessera-report: the page of a results folder (desktop/plot/Report.h), one
// self-contained HTML file a browser opens from a server's disk or a mail.
// Exit status 0 when the page is written, 1 when it cannot be, 2 for a
// wrong command line.

#include <cstdio>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

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
  cli::CommandLine line("tessera-report", {"[options] RESULTS_FOLDER -o REPORT.html", "--text RESULTS_FOLDER"},
                        "Writes one self-contained HTML page (pictures inlined) with the counts, pictures, top mass "
                        "shifts with their Unimod names, propagated identifications and settings of a results "
                        "folder, read from the run summaries (*.summary.json) in it and below.");
  line.Add(cli::Path("output", "FILE", "the page to write (required without --text)").Short('o'));
  line.Add(cli::Flag("text", "print the counts of every step (per run in a study) to standard output instead"));
  line.Add(cli::Text("run", "NAME", "the run the job read, as shown on the page", "the results folder"));
  line.Add(cli::Text("picture", "CAPTION=FILE", "a PNG or SVG picture to show, with its caption (repeatable)"));
  line.Add(cli::Path("unimod", "FILE", "the Unimod table for names")
               .Default("Unimod_xml/Unimod_mono.xml beside the program"));
  line.Add(cli::Real("unimod-tolerance", "DA",
                     "how far a Unimod mass may lie from a shift (the pictures' and the pair search's own)", "0.01")
               .Range(0, std::numeric_limits<double>::infinity()));
  line.Add(cli::Integer("top", "N", "how many of the most frequent shifts to list", "10")
               .Range(1, std::numeric_limits<double>::infinity()));
  const cli::Outcome outcome = line.Parse(argc, argv);
  if (outcome == cli::Outcome::kRun &&
      (line.Positionals().size() != 1 || line.Has("output") == line.Has("text"))) {
    std::cerr << "tessera-report: one results folder and either -o REPORT.html or --text are needed\n"
              << line.Usage();
    return 2;
  }
  if (const int status = line.Report(outcome, std::cout, std::cerr); status >= 0) return status;

  report::ReportInputs inputs;
  inputs.results_folder = line.Positionals()[0];
  inputs.run = line.Value("run", inputs.results_folder);
  inputs.unimod_path = line.Value("unimod", path::Join(path::ProgramDirectory(), "Unimod_xml/Unimod_mono.xml"));
  inputs.top_shifts = static_cast<int>(line.Integer("top", 10));
  inputs.unimod_tolerance = line.Real("unimod-tolerance", 0.01);
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

  std::string html, error;
  std::vector<std::string> damaged;
  if (line.Has("text")) {
    if (!report::BuildTextSummary(inputs, html, error, &damaged)) return Fail(error);
    std::cout << html;
    return 0;
  }
  const std::string output = line.Value("output");
  if (const std::string refused = report::CheckReportOutput(inputs, output); !refused.empty()) return Fail(refused);
  if (!report::BuildReport(inputs, html, error, &damaged)) return Fail(error);
  for (const std::string& file : damaged) std::fprintf(stderr, "tessera-report: damaged summary left out: %s\n", file.c_str());
  if (!safefile::WriteWholeFile(output, html, &error)) return Fail("cannot write " + output + " (" + error + ")");
  std::cout << "Report: " << output << "\n";
  return 0;
}
