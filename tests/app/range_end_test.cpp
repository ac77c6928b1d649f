// The range checks, the progress lines, and the statistics of a range.
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "app/range_check.hpp"
#include "app/range_driver.hpp"
#include "app/statistics.hpp"
#include "scratch_dir.hpp"

namespace {
using app::u64;

TEST(RangeCheck, LimitsAndMessages) {
  struct Case {
    u64 pmin, pmax;
    bool ok;
    u64 checked_pmin, checked_pmax;
    std::string output;
  };
  const std::string clamp = "This program only supports p up to 1125899906842624\n";
  const std::string too_small = " has to be at least 10^9 (1G) for this program to work.\n";
  const Case cases[] = {
      {1000000000, 1000000100, true, 1000000000, 1000000100, ""},
      {1000000001, 1000000100, true, 1000000000, 1000000100, ""},
      {1000000000000, 1125899906842624, true, 1000000000000, 1125899906842624, ""},
      {1000000000000, 1125899906842625, true, 1000000000000, 1125899906842624, clamp},
      {999999999, 1000000100, false, 0, 0, "Sorry, pmin=999999999" + too_small},
      {1000000000000, 1000000000000, false, 0, 0, "pmax=1000000000000 <= pmin=1000000000000\n"},
      {5000, 10, false, 0, 0, "pmax=10 <= pmin=5000\n"},
      {0, 0, false, 0, 0, "pmax=0 <= pmin=0\n"},
      // Order before the lower limit; clamp before the order.
      {5000, 4000, false, 0, 0, "pmax=4000 <= pmin=5000\n"},
      {1125899906842630, 1125899906842640, false, 0, 0, clamp + "pmax=1125899906842624 <= pmin=1125899906842630\n"},
      {1, 1125899906842625, false, 0, 0, clamp + "Sorry, pmin=1" + too_small},
  };
  for (const Case& c : cases) {
    u64 pmin = c.pmin;
    u64 pmax = c.pmax;
    std::ostringstream out;
    EXPECT_EQ(app::check_range(pmin, pmax, out), c.ok) << c.pmin << " " << c.pmax;
    EXPECT_EQ(out.str(), c.output);
    if (c.ok) {
      EXPECT_EQ(pmin, c.checked_pmin);
      EXPECT_EQ(pmax, c.checked_pmax);
    }
  }
}

TEST(RangeCheck, ProgressConsoleLine) {
  EXPECT_EQ(app::progress_console_line(1000000007, 1234), "p = 1000000007 @ 1234kp/s");
  EXPECT_EQ(app::progress_console_line(1000000007, 0), "p = 1000000007 @ ???kp/s");
}

app::RangeSummary summary(u64 pmin, u64 p_end, common::i32 seconds, common::i16 milliseconds) {
  app::RangeSummary s;
  s.pmin = pmin;
  s.pmax = p_end - 3;
  s.p_end = p_end;
  s.counters = {1000, 9876, 55};
  s.range_stopwatch.seconds = seconds;
  s.range_stopwatch.milliseconds = milliseconds;
  return s;
}

TEST(Statistics, BlocksAndRate) {
  const app::StatisticsText text = app::format_statistics(summary(1000000000000, 1001000000000, 2, 500));
  EXPECT_EQ(text.range, "\nStatistics:\npmin        : 1000000000000\npmax        : 1000999999997\n");
  // Tested k is always twelve times tested p, whatever the table holds.
  EXPECT_EQ(text.counters, "# Tested p  : 1000\n# Tested k  : 12000\n# Whacked k : 9876\n# Whacked p : 55\n");
  // 10^9 p in 2.5 s: 399999.84 kp/s, truncated.
  EXPECT_EQ(text.timing, "Total time: 2500 ms\n399999kp/s.\n");
}

TEST(Statistics, EdgesOfTheTimeAndRate) {
  struct Case {
    common::i32 seconds;
    common::i16 milliseconds;
    u64 span;
    std::string timing;
  };
  const Case cases[] = {
      // No measurable time: the divisor is 0.000001.
      {0, 0, 100, "Total time: 0 ms\n100000kp/s."},
      {0, 999, 8388607, "Total time: 999 ms\n8396kp/s."},
      // The total is a signed 32-bit number of milliseconds.
      {2147484, 0, 1, "Total time: -2147483296 ms\n0kp/s."},
  };
  for (const Case& c : cases) {
    const app::StatisticsText text = app::format_statistics(summary(2000000000, 2000000000 + c.span, c.seconds,
                                                                    c.milliseconds));
    EXPECT_EQ(text.timing, c.timing + "\n");
  }
}

using StatisticsFile = ScratchDir;

TEST_F(StatisticsFile, ConsoleShowsCountersOnlyWhenVerbose) {
  const app::RangeSummary s = summary(1000000000000, 1001000000000, 2, 500);
  const app::StatisticsText text = app::format_statistics(s);
  std::ostringstream quiet;
  app::write_statistics(s, 0, quiet);
  EXPECT_EQ(quiet.str(), text.range + text.timing);
  std::ostringstream verbose;
  app::write_statistics(s, 1, verbose);
  EXPECT_EQ(verbose.str(), text.range + text.counters + text.timing);
  // stat.txt gets all ten lines both times, appended.
  const std::string block = text.range + text.counters + text.timing;
  EXPECT_EQ(read("stat.txt"), block + block);
}

TEST_F(StatisticsFile, UnwritableStatisticsAreReported) {
  std::filesystem::create_directory("stat.txt");
  std::ostringstream out;
  const app::RangeSummary s = summary(1000000000000, 1001000000000, 2, 500);
  app::write_statistics(s, 0, out);
  const app::StatisticsText text = app::format_statistics(s);
  EXPECT_EQ(out.str(), text.range + text.timing + "Warning: could not write stat.txt\n");
}

}  // namespace
