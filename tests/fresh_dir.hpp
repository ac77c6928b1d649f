// A new, empty directory under the system's temporary directory, its name
// the given prefix and a random part: what mkdtemp does, for every platform
// the tests run on (Windows has no mkdtemp).
#pragma once
#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace test_support {

inline std::filesystem::path make_fresh_dir(const std::string& prefix) {
  std::random_device device;
  std::mt19937_64 random(device() ^ static_cast<unsigned long long>(
                                        std::chrono::steady_clock::now().time_since_epoch().count()));
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path dir = base / (prefix + std::to_string(random()));
    // create_directory is false (no error) when the name is already taken.
    if (std::filesystem::create_directory(dir)) return dir;
  }
  throw std::runtime_error("no fresh temporary directory for " + prefix);
}

}  // namespace test_support
