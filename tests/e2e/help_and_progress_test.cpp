// What a volunteer sees besides the specified lines: -h, --help and
// --version answered without touching anything, and with -v an estimate
// after every progress line and the factor lines written per range.
#include <filesystem>
#include <map>
#include <regex>

#include <gtest/gtest.h>

#include "e2e/fixtures.hpp"

namespace e2e {
namespace {

// Every file of the working directory with its content.
std::map<std::string, std::string> directory_content(const WorkDir& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    files[name] = dir.read(name);
  }
  return files;
}

TEST(E2eHelp, UsageAndVersionEndTheRunBeforeAnythingIsReadOrWritten) {
  std::vector<std::string> usage;
  {
    WorkDir dir;
    const std::vector<std::string> lines = dir.run({"-p", "5"}).lines();
    ASSERT_GE(lines.size(), banner_lines);
    usage.assign(lines.begin(), lines.begin() + banner_lines);
  }
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> output;
  };
  const Case cases[] = {
      {{"-h"}, usage},
      {{"--help"}, usage},
      {{"--version"}, {"quarrow v0.36"}},
      // A range with -f would replace the status file; a bad priority would stop with status 1.
      {{"-f", "1000000000", "1000001000", "--help"}, usage},
      {{"--version", "-p", "9"}, {"quarrow v0.36"}},
  };
  for (const Case& c : cases) {
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    // A finished range: a plain start would ask whether to clear it.
    dir.write("VeskStatus.dat", "pmax=1000001000\npmin=1000000000\nDone\n");
    const std::map<std::string, std::string> before = directory_content(dir);
    const RunResult result = dir.run(c.args, "y\n1\n2\n");
    EXPECT_EQ(result.exit_status, 0) << c.args[0];
    EXPECT_EQ(result.lines(), c.output) << result.out;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(directory_content(dir), before) << "nothing read-and-rewritten, nothing created";
  }
}

// Checks that every progress line is followed by its estimate, with the
// share done counted from `range_start`; returns how many there were.
std::size_t expect_estimates(const std::vector<std::string>& lines, u64 range_start, u64 pmax) {
  const std::regex estimate(
      R"(  (\d+)\.(\d)% done, \d+ kp/s average, (less than 1 min|\d+ min|\d+ h \d+ min|\d+ d \d+ h) left, )"
      R"(finish about \d{4}-\d\d-\d\d \d\d:\d\d)");
  std::size_t saves = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].starts_with("p = ")) {
      EXPECT_EQ(lines[i].find("% done"), std::string::npos) << "an estimate without its progress line: " << lines[i];
      continue;
    }
    ++saves;
    const u64 p = std::stoull(lines[i].substr(4));
    std::smatch match;
    if (i + 1 == lines.size() || !std::regex_match(lines[i + 1], match, estimate)) {
      ADD_FAILURE() << "no estimate after " << lines[i];
      continue;
    }
    const u64 per_mille = (p - range_start) * 1000 / (pmax - range_start);
    EXPECT_EQ(match[1].str() + match[2].str(), std::to_string(per_mille / 10) + std::to_string(per_mille % 10))
        << lines[i + 1];
    ++i;
  }
  return saves;
}

TEST(E2eProgress, EstimatesFollowEveryProgressLineWithVerboseOnly) {
  {
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    const RunResult result = dir.run({"-v", "-p", "2", "-i", "3000000", "1000000000", "1012000000"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_GE(expect_estimates(result.lines(), 1000000000, 1012000000), 3u) << result.out;
  }
  {
    // Resumed from a save at about half way: the share counts from where
    // the range began, not from where this run took it up.
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    dir.write("VeskStatus.dat", "pmax=1012000000\npmin=1000000000\npmin=1006000013 @ 1000 kp/s\n");
    const RunResult result = dir.run({"-v", "-p", "2", "-i", "2000000"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_GE(expect_estimates(result.lines(), 1000000000, 1012000000), 2u) << result.out;
  }
  {
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    const RunResult result = dir.run({"-p", "2", "-i", "3000000", "1000000000", "1012000000"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out.find("% done"), std::string::npos);
    EXPECT_EQ(result.out.find("Factor lines written"), std::string::npos);
  }
}

struct FactorCounts {
  u64 new_factors = 0;
  u64 duplicates = 0;
  u64 outside_range = 0;
};

// The same range twice (the second time from the queue): the first time
// finds the factors, the second files every one of them again as a
// duplicate. Each range's line counts only its own lines.
TEST(E2eProgress, FactorLinesWrittenPerRangeAddUpToTheFiles) {
  WorkDir dir;
  dir.write("Vesk.dat", full_class_data(1000, 100000));
  dir.write("nextrange.txt", "pmin=1000500000\npmax=1000700000\n");
  const RunResult result = dir.run({"-v", "-p", "2", "1000500000", "1000700000"});
  EXPECT_EQ(result.exit_status, 0);

  const std::regex counts_line(
      R"(Factor lines written: (\d+) new \(fact\.txt\), (\d+) duplicates \(factexcl\.txt\), )"
      R"((\d+) outside the n range \(factrange\.txt\))");
  std::vector<FactorCounts> ranges;
  for (const std::string& line : result.lines()) {
    std::smatch match;
    if (std::regex_match(line, match, counts_line)) {
      ranges.push_back({std::stoull(match[1]), std::stoull(match[2]), std::stoull(match[3])});
    }
  }
  ASSERT_EQ(ranges.size(), 2u) << result.out;
  const FactorCounts& first = ranges[0];
  const FactorCounts& second = ranges[1];
  EXPECT_GT(first.new_factors, 0u) << "the range must hold factors to show anything";
  EXPECT_EQ(second.new_factors, 0u);
  EXPECT_EQ(second.duplicates, first.new_factors + first.duplicates);
  EXPECT_EQ(second.outside_range, first.outside_range);
  EXPECT_EQ(dir.read_lines("fact.txt").size(), first.new_factors + second.new_factors);
  EXPECT_EQ(dir.read_lines("factexcl.txt").size(), first.duplicates + second.duplicates);
  EXPECT_EQ(dir.read_lines("factrange.txt").size(), first.outside_range + second.outside_range);
}

}  // namespace
}  // namespace e2e
