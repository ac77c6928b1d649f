// A fresh temporary working directory for tests of code that reads and
// writes fixed file names in the working directory.
#pragma once
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "common/file_io.hpp"
#include "tests/fresh_dir.hpp"

class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test_support::make_fresh_dir("quarrow_app_");
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  static void write(const std::string& name, const std::string& text) {
    ASSERT_TRUE(common::replace_file(name, text));
  }
  static std::string read(const std::string& name) { return common::read_file(name).value_or("<missing>"); }

 private:
  std::filesystem::path dir_;
  std::filesystem::path old_;
};
