// The report of a results folder: its tables and pictures, and what a real
// browser makes of the page.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <sys/wait.h>

#include "desktop/plot/Report.h"
#include "tests/support/ScratchDir.h"

namespace {

int Shell(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

class ReportTest : public ScratchDirTest {
 protected:
  void Put(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(File(name)).parent_path());
    testsupport::WriteFile(File(name), text);
  }

  // A summary as the programs write it, with only what the page reads.
  void PutSummary(const std::string& name, const std::string& kind, const std::string& input,
                  const std::string& counts, const std::string& outputs = "",
                  const std::string& details = "{}") {
    Put(name, "{\"program\": \"x\", \"kind\": \"" + kind + "\", \"inputs\": [{\"role\": \"spectra\", "
              "\"path\": \"" + input + "\"}], \"parameters\": {\"threshold\": 0.6}, \"counts\": {" + counts +
              "}, \"outputs\": [" + outputs + "], \"details\": " + details + "}\n");
  }

  std::string MakePicture(const std::string& name) {
    std::filesystem::create_directories(std::filesystem::path(File(name)).parent_path());
    QImage image(200, 120, QImage::Format_RGB32);
    image.fill(QColor(30, 90, 200));
    image.save(QString::fromStdString(File(name)), "PNG");
    return File(name);
  }

  // A results folder of every step on one run, small enough to check by eye.
  std::string MakeResults() {
    PutSummary("results/clusters.summary.json", "clustering", "/d/R.mzML", "\"clusters\": 2");
    PutSummary("results/pairs.summary.json", "pairs", "/d/R.mzML", "\"pairs\": 5",
               "{\"role\": \"picture\", \"path\": \"" + MakePicture("results/p/shifts.png") +
                   "\", \"caption\": \"Mass-shift histogram\"}",
               "{\"top_shifts\": [{\"delta_mass\": 31.971822, \"pairs\": 4}, "
               "{\"delta_mass\": 15.994915, \"pairs\": 1}]}");
    Put("results/propagated.tsv",
        "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value\n"
        "R.3.3.2.DTA\tPEPC<K>\t\tpairs\tR.1.1.2.DTA\t31.971822\t9.5\t0.004\n");
    PutSummary("results/propagation.summary.json", "propagation", "", "\"identified_before\": 7",
               "{\"role\": \"propagation table\", \"path\": \"" + File("results/propagated.tsv") + "\"}");
    return File("results");
  }

  std::string Unimod() const { return std::string(TESSERA_BIN_DIR) + "/Unimod_xml/Unimod_mono.xml"; }

  std::string Page(const std::string& folder, std::string* error_out = nullptr,
                   std::vector<std::string>* warnings = nullptr) {
    report::ReportInputs inputs;
    inputs.results_folder = folder;
    inputs.run = "run <1>.mzML";
    inputs.unimod_path = Unimod();
    std::string html, error;
    const bool built = report::BuildReport(inputs, html, error, warnings);
    if (error_out) *error_out = error;
    EXPECT_TRUE(built || error_out) << error;
    return html;
  }
};

// Each kind of results folder: what the page must say of it.
struct FolderCase {
  const char* name;
  std::vector<std::string> said;
};

class ReportFolderTest : public ReportTest, public ::testing::WithParamInterface<FolderCase> {
 protected:
  // Lays out the folder of the case's name.
  void Make(const std::string& kind) {
    if (kind == "clustering") {
      PutSummary("r/clusters.summary.json", "clustering", "/d/R.mzML", "\"clusters\": 911, \"largest_cluster\": 12");
    } else if (kind == "pairs") {
      PutSummary("r/pairs.summary.json", "pairs", "/d/R.mzML", "\"pairs\": 190",
                 "{\"role\": \"picture\", \"path\": \"" + MakePicture("r/shifts.png") +
                     "\", \"caption\": \"Mass-shift histogram\"}",
                 "{\"top_shifts\": [{\"delta_mass\": 15.994915, \"pairs\": 10}]}");
    } else if (kind == "shiftscan") {
      PutSummary("r/shiftscan.summary.json", "shiftscan", "/d/R.mzML", "\"modifications\": 87",
                 "", "{\"modifications\": [{\"delta_mass\": 31.9719, \"pairs\": 37, \"delta_time\": 87.7, "
                 "\"d_score\": 51.7, \"type\": \"single\"}]}");
      MakePicture("r/extra/lying.png");
    } else if (kind == "propagation") {
      Put("r/t.tsv", "spectrum\tsequence\troute\tshift\tscore\tq_value\nS.1.1.2.dta\tLVTDLTK\tcluster\t\t3\t0.5\n");
      PutSummary("r/propagation.summary.json", "propagation", "", "\"identified_by_propagation\": 1",
                 "{\"role\": \"propagation table\", \"path\": \"" + File("r/t.tsv") + "\"}");
    } else if (kind == "confirmation") {
      PutSummary("r/confirmation.summary.json", "confirmation", "", "\"confirmed\": 3", "",
                 "{\"run_bands\": [{\"propagated\": 4, \"confirmed\": 3, \"run\": \"A\", \"band\": \"q <= 1%\"}, "
                 "{\"propagated\": 2, \"confirmed\": 0, \"run\": \"A\", \"band\": \"1% < q <= 5%\"}]}");
    } else if (kind == "study") {
      PutSummary("r/runs/A/clusters.summary.json", "clustering", "/d/A.mzML", "\"clusters\": 11");
      PutSummary("r/runs/B/clusters.summary.json", "clustering", "/d/B.mzML", "\"clusters\": 22");
      PutSummary("r/pooled/pairs.summary.json", "pairs", "/d/pooled.mgf", "\"pairs\": 33");
    }
  }
};

TEST_P(ReportFolderTest, NamesTheStepsCountsAndPictures) {
  Make(GetParam().name);
  const std::string html = Page(File("r"));
  for (const std::string& said : GetParam().said) EXPECT_NE(html.find(said), std::string::npos) << said;
}

// The console's counts: per run, then pooled, with where identifications
// went between runs.
TEST_F(ReportFolderTest, TextGivesEachRunItsLineThenThePooledSteps) {
  Make("study");
  PutSummary("r/pooled/propagation.summary.json", "propagation", "", "\"identified_by_propagation\": 4", "",
             "{\"transfers_between_runs\": [{\"from\": \"A\", \"to\": \"B\", \"propagated\": 3}]}");
  report::ReportInputs inputs;
  inputs.results_folder = File("r");
  std::string text, error;
  ASSERT_TRUE(report::BuildTextSummary(inputs, text, error)) << error;
  EXPECT_EQ(text, "Summary of " + File("r") +
                      "\nPer run:\n  Clustering\n    A: clusters 11\n    B: clusters 22\nPooled:\n"
                      "  Pair search: pairs 33\n  Propagation: identified by propagation 4\n"
                      "    A -> B: propagated 3\n");
}

INSTANTIATE_TEST_SUITE_P(
    Folders, ReportFolderTest,
    ::testing::Values(
        FolderCase{"clustering",
                   {"<td>Clustering</td><td>clusters</td><td>911</td>", "<td>largest cluster</td><td>12</td>",
                    "<th>setting</th>", "<td>threshold</td><td>0.6</td>", "No pair search in these results."}},
        FolderCase{"pairs",
                   {"<td>Pair search</td><td>pairs</td><td>190</td>", "<figcaption>Mass-shift histogram</figcaption>",
                    "<td>15.9949</td><td>10</td><td>Oxidation"}},
        FolderCase{"shiftscan",
                   {"<td>Shiftscan</td><td>modifications</td><td>87</td>", "<td>31.9719</td><td>37</td>",
                    "<figcaption>lying.png</figcaption>", "Sulfide"}},
        FolderCase{"propagation",
                   {"<td>identified by propagation</td><td>1</td>", "<table id=\"propagated\">", "LVTDLTK"}},
        FolderCase{"confirmation",
                   {"<table id=\"calibration\">", "<tr><td>A</td><td>q &lt;= 1%</td><td>4</td><td>3</td><td>75.0%</td></tr>\n"
                    "<tr><td>A</td><td>1% &lt; q &lt;= 5%</td><td>2</td><td>0</td><td>0.0%</td></tr>"}},
        FolderCase{"study",
                   {"<table id=\"runs-clustering\">", "<tr><td>A</td><td>11</td></tr>",
                    "<tr><td>B</td><td>22</td></tr>", "<td>Pair search</td><td>pairs</td><td>33</td>"}}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

TEST_F(ReportTest, SaysWhatIsDamagedOrMissing) {
  // A damaged summary is named with its JSON error; the others are used.
  const std::string results = MakeResults();
  Put("results/broken.summary.json", "{\"kind\": \"pairs\",");
  std::vector<std::string> warnings;
  const std::string html = Page(results, nullptr, &warnings);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("broken.summary.json: "), std::string::npos) << warnings[0];
  EXPECT_NE(html.find("A damaged summary is left out: " + results + "/broken.summary.json"), std::string::npos);
  EXPECT_NE(html.find("<td>Clustering</td><td>clusters</td><td>2</td>"), std::string::npos);
  // Most pairs first, named from Unimod; the sequence is text, not markup.
  EXPECT_LT(html.find("<td>31.9718</td><td>4</td>"), html.find("<td>15.9949</td><td>1</td>"));
  EXPECT_NE(html.find("PEPC&lt;K&gt;"), std::string::npos);
  EXPECT_NE(html.find("src=\"data:image/png;base64,iVBOR"), std::string::npos);

  // No summary at all: the folder is named and the page not written.
  std::filesystem::create_directory(File("empty"));
  std::string error;
  Page(File("empty"), &error);
  EXPECT_NE(error.find(File("empty") + ": no run summaries (*.summary.json)"), std::string::npos) << error;
}

// The page never replaces a file it reads, and a results file or picture
// that is there but cannot be read fails it with the reason: status 1, and
// no page. The usage names the program once.
TEST_F(ReportTest, RefusesToReplaceItsInputsAndSaysWhatItCannotRead) {
  const std::string results = MakeResults();
  const std::string picture = MakePicture("shifts.png");
  const std::string clusters = testsupport::ReadFile(results + "/clusters.summary.json");
  const std::string bytes = testsupport::ReadFile(picture);
  std::filesystem::create_directory(File("folder.png"));
  const std::string program = "'" + std::string(TESSERA_BIN_DIR) + "/tessera-report' '" + results + "'";
  const std::string shown = " --picture 'Mass shifts=" + picture + "'";
  const struct {
    std::string arguments;
    const char* said;
  } cases[] = {
      {" -o '" + results + "/clusters.summary.json'", "would replace a file the report reads: "},
      {" -o '" + results + "/../results/propagated.tsv'", "would replace a file the report reads: "},
      {" -o '" + results + "/next.summary.json'", "would be read as a run summary"},
      {shown + " -o '" + File("./shifts.png") + "'", "would replace a file the report reads: "},
      {" --picture 'Folder=" + File("folder.png") + "' -o '" + File("page.html") + "'", "is a folder, not a file"},
      {" -o '" + File("folder.png") + "'", "is a folder, not a file"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shell(program + c.arguments + " > /dev/null 2> '" + File("said.txt") + "'"), 1) << c.arguments;
    EXPECT_NE(testsupport::ReadFile(File("said.txt")).find(c.said), std::string::npos)
        << c.arguments << ": " << testsupport::ReadFile(File("said.txt"));
  }
  EXPECT_EQ(testsupport::ReadFile(results + "/clusters.summary.json"), clusters);
  EXPECT_EQ(testsupport::ReadFile(picture), bytes);
  EXPECT_FALSE(std::filesystem::exists(results + "/next.summary.json"));

  // A folder without summaries: named, status 1, no page.
  std::filesystem::create_directory(File("bare"));
  EXPECT_EQ(Shell("'" + std::string(TESSERA_BIN_DIR) + "/tessera-report' '" + File("bare") + "' -o '" +
                  File("page.html") + "' 2> '" + File("said.txt") + "'"),
            1);
  EXPECT_NE(testsupport::ReadFile(File("said.txt")).find("carry one beside each main output"), std::string::npos)
      << testsupport::ReadFile(File("said.txt"));
  EXPECT_FALSE(std::filesystem::exists(File("page.html")));

  ASSERT_EQ(Shell(program + " --help > '" + File("said.txt") + "'"), 0);
  const std::string help = testsupport::ReadFile(File("said.txt"));
  EXPECT_EQ(help.substr(0, help.find('\n')), "usage: tessera-report [options] RESULTS_FOLDER -o REPORT.html");
}

// The page as a person sees it: a headless browser renders what the program
// wrote, the screenshot is not blank and the tables are in the document.
TEST_F(ReportTest, RendersInAHeadlessBrowser) {
  std::string browser;
  for (const char* candidate : {"chromium", "chromium-browser", "google-chrome"})
    if (Shell(std::string("command -v ") + candidate + " >/dev/null 2>&1") == 0) {
      browser = candidate;
      break;
    }
  if (browser.empty()) GTEST_SKIP() << "no headless Chromium installed (scripts/install-deps.sh installs it)";

  const std::string page = File("report.html");
  const std::string program = std::string(TESSERA_BIN_DIR) + "/tessera-report";
  ASSERT_EQ(Shell("'" + program + "' '" + MakeResults() + "' -o '" + page + "' --picture 'Mass shifts=" +
                  MakePicture("shifts.png") + "' >/dev/null"),
            0);
  // The browser's profile, caches and crash reports stay in the scratch folder.
  const std::string run = "HOME='" + File("home") + "' XDG_CONFIG_HOME='" + File("home") + "' XDG_CACHE_HOME='" +
                          File("home") + "' " + browser + " --headless --no-sandbox --disable-gpu --hide-scrollbars " +
                          "--user-data-dir='" + File("profile") + "' --window-size=1000,1400 ";
  ASSERT_EQ(Shell(run + "--screenshot='" + File("shot.png") + "' 'file://" + page + "' >/dev/null 2>&1"), 0);
  ASSERT_EQ(Shell(run + "--dump-dom 'file://" + page + "' > '" + File("dom.html") + "' 2>/dev/null"), 0);

  const QImage shot(QString::fromStdString(File("shot.png")));
  ASSERT_FALSE(shot.isNull());
  int inked = 0, blue = 0;
  for (int y = 0; y < shot.height(); y += 2)
    for (int x = 0; x < shot.width(); x += 2) {
      const QColor c = shot.pixelColor(x, y);
      if (c.lightness() < 200) ++inked;
      if (c.blue() > 150 && c.red() < 60) ++blue;  // the inlined picture
    }
  EXPECT_GT(inked, 500);
  EXPECT_GT(blue, 1000);
  const std::string dom = testsupport::ReadFile(File("dom.html"));
  for (const char* id : {"counts", "pair-shifts", "propagated"})
    EXPECT_NE(dom.find(std::string("<table id=\"") + id + "\">"), std::string::npos) << id;
}

}  // namespace
