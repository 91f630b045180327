#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "common/ErrorMarker.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "tests/support/Files.h"
#include "tests/support/ScratchDir.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;

using SafeFiles = ScratchDirTest;

TEST_F(SafeFiles, ResultIsWholeRegularAndNeverWrittenThroughAPlantedLink) {
  const std::string outside = Write("outside.txt", "keep");
  const std::string result = File("result.txt");
  // The temporary names older runs used were predictable; a link there
  // must not be followed.
  fs::create_symlink(outside, result + ".part-" + std::to_string(::getpid()));
  std::string error;
  ASSERT_TRUE(safefile::WriteWholeFile(result, "new\n", &error)) << error;
  EXPECT_EQ(ReadFile(result), "new\n");
  EXPECT_EQ(ReadFile(outside), "keep");
  EXPECT_FALSE(fs::is_symlink(result));
  struct stat st {};
  ASSERT_EQ(::stat(result.c_str(), &st), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.insert(e.path().filename().string());
  const std::string planted = "result.txt.part-" + std::to_string(::getpid());
  EXPECT_EQ(names, (std::set<std::string>{"outside.txt", "result.txt", planted}));  // no temporary left
}

TEST_F(SafeFiles, DeviceOutputIsWrittenInPlaceNotReplaced) {
  const std::string out = File("to-null");
  fs::create_symlink("/dev/null", out);
  ASSERT_TRUE(safefile::WriteWholeFile(out, "text"));
  EXPECT_TRUE(fs::is_symlink(out));
  EXPECT_EQ(fs::read_symlink(out), "/dev/null");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  std::string error;
  EXPECT_FALSE(safefile::WriteWholeFile(dir_.string(), "text", &error));
  EXPECT_TRUE(fs::is_directory(dir_));
}

// "/dev/stdout", "/dev/fd/N", "/proc/self/fd/N" name an open descriptor,
// whatever it leads to (here a regular file, as the shell opens one for
// "> file"): the result goes through it after what was written there, and
// no temporary is made in a system folder to be renamed over the link.
TEST_F(SafeFiles, DescriptorLinksAreWrittenThroughTheDescriptor) {
  const std::string target = File("redirected.txt");
  std::FILE* open_file = std::fopen(target.c_str(), "w");
  ASSERT_NE(open_file, nullptr);
  std::fputs("earlier output\n", open_file);
  std::fflush(open_file);
  const std::string fd = std::to_string(::fileno(open_file));
  std::string expected = "earlier output\n";
  for (const std::string& link : {"/dev/fd/" + fd, "/proc/self/fd/" + fd, "/proc/" + std::to_string(::getpid()) + "/fd/" + fd}) {
    std::string error;
    EXPECT_TRUE(safefile::WriteWholeFile(link, "through " + link + "\n", &error)) << link << ": " << error;
    expected += "through " + link + "\n";
    EXPECT_EQ(ReadFile(target), expected);
  }
  std::fputs("later output\n", open_file);
  std::fclose(open_file);
  EXPECT_EQ(ReadFile(target), expected + "later output\n");
}

TEST_F(SafeFiles, FixedNamesNeverFollowLinks) {
  const std::string outside = Write("outside.txt", "keep");
  const std::string log = File("score.txt");
  fs::create_symlink(outside, log);
  EXPECT_EQ(safefile::OpenForAppend(log), nullptr);
  EXPECT_EQ(ReadFile(outside), "keep");

  const std::string marker = File("error_happened.error");
  fs::create_symlink(outside, marker);
  EXPECT_TRUE(safefile::TouchWithoutFollowing(marker));
  EXPECT_FALSE(fs::is_symlink(marker));
  EXPECT_TRUE(fs::is_regular_file(marker));
  EXPECT_EQ(ReadFile(outside), "keep");

  // The folder lock and file copies neither: a link at the lock's name
  // is replaced by the lock file, which then locks.
  fs::create_symlink(outside, File(".tessera.lock"));
  safefile::CFolderLock held;
  ASSERT_TRUE(held.Acquire(dir_.string(), safefile::CFolderLock::Mode::kNoWait));
  EXPECT_FALSE(fs::is_symlink(File(".tessera.lock")));
  safefile::CFolderLock second;
  EXPECT_FALSE(second.Acquire(dir_.string(), safefile::CFolderLock::Mode::kNoWait));
  const std::string copy = File("copy.txt");
  fs::create_symlink(outside, copy + ".part-" + std::to_string(::getpid()));
  ASSERT_TRUE(path::CopyFile(Write("source.txt", "copied"), copy));
  EXPECT_EQ(ReadFile(copy), "copied");
  EXPECT_EQ(ReadFile(outside), "keep");

  std::FILE* appended = safefile::OpenForAppend(File("fresh.txt"));
  ASSERT_NE(appended, nullptr);
  std::fputs("a\n", appended);
  std::fclose(appended);
  appended = safefile::OpenForAppend(File("fresh.txt"));
  std::fputs("b\n", appended);
  std::fclose(appended);
  EXPECT_EQ(ReadFile(File("fresh.txt")), "a\nb\n");
}

// Whether a result can be written is told before the work, and the telling
// leaves nothing behind.
TEST_F(SafeFiles, CanWriteIsToldBeforeTheWork) {
  const std::string old = Write("old.txt", "x");
  EXPECT_TRUE(safefile::CanWrite(File("new.txt")));
  EXPECT_TRUE(safefile::CanWrite(old));
  EXPECT_TRUE(safefile::CanWrite("/dev/null"));
  EXPECT_FALSE(safefile::CanWrite(File("missing/new.txt")));
  EXPECT_FALSE(safefile::CanWrite(dir_.string()));
  EXPECT_FALSE(safefile::CanWrite("/proc/new.txt"));
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.insert(e.path().filename().string());
  EXPECT_EQ(names, std::set<std::string>{"old.txt"});
  EXPECT_EQ(ReadFile(old), "x");
}
