#include <gtest/gtest.h>

#include "tests/support/ScratchDir.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "common/OptionTool.h"

namespace fs = std::filesystem;

namespace {

class OptionFile : public ScratchDirTest {
 protected:
  std::string Write(const std::string& content) const {
    return ScratchDirTest::Write("options.ini", content);
  }
};

}  // namespace

TEST_F(OptionFile, MissingFileRaisesAfterCopyingTheDefault) {
  const std::string missing = (dir_ / "absent.ini").string();
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  try {
    COptionTool::_GetPrivateProfileString("aa", "total", "dflt", buffer, sizeof buffer,
                                          missing.c_str());
    FAIL() << "no exception";
  } catch (const COptionToolException& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("COptionTool"), std::string::npos);
    EXPECT_NE(what.find("_GetPrivateProfileString"), std::string::npos);
    EXPECT_NE(what.find("cannot find the file."), std::string::npos);
    EXPECT_EQ(e.path(), missing);
  }
  EXPECT_STREQ(buffer, "dflt");
  EXPECT_THROW(COptionTool("aa", missing).GetString("total", ""), COptionToolException);
}

TEST_F(OptionFile, KeyMatchesOnlyAtItsLengthFollowedByEquals) {
  const std::string p = Write(
      "total=1\n"  // before the section: not looked at
      "[aa]\n"
      "totalx=5\n"
      "total =6\n"
      "total=7\n"
      "total=8\n");
  COptionTool options("aa", p);
  EXPECT_EQ(options.GetString("total", "none"), "7");
  EXPECT_EQ(options.GetInteger("total", -1), 7);
  EXPECT_EQ(options.GetString("totalx", "none"), "5");
  EXPECT_EQ(options.GetString("tota", "none"), "none");
  EXPECT_EQ(options.GetInteger("missing", -3), -3);
}

TEST_F(OptionFile, SearchRunsAcrossLaterSections) {
  const std::string p = Write(
      "[first]\n"
      "a=1\n"
      "[second]\n"
      "b=2\n"
      "a=3\n");
  EXPECT_EQ(COptionTool("first", p).GetString("b", ""), "2");
  // Keys above the section line are never seen.
  EXPECT_EQ(COptionTool("second", p).GetString("a", ""), "3");
  EXPECT_EQ(COptionTool("third", p).GetString("a", "d"), "d");
}

TEST_F(OptionFile, SectionLineIsComparedByItsBeginning) {
  const std::string p = Write(
      "[aab]\n"
      "k=wrong\n"
      "[aa] trailing words\n"
      "k=right\n");
  EXPECT_EQ(COptionTool("aa", p).GetString("k", ""), "right");
}

TEST_F(OptionFile, NamesIgnoreCaseValuesKeepIt) {
  const std::string p = Write("[FilePath]\nFile_Path=/Data/Run1/Spectra\n");
  EXPECT_EQ(COptionTool("filepath", p).GetString("FILE_PATH", ""), "/Data/Run1/Spectra");
}

TEST_F(OptionFile, CrlfReadsLikeLfAndLongLinesStayWhole) {
  const std::string long_value(100000, 'v');
  const std::string p = Write("[s]\r\nkey=value\r\r\nlong=" + long_value + "\r\n");
  COptionTool options("s", p);
  EXPECT_EQ(options.GetString("key", ""), "value");
  EXPECT_EQ(options.GetString("long", ""), long_value);

  char buffer[6];
  EXPECT_EQ(COptionTool::_GetPrivateProfileString("s", "long", "", buffer, sizeof buffer,
                                                  p.c_str()),
            5u);
  EXPECT_STREQ(buffer, "vvvvv");
}

TEST_F(OptionFile, EmptyValueIsFoundAndGarbageGivesDefaults) {
  EXPECT_EQ(COptionTool("s", Write("[s]\nkey=\n")).GetString("key", "d"), "");

  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<char>((i * 131) % 256));
  const std::string p = Write(garbage);
  EXPECT_EQ(COptionTool("s", p).GetString("key", "d"), "d");
  EXPECT_EQ(COptionTool("s", Write("")).GetInteger("total", 0), 0);
}
