#pragma once
// A GoogleTest fixture with a scratch folder of its own per test, removed
// afterwards, so that tests never write into the source tree, the folder
// they were started from or each other's files.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/Files.h"

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // Parameterised tests have "/" in their names.
    std::string label = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : label) c = c == '/' ? '_' : c;
    scratch_ = std::make_unique<testsupport::CTempDir>(label);
    dir_ = scratch_->Path();
  }
  void TearDown() override { scratch_.reset(); }

  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  // Writes `content` byte for byte to a file of the folder; its path.
  std::string Write(const std::string& name, const std::string& content) const {
    return scratch_->Write(name, content);
  }

  std::unique_ptr<testsupport::CTempDir> scratch_;
  std::filesystem::path dir_;
};
