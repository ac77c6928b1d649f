#include "common/file_io.hpp"

#include <filesystem>

#include <gtest/gtest.h>

namespace {
namespace fs = std::filesystem;

class FileIo : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("quarrow_file_io_" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string path(const char* name) const { return (dir / name).string(); }
  fs::path dir;
};

TEST_F(FileIo, AppendCreatesAndExtends) {
  ASSERT_TRUE(common::append_text(path("a.txt"), "one\n"));
  ASSERT_TRUE(common::append_text(path("a.txt"), "two\n"));
  EXPECT_EQ(common::read_file(path("a.txt")), "one\ntwo\n");
}

TEST_F(FileIo, ReplaceSwapsContentAndLeavesNoTemporary) {
  ASSERT_TRUE(common::append_text(path("b.txt"), "old content\n"));
  ASSERT_TRUE(common::replace_file(path("b.txt"), "new\n"));
  EXPECT_EQ(common::read_file(path("b.txt")), "new\n");
  EXPECT_FALSE(fs::exists(path("b.txt.tmp")));
}

TEST_F(FileIo, FailuresAreReportedAndOldContentKept) {
  EXPECT_FALSE(common::append_text(path("missing/dir/x.txt"), "x\n"));
  EXPECT_FALSE(common::read_file(path("nothing.txt")).has_value());
  if (fs::exists("/dev/full")) {
    EXPECT_FALSE(common::append_text("/dev/full", "x\n"));
  }
  // A directory in the temporary file's place makes the replacement fail
  // before the rename: the old file must be untouched.
  ASSERT_TRUE(common::append_text(path("c.txt"), "keep me\n"));
  fs::create_directories(path("c.txt.tmp"));
  EXPECT_FALSE(common::replace_file(path("c.txt"), "lost\n"));
  EXPECT_EQ(common::read_file(path("c.txt")), "keep me\n");
}
}  // namespace
