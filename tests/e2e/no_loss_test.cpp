// The promises a volunteer relies on when a run ends in the wrong place:
// files whose last line lacks its line end, a kill before the data file is
// rewritten, a kill between a finished range and the next queued one, a
// second copy started in the same directory, a damaged data file, and a
// file-size limit that would otherwise kill the program in mid-line.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "e2e/fixtures.hpp"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// Factors of the example data file near 10^9 (checked against the oracle).
const std::string first_factor = "1000527581 | 5359*2^70662+1";
const std::string no_next = "No new range found in nextrange.txt. Exiting.";

std::string example_text() {
  std::ifstream in(example_data_file(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool has_line(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// An old last line without its line end is ended before anything new is
// appended, in a factor file and in the status file; the finished range then
// reads as finished.
TEST(E2eNoLoss, AppendsStartOnANewLine) {
  const std::optional<FactorLine> first = parse_factor_line(first_factor);
  ASSERT_TRUE(first && divides(first->p, first->k, first->n));
  WorkDir dir;
  dir.copy_example_data();
  dir.write("fact.txt", "999 | 5*2^3+1");
  const std::string status = "pmax=1001000000\npmin=1000000000\npmin=1000000007 @ 0 kp/s";
  dir.write("VeskStatus.dat", status);
  const RunResult result = dir.run({"-p", "2"});
  EXPECT_EQ(result.exit_status, 0) << result.out;
  EXPECT_EQ(dir.read_lines("fact.txt"), (std::vector<std::string>{"999 | 5*2^3+1", first_factor}));
  const std::vector<std::string> lines = dir.read_lines("VeskStatus.dat");
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(dir.read("VeskStatus.dat").substr(0, status.size() + 1), status + "\n");
  for (std::size_t i = 3; i + 1 < lines.size(); ++i) {
    EXPECT_TRUE(number_between(lines[i], "pmin=", " @ 0 kp/s") || lines[i].ends_with(" kp/s")) << lines[i];
  }
  EXPECT_EQ(lines.back(), "Done");
  const RunResult again = dir.run({"-p", "2"});
  EXPECT_TRUE(has_line(after_banner(again), "Found VeskStatus.dat with completed work.")) << again.out;
}

// A -u run killed after some factors were written but after its last save:
// the resumed run starts past them, yet the rewritten data file leaves out
// every pair fact.txt holds a true factor for. Lines that are not true
// factors (a false claim, a half line) take nothing out.
TEST(E2eNoLoss, UpdateLeavesOutFactorsRecordedBeforeAKill) {
  const std::vector<std::string> range{"-p", "2", "-u", "1000000000", "1010000000"};
  WorkDir straight;
  straight.copy_example_data();
  ASSERT_EQ(straight.run(range).exit_status, 0);
  const std::vector<std::string> factors = straight.read_lines("fact.txt");
  ASSERT_GE(factors.size(), 10u);

  const u64 last_save = 1005000011;
  std::string recorded;
  for (const std::string& line : factors) {
    if (parse_factor_line(line)->p < last_save) recorded += line + "\n";
  }
  ASSERT_FALSE(divides(1000000007, 4847, 1527));
  ASSERT_NE(example_text().find("k=4847\n1527\n"), std::string::npos) << "the false claim names a listed pair";
  recorded += "1000000007 | 4847*2^1527+1\n10052\n";

  WorkDir killed;
  killed.copy_example_data();
  killed.write("fact.txt", recorded);
  killed.write("VeskStatus.dat",
               "pmax=1010000000\npmin=1000000000\npmin=" + std::to_string(last_save) + " @ 1234 kp/s\n");
  const RunResult result = killed.run({"-p", "2", "-u"});
  EXPECT_EQ(result.exit_status, 0) << result.out;
  EXPECT_TRUE(killed.read("Vesk.dat") == straight.read("Vesk.dat")) << "the rewritten data files differ";
}

// A kill after "Done" but before the next queued range was recorded: a
// plain restart, with nobody to answer, goes on with the queue.
TEST(E2eNoLoss, QueueGoesOnAfterAKillBetweenRanges) {
  WorkDir dir;
  dir.copy_example_data();
  dir.write("VeskStatus.dat", "pmax=1000100000\npmin=1000000000\npmin=1000010007 @ 0 kp/s\nDone\n");
  dir.write("nextrange.txt", "pmin=1000100000\npmax=1000200000\npmin=1000200000\npmax=1000600000\n");
  const RunResult result = dir.run({"-p", "2"});
  EXPECT_EQ(result.exit_status, 0) << result.out;
  const std::vector<std::string> lines = after_banner(result);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Found VeskStatus.dat with completed work.");
  EXPECT_EQ(lines[1], "Found a new range in nextrange.txt. Starting work on that one.");
  EXPECT_TRUE(has_line(lines, "Testing 1000100000 <= p <= 1000200000, 1000 <= n <= 1000000"));
  EXPECT_TRUE(has_line(lines, "Testing 1000200000 <= p <= 1000600000, 1000 <= n <= 1000000"));
  EXPECT_EQ(lines.back(), no_next);
  EXPECT_EQ(dir.read_lines("fact.txt"), std::vector<std::string>{first_factor});
  EXPECT_EQ(dir.read("nextrange.txt"), "");
}

// A second start while a run holds the directory is refused in one line and
// touches nothing; once the holder is killed (-9), the next start runs.
TEST(E2eNoLoss, OneRunPerDirectory) {
  WorkDir dir;
  dir.copy_example_data();
  BackgroundRun first = dir.start({"-p", "2", "1000000000", "2000000000"});
  ASSERT_TRUE(first.wait_for_output("Testing ")) << "the first run did not start";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-p", "2", "-f", "1000000000", "1000001000"}, std::vector<std::string>{"-p", "2", "-u"}}) {
    const RunResult second = dir.run(args);
    EXPECT_EQ(second.exit_status, 1);
    EXPECT_EQ(after_banner(second),
              std::vector<std::string>{"Error: another quarrow is running in this directory (it holds quarrow.lock). "
                                       "Exiting."});
  }
  const std::vector<std::string> status = dir.read_lines("VeskStatus.dat");
  ASSERT_GE(status.size(), 2u);
  EXPECT_EQ(status[0], "pmax=2000000000") << "the second start must not record its range";
  EXPECT_TRUE(dir.read("Vesk.dat") == example_text());
  EXPECT_TRUE(first.kill_now().killed);

  BackgroundRun next = dir.start({"-p", "2"});
  EXPECT_TRUE(next.wait_for_output("Found VeskStatus.dat with unfinished work. Continuing from last save point."))
      << "a killed run must leave no lock behind";
  EXPECT_TRUE(next.wait_for_output("Testing "));
  next.kill_now();
}

// A damaged data file stops the load with the line at fault instead of
// shifting every later n of a k; a header with n_min above n_max is refused;
// n listed outside the header's range are named.
TEST(E2eNoLoss, DamagedDataFilesAreRefused) {
  const std::string text = example_text();
  const std::size_t k_line = text.find("k=4847\n");
  const std::size_t plus = text.find("\n+720\n", k_line);
  ASSERT_NE(plus, std::string::npos);
  const auto line_of = [&](std::size_t at) { return 1 + std::count(text.begin(), text.begin() + at, '\n'); };
  const std::string line = std::to_string(line_of(plus + 1));
  struct Case {
    std::string text;
    int status;
    std::string expected;
  };
  const auto replaced = [&](std::string by) { return text.substr(0, plus + 1) + by + text.substr(plus + 5); };
  const std::string pre = "Initializing... Error: malformed data file 'Vesk.dat', line ";
  const std::string expected_token = ": expected 'k=' or '+' and a difference, found '";
  const std::size_t header_end = text.find("\n", text.find("\n") + 1);
  const std::string low_max = text.substr(0, text.find("\n") + 1) + "1000\n900000" +
                              text.substr(text.find("\n", header_end + 1));
  const Case cases[] = {
      {replaced("abc"), 1, pre + line + expected_token + "abc'"},
      {replaced("-720"), 1, pre + line + expected_token + "-720'"},
      {replaced("720"), 1, pre + line + expected_token + "720'"},
      {"12\n2000000\n1000\n" + text.substr(text.find("k=")), 1,
       "Initializing... Error: malformed data file 'Vesk.dat', n_min 2000000 is above n_max 1000 (the header's "
       "second and third numbers)"},
      {low_max, 0, "lie outside the data file's n range 1000 to 900000."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    WorkDir dir;
    dir.write("Vesk.dat", c.text);
    const RunResult result = dir.run({"-p", "2", "1000000000", "1000001000"});
    EXPECT_EQ(result.exit_status, c.status);
    const std::vector<std::string> lines = after_banner(result);
    if (c.status == 1) {
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back(), c.expected) << result.out;
      EXPECT_FALSE(dir.exists("fact.txt"));
    } else {
      const auto warning = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.starts_with("Initializing... Warning: ") && l.find(" n of k=4847 " + c.expected) != std::string::npos;
      });
      EXPECT_NE(warning, lines.end()) << result.out;
    }
  }
}

// Under a file-size limit the program is not killed in mid-line (which left
// a half line that the next factor continued): the write fails like one on
// a full disk, the run stops, the file keeps what it held, and a restart
// after the limit is lifted writes the factor on a line of its own.
TEST(E2eNoLoss, FileSizeLimitIsAFailedWrite) {
  WorkDir dir;
  dir.copy_example_data();
  std::string old;
  while (old.size() < 64 * 1024) old += "1000000000039 | 4847*2^1527+1\n";
  dir.write("fact.txt", old);
  const RunResult limited =
      dir.start({"-p", "2", "1000000000", "1001000000"}, "", old.size() + first_factor.size() / 2).wait();
  EXPECT_FALSE(limited.killed) << "killed by the file-size signal";
  EXPECT_EQ(limited.exit_status, 1);
  EXPECT_TRUE(dir.read("fact.txt") == old) << "fact.txt changed";
  const RunResult again = dir.run({"-p", "2"});
  EXPECT_EQ(again.exit_status, 0) << again.out;
  EXPECT_TRUE(dir.read("fact.txt") == old + first_factor + "\n");
}

}  // namespace
}  // namespace e2e
