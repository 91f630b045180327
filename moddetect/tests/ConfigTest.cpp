#include <gtest/gtest.h>

#include <sstream>

#include "moddetect/DetectionConfig.h"
#include "moddetect/DetectionRun.h"
#include "TestSupport.h"

namespace {

CDetectionConfig Parse(const std::string& text) {
  CDetectionConfig c;
  std::istringstream in(text);
  c.ReadConfig(in);
  return c;
}

class ConfigTest : public shftest::WorkingDirTest {};

}  // namespace

TEST_F(ConfigTest, DefaultsStandWithoutFileContent) {
  const CDetectionConfig c = Parse("");
  EXPECT_EQ(c.DataPath(), "");
  EXPECT_EQ(c.FileType(), DETECTION_FILE_RAW);
  EXPECT_EQ(c.MassLower(), 400.0);
  EXPECT_EQ(c.MassUpper(), 6000.0);
  EXPECT_EQ(c.TimeLower(), 0.0);
  EXPECT_EQ(c.TimeUpper(), 100000.0);
  EXPECT_EQ(c.FirstShift(), 1);
  EXPECT_EQ(c.LastShift(), 100);
  EXPECT_FALSE(c.WritePairFiles());
  EXPECT_EQ(c.PairProbabilityThreshold(), 0.98);
  EXPECT_FALSE(c.IdentifiedOnly());
  EXPECT_EQ(c.MinDScore(), 20.0);
  EXPECT_EQ(c.MinBinExcess(), 0.4);
  EXPECT_EQ(c.RedundancyTolerancePpm(), 5.0);
  EXPECT_EQ(c.MassBinWidth(), 0.01);
  EXPECT_EQ(c.MaxPrecursors(), 5000);
  EXPECT_FALSE(c.DetectCombinations());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ConfigTest, DesktopStyleFileWithCapitalsCommentsAndCrlf) {
  const CDetectionConfig c = Parse(
      "[DATA]\r\n"
      "filepath=/Data/Runs/My File.RAW\r\n"
      "filetype=RAW\r\n"
      "masslower=500 % lower bound\r\n"
      "massupper=5000\r\n"
      "timelower=1.5\r\n"
      "timeupper=90\r\n"
      "[MODIFICATION]\r\n"
      "modmasslower=-3\r\n"
      "modmassupper=250\r\n"
      "[PAIR]\r\n"
      "findpair=1\r\n"
      "ppthres=0.9\r\n"
      "dtaname=MyRun\r\n"
      "pairpath=/Out/Pairs\\\r\n"
      "[MODE]\r\n"
      "postsearch=2\r\n"
      "identspectfile=/Res/Ident.TXT\r\n"
      "[OTHER]\r\n"
      "T_d_score=12.5\r\n"
      "T_delta_c=0.3\r\n"
      "masstol=10\r\n"
      "massres=0.005\r\n"
      "maxndata=800\r\n"
      "detectcomb=1\r\n");
  EXPECT_EQ(c.DataPath(), "/Data/Runs/My File.RAW");
  EXPECT_EQ(c.FileType(), DETECTION_FILE_RAW);
  EXPECT_EQ(c.MassLower(), 500.0);
  EXPECT_EQ(c.MassUpper(), 5000.0);
  EXPECT_EQ(c.TimeLower(), 1.5);
  EXPECT_EQ(c.TimeUpper(), 90.0);
  EXPECT_EQ(c.FirstShift(), -3);
  EXPECT_EQ(c.LastShift(), 250);
  EXPECT_TRUE(c.WritePairFiles());
  EXPECT_EQ(c.PairProbabilityThreshold(), 0.9);
  EXPECT_EQ(c.TitlePrefix(), "MyRun");
  EXPECT_EQ(c.PairFolder(), "/Out/Pairs\\");
  EXPECT_TRUE(c.IdentifiedOnly());
  EXPECT_EQ(c.IdentificationFile(), "/Res/Ident.TXT");
  EXPECT_EQ(c.MinDScore(), 12.5);
  EXPECT_EQ(c.MinBinExcess(), 0.3);
  EXPECT_EQ(c.RedundancyTolerancePpm(), 10.0);
  EXPECT_EQ(c.MassBinWidth(), 0.005);
  EXPECT_EQ(c.MaxPrecursors(), 800);
  EXPECT_TRUE(c.DetectCombinations());
}

TEST_F(ConfigTest, FileTypeWordsAndUnknownLines) {
  EXPECT_EQ(Parse("[data]\nfiletype=Dta\n").FileType(), DETECTION_FILE_DTA);
  EXPECT_EQ(Parse("[data]\nfiletype=MS2\n").FileType(), DETECTION_FILE_MS2);
  EXPECT_EQ(Parse("[data]\nfiletype=dump\n").FileType(), DETECTION_FILE_DUMP);
  EXPECT_EQ(Parse("[data]\nfiletype=\n").FileType(), DETECTION_FILE_DUMP);

  // Above the first header a key is unknown and leaves the default alone.
  messages_.clear();
  const CDetectionConfig c = Parse("massupper=7000\n\n% comment\n[data]\nmassupper=6500x\nbogus=1\nnovalue\n");
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(HasMessage("Error: unknown parameter name!"));
  EXPECT_EQ(c.MassUpper(), 6500.0);

  // A key in the wrong section is ignored; text that is not a number is 0.
  const CDetectionConfig d = Parse("[other]\nmasslower=10\n[data]\nmasslower=abc\n");
  EXPECT_EQ(d.MassLower(), 0.0);
  // A value that holds another key's text does not set that key.
  const CDetectionConfig e = Parse("[data]\nfilepath=/x/masslower=9\n");
  EXPECT_EQ(e.DataPath(), "/x/masslower=9");
  EXPECT_EQ(e.MassLower(), 400.0);
}

TEST_F(ConfigTest, FileReadingAnswersWhetherTheFileOpened) {
  CDetectionConfig c;
  EXPECT_FALSE(c.ReadConfigFile("missing.cfg"));
  EXPECT_FALSE(c.ReadConfigFile(""));
  EXPECT_FALSE(c.ReadConfigFile("."));
  testsupport::WriteFile("empty.cfg", "");
  EXPECT_TRUE(c.ReadConfigFile("empty.cfg"));
  // Garbage and one very long line never break the reader.
  std::string garbage(5000, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 131 + 7) % 256);
  testsupport::WriteFile("garbage.cfg", garbage + "\n[data]\nfilepath=" + std::string(2000, 'p') + "\n");
  CDetectionConfig g;
  EXPECT_TRUE(g.ReadConfigFile("garbage.cfg"));
  EXPECT_EQ(g.DataPath(), std::string(2000, 'p'));
}

// Text values come back as they were written, whatever they hold: "%" glued
// to a name, "#", blanks before a "%", blanks at the ends, quotes, a
// section header or a "=".
TEST(ConfigRoundTrip, EveryTextKeyKeepsItsValue) {
  struct TextKey {
    const char* key;
    void (*set)(CDetectionConfig&, const std::string&);
    const std::string& (CDetectionConfig::*get)() const;
  };
  const TextKey keys[] = {
      {"filepath=", [](CDetectionConfig& c, const std::string& v) { c.SetDataPath(v); },
       &CDetectionConfig::DataPath},
      {"dtaname=", [](CDetectionConfig& c, const std::string& v) { c.SetTitlePrefix(v); },
       &CDetectionConfig::TitlePrefix},
      {"pairpath=", [](CDetectionConfig& c, const std::string& v) { c.SetPairOutput(true, 0.9, v); },
       &CDetectionConfig::PairFolder},
      {"identspectfile=", [](CDetectionConfig& c, const std::string& v) { c.SetIdentifiedOnly(true, v); },
       &CDetectionConfig::IdentificationFile}};
  // Values that read back unquoted are written as they stand, as files
  // written before always held them.
  const std::pair<std::string, bool> values[] = {
      {"run%1.mzML", true},        {"/data/#3/pairs#", true},     {"/data/50%", true},
      {"%start", true},            {"", true},                    {"/x/[data]/y=z", true},
      {"a\"b", true},              {"/data/50 %/run.raw", false}, {" lead and trail\t", false},
      {"\"quoted\"", false},       {"\"", true}};
  for (const TextKey& key : keys) {
    for (const auto& [value, plain] : values) {
      CDetectionConfig written;
      key.set(written, value);
      std::ostringstream out;
      written.WriteConfig(out);
      EXPECT_EQ(out.str().find(std::string("\n") + key.key + value + "\n") != std::string::npos, plain)
          << key.key << value;
      const CDetectionConfig back = Parse(out.str());
      EXPECT_EQ((back.*key.get)(), value) << key.key << value << "\n" << out.str();
      EXPECT_EQ(back.MassUpper(), 6000.0);
    }
  }
}

TEST(ConfigRoundTrip, CommentsNeedABlankAndNumbersStayPlain) {
  const CDetectionConfig c = Parse(
      "% note\n[data]  % the data\nfilepath=/x/run.raw\t% where\nmasslower=500%\n"
      "[pair]\npairpath=\"/p %1\" % quoted, then a note\ndtaname=run%1 % prefix\n");
  EXPECT_EQ(c.DataPath(), "/x/run.raw");
  EXPECT_EQ(c.MassLower(), 500.0);
  EXPECT_EQ(c.PairFolder(), "/p %1");
  EXPECT_EQ(c.TitlePrefix(), "run%1");

  // Numbers in their shortest exact form, without an exponent where a
  // plain decimal is exact.
  CDetectionConfig numbers;
  numbers.SetMassWindow(0.00001, 1000000);
  numbers.SetTimeWindow(-2.5, 1e300);
  std::ostringstream out;
  numbers.WriteConfig(out);
  EXPECT_NE(out.str().find("\nmasslower=0.00001\nmassupper=1000000\ntimelower=-2.5\ntimeupper=1e+300\n"),
            std::string::npos)
      << out.str();
  const CDetectionConfig back = Parse(out.str());
  EXPECT_EQ(back.MassLower(), 0.00001);
  EXPECT_EQ(back.TimeUpper(), 1e300);
}

TEST(DetectionRunArgs, ArgumentsJoinWithOneBlank) {
  const char* argv[] = {"Shiftscan", "my", "run", "x.cfg"};
  EXPECT_EQ(CDetectionRun::JoinArguments(4, argv), "my run x.cfg");
  EXPECT_EQ(CDetectionRun::JoinArguments(1, argv), "");
}
