// The -v estimates and the switches that only ask about the program.
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/info_switches.hpp"
#include "app/progress_report.hpp"

namespace {

using app::u64;

TEST(ProgressReport, DurationsAreTruncatedToTheirTwoLargestUnits) {
  const std::pair<u64, const char*> cases[] = {
      {0, "less than 1 min"}, {59, "less than 1 min"},  {60, "1 min"},       {3599, "59 min"},
      {3600, "1 h 0 min"},    {8079, "2 h 14 min"},     {86399, "23 h 59 min"}, {86400, "1 d 0 h"},
      {3 * 86400 + 4 * 3600 + 3599, "3 d 4 h"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(app::readable_duration(seconds), text) << seconds;
}

// Local time is UTC here, so the finish times can be written down.
TEST(ProgressReport, EstimateLineCountsTheShareFromTheRangeStartAndTheRateFromThisRun) {
#ifdef _WIN32
  ::_putenv_s("TZ", "UTC0");
  ::_tzset();
#else
  ::setenv("TZ", "UTC", 1);
  ::tzset();
#endif
  const std::time_t midnight = 1796947200;  // 2026-12-11 00:00:00 UTC
  constexpr u64 start = 1000000000000;
  struct Case {
    app::ProgressPoint point;
    const char* line;
  };
  const Case cases[] = {
      // 1.23e8 p in 12.3 s: 10000 kp/s, 8.77e8 p left take 87.7 s.
      {{start, start, start + 123000000, start + 1000000000, 12300},
       "  12.3% done, 10000 kp/s average, 1 min left, finish about 2026-12-11 00:01"},
      // Resumed at half way: the share counts from the range's start, the
      // rate only over the 1e8 p this run has sieved.
      {{start, start + 500000000, start + 600000000, start + 1000000000, 10000},
       "  60.0% done, 10000 kp/s average, less than 1 min left, finish about 2026-12-11 00:00"},
      // 8.04e10 p left at 10000 kp/s.
      {{start, start, start + 100000000000, start + 180400000000, 10000000},
       "  55.4% done, 10000 kp/s average, 2 h 14 min left, finish about 2026-12-11 02:14"},
      // Never 100.0% before pmax.
      {{start, start, start + 999999999, start + 1000000000, 100000},
       "  99.9% done, 9999 kp/s average, less than 1 min left, finish about 2026-12-11 00:00"},
      {{start, start, start + 1000000000, start + 1000000000, 100000},
       "  100.0% done, 10000 kp/s average, less than 1 min left, finish about 2026-12-11 00:00"},
      // No time measured yet: no rate to estimate with.
      {{start, start, start + 2, start + 1000000000, 0}, "  0.0% done"},
  };
  for (const Case& c : cases) EXPECT_EQ(app::progress_estimate_line(c.point, midnight), c.line);
}

TEST(ProgressReport, RangeStartIsTheFirstPminAfterTheLastPmaxOfThatRange) {
  struct Case {
    const char* status;
    u64 pmax;
    std::optional<u64> start;
  };
  const Case cases[] = {
      {"pmax=2000\npmin=1000\npmin=1500 @ 12 kp/s\npmin=1700 @ 12 kp/s\n", 2000, 1000},
      {"pmax=2000\r\npmin=1000\r\npmin=1500 @ 12 kp/s\r\n", 2000, 1000},
      {"pmax=2000\npmin=1000\npmin=1500 @ 12 kp/s\n", 3000, std::nullopt},  // another range
      {"pmax=900\npmin=100\npmax=2000\npmin=1200\npmin=1500 @ 1 kp/s\n", 2000, 1200},
      {"pmax=2000\n", 2000, std::nullopt},
      {"", 2000, std::nullopt},
      {"pmin=x\npmax=2000\npmin=\npmin=1100\n", 2000, 1100},  // lines without numbers are passed over
  };
  for (const Case& c : cases) EXPECT_EQ(app::recorded_range_start(c.status, c.pmax), c.start) << c.status;
}

TEST(InfoSwitches, FoundWithTheSwitchGrammarAndTheFirstOneCounts) {
  using app::InfoRequest;
  struct Case {
    std::vector<std::string> args;
    InfoRequest request;
  };
  const Case cases[] = {
      {{"-h"}, InfoRequest::usage},
      {{"-v", "1000000000", "--help"}, InfoRequest::usage},
      {{"--version"}, InfoRequest::version},
      {{"--version", "-h"}, InfoRequest::version},
      {{"-p", "9", "-h"}, InfoRequest::usage},  // found before any value is checked
      {{"-s", "--help"}, InfoRequest::none},    // the data file's name
      {{"-i", "-h", "-t", "--version"}, InfoRequest::none},
      {{"-help"}, InfoRequest::none},
      {{"-H"}, InfoRequest::none},
      {{"-version"}, InfoRequest::none},
      {{}, InfoRequest::none},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(app::find_info_request(c.args), c.request) << ::testing::PrintToString(c.args);
  }
}

}  // namespace
