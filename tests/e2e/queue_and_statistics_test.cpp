// The end of a range: statistics on the console and in stat.txt, the range
// queue nextrange.txt, and the data-file update of -u.
#include <map>

#include <algorithm>

#include <gtest/gtest.h>

#include "e2e/fixtures.hpp"

namespace e2e {
namespace {

const std::string found_next = "Found a new range in nextrange.txt. Starting work on that one.";
const std::string no_next = "No new range found in nextrange.txt. Exiting.";

struct StatisticsBlock {
  std::vector<std::string> lines;
  u64 value(std::size_t line) const { return std::stoull(lines[line].substr(14)); }
};

// The blocks of ten lines in stat.txt.
std::vector<StatisticsBlock> statistics_blocks(const WorkDir& dir) {
  const std::vector<std::string> lines = dir.read_lines("stat.txt");
  EXPECT_EQ(lines.size() % 10, 0u);
  std::vector<StatisticsBlock> blocks;
  for (std::size_t i = 0; i + 10 <= lines.size(); i += 10) {
    blocks.push_back({std::vector<std::string>(lines.begin() + i, lines.begin() + i + 10)});
  }
  return blocks;
}

void expect_block(const StatisticsBlock& block, u64 pmin, u64 pmax) {
  const std::vector<std::string>& l = block.lines;
  EXPECT_EQ(l[0], "");
  EXPECT_EQ(l[1], "Statistics:");
  EXPECT_EQ(l[2], "pmin        : " + std::to_string(pmin));
  EXPECT_EQ(l[3], "pmax        : " + std::to_string(pmax));
  EXPECT_EQ(l[4].substr(0, 14), "# Tested p  : ");
  EXPECT_EQ(l[5].substr(0, 14), "# Tested k  : ");
  EXPECT_EQ(l[6].substr(0, 14), "# Whacked k : ");
  EXPECT_EQ(l[7].substr(0, 14), "# Whacked p : ");
  EXPECT_TRUE(number_between(l[8], "Total time: ", " ms")) << l[8];
  EXPECT_TRUE(number_between(l[9], "", "kp/s.")) << l[9];
  // The counters start from 0 for every range: tested p is the number of
  // primes of this range alone.
  const u64 tested = primes_between(pmin, pmax).size();
  EXPECT_EQ(block.value(4), tested);
  EXPECT_EQ(block.value(5), 12 * tested);
  EXPECT_LE(block.value(6), 12 * tested);
  EXPECT_LE(block.value(7), tested);
}

// Three ranges in one run: the command line's, then two from the queue (one
// written pmax first, one after a pmin=0 that counts as missing). Lines
// before a pair are dropped, lines after it kept.
TEST(E2eQueue, WorksThroughTheQueueUntilNoPairIsLeft) {
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  dir.write("nextrange.txt",
            "# first\npmax=1000000300\npmin=1000000201\npmin=0\npmax=1000000500\npmin=1000000400\nkeep me\n");
  const RunResult result = dir.run({"-p", "2", "-i", "1000000", "1000000000", "1000000100"});
  EXPECT_EQ(result.exit_status, 0);
  const std::vector<std::string> lines = after_banner(result);
  std::vector<std::string> milestones;
  for (const std::string& line : lines) {
    if (line.starts_with("Testing") || line == found_next || line == no_next || line == "Done") {
      milestones.push_back(line);
    }
  }
  EXPECT_EQ(milestones, (std::vector<std::string>{
                            "Testing 1000000000 <= p <= 1000000100, 1000 <= n <= 5000", "Done", found_next,
                            "Testing 1000000200 <= p <= 1000000300, 1000 <= n <= 5000", "Done", found_next,
                            "Testing 1000000400 <= p <= 1000000500, 1000 <= n <= 5000", "Done", no_next}));
  EXPECT_EQ(dir.read("nextrange.txt"), "keep me\n");
  // The status file was replaced for each queued range, as given (pmin odd).
  EXPECT_EQ(dir.read("VeskStatus.dat"), "pmax=1000000500\npmin=1000000400\nDone\n");
  const std::vector<StatisticsBlock> blocks = statistics_blocks(dir);
  ASSERT_EQ(blocks.size(), 3u);
  expect_block(blocks[0], 1000000000, 1000000100);
  expect_block(blocks[1], 1000000200, 1000000300);
  expect_block(blocks[2], 1000000400, 1000000500);
}

// Queued ranges that fail the checks are reported and skipped; the run goes
// on with the good one behind them and ends normally.
TEST(E2eQueue, QueuedRangesThatFailTheirChecksAreSkipped) {
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  dir.write("nextrange.txt", "pmin=5\npmax=1000000100\npmin=1000000300\npmax=1000000200\n"
                             "pmin=1000000200\npmax=1000000300\n");
  const RunResult result = dir.run({"-p", "2", "1000000000", "1000000100"});
  EXPECT_EQ(result.exit_status, 0);
  const std::vector<std::string> lines = result.lines();
  const auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
  EXPECT_TRUE(has("Skipping the range 5 to 1000000100 of nextrange.txt: Sorry, pmin=5 has to be at least 10^9 (1G) "
                  "for this program to work."))
      << result.out;
  EXPECT_TRUE(has("Skipping the range 1000000300 to 1000000200 of nextrange.txt: pmax=1000000200 <= "
                  "pmin=1000000300"));
  EXPECT_TRUE(has("Testing 1000000200 <= p <= 1000000300, 1000 <= n <= 5000"));
  EXPECT_EQ(lines.back(), no_next);
  EXPECT_EQ(dir.read("nextrange.txt"), "");
  EXPECT_EQ(dir.read_lines("VeskStatus.dat").back(), "Done");
}

// An incomplete pair: nothing is taken and the file keeps its content.
TEST(E2eQueue, IncompletePairEndsTheRunAndKeepsTheFile) {
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  dir.write("nextrange.txt", "pmin=1000000200\nnote\n");
  const RunResult result = dir.run({"-p", "2", "1000000000", "1000000100"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.lines().back(), no_next);
  EXPECT_EQ(dir.read("nextrange.txt"), "pmin=1000000200\nnote\n");
}

// Verbosity 0 shows the range and the timing on the console; -v also the
// counters. stat.txt always gets all ten lines.
TEST(E2eStatistics, ConsoleAndFileAtBothVerbosityLevels) {
  for (const bool verbose : {false, true}) {
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    std::vector<std::string> args{"-p", "2", "1000000000", "1000000100"};
    if (verbose) args.insert(args.begin(), "-v");
    const RunResult result = dir.run(args);
    EXPECT_EQ(result.exit_status, 0);
    const std::vector<StatisticsBlock> blocks = statistics_blocks(dir);
    ASSERT_EQ(blocks.size(), 1u);
    expect_block(blocks[0], 1000000000, 1000000100);
    const std::vector<std::string> lines = result.lines();
    ASSERT_GE(lines.size(), 2u + (verbose ? 10 : 6));
    // The console's statistics end two lines before its end.
    const std::size_t shown = verbose ? 10 : 6;
    const std::vector<std::string> console(lines.end() - 2 - shown, lines.end() - 2);
    std::vector<std::string> expected = blocks[0].lines;
    if (!verbose) expected.erase(expected.begin() + 4, expected.begin() + 8);
    EXPECT_EQ(console, expected);
    EXPECT_EQ(lines[lines.size() - 2], "");
  }
}

// -u with another data file name: the message still says Vesk.dat, and the
// file written is the one given, without the pairs that were factored.
TEST(E2eUpdateDataFile, RewritesTheGivenFileWithoutFactoredPairs) {
  WorkDir dir;
  dir.write("other.dat", tiny_data);
  const RunResult result = dir.run({"-p", "2", "-u", "-s", "other.dat", "1000000000", "1000000100"});
  EXPECT_EQ(result.exit_status, 0);
  const std::vector<std::string> lines = result.lines();
  const auto done = std::find(lines.begin(), lines.end(), "Done");
  ASSERT_NE(done, lines.end());
  ASSERT_LT(done + 2, lines.end());
  EXPECT_EQ(*(done + 1), "Saving Vesk.dat...");
  EXPECT_EQ(*(done + 2), " Done.");
  EXPECT_FALSE(dir.exists("Vesk.dat"));
  std::string expected = "12\n1000\n5000\nk=1234\n1100\n+24\n+48\n";
  for (int i = 0; i < 11; ++i) expected += "k=0\n";
  EXPECT_EQ(dir.read("other.dat"), expected);
}

}  // namespace
}  // namespace e2e
