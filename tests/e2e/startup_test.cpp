// Start-up: banner, command line errors, the order of the start-up lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "e2e/fixtures.hpp"
#include "modarith/wide_kernels.hpp"

namespace e2e {
namespace {

TEST(E2eStartup, BannerIsPrintedEvenWhenTheCommandLineFails) {
  WorkDir dir;
  const RunResult result = dir.run({"-p", "5", "1000000000", "1000001000"});
  EXPECT_EQ(result.exit_status, 1);
  const std::vector<std::string> rest = after_banner(result);
  EXPECT_EQ(rest, std::vector<std::string>{"Bad process priority. Give value between 0 and 4 inclusive."});
  // Nothing was touched: the status file is decided only after the switches.
  EXPECT_FALSE(dir.exists("VeskStatus.dat"));
}

TEST(E2eStartup, CommandLineErrorsEndWithStatusOneBeforeAnythingIsTouched) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> output;
  };
  const Case cases[] = {
      {{"-pt", "6", "1000000000", "1000001000"}, {"Bad thread priority. Give value between 0 and 5 inclusive."}},
      {{"-x", "-pt", "9"}, {"unknown switch: x", "Bad thread priority. Give value between 0 and 5 inclusive."}},
      {{"1000000000", "1000001000", "-i"}, {"Missing value after -i"}},
      {{"-i", "1e6", "1000000000", "x"},
       {"Bad number on the command line: 'x'. Give a decimal number below 18446744073709551616."}},
  };
  for (const Case& c : cases) {
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    const RunResult result = dir.run(c.args);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(after_banner(result), c.output);
    EXPECT_FALSE(dir.exists("VeskStatus.dat"));
  }
}

TEST(E2eStartup, StartLinesInOrderAndUnknownSwitchesDoNotStopTheRun) {
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  const RunResult result = dir.run({"-dd", "-", "-V", "-p", "2", "-pt", "5", "1000000000", "1000000100"});
  EXPECT_EQ(result.exit_status, 0);
  const std::vector<std::string> rest = after_banner(result);
  ASSERT_GE(rest.size(), 7u);
  const std::vector<std::string> start(rest.begin(), rest.begin() + 7);
  EXPECT_EQ(start, (std::vector<std::string>{
                       "unknown switch: dd", "unknown switch: ", "unknown switch: V", "Using CMOV optimizations",
                       "Using SSE2 optimizations", "Initializing... Done.",
                       "Testing 1000000000 <= p <= 1000000100, 1000 <= n <= 5000"}));
}

TEST(E2eStartup, MissingDataFileEndsWithStatusOne) {
  WorkDir dir;
  const RunResult result = dir.run({"-s", "other.dat", "1000000000", "1000000100"});
  EXPECT_EQ(result.exit_status, 1);
  const std::vector<std::string> rest = after_banner(result);
  ASSERT_GE(rest.size(), 3u);
  EXPECT_EQ(rest[2].rfind("Initializing... ", 0), 0u);
  EXPECT_NE(result.out.find("other.dat"), std::string::npos) << "the message names the file";
  EXPECT_EQ(result.out.find("Testing"), std::string::npos);
  // The range had been recorded before the data file was read.
  EXPECT_EQ(dir.read("VeskStatus.dat"), "pmax=1000000100\npmin=1000000000\n");
}

TEST(E2eStartup, VerboseEndsTheInitializingLineAtOnce) {
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  const RunResult result = dir.run({"-v", "1000000000", "1000000100"});
  EXPECT_EQ(result.exit_status, 0);
  const std::vector<std::string> rest = after_banner(result);
  ASSERT_GE(rest.size(), 4u);
  EXPECT_EQ(rest[2], "Initializing... ");
  EXPECT_NE(rest[3], "Done.");
  EXPECT_NE(result.out.find("Total: 3 unfactored"), std::string::npos);
}

// QUARROW_KERNELS forces a kernel set: each one this processor runs is named
// by the start-up line; one it cannot run, or a value that names none, ends
// the run with one line and status 1 before any file is touched.
TEST(E2eStartup, KernelSetForcedThroughTheEnvironment) {
  struct Unset {
    ~Unset() { unsetenv("QUARROW_KERNELS"); }
  } unset;
  for (const modarith::KernelSet set : modarith::kernel_sets_fastest_first) {
    SCOPED_TRACE(modarith::kernel_set_key(set));
    WorkDir dir;
    dir.write("Vesk.dat", tiny_data);
    setenv("QUARROW_KERNELS", modarith::kernel_set_key(set), 1);
    const RunResult result = dir.run({"1000000000", "1000000100"});
    if (modarith::kernel_set_runs(set)) {
      EXPECT_EQ(result.exit_status, 0);
      const std::vector<std::string> lines = result.lines();
      const auto fixed = std::find(lines.begin(), lines.end(), "Using SSE2 optimizations");
      ASSERT_TRUE(fixed != lines.end() && fixed + 1 != lines.end()) << result.out;
      EXPECT_EQ(fixed[1], std::string("Using ") + modarith::kernel_set_name(set) + " kernels");
    } else {
      EXPECT_EQ(result.exit_status, 1);
      EXPECT_EQ(after_banner(result), std::vector<std::string>{modarith::choose_kernel_set(
                                          modarith::kernel_set_key(set)).error});
      EXPECT_FALSE(dir.exists("VeskStatus.dat"));
    }
  }
  WorkDir dir;
  dir.write("Vesk.dat", tiny_data);
  setenv("QUARROW_KERNELS", "sse2", 1);
  const RunResult result = dir.run({"1000000000", "1000000100"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(after_banner(result),
            std::vector<std::string>{
                "Error: QUARROW_KERNELS=sse2 names no kernel set; give avx512, avx2 or scalar. Exiting."});
  EXPECT_FALSE(dir.exists("VeskStatus.dat"));
  EXPECT_FALSE(dir.exists("quarrow.lock"));
}

}  // namespace
}  // namespace e2e
