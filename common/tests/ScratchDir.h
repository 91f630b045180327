#pragma once
// A GoogleTest fixture with a scratch directory of its own per test, removed
// afterwards, so that tests never write into the source tree or each other's
// files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("tessera_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
            std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  // Writes `content` byte for byte to a file of the directory; its path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string p = File(name);
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }

  std::filesystem::path dir_;
};
