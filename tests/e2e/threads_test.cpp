// -t: several sieving threads give the run of one thread, byte for byte,
// apart from the rates and times: the console, the factor files, the status
// file, stat.txt and the data file rewritten by -u. And a run with two
// threads killed at any moment resumes without losing a factor, because a
// progress save is written only once every factor below it is on disk.
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "e2e/fixtures.hpp"

namespace e2e {
namespace {

// The twelve k with most n of their class in [n_min, n_max]: every third n
// is left out, so hits on those come out as duplicates (factexcl.txt).
std::string class_data_with_gaps(u64 n_min, u64 n_max) {
  struct Slot {
    u64 k, r, d;
  };
  constexpr Slot slots[12] = {
      {4847, 15, 24},  {5359, 6, 8},   {10223, 5, 12},  {19249, 14, 36}, {21181, 20, 24}, {22699, 46, 72},
      {24737, 7, 24},  {27653, 33, 36}, {28433, 1, 24}, {33661, 0, 24},  {55459, 10, 12}, {67607, 3, 8},
  };
  std::ostringstream text;
  text << "12\n" << n_min << "\n" << n_max << "\n";
  for (const Slot& slot : slots) {
    u64 n = n_min + (slot.r + slot.d - n_min % slot.d) % slot.d;
    text << "k=" << slot.k << "\n" << n << "\n";
    u64 listed = n;
    for (u64 i = 1; (n += slot.d) <= n_max; ++i) {
      if (i % 3 == 2) continue;
      text << "+" << n - listed << "\n";
      listed = n;
    }
  }
  return text.str();
}

// A line with its rate or time figures replaced, so that runs of different
// speed compare equal; the warning about more threads than processors is
// dropped (it depends on the machine).
std::optional<std::string> comparable(const std::string& line) {
  if (line.find(" threads, but only ") != std::string::npos) return std::nullopt;
  if (line.starts_with("Total time: ")) return "Total time: <ms>";
  // The -v estimate: the share done depends only on p, the rest on speed.
  const std::size_t share = line.find("% done");
  if (share != std::string::npos) return line.substr(0, share) + "% done <estimates>";
  const std::size_t at = line.find(" @ ");
  if (at != std::string::npos && line.ends_with("kp/s")) return line.substr(0, at) + " @ <rate>";
  if (line.ends_with("kp/s.") && line.find_first_not_of("0123456789") == line.size() - 5) return "<rate>kp/s.";
  return line;
}

std::string comparable_text(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (const std::optional<std::string> kept = comparable(line)) text += *kept + "\n";
  }
  return text;
}

// The console and every file the run leaves in its directory.
struct Outcome {
  std::optional<int> exit_status;
  std::string console;
  std::map<std::string, std::string> files;
};

Outcome run_with_threads(unsigned threads, const std::string& data, const std::map<std::string, std::string>& more,
                         const std::vector<std::string>& args) {
  WorkDir dir;
  dir.write("Vesk.dat", data);
  for (const auto& [name, text] : more) dir.write(name, text);
  std::vector<std::string> full{"-t", std::to_string(threads)};
  full.insert(full.end(), args.begin(), args.end());
  const RunResult result = dir.run(full, "", 300s);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.err, "");
  Outcome outcome{result.exit_status, comparable_text(result.lines()), {}};
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    outcome.files[name] = comparable_text(dir.read_lines(name));
  }
  return outcome;
}

TEST(E2eThreads, SameOutputAndFilesAsOneThread) {
  const std::string gaps = class_data_with_gaps(1000, 20000);
  struct Case {
    std::string what;
    std::map<std::string, std::string> more;  // files besides Vesk.dat
    std::vector<std::string> args;
    std::vector<std::string> must_exist;  // files that show the case tests something
  };
  const Case cases[] = {
      {"four segments with factors, duplicates, n out of range, -u and the counters",
       {},
       {"-p", "2", "-f", "-u", "-v", "-i", "1000000", "1000000000", "1030000000"},
       {"fact.txt", "factexcl.txt", "factrange.txt"}},
      {"a save at every prime, from an odd pmin, with a factor (at 1001888689) between saves",
       {},
       {"-p", "2", "-i", "0", "1001880001", "1001892001"},
       {"fact.txt"}},
      {"two ranges, the second from the queue, with -vv and duplicates not written",
       {{"nextrange.txt", "pmin=1043000000\npmax=1052000000\n"}},
       {"-p", "2", "-vv", "-d", "-i", "3000000", "1000000000", "1009000000"},
       {"fact.txt"}},
  };
  for (const Case& c : cases) {
    const Outcome one = run_with_threads(1, gaps, c.more, c.args);
    ASSERT_EQ(one.exit_status, 0) << c.what << "\n" << one.console;
    for (const std::string& name : c.must_exist) EXPECT_TRUE(one.files.count(name)) << c.what << ": " << name;
    for (const unsigned threads : {2u, 3u}) {
      const Outcome many = run_with_threads(threads, gaps, c.more, c.args);
      EXPECT_EQ(many.exit_status, 0) << c.what;
      EXPECT_EQ(many.console, one.console) << c.what << ", " << threads << " threads";
      EXPECT_EQ(many.files, one.files) << c.what << ", " << threads << " threads";
    }
  }
}

// The factors of all three files as p, k, n (a resumed run may file a
// factor differently from a straight one, see kill_test.cpp).
std::set<std::string> factors_up_to(const WorkDir& dir, u64 p_limit) {
  std::set<std::string> found;
  for (const char* name : {"fact.txt", "factexcl.txt", "factrange.txt"}) {
    for (const std::string& line : dir.read_lines(name)) {
      const std::optional<FactorLine> f = parse_factor_line(line);
      EXPECT_TRUE(f) << line;
      if (f && f->p <= p_limit) {
        found.insert(std::to_string(f->p) + " " + std::to_string(f->k) + " " + std::to_string(f->n));
      }
    }
  }
  return found;
}

// The prime of the last progress save in the status file; 0 when none.
u64 last_save(const WorkDir& dir) {
  u64 p = 0;
  for (const std::string& line : dir.read_lines("VeskStatus.dat")) {
    const std::size_t at = line.find(" @ ");
    if (line.starts_with("pmin=") && at != std::string::npos) p = std::stoull(line.substr(5, at - 5));
  }
  return p;
}

TEST(E2eThreads, KilledAndResumedWithTwoThreadsLosesNothing) {
  // Six segments of a cheap search: the writer saves all through the run,
  // not only at its end, so kills land before, between and during saves.
  const std::string data = full_class_data(1000, 20000);
  const std::vector<std::string> options{"-p", "2", "-t", "2", "-i", "1000000"};
  std::vector<std::string> range = options;
  range.insert(range.end(), {"1000000000", "1050000000"});

  WorkDir straight;
  straight.write("Vesk.dat", data);
  const auto started = std::chrono::steady_clock::now();
  const RunResult reference = straight.run(range, "", 300s);
  const auto straight_time =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  ASSERT_EQ(reference.exit_status, 0) << reference.out;
  const std::set<std::string> all = factors_up_to(straight, ~u64{0});
  ASSERT_GT(all.size(), 20u) << "the range must hold factors to show anything";

  WorkDir killed;
  killed.write("Vesk.dat", data);
  std::mt19937 random(20261210);  // fixed: the kill moments can be replayed
  std::uniform_int_distribution<long> moment(0, straight_time.count());
  int kills = 0;
  int runs = 0;
  for (;;) {
    const std::vector<std::string> status = killed.read_lines("VeskStatus.dat");
    if (!status.empty() && status.back() == "Done") break;
    ASSERT_LT(++runs, 25) << "the range never finished";
    BackgroundRun run = killed.start(killed.exists("VeskStatus.dat") ? options : range);
    if (kills < 8) {
      std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
      const RunResult result = run.kill_now();
      EXPECT_EQ(result.err, "");
      if (result.killed) ++kills;
      // Whatever the moment: every factor up to the last save is on disk.
      const u64 saved = last_save(killed);
      const std::set<std::string> on_disk = factors_up_to(killed, saved);
      for (const std::string& f : factors_up_to(straight, saved)) {
        EXPECT_TRUE(on_disk.count(f)) << "saved up to " << saved << " but missing " << f;
      }
    } else {
      const RunResult result = run.wait(300s);
      EXPECT_FALSE(result.timed_out);
      EXPECT_EQ(result.exit_status, 0) << result.out;
    }
  }
  EXPECT_GE(kills, 1);
  std::cout << "straight run " << straight_time.count() << " ms, " << all.size() << " factors; " << kills
            << " kills in " << runs << " runs\n";
  EXPECT_EQ(factors_up_to(killed, ~u64{0}), all);
}

}  // namespace
}  // namespace e2e
