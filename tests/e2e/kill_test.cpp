// No work lost: a run killed at random moments and restarted without
// arguments until its range is done reports the same factors and the same
// proof of work as a run that was never interrupted, whatever the number of
// threads of each restart.
#include <iostream>
#include <random>

#include <gtest/gtest.h>

#include "e2e/fixtures.hpp"

namespace e2e {
namespace {

// Every line of the three factor files.
std::set<std::string> all_factor_lines(const WorkDir& dir) {
  std::set<std::string> lines;
  for (const char* name : {"fact.txt", "factexcl.txt", "factrange.txt"}) {
    for (const std::string& line : dir.read_lines(name)) lines.insert(line);
  }
  return lines;
}

bool range_done(const WorkDir& dir) {
  const std::vector<std::string> status = dir.read_lines("VeskStatus.dat");
  return !status.empty() && status.back() == "Done";
}

TEST(E2eKillAndResume, SameFactorsAsAnUninterruptedRun) {
  // Every n of each k's class, so that the range holds factors.
  const std::string data = full_class_data(1000, 100000);
  const std::vector<std::string> range{"-p", "2", "-c", "-i", "1000000", "1000000000", "1010000000"};

  WorkDir straight;
  straight.write("Vesk.dat", data);
  const auto started = std::chrono::steady_clock::now();
  const RunResult reference = straight.run(range);
  const auto straight_time =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  ASSERT_EQ(reference.exit_status, 0) << reference.out;
  const std::set<std::string> straight_fact = line_set(straight.read_lines("fact.txt"));
  ASSERT_FALSE(straight_fact.empty()) << "the range must hold factors to show anything";
  for (const std::string& line : straight_fact) {
    const std::optional<FactorLine> f = parse_factor_line(line);
    ASSERT_TRUE(f) << line;
    EXPECT_TRUE(divides(f->p, f->k, f->n)) << line;
  }
  // The checksum counts every prime of the range once (counted here by the
  // oracle's own sieve).
  const std::vector<std::string> checksum = straight.read_lines("checksum.txt");
  ASSERT_EQ(checksum.size(), 1u);
  const std::string primes = "primes=" + std::to_string(primes_between(1000000000, 1010000000).size()) + " ";
  EXPECT_NE(checksum[0].find(primes), std::string::npos) << checksum[0] << " lacks " << primes;

  WorkDir killed;
  killed.write("Vesk.dat", data);
  std::mt19937 random(20240607);  // fixed: the kill moments can be replayed
  // Within the first third of a straight run's time, so that most starts
  // are killed before they finish and every part of a run gets its turn:
  // start-up, sieving, a save, a factor being written, the end of the range.
  std::uniform_int_distribution<long> moment(0, straight_time.count() / 3);
  int kills = 0;
  int runs = 0;
  while (!range_done(killed)) {
    ASSERT_LT(++runs, 20) << "the range never finished";
    // The first start, and any restart before the range was recorded, gives
    // the range; every other restart resumes from the status file.
    const bool recorded = killed.exists("VeskStatus.dat");
    // Restarts alternate between one thread and two.
    const std::vector<std::string> restart{"-p", "2", "-c", "-t", runs % 2 == 0 ? "2" : "1"};
    BackgroundRun run = killed.start(recorded ? restart : range);
    if (kills < 6) {
      std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
      const RunResult result = run.kill_now();
      EXPECT_EQ(result.err, "");
      if (result.killed) ++kills;
    } else {
      const RunResult result = run.wait();
      EXPECT_FALSE(result.timed_out);
      EXPECT_EQ(result.exit_status, 0) << result.out;
    }
  }
  EXPECT_GE(kills, 1);
  std::cout << "straight run " << straight_time.count() << " ms, " << straight_fact.size() << " factors; " << kills
            << " kills in " << runs << " runs\n";

  // A resumed run starts again at its last save with the table reloaded
  // from the unchanged data file, so a factor may be reported twice, and a
  // second factor of a pair that the straight run saw as a duplicate may be
  // new to the resumed run. Hence: every factor of the straight run is in
  // fact.txt, and all factor lines together are the same set.
  const std::set<std::string> resumed_fact = line_set(killed.read_lines("fact.txt"));
  for (const std::string& line : straight_fact) EXPECT_TRUE(resumed_fact.count(line)) << "lost: " << line;
  EXPECT_EQ(all_factor_lines(killed), all_factor_lines(straight));
  // A run killed after writing its result and before marking the range
  // done writes the same line again when restarted.
  EXPECT_EQ(line_set(killed.read_lines("checksum.txt")), line_set(checksum));
}

}  // namespace
}  // namespace e2e
