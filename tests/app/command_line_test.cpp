#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/run_settings.hpp"

namespace {

struct Parsed {
  std::optional<app::CommandLine> line;
  std::string output;
};

Parsed parse(std::vector<std::string> args) {
  std::ostringstream out;
  Parsed parsed;
  parsed.line = app::parse_arguments(args, out);
  parsed.output = out.str();
  return parsed;
}

TEST(CommandLine, DefaultsWithoutArguments) {
  const Parsed p = parse({});
  ASSERT_TRUE(p.line);
  const app::RunSettings& s = p.line->settings;
  EXPECT_EQ(s.data_file_name, "Vesk.dat");
  EXPECT_EQ(s.save_interval, 10000000u);
  EXPECT_EQ(s.process_priority, 0u);
  EXPECT_EQ(s.thread_priority, 3u);
  EXPECT_FALSE(s.force_range);
  EXPECT_FALSE(s.update_data_file);
  EXPECT_FALSE(s.work_checksum);
  EXPECT_FALSE(s.threads_given);
  EXPECT_FALSE(s.range_given);
  EXPECT_EQ(s.pmin, 0u);
  EXPECT_EQ(s.pmax, 0u);
  EXPECT_EQ(p.line->output.verbosity, 0u);
  EXPECT_TRUE(p.line->output.report_excluded);
  EXPECT_EQ(p.output, "");
}

TEST(CommandLine, SwitchesAndNumbers) {
  const Parsed p = parse({"-d", "-c", "-f", "-u", "-i", "0", "-p", "4", "-pt", "0", "-s", "other.dat", "7", "8", "9"});
  ASSERT_TRUE(p.line);
  const app::RunSettings& s = p.line->settings;
  EXPECT_FALSE(p.line->output.report_excluded);
  EXPECT_TRUE(s.force_range);
  EXPECT_TRUE(s.update_data_file);
  EXPECT_TRUE(s.work_checksum);
  EXPECT_EQ(s.save_interval, 0u);
  EXPECT_EQ(s.process_priority, 4u);
  EXPECT_EQ(s.thread_priority, 0u);
  EXPECT_EQ(s.data_file_name, "other.dat");
  // With three numbers the first is pmin and the last pmax.
  EXPECT_TRUE(s.range_given);
  EXPECT_EQ(s.pmin, 7u);
  EXPECT_EQ(s.pmax, 9u);
  EXPECT_EQ(p.output, "");
}

TEST(CommandLine, UnknownSwitchesAreReportedAndSkipped) {
  struct Case {
    std::string arg;
    std::string reported;
  };
  const Case cases[] = {{"-dd", "dd"}, {"-V", "V"}, {"-x", "x"}, {"-", ""}, {"-5", "5"}, {"-ff", "ff"}, {"-P", "P"}};
  for (const Case& c : cases) {
    const Parsed p = parse({c.arg, "-u"});
    ASSERT_TRUE(p.line) << c.arg;
    EXPECT_EQ(p.output, "unknown switch: " + c.reported + "\n") << c.arg;
    EXPECT_TRUE(p.line->settings.update_data_file) << "examination goes on after " << c.arg;
    EXPECT_FALSE(p.line->settings.range_given) << c.arg << " is a switch, not a number";
  }
}

TEST(CommandLine, ValueSwitchTakesTheNextArgumentWhateverItIs) {
  const Parsed p = parse({"-s", "-u"});
  ASSERT_TRUE(p.line);
  EXPECT_EQ(p.line->settings.data_file_name, "-u");
  EXPECT_FALSE(p.line->settings.update_data_file);

  const Parsed number = parse({"-s", "1000", "2000"});
  ASSERT_TRUE(number.line);
  EXPECT_EQ(number.line->settings.data_file_name, "1000");
  EXPECT_EQ(number.line->settings.pmin, 2000u);
}

TEST(CommandLine, LaterSwitchOverridesEarlier) {
  struct Case {
    std::vector<std::string> args;
    unsigned verbosity;
  };
  const Case cases[] = {{{"-vv", "-v"}, 1}, {{"-v", "-vv"}, 2}, {{"-v"}, 1}, {{"-vv"}, 2}};
  for (const Case& c : cases) {
    const Parsed p = parse(c.args);
    ASSERT_TRUE(p.line);
    EXPECT_EQ(p.line->output.verbosity, c.verbosity) << c.args.front();
  }
  const Parsed p = parse({"-i", "5", "-i", "6"});
  ASSERT_TRUE(p.line);
  EXPECT_EQ(p.line->settings.save_interval, 6u);
}

TEST(CommandLine, OneNumberLeavesPmaxZero) {
  const Parsed p = parse({"1000000000000"});
  ASSERT_TRUE(p.line);
  EXPECT_TRUE(p.line->settings.range_given);
  EXPECT_EQ(p.line->settings.pmin, 1000000000000u);
  EXPECT_EQ(p.line->settings.pmax, 0u);
}

TEST(CommandLine, NumbersReadLikeStreamExtraction) {
  // Leading blanks skipped, digits up to the first non-digit, the largest
  // 64-bit value accepted.
  const Parsed p = parse({" 12abc", "18446744073709551615"});
  ASSERT_TRUE(p.line);
  EXPECT_EQ(p.line->settings.pmin, 12u);
  EXPECT_EQ(p.line->settings.pmax, 18446744073709551615u);
}

TEST(CommandLine, PriorityLimits) {
  struct Case {
    std::vector<std::string> args;
    bool accepted;
    std::string output;
  };
  const std::string bad_process = "Bad process priority. Give value between 0 and 4 inclusive.\n";
  const std::string bad_thread = "Bad thread priority. Give value between 0 and 5 inclusive.\n";
  const Case cases[] = {
      {{"-p", "4"}, true, ""},
      {{"-p", "0"}, true, ""},
      {{"-pt", "5"}, true, ""},
      {{"-pt", "0"}, true, ""},
      {{"-p", "5"}, false, bad_process},
      {{"-pt", "6"}, false, bad_thread},
      // The error ends the examination at once: the later unknown switch is
      // never looked at.
      {{"-p", "5", "-x"}, false, bad_process},
      {{"-x", "-pt", "9", "-y"}, false, "unknown switch: x\n" + bad_thread},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.args);
    EXPECT_EQ(p.line.has_value(), c.accepted) << c.args[0] << " " << c.args[1];
    EXPECT_EQ(p.output, c.output);
  }
  const Parsed p = parse({"-p", "4", "-pt", "5"});
  ASSERT_TRUE(p.line);
  EXPECT_EQ(p.line->settings.process_priority, 4u);
  EXPECT_EQ(p.line->settings.thread_priority, 5u);
}

TEST(CommandLine, ThreadCount) {
  struct Case {
    std::vector<std::string> args;
    unsigned online;  // processors online; 0: the system does not say
    bool accepted;
    unsigned threads;
    std::string output;
  };
  const std::string bad = "Bad thread count. Give value between 1 and 256 inclusive.\n";
  const Case cases[] = {
      {{}, 2, true, 1, ""},
      {{"-t", "1"}, 2, true, 1, ""},
      {{"-t", "2"}, 2, true, 2, ""},
      {{"-t", "3"}, 2, true, 3, "Warning: 3 threads, but only 2 processors are online.\n"},
      {{"-t", "256"}, 0, true, 256, ""},
      {{"-t", "0"}, 2, false, 0, bad},
      {{"-t", "257"}, 2, false, 0, bad},
      {{"-t", "4294967297"}, 2, false, 0, bad},  // not taken modulo 2^32
      {{"-t", "-1"}, 2, false, 0, "Bad number after -t: '-1'. Give a decimal number below 18446744073709551616.\n"},
      {{"-t", "two"}, 2, false, 0, "Bad number after -t: 'two'. Give a decimal number below 18446744073709551616.\n"},
      {{"-t"}, 2, false, 0, "Missing value after -t\n"},
      // Stops at once, like the priorities: the unknown switch after it is
      // never looked at.
      {{"-t", "0", "-x"}, 2, false, 0, bad},
      {{"-t", "4", "-t", "2"}, 2, true, 2, "Warning: 4 threads, but only 2 processors are online.\n"},
      // What a BOINC multi-thread plan class passes.
      {{"--nthreads", "2"}, 2, true, 2, ""},
      {{"--nthreads"}, 2, false, 0, "Missing value after --nthreads\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    const std::optional<app::CommandLine> line = app::parse_arguments(c.args, out, c.online);
    const std::string args = c.args.empty() ? "(none)" : c.args[0] + " " + c.args.back();
    ASSERT_EQ(line.has_value(), c.accepted) << args;
    if (line) {
      EXPECT_EQ(line->settings.threads, c.threads) << args;
      EXPECT_EQ(line->settings.threads_given, !c.args.empty()) << args;
    }
    EXPECT_EQ(out.str(), c.output) << args;
  }
}

TEST(CommandLine, MissingOrUnreadableValuesStopTheRun) {
  struct Case {
    std::vector<std::string> args;
    std::string output;
  };
  const std::string hint = " Give a decimal number below 18446744073709551616.\n";
  const Case cases[] = {
      {{"-i"}, "Missing value after -i\n"},
      {{"1000", "-s"}, "Missing value after -s\n"},
      {{"-pt"}, "Missing value after -pt\n"},
      {{"-i", "abc"}, "Bad number after -i: 'abc'." + hint},
      {{"-p", ""}, "Bad number after -p: ''." + hint},
      {{"-pt", "18446744073709551616"}, "Bad number after -pt: '18446744073709551616'." + hint},
      {{"x1000"}, "Bad number on the command line: 'x1000'." + hint},
      {{"1000", "99999999999999999999"}, "Bad number on the command line: '99999999999999999999'." + hint},
      {{""}, "Bad number on the command line: ''." + hint},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.args);
    EXPECT_FALSE(p.line) << c.output;
    EXPECT_EQ(p.output, c.output);
  }
}

TEST(Usage, BannerAndUsageText) {
  std::ostringstream out;
  app::print_usage(out);
  std::vector<std::string> lines;
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[0], "quarrow v0.36");
  EXPECT_FALSE(lines[1].empty());
  EXPECT_EQ(lines[2], "usage: quarrow [switches] [<pmin> <pmax>]");
  for (std::size_t i = 3; i < 14; ++i) EXPECT_EQ(lines[i][0], '\t') << "line " << i + 1;
  EXPECT_EQ(lines[3], "\t-d = don't output excluded (duplicates/outside range) factors");
  EXPECT_EQ(lines[6], "\t                default is 10000000, which saves every 10 million p");
  EXPECT_EQ(lines[8], "\t-pt <threadp> = set thread priority from 0 to 5. 3 is normal, default");
  EXPECT_EQ(lines[9], "\t-s <filename> = use alternative Vesk.dat");
  EXPECT_EQ(lines[12], "\t-t <threads> = number of sieving threads. 1 is default");
  EXPECT_EQ(lines[13], "\t-c = write a checksum of the work done for each range to checksum.txt");
  EXPECT_EQ(lines[15], "outside the n range to factrange.txt. Some statistics are written to stat.txt");
  EXPECT_EQ(out.str().back(), '\n');
}

}  // namespace
