#include <filesystem>
#include <sstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "app/statistics.hpp"
#include "app/status_file.hpp"
#include "scratch_dir.hpp"

namespace {
using app::u64;

TEST(StatusFile, ReadsLastValuesAndStopsAtDone) {
  struct Case {
    std::string text;
    app::StatusRead result;
    u64 pmin;
    u64 pmax;
  };
  const Case cases[] = {
      {"pmax=1000100000000\npmin=1000000000000\npmin=1000010000023 @ 1234 kp/s\n", app::StatusRead::unfinished,
       1000010000023, 1000100000000},
      {"pmax=20\npmin=10\npmin=15 @ 0 kp/s\nDone\n", app::StatusRead::done, 15, 20},
      // Lines after "Done" are never looked at.
      {"pmax=20\npmin=10\nDone\npmin=99\npmax=abc\n", app::StatusRead::done, 10, 20},
      // Not "Done" lines: a full stop, a leading blank, lower case.
      {"pmax=20\npmin=10\nDone.\n Done\ndone\nDon\n", app::StatusRead::unfinished, 10, 20},
      // A blank instead of "=", any character in its place, blanks before the number.
      {"pmin 1000000000000\npmaxx2000\n", app::StatusRead::unfinished, 1000000000000, 2000},
      {"pmin=  77\npmax=88 junk\n", app::StatusRead::unfinished, 77, 88},
      // Windows line ends read the same.
      {"pmax=20\r\npmin=10\r\nDone\r\n", app::StatusRead::done, 10, 20},
      // No line end after the last line.
      {"pmax=20\npmin=10\nDone", app::StatusRead::done, 10, 20},
      // Values not in the file keep what they held.
      {"", app::StatusRead::unfinished, 5, 6},
      {"hello\npma\npmi\n\n", app::StatusRead::unfinished, 5, 6},
      {"pmax=9\n", app::StatusRead::unfinished, 5, 9},
  };
  for (const Case& c : cases) {
    u64 pmin = 5;
    u64 pmax = 6;
    std::ostringstream out;
    EXPECT_EQ(app::read_status(c.text, pmin, pmax, out), c.result) << c.text;
    EXPECT_EQ(pmin, c.pmin) << c.text;
    EXPECT_EQ(pmax, c.pmax) << c.text;
    EXPECT_EQ(out.str(), "") << c.text;
  }
}

TEST(StatusFile, LineWithoutUsableNumberIsReported) {
  const std::string cases[] = {"pmin", "pmin=", "pmin=abc", "pmax=99999999999999999999", "pmaxx -3"};
  for (const std::string& bad : cases) {
    u64 pmin = 0;
    u64 pmax = 0;
    std::ostringstream out;
    EXPECT_EQ(app::read_status("pmax=20\n" + bad + "\nDone\n", pmin, pmax, out), app::StatusRead::bad_line);
    EXPECT_EQ(out.str(), "Error: line 2 of VeskStatus.dat ('" + bad +
                             "') holds no number that fits 64 bits. Please correct the file.\n");
  }
}

TEST(StatusFile, ProgressLines) {
  EXPECT_EQ(app::progress_status_line(1000000007, 1234), "pmin=1000000007 @ 1234 kp/s\n");
  EXPECT_EQ(app::progress_status_line(1000000007, 0), "pmin=1000000007 @ 0 kp/s\n");
}

using StatusDecision = ScratchDir;

// What the status-file logic does when the file is in the way but cannot be
// read: it stops instead of overwriting it or prompting.
TEST_F(StatusDecision, UnreadableStatusFileStopsTheRun) {
  std::filesystem::create_directory("VeskStatus.dat");
  app::RunSettings settings;
  std::istringstream in("1\n2\n");
  std::ostringstream out;
  EXPECT_FALSE(app::decide_range(settings, in, out));
  EXPECT_EQ(out.str(), "Error: VeskStatus.dat exists but cannot be read. Exiting.\n");
  EXPECT_TRUE(std::filesystem::is_directory("VeskStatus.dat"));
}

TEST_F(StatusDecision, BadLineStopsTheRunAndKeepsTheFile) {
  write("VeskStatus.dat", "pmax=2000000000000\npmin=\n");
  app::RunSettings settings;
  std::istringstream in;
  std::ostringstream out;
  EXPECT_FALSE(app::decide_range(settings, in, out));
  EXPECT_EQ(read("VeskStatus.dat"), "pmax=2000000000000\npmin=\n");
}

TEST_F(StatusDecision, NewRangeThatCannotBeRecordedIsNotStarted) {
  std::filesystem::create_directory("VeskStatus.dat.tmp");
  app::RunSettings settings;
  settings.range_given = true;
  settings.pmin = 1000000000000;
  settings.pmax = 1000100000000;
  std::istringstream in;
  std::ostringstream out;
  EXPECT_FALSE(app::decide_range(settings, in, out));
  EXPECT_EQ(out.str(), "Error: could not write VeskStatus.dat, so the range cannot be recorded. Exiting.\n");
}

TEST(Queue, FindsFirstCompletePair) {
  struct Case {
    std::string text;
    bool found;
    u64 pmin;
    u64 pmax;
    std::string rest;
  };
  const Case cases[] = {
      {"pmin=2000000000000\npmax=2001000000000\npmin=2001000000000\npmax=2002000000000\n", true, 2000000000000,
       2001000000000, "pmin=2001000000000\npmax=2002000000000\n"},
      {"pmin=2001000000000\npmax=2002000000000", true, 2001000000000, 2002000000000, ""},
      // Either order; other lines before the pair is complete are dropped,
      // lines after it are kept in order (with a line end each).
      {"# queue\npmax=20\n\npmin=10\nkeep 1\n\npmin=30\nkeep 2", true, 10, 20, "keep 1\n\npmin=30\nkeep 2\n"},
      // 0 counts as missing; a later pmin line overwrites an earlier one.
      {"pmin=0\npmax=20\npmin=10\n", true, 10, 20, ""},
      {"pmin=5\npmin=7\npmax=20\n", true, 7, 20, ""},
      {"pmin=5\npmin=0\npmax=20\n", false, 0, 0, ""},
      {"pmin=10\r\npmax=20\r\nrest\r\n", true, 10, 20, "rest\n"},
      {"pmin=10\n", false, 0, 0, ""},
      {"pmax=10\nother\n", false, 0, 0, ""},
      {"", false, 0, 0, ""},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    const std::optional<app::QueuedRange> next = app::find_next_range(c.text, out);
    ASSERT_EQ(next.has_value(), c.found) << c.text;
    EXPECT_EQ(out.str(), "") << c.text;
    if (!next) continue;
    EXPECT_EQ(next->pmin, c.pmin) << c.text;
    EXPECT_EQ(next->pmax, c.pmax) << c.text;
    EXPECT_EQ(next->rest, c.rest) << c.text;
  }
}

TEST(Queue, LineWithoutNumberCountsAsMissingWithAWarning) {
  std::ostringstream out;
  const std::optional<app::QueuedRange> next =
      app::find_next_range("pmin=abc\npmax=99999999999999999999\npmax=20\npmin=10\n", out);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->pmin, 10u);
  EXPECT_EQ(next->pmax, 20u);
  EXPECT_EQ(out.str(),
            "Warning: ignoring line 'pmin=abc' of nextrange.txt: no number that fits 64 bits.\n"
            "Warning: ignoring line 'pmax=99999999999999999999' of nextrange.txt: no number that fits 64 bits.\n");
}

using QueueFile = ScratchDir;

// Queued ranges start at 10^9, the lowest that passes the range checks.
constexpr u64 G = 1000000000;

TEST_F(QueueFile, TakesRangeAfterRecordingItAndKeepsTheRest) {
  write("nextrange.txt", "pmax=1000000020\npmin=1000000010\npmin=1000000030\npmax=1000000040\n");
  u64 pmin = 1;
  u64 pmax = 2;
  std::pair<u64, u64> recorded;
  std::ostringstream out;
  const auto record = [&](u64 low, u64 high) {
    // The range is recorded while the queue still holds it.
    EXPECT_NE(read("nextrange.txt").find("pmin=" + std::to_string(low) + "\n"), std::string::npos);
    recorded = {low, high};
    return true;
  };
  EXPECT_EQ(app::take_next_range("nextrange.txt", pmin, pmax, record, out), app::QueueResult::taken);
  EXPECT_EQ(recorded, std::make_pair(G + 10, G + 20));
  EXPECT_EQ(pmin, G + 10);
  EXPECT_EQ(pmax, G + 20);
  EXPECT_EQ(read("nextrange.txt"), "pmin=1000000030\npmax=1000000040\n");
  EXPECT_EQ(app::take_next_range("nextrange.txt", pmin, pmax, record, out), app::QueueResult::taken);
  EXPECT_EQ(recorded, std::make_pair(G + 30, G + 40));
  EXPECT_EQ(read("nextrange.txt"), "");
  EXPECT_EQ(app::take_next_range("nextrange.txt", pmin, pmax, record, out), app::QueueResult::empty);
  EXPECT_EQ(pmin, G + 30);
  EXPECT_EQ(pmax, G + 40);
  EXPECT_EQ(out.str(), "");
}

TEST_F(QueueFile, IncompleteQueueAndFailedRecordLeaveTheFileAlone) {
  const auto never = [](u64, u64) {
    ADD_FAILURE() << "nothing to record";
    return true;
  };
  u64 pmin = 1;
  u64 pmax = 2;
  std::ostringstream out;
  EXPECT_EQ(app::take_next_range("nextrange.txt", pmin, pmax, never, out), app::QueueResult::empty);
  EXPECT_FALSE(std::filesystem::exists("nextrange.txt"));

  write("nextrange.txt", "pmin=1000000010\nnote\n");
  EXPECT_EQ(app::take_next_range("nextrange.txt", pmin, pmax, never, out), app::QueueResult::empty);
  EXPECT_EQ(read("nextrange.txt"), "pmin=1000000010\nnote\n");

  write("nextrange.txt", "pmin=1000000010\npmax=1000000020\n");
  const auto refuse = [](u64, u64) { return false; };
  EXPECT_EQ(app::take_next_range("nextrange.txt", pmin, pmax, refuse, out), app::QueueResult::failed);
  EXPECT_EQ(read("nextrange.txt"), "pmin=1000000010\npmax=1000000020\n");
  EXPECT_EQ(pmin, 1u);
  EXPECT_EQ(pmax, 2u);
  EXPECT_EQ(out.str(), "");
}

TEST_F(QueueFile, UnreadableOrUnwritableQueueStopsTheRun) {
  const auto accept = [](u64, u64) { return true; };
  u64 pmin = 1;
  u64 pmax = 2;
  {
    std::filesystem::create_directory("nextrange.txt");
    std::ostringstream out;
    EXPECT_EQ(app::take_next_range("nextrange.txt", pmin, pmax, accept, out), app::QueueResult::failed);
    EXPECT_EQ(out.str(), "Error: nextrange.txt exists but cannot be read. Exiting.\n");
    std::filesystem::remove("nextrange.txt");
  }
  {
    write("nextrange.txt", "pmin=1000000010\npmax=1000000020\n");
    std::filesystem::create_directory("nextrange.txt.tmp");
    std::ostringstream out;
    EXPECT_EQ(app::take_next_range("nextrange.txt", pmin, pmax, accept, out), app::QueueResult::failed);
    EXPECT_EQ(out.str(), "Error: could not rewrite nextrange.txt, which still holds the range 1000000010 to 1000000020. Exiting.\n");
    EXPECT_EQ(read("nextrange.txt"), "pmin=1000000010\npmax=1000000020\n");
  }
}

// Ranges that can never run are reported and dropped, one line each, and
// the first good one behind them is taken; only what follows it stays.
TEST_F(QueueFile, RangesThatFailTheChecksAreSkipped) {
  write("nextrange.txt",
        "pmin=1000\npmax=2000\n"                 // below 10^9
        "pmin=2000000000\npmax=1500000000\n"     // pmax below pmin
        "pmin=3000000000\npmax=3000000000\n"     // empty
        "pmin=4000000000\npmax=4000000100\n"     // good
        "pmin=5\npmax=6\n");
  u64 pmin = 1;
  u64 pmax = 2;
  std::ostringstream out;
  const auto record = [](u64 low, u64 high) { return low == 4000000000 && high == 4000000100; };
  EXPECT_EQ(app::take_next_range("nextrange.txt", pmin, pmax, record, out), app::QueueResult::taken);
  EXPECT_EQ(pmin, 4000000000u);
  EXPECT_EQ(pmax, 4000000100u);
  EXPECT_EQ(read("nextrange.txt"), "pmin=5\npmax=6\n");
  EXPECT_EQ(out.str(),
            "Skipping the range 1000 to 2000 of nextrange.txt: Sorry, pmin=1000 has to be at least 10^9 (1G) for "
            "this program to work.\n"
            "Skipping the range 2000000000 to 1500000000 of nextrange.txt: pmax=1500000000 <= pmin=2000000000\n"
            "Skipping the range 3000000000 to 3000000000 of nextrange.txt: pmax=3000000000 <= pmin=3000000000\n");
  // Only bad ranges left: all dropped, and the queue is empty.
  std::ostringstream rest;
  EXPECT_EQ(app::take_next_range("nextrange.txt", pmin, pmax, record, rest), app::QueueResult::empty);
  EXPECT_EQ(read("nextrange.txt"), "");
}

}  // namespace
