// The range checks, the progress saves on the console and in the status
// file, and the lines of a whole run.
#include <gtest/gtest.h>

#include "e2e/fixtures.hpp"

namespace e2e {
namespace {

const std::string too_small = " has to be at least 10^9 (1G) for this program to work.";

TEST(E2eRange, ChecksAndTheirMessages) {
  struct Case {
    std::vector<std::string> range;
    int status;
    std::vector<std::string> messages;  // a refused range: all it prints; else between "Initializing... Done." and "Testing"
    std::string testing;
  };
  const std::string clamp = "This program only supports p up to 1125899906842624";
  const Case cases[] = {
      {{"1000000000000", "1000000000000"}, 1, {"pmax=1000000000000 <= pmin=1000000000000"}, ""},
      {{"999999999", "1000000100"}, 1, {"Sorry, pmin=999999999" + too_small}, ""},
      {{"1000000001", "1000000100"}, 0, {}, "Testing 1000000000 <= p <= 1000000100, 1000 <= n <= 5000"},
      {{"1125899906842600", "1125899906842625"}, 0, {clamp},
       "Testing 1125899906842600 <= p <= 1125899906842624, 1000 <= n <= 5000"},
      {{"1125899906842600", "1125899906842624"}, 0, {},
       "Testing 1125899906842600 <= p <= 1125899906842624, 1000 <= n <= 5000"},
      {{"1125899906842630", "1125899906842640"}, 1,
       {clamp, "pmax=1125899906842624 <= pmin=1125899906842630"}, ""},
      // One number: pmax stays 0.
      {{"1000000000"}, 1, {"pmax=0 <= pmin=1000000000"}, ""},
  };
  // An unfinished range the status file holds; a refused range must not
  // replace it.
  const std::string unfinished = "pmax=1000000100\npmin=1000000000\npmin=1000000007 @ 1234 kp/s\n";
  for (const Case& c : cases) {
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    std::vector<std::string> args{"-p", "2"};
    if (c.status == 1) args.push_back("-f");
    args.insert(args.end(), c.range.begin(), c.range.end());
    if (c.status == 1) dir.write("VeskStatus.dat", unfinished);
    const RunResult result = dir.run(args);
    EXPECT_EQ(result.exit_status, c.status) << c.range[0];
    const std::vector<std::string> rest = after_banner(result);
    if (c.status == 1) {
      // Checked before anything is recorded or loaded.
      EXPECT_EQ(rest, c.messages) << "nothing else happens";
      EXPECT_EQ(dir.read("VeskStatus.dat"), unfinished);
      const RunResult again = dir.run({"-p", "2"});
      EXPECT_EQ(again.exit_status, 0) << "the unfinished range still runs";
      EXPECT_TRUE(again.out.find("Testing 1000000006 <= p <= 1000000100") != std::string::npos) << again.out;
    } else {
      ASSERT_GE(rest.size(), 3u + c.messages.size());
      EXPECT_EQ(rest[2], "Initializing... Done.");
      EXPECT_EQ(std::vector<std::string>(rest.begin() + 3, rest.begin() + 3 + c.messages.size()), c.messages);
      EXPECT_EQ(rest[3 + c.messages.size()], c.testing);
    }
  }
}

// With a save interval of 0 every prime of the range is saved: one console
// line and one status line each, with the rate still unknown ("???" and 0)
// since no segment of this run has been completed.
TEST(E2eRange, IntervalZeroSavesEveryPrimeFromAnOddPmin) {
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  // 1000000007 and 1000000409 are prime: both ends are tested.
  const std::vector<u64> primes = primes_between(1000000007, 1000000409);
  ASSERT_EQ(primes.front(), 1000000007u);
  ASSERT_EQ(primes.back(), 1000000409u);
  const RunResult result = dir.run({"-p", "2", "-i", "0", "1000000007", "1000000409"});
  EXPECT_EQ(result.exit_status, 0);
  std::vector<std::string> console;
  std::vector<std::string> status{"pmax=1000000409", "pmin=1000000007"};
  for (const u64 p : primes) {
    console.push_back("p = " + std::to_string(p) + " @ ???kp/s");
    status.push_back("pmin=" + std::to_string(p) + " @ 0 kp/s");
  }
  status.push_back("Done");
  const std::vector<std::string> rest = after_banner(result);
  ASSERT_GE(rest.size(), 4u + console.size());
  EXPECT_EQ(rest[3], "Testing 1000000006 <= p <= 1000000409, 1000 <= n <= 5000");
  EXPECT_EQ(std::vector<std::string>(rest.begin() + 4, rest.begin() + 4 + console.size()), console);
  EXPECT_EQ(rest[4 + console.size()], "Done");
  EXPECT_EQ(dir.read_lines("VeskStatus.dat"), status);
}

// The default interval saves at the first prime at least 10^7 above pmin;
// by then the first segment (8388608 numbers) is done and the rate known.
// The console of the whole run, line by line.
TEST(E2eRange, WholeConsoleWithTheDefaultInterval) {
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  const RunResult result = dir.run({"-p", "2", "-d", "1000000000", "1012000000"});
  EXPECT_EQ(result.exit_status, 0);
  u64 first_save = 1010000000;
  while (!is_prime(first_save)) ++first_save;
  const std::string p = std::to_string(first_save);

  const std::vector<std::string> rest = after_banner(result);
  ASSERT_EQ(rest.size(), 14u) << result.out;
  const std::vector<std::string> start(rest.begin(), rest.begin() + 4);
  EXPECT_EQ(start, (std::vector<std::string>{"Using CMOV optimizations", "Using SSE2 optimizations",
                                             "Initializing... Done.",
                                             "Testing 1000000000 <= p <= 1012000000, 1000 <= n <= 5000"}));
  const std::optional<u64> rate = number_between(rest[4], "p = " + p + " @ ", "kp/s");
  ASSERT_TRUE(rate) << rest[4];
  EXPECT_GT(*rate, 0u) << "the first segment is done: the rate is known";
  EXPECT_EQ(rest[5], "Done");
  EXPECT_EQ(rest[6], "");
  EXPECT_EQ(rest[7], "Statistics:");
  EXPECT_EQ(rest[8], "pmin        : 1000000000");
  EXPECT_EQ(rest[9], "pmax        : 1012000000");
  EXPECT_TRUE(number_between(rest[10], "Total time: ", " ms")) << rest[10];
  EXPECT_TRUE(number_between(rest[11], "", "kp/s.")) << rest[11];
  EXPECT_EQ(rest[12], "");
  EXPECT_EQ(rest[13], "No new range found in nextrange.txt. Exiting.");

  EXPECT_EQ(dir.read_lines("VeskStatus.dat"),
            (std::vector<std::string>{"pmax=1012000000", "pmin=1000000000",
                                      "pmin=" + p + " @ " + std::to_string(*rate) + " kp/s", "Done"}));
  EXPECT_FALSE(dir.exists("fact.txt"));
}

}  // namespace
}  // namespace e2e
