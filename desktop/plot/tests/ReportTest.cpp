// The report of a results folder: its tables and pictures, and what a real
// browser makes of the page.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>
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
  // A results folder as the main job leaves it, small enough to check by eye.
  std::string MakeResults() {
    const std::string folder = File("results");
    std::filesystem::create_directory(folder);
    const auto put = [&](const std::string& name, const std::string& text) {
      testsupport::WriteFile(folder + "/" + name, text);
    };
    put("clusters.csv", "1,R.1.1.2.dta,1,800.4\n2,R.2.2.2.dta,1,800.4\n3,R.3.3.2.dta,2,900.5\n");
    put("spectral_pairs.csv", "R.1.1.2.dta,800.4,R.3.3.2.dta,832.4,31.972,0.71\n");
    put("spectral_pair_shifts.csv", "15.994915,1, 0, 0, 0, 0, 0\n31.971822,4, 0, 0, 0, 0, 0\n");
    put("propagation.log", "    Identified before propagation: 2\n");
    put("propagated.tsv",
        "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value\n"
        "R.3.3.2.DTA\tPEPC<K>\t\tpairs\tR.1.1.2.DTA\t31.971822\t9.5\t0.004\n"
        "R.2.2.2.DTA\tPEPTIDE\t\tcluster\tR.1.1.2.DTA\t\t7.25\t0.2\n");
    put("clustering.para", "[cluster]\nthreshold=0.60\n");
    return folder;
  }

  std::string MakePicture(const std::string& name) {
    QImage image(200, 120, QImage::Format_RGB32);
    image.fill(QColor(30, 90, 200));
    image.save(QString::fromStdString(File(name)), "PNG");
    return File(name);
  }

  std::string Unimod() const { return std::string(TESSERA_BIN_DIR) + "/Unimod_xml/Unimod_mono.xml"; }
};

TEST_F(ReportTest, HoldsCountsPicturesShiftsWithUnimodNamesAndPropagatedIdentifications) {
  report::ReportInputs inputs;
  inputs.results_folder = MakeResults();
  inputs.run = "run <1>.mzML";
  inputs.pictures = {{"Mass shifts", MakePicture("shifts.png")}};
  inputs.unimod_path = Unimod();
  std::string html, error;
  ASSERT_TRUE(report::BuildReport(inputs, html, error)) << error;

  EXPECT_NE(html.find("run &lt;1&gt;.mzML"), std::string::npos);
  for (const char* id : {"counts", "pair-shifts", "propagated"})
    EXPECT_NE(html.find(std::string("<table id=\"") + id + "\">"), std::string::npos) << id;
  EXPECT_NE(html.find("<td>clusters</td><td>2</td>"), std::string::npos);
  EXPECT_NE(html.find("<td>identified before propagation</td><td>2</td>"), std::string::npos);
  EXPECT_NE(html.find("<td>of those at 1% transfer FDR</td><td>1</td>"), std::string::npos);
  // Most pairs first, named from Unimod; the sequence is text, not markup.
  EXPECT_LT(html.find("<td>31.9718</td><td>4</td>"), html.find("<td>15.9949</td><td>1</td>"));
  EXPECT_NE(html.find("Sulfide"), std::string::npos);
  EXPECT_NE(html.find("Oxidation"), std::string::npos);
  EXPECT_NE(html.find("PEPC&lt;K&gt;"), std::string::npos);
  EXPECT_NE(html.find("src=\"data:image/png;base64,iVBOR"), std::string::npos);
  EXPECT_NE(html.find("threshold=0.60"), std::string::npos);
  EXPECT_NE(html.find("No Shiftscan run in this folder."), std::string::npos);

  inputs.pictures = {{"Missing", File("absent.png")}};
  EXPECT_FALSE(report::BuildReport(inputs, html, error));
  EXPECT_NE(error.find("absent.png"), std::string::npos);
}

// The page never replaces a file it reads, and a results file or picture
// that is there but cannot be read fails it with the reason: status 1, and
// no page. The usage names the program once.
TEST_F(ReportTest, RefusesToReplaceItsInputsAndSaysWhatItCannotRead) {
  const std::string results = MakeResults();
  const std::string picture = MakePicture("shifts.png");
  const std::string clusters = testsupport::ReadFile(results + "/clusters.csv");
  const std::string bytes = testsupport::ReadFile(picture);
  std::filesystem::create_directory(File("folder.png"));
  const std::string program = "'" + std::string(TESSERA_BIN_DIR) + "/tessera-report' '" + results + "'";
  const std::string shown = " --picture 'Mass shifts=" + picture + "'";
  const struct {
    std::string arguments;
    const char* said;
  } cases[] = {
      {" -o '" + results + "/clusters.csv'", "would replace a file the report reads: "},
      {" -o '" + results + "/../results/shiftscan.cfg'", "would replace a file the report reads: "},  // none yet
      {shown + " -o '" + File("./shifts.png") + "'", "would replace a file the report reads: "},
      {" --picture 'Folder=" + File("folder.png") + "' -o '" + File("page.html") + "'", "is a folder, not a file"},
      {" -o '" + File("folder.png") + "'", "is a folder, not a file"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shell(program + c.arguments + " > /dev/null 2> '" + File("said.txt") + "'"), 1) << c.arguments;
    EXPECT_NE(testsupport::ReadFile(File("said.txt")).find(c.said), std::string::npos)
        << c.arguments << ": " << testsupport::ReadFile(File("said.txt"));
  }
  EXPECT_EQ(testsupport::ReadFile(results + "/clusters.csv"), clusters);
  EXPECT_EQ(testsupport::ReadFile(picture), bytes);
  EXPECT_FALSE(std::filesystem::exists(results + "/shiftscan.cfg"));

  // A folder where a results file belongs.
  std::filesystem::create_directory(results + "/shiftscan_modifications.csv");
  EXPECT_EQ(Shell(program + " -o '" + File("page.html") + "' 2> '" + File("said.txt") + "'"), 1);
  EXPECT_NE(testsupport::ReadFile(File("said.txt")).find("shiftscan_modifications.csv: is a folder"), std::string::npos)
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
