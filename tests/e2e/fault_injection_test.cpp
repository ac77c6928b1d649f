// A long -u run over a queue of ranges, killed (SIGKILL) or starved of disk
// space (a file-size limit that fact.txt, the status file, the data file's
// rewrite or the queue's rewrite runs into) at seeded moments, and restarted
// with a plain command line after each fault, the way a volunteer's machine
// would. At the end the factors must be exactly those of a straight run,
// every line a true factor and well formed, every queued range run, and the
// data file must never have lost a pair that no factor was found for.
#include <algorithm>
#include <chrono>
#include <random>
#include <set>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "e2e/fixtures.hpp"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const std::string queue =
    "pmin=1003000000\npmax=1006000000\n"
    "pmin=1006000000\npmax=1008000000\n"
    "pmin=1008000000\npmax=1010000000\n";
const std::vector<std::string> first_args{"-p", "2", "-u", "-i", "300000", "1000000000", "1003000000"};
const std::vector<std::string> restart_args{"-p", "2", "-u", "-i", "300000"};
const std::string no_next = "No new range found in nextrange.txt. Exiting.";

// The (k, n) pairs a data file lists.
std::set<std::pair<u64, u64>> listed_pairs(const std::string& text) {
  std::set<std::pair<u64, u64>> pairs;
  u64 k = 0;
  u64 n = 0;
  for (const std::string& line : split_lines(text)) {
    if (line.starts_with("k=")) {
      k = std::stoull(line.substr(2));
    } else if (line.starts_with("+")) {
      n += std::stoull(line.substr(1));
      pairs.insert({k, n});
    } else if (k != 0 && !line.empty()) {
      n = std::stoull(line);
      pairs.insert({k, n});
    }
  }
  return pairs;
}

// Finished: the last range is done and the queue is used up.
bool finished(const WorkDir& dir) {
  const std::vector<std::string> status = dir.read_lines("VeskStatus.dat");
  return !status.empty() && status.back() == "Done" && dir.read("nextrange.txt").empty();
}

std::uintmax_t size_of(const WorkDir& dir, const std::string& name) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(dir.path() / name, error);
  return error ? 0 : size;
}

TEST(E2eFaultInjection, KillsAndFullDisksAtSeededMoments) {
  WorkDir straight;
  straight.copy_example_data();
  straight.write("nextrange.txt", queue);
  const auto start = std::chrono::steady_clock::now();
  const RunResult reference = straight.run(first_args, "", 300s);
  const auto straight_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(reference.exit_status, 0) << reference.out;
  const std::set<std::string> factors = line_set(straight.read_lines("fact.txt"));
  ASSERT_GE(factors.size(), 15u);
  const std::string original_data = straight.read("Vesk.dat");  // rewritten: the reference result
  const std::set<std::pair<u64, u64>> reference_pairs = listed_pairs(original_data);
  for (const u64 pmin : {1000000000, 1003000000, 1006000000, 1008000000}) {
    EXPECT_TRUE(std::any_of(factors.begin(), factors.end(), [&](const std::string& line) {
      const u64 p = parse_factor_line(line)->p;
      return pmin <= p && p < pmin + 2000000;
    })) << "a range without factors could be skipped unseen: " << pmin;
  }

  for (const unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    WorkDir dir;
    dir.copy_example_data();
    dir.write("nextrange.txt", queue);
    // The first runs all end in a fault: a kill at a random moment (within a
    // sixth of the straight run's time, so it falls in every phase of a
    // range), and in most of them a file-size limit that the run may hit
    // before that. Then runs without a fault finish the work.
    constexpr int faulty_runs = 30;
    std::uniform_int_distribution<long> kill_after_ms(5, std::max<long>(20, straight_ms / 6));
    std::uniform_int_distribution<int> limit_kind(0, 4);
    std::uniform_int_distribution<std::uintmax_t> slack(0, 60);
    int runs = 0;
    RunResult last;
    for (; runs < faulty_runs + 10 && !(runs > 0 && finished(dir)); ++runs) {
      // Until the range is recorded, the volunteer repeats the first command.
      const std::vector<std::string>& args = dir.exists("VeskStatus.dat") ? restart_args : first_args;
      if (runs >= faulty_runs) {
        last = dir.run(args, "", 300s);
        ASSERT_FALSE(last.timed_out);
        continue;
      }
      std::optional<std::uint64_t> limit;
      switch (limit_kind(random)) {
        case 1: limit = size_of(dir, "fact.txt") + slack(random); break;
        case 2: limit = size_of(dir, "VeskStatus.dat") + slack(random); break;
        case 3: limit = size_of(dir, "Vesk.dat") - 1000 * slack(random); break;  // the -u rewrite in mid-file
        case 4: limit = std::max<std::uintmax_t>(size_of(dir, "nextrange.txt"), 1) - 1; break;  // the queue rewrite
        default: break;
      }
      BackgroundRun run = dir.start(args, "", limit);
      std::this_thread::sleep_for(std::chrono::milliseconds(kill_after_ms(random)));
      last = run.kill_now();
      ASSERT_TRUE(last.killed || last.exit_status.has_value());
    }
    ASSERT_TRUE(finished(dir)) << "not finished after " << runs << " runs; the last printed:\n" << last.out;

    // Every factor line whole and true, and together exactly the straight run's.
    std::set<std::string> found;
    for (const std::string& line : dir.read_lines("fact.txt")) {
      const std::optional<FactorLine> factor = parse_factor_line(line);
      ASSERT_TRUE(factor) << "malformed line '" << line << "'";
      EXPECT_EQ(line, std::to_string(factor->p) + " | " + std::to_string(factor->k) + "*2^" +
                          std::to_string(factor->n) + "+1");
      EXPECT_TRUE(divides(factor->p, factor->k, factor->n)) << line;
      found.insert(line);
    }
    EXPECT_EQ(found, factors);
    // Every range ran: each holds factors of the straight run (checked
    // there), and they are all found.
    // The data file never drops a pair no factor was found for; once the
    // last rewrite has run it lists exactly the straight run's pairs.
    const std::set<std::pair<u64, u64>> pairs = listed_pairs(dir.read("Vesk.dat"));
    EXPECT_TRUE(std::includes(pairs.begin(), pairs.end(), reference_pairs.begin(), reference_pairs.end()));
    if (runs > faulty_runs && last.exit_status == 0) {
      EXPECT_TRUE(dir.read("Vesk.dat") == original_data) << "the rewritten data file differs";
    }
    std::cout << "seed " << seed << ": " << runs << " runs" << std::endl;
  }
}

}  // namespace
}  // namespace e2e
