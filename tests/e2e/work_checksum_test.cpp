// The two halves of a checkpoint, VeskStatus.dat and VeskChecksum.dat, are
// written one after the other, so a run can die between them. Whatever the
// pair on disk, a resumed run either continues the checksum exactly or, when
// the halves do not belong together, starts the range again: the result is
// always the checksum of a straight run, never a mix.
#include <gtest/gtest.h>

#include "e2e/fixtures.hpp"

namespace e2e {
namespace {

std::string join_lines(const std::vector<std::string>& lines, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += lines[i] + "\n";
  return text;
}

TEST(E2eWorkChecksum, ResumedFromEveryPairOfHalves) {
  // Normal priority and a long deadline: at the idle default a loaded
  // machine (or the sanitizer build) can starve the run past the usual one.
  const std::vector<std::string> range{"-p", "2", "-c", "-i", "500000", "1000000000", "1004000000"};
  WorkDir straight;
  straight.copy_example_data();
  const RunResult reference = straight.run(range, "", 300s);
  ASSERT_EQ(reference.exit_status, 0) << reference.out;
  const std::vector<std::string> result = straight.read_lines("checksum.txt");
  ASSERT_EQ(result.size(), 1u);
  // pmax=, pmin=, the saves, Done: the checksum file holds the last two saves.
  const std::vector<std::string> status = straight.read_lines("VeskStatus.dat");
  const std::string state = straight.read("VeskChecksum.dat");
  ASSERT_GE(status.size(), 6u);
  ASSERT_EQ(status.back(), "Done");
  const std::size_t saves = status.size() - 3;

  const std::string restart = "Starting the range again at pmin=1000000000.";
  struct Case {
    const char* what;
    std::size_t status_lines;  // the first lines of the straight run's status file
    bool with_state;
    bool restarts;
  };
  const Case cases[] = {
      {"after both halves of the last save", 2 + saves, true, false},
      {"between the halves: the status line not yet appended", 2 + saves - 1, true, false},
      {"an older save than the checksum file knows", 2 + saves - 2, true, true},
      {"the checksum file lost", 2 + saves, false, true},
      {"no save yet: nothing to continue", 2, false, false},
  };
  for (const Case& c : cases) {
    WorkDir dir;
    dir.copy_example_data();
    dir.write("VeskStatus.dat", join_lines(status, c.status_lines));
    if (c.with_state) dir.write("VeskChecksum.dat", state);
    const RunResult run = dir.run({"-p", "2", "-c"}, "", 300s);
    ASSERT_EQ(run.exit_status, 0) << c.what << "\n" << run.out;
    EXPECT_EQ(run.out.find(restart) != std::string::npos, c.restarts) << c.what << "\n" << run.out;
    EXPECT_EQ(dir.read_lines("checksum.txt"), result) << c.what;
    // A restart records the range anew, so the status file starts again.
    if (c.restarts) {
      EXPECT_EQ(dir.read_lines("VeskStatus.dat")[1], "pmin=1000000000") << c.what;
    }
  }
}

// A directory where the program must write a file makes that write fail.
TEST(E2eWorkChecksum, FilesThatCannotBeWritten) {
  const std::vector<std::string> range{"-p", "2", "-c", "-i", "500000", "1000000000", "1002000000"};
  {
    // No checksum half, so no status half either: every save is skipped,
    // and a restart would begin the range again, never mix.
    WorkDir dir;
    dir.copy_example_data();
    std::filesystem::create_directory(dir.path() / "VeskChecksum.dat.tmp");
    const RunResult run = dir.run(range, "", 300s);
    EXPECT_EQ(run.exit_status, 0) << run.out;
    EXPECT_NE(run.out.find("Warning: could not write VeskChecksum.dat; this progress save is skipped\n"),
              std::string::npos)
        << run.out;
    for (const std::string& line : dir.read_lines("VeskStatus.dat")) EXPECT_EQ(line.find(" @ "), std::string::npos);
    EXPECT_EQ(dir.read_lines("checksum.txt").size(), 1u);
  }
  {
    // The result cannot be written: the range is not marked done.
    WorkDir dir;
    dir.copy_example_data();
    std::filesystem::create_directory(dir.path() / "checksum.txt");
    const RunResult run = dir.run(range, "", 300s);
    EXPECT_EQ(run.exit_status, 1) << run.out;
    const std::vector<std::string> lines = after_banner(run);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Error: could not write checksum.txt. Exiting.");
    EXPECT_NE(dir.read_lines("VeskStatus.dat").back(), "Done");
  }
}

// Without -c nothing of this is written or read.
TEST(E2eWorkChecksum, OnlyOnRequest) {
  WorkDir dir;
  dir.copy_example_data();
  dir.write("VeskChecksum.dat", "not a checksum file\n");
  const RunResult run = dir.run({"-p", "2", "-i", "500000", "1000000000", "1001000000"}, "", 300s);
  ASSERT_EQ(run.exit_status, 0) << run.out;
  EXPECT_FALSE(dir.exists("checksum.txt"));
  EXPECT_EQ(dir.read("VeskChecksum.dat"), "not a checksum file\n");
}

}  // namespace
}  // namespace e2e
