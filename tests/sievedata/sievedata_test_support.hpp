// Shared helpers of the sievedata tests: a scratch working directory (the
// factor files always go to the working directory) and small file helpers.
#pragma once
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fresh_dir.hpp"

namespace sievedata_test {
namespace fs = std::filesystem;

// Makes a fresh empty directory the working directory for the lifetime of
// the object, then goes back and removes it.
class ScratchDir {
 public:
  ScratchDir() : previous_(fs::current_path()) {
    dir_ = test_support::make_fresh_dir("quarrow_sievedata_");
    fs::current_path(dir_);
  }
  ~ScratchDir() {
    fs::current_path(previous_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return dir_; }

 private:
  fs::path previous_;
  fs::path dir_;
};

inline void write_text(const std::string& name, const std::string& text) {
  std::ofstream file(name, std::ios::binary);
  file << text;
}

// The content of a file, or "<absent>" when there is none.
inline std::string file_text(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  if (!file) return "<absent>";
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace sievedata_test
