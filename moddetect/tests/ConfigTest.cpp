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

class ConfigTest : public shftest::ScratchDirTest {};

}  // namespace

TEST_F(ConfigTest, DefaultsStandWithoutFileContent) {
  const CDetectionConfig c = Parse("");
  EXPECT_EQ(c.DataPath(), "");
  EXPECT_EQ(c.FileType(), DETECTION_FILE_RAW);
  EXPECT_EQ(c.MassLower(), 400.0);
  EXPECT_EQ(c.MassUpper(), 6000.0);
  EXPECT_EQ(c.TimeLower(), 0.0);
  EXPECT_EQ(c.TimeUpper(), 100000.0);
  EXPECT_EQ(c.ModMassLower(), 1);
  EXPECT_EQ(c.ModMassUpper(), 100);
  EXPECT_FALSE(c.FindPair());
  EXPECT_EQ(c.PPThreshold(), 0.98);
  EXPECT_FALSE(c.PostSearch());
  EXPECT_EQ(c.TDScore(), 20.0);
  EXPECT_EQ(c.TDeltaC(), 0.4);
  EXPECT_EQ(c.MassTol(), 5.0);
  EXPECT_EQ(c.MassRes(), 0.01);
  EXPECT_EQ(c.MaxNData(), 5000);
  EXPECT_FALSE(c.DetectComb());
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
  EXPECT_EQ(c.ModMassLower(), -3);
  EXPECT_EQ(c.ModMassUpper(), 250);
  EXPECT_TRUE(c.FindPair());
  EXPECT_EQ(c.PPThreshold(), 0.9);
  EXPECT_EQ(c.DtaName(), "MyRun");
  EXPECT_EQ(c.PairPath(), "/Out/Pairs\\");
  EXPECT_TRUE(c.PostSearch());
  EXPECT_EQ(c.IdentSpectFile(), "/Res/Ident.TXT");
  EXPECT_EQ(c.TDScore(), 12.5);
  EXPECT_EQ(c.TDeltaC(), 0.3);
  EXPECT_EQ(c.MassTol(), 10.0);
  EXPECT_EQ(c.MassRes(), 0.005);
  EXPECT_EQ(c.MaxNData(), 800);
  EXPECT_TRUE(c.DetectComb());
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
  shftest::WriteFile("empty.cfg", "");
  EXPECT_TRUE(c.ReadConfigFile("empty.cfg"));
  // Garbage and one very long line never break the reader.
  std::string garbage(5000, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 131 + 7) % 256);
  shftest::WriteFile("garbage.cfg", garbage + "\n[data]\nfilepath=" + std::string(2000, 'p') + "\n");
  CDetectionConfig g;
  EXPECT_TRUE(g.ReadConfigFile("garbage.cfg"));
  EXPECT_EQ(g.DataPath(), std::string(2000, 'p'));
}

TEST(DetectionRunArgs, ArgumentsJoinWithOneBlank) {
  const char* argv[] = {"Shiftscan", "my", "run", "x.cfg"};
  EXPECT_EQ(CDetectionRun::JoinArguments(4, argv), "my run x.cfg");
  EXPECT_EQ(CDetectionRun::JoinArguments(1, argv), "");
}
