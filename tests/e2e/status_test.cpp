// The status file at start-up: first start with the prompt, resuming from
// the last save, the question before a status file is discarded.
#include <gtest/gtest.h>

#include "e2e/fixtures.hpp"

namespace e2e {
namespace {

const std::string question = "Do you wish to clear VeskStatus.dat and begin a new range? [y/n] : ";
const std::string from = "Sieve from (in billions) : ";
const std::string to = "Sieve to (in billions) : ";
const std::string no_input = "No answer on standard input. Exiting.";
const std::string unfinished = "Found VeskStatus.dat with unfinished work. Continuing from last save point.";
const std::string completed = "Found VeskStatus.dat with completed work.";

TEST(E2eStatusFile, FirstStartPromptsInBillionsAndRecordsAbsoluteValues) {
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  BackgroundRun run = dir.start({"-p", "2"}, "2\n3\n");
  ASSERT_TRUE(run.wait_for_output("Testing 2000000000 <= p <= 3000000000, 1000 <= n <= 5000\n"));
  const RunResult result = run.kill_now();
  const std::vector<std::string> rest = after_banner(result);
  ASSERT_FALSE(rest.empty());
  EXPECT_EQ(rest[0], from + to + "Using CMOV optimizations");
  EXPECT_EQ(dir.read("VeskStatus.dat"), "pmax=3000000000\npmin=2000000000\n");
}

TEST(E2eStatusFile, EndOfInputAtThePromptEndsTheRun) {
  for (const std::string input : {"", "5\n", "5\n4\n"}) {
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    const RunResult result = dir.run({}, input, 20s);
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 1);
    const std::vector<std::string> rest = after_banner(result);
    ASSERT_EQ(rest.size(), 2u) << result.out;
    EXPECT_EQ(rest[0].rfind(from, 0), 0u);
    EXPECT_EQ(rest[1], no_input);
    EXPECT_FALSE(dir.exists("VeskStatus.dat"));
  }
}

// The prompt's range goes through the same checks before it is recorded: a
// refused one leaves no status file behind to stop the next start.
TEST(E2eStatusFile, PromptedRangeIsCheckedBeforeItIsRecorded) {
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  const RunResult result = dir.run({}, "0 1");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.lines().back(), "Sieve from (in billions) : Sieve to (in billions) : Sorry, pmin=0 has to be at "
                                   "least 10^9 (1G) for this program to work.");
  EXPECT_FALSE(dir.exists("VeskStatus.dat"));
}

// The last save records a prime whose factors are all on disk; the resumed
// run starts just below it, so that prime is tested again.
TEST(E2eStatusFile, ResumesFromTheLastSave) {
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  const std::string old = "pmax=1000000100\npmin=1000000000\npmin=1000000007 @ 1234 kp/s\n";
  dir.write("VeskStatus.dat", old);
  const RunResult result = dir.run({"-p", "2", "-i", "0"});
  EXPECT_EQ(result.exit_status, 0);
  const std::vector<std::string> rest = after_banner(result);
  ASSERT_GE(rest.size(), 6u);
  EXPECT_EQ(rest[0], unfinished);
  EXPECT_EQ(rest[4], "Testing 1000000006 <= p <= 1000000100, 1000 <= n <= 5000");
  EXPECT_EQ(rest[5], "p = 1000000007 @ ???kp/s");
  const std::vector<std::string> status = dir.read_lines("VeskStatus.dat");
  ASSERT_GE(status.size(), 5u);
  EXPECT_EQ(dir.read("VeskStatus.dat").substr(0, old.size()), old) << "the file is appended to";
  EXPECT_EQ(status[3], "pmin=1000000007 @ 0 kp/s");
  EXPECT_EQ(status.back(), "Done");
}

TEST(E2eStatusFile, OnlyAnExactDoneLineFinishesARange) {
  struct Case {
    std::string file;
    std::string testing;
  };
  const Case cases[] = {
      {"pmax=1000000100\npmin=1000000000\nDone.\n Done\ndone\n",
       "Testing 1000000000 <= p <= 1000000100, 1000 <= n <= 5000"},
      // A blank in the place of "=".
      {"pmax=1000000000100\npmin 1000000000000\n", "Testing 1000000000000 <= p <= 1000000000100, 1000 <= n <= 5000"},
  };
  for (const Case& c : cases) {
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    dir.write("VeskStatus.dat", c.file);
    const RunResult result = dir.run({"-p", "2"});
    EXPECT_EQ(result.exit_status, 0);
    const std::vector<std::string> rest = after_banner(result);
    ASSERT_GE(rest.size(), 5u);
    EXPECT_EQ(rest[0], unfinished);
    EXPECT_EQ(rest[4], c.testing);
    EXPECT_EQ(dir.read("VeskStatus.dat"), c.file + "Done\n");
  }
}

TEST(E2eStatusFile, StatusFileWithoutRangeStopsAtTheRangeCheck) {
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  dir.write("VeskStatus.dat", "");
  const RunResult result = dir.run({});
  EXPECT_EQ(result.exit_status, 1);
  const std::vector<std::string> rest = after_banner(result);
  ASSERT_FALSE(rest.empty());
  EXPECT_EQ(rest.front(), "Using CMOV optimizations");
  EXPECT_EQ(rest.back(), "pmax=0 <= pmin=0");
}

// A range on the command line meets an unfinished status file: the question
// is asked; only the first character of an answer counts.
TEST(E2eStatusFile, QuestionBeforeUnfinishedWorkIsDiscarded) {
  const std::string old = "pmax=1000000000100\npmin=1000000000000\npmin=1000000000039 @ 1234 kp/s\n";
  const std::string fresh = "pmax=1000000100\npmin=1000000000\n";
  struct Case {
    std::vector<std::string> switches;
    std::string input;
    int questions;
    int status;
    std::string after;  // the rest of the line after the last question
  };
  const Case cases[] = {
      {{}, "y\n", 1, 0, "Using CMOV optimizations"},
      {{}, "Y\n", 1, 0, "Using CMOV optimizations"},
      {{}, "yes\n", 1, 0, "Using CMOV optimizations"},
      {{}, "x\ny\n", 2, 0, "Using CMOV optimizations"},
      {{}, "n\n", 1, 1, "Exiting."},
      {{}, "N\n", 1, 1, "Exiting."},
      {{}, "", 1, 1, ""},
      {{"-f"}, "", 0, 0, "Using CMOV optimizations"},
  };
  for (const Case& c : cases) {
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    dir.write("VeskStatus.dat", old);
    std::vector<std::string> args = c.switches;
    for (const char* a : {"-p", "2", "1000000000", "1000000100"}) args.push_back(a);
    const RunResult result = dir.run(args, c.input, 20s);
    EXPECT_EQ(result.exit_status, c.status) << c.input;
    const std::vector<std::string> rest = after_banner(result);
    ASSERT_FALSE(rest.empty());
    std::string asked;
    for (int i = 0; i < c.questions; ++i) asked += question;
    EXPECT_EQ(rest[0], asked + c.after) << c.input;
    if (c.status == 0) {
      EXPECT_EQ(dir.read("VeskStatus.dat").substr(0, fresh.size()), fresh) << c.input;
    } else {
      EXPECT_EQ(dir.read("VeskStatus.dat"), old) << c.input;
    }
    if (c.input.empty() && c.questions == 1) {
      ASSERT_GE(rest.size(), 2u);
      EXPECT_EQ(rest[1], no_input);
    }
  }
}

// A finished range and no range on the command line: the question, or with
// -f none, and then the prompt for a new range.
TEST(E2eStatusFile, CompletedWorkAsksForANewRange) {
  const std::string old = "pmax=1000000100\npmin=1000000000\nDone\n";
  struct Case {
    std::vector<std::string> switches;
    std::string input;
    int status;
    std::vector<std::string> lines;
  };
  const std::string rejected = "Sorry, pmin=0 has to be at least 10^9 (1G) for this program to work.";
  const Case cases[] = {
      {{"-f"}, "0\n1\n", 1, {completed, from + to + rejected}},
      {{}, "y 0 1\n", 1, {completed, question + from + to + rejected}},
      {{}, "n\n", 1, {completed, question + "Exiting."}},
      {{}, "", 1, {completed, question, no_input}},
      {{"-f"}, "", 1, {completed, from, no_input}},
  };
  for (const Case& c : cases) {
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    dir.write("VeskStatus.dat", old);
    const RunResult result = dir.run(c.switches, c.input, 20s);
    EXPECT_EQ(result.exit_status, c.status) << c.input;
    const std::vector<std::string> rest = after_banner(result);
    ASSERT_GE(rest.size(), c.lines.size());
    EXPECT_EQ(std::vector<std::string>(rest.begin(), rest.begin() + c.lines.size()), c.lines) << c.input;
    EXPECT_EQ(rest.size(), c.lines.size()) << "nothing follows";
    // The prompted range 0 to 10^9 is refused before it is recorded.
    EXPECT_EQ(dir.read("VeskStatus.dat"), old);
  }
}

}  // namespace
}  // namespace e2e
