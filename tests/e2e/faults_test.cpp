// Faults of the file system around a run: a file that cannot be opened, a
// disk that fills up, a directory that cannot be written. The program must
// say what failed, never report a failed write as done, go on where the
// work is not at risk, and never cut or garble a file that held data.
//
// A full disk is imitated in two ways that work for every user, root
// included (a read-only directory does not stop root):
// - a link to /dev/full, which refuses every write with "no space left";
// - a file-size limit (RLIMIT_FSIZE, with SIGXFSZ ignored) that the program
//   inherits: a file that already reaches the limit cannot grow, and one
//   just below it takes part of a write and refuses the rest, exactly like
//   a disk that fills up in mid-line. The program's standard output stays
//   far below the limit.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "e2e/fixtures.hpp"

namespace e2e {
namespace {

namespace fs = std::filesystem;
__extension__ typedef unsigned __int128 u128;

// Files of the program may not grow past this many bytes under the limit.
constexpr rlim_t size_limit = 64 * 1024;

// Sets the file-size limit for the programs started while it lives.
class FileSizeLimit {
 public:
  FileSizeLimit() {
    ::getrlimit(RLIMIT_FSIZE, &old_limit_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a killed process
    rlimit limit = old_limit_;
    limit.rlim_cur = old_limit_.rlim_max == RLIM_INFINITY ? size_limit : std::min(size_limit, old_limit_.rlim_max);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_limit_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_limit_{};
  void (*old_handler_)(int) = nullptr;
};

// Runs quarrow in `dir`, under the file-size limit when `limited`.
RunResult run_limited(WorkDir& dir, const std::vector<std::string>& args, bool limited = true) {
  if (!limited) return dir.run(args);
  FileSizeLimit limit;
  return dir.run(args);
}

// The ways a file of the working directory can refuse a write.
enum class Blocked {
  dev_full,       // a link to /dev/full: every write fails, nothing was there before
  directory,      // a directory in the file's place: it cannot even be opened
  at_limit,       // a file of old lines that already fills the size limit
  below_limit,    // a file of old lines that ends 3 bytes below the limit (less than any line)
};

const char* name_of(Blocked how) {
  switch (how) {
    case Blocked::dev_full: return "link to /dev/full";
    case Blocked::directory: return "directory";
    case Blocked::at_limit: return "file at the size limit";
    case Blocked::below_limit: return "file just below the size limit";
  }
  return "";
}

// Old lines of the file's own kind, `bytes` long in all.
std::string old_lines(const std::string& line, std::size_t bytes) {
  std::string text;
  while (text.size() + line.size() + 1 < bytes) text += line + "\n";
  text += std::string(bytes - text.size() - 1, '#') + "\n";  // 1 to line.size() + 1 bytes are left
  return text;
}

// Puts `name` in the way as `how` says; returns what the file holds, which
// must still be there, byte for byte, after the run.
std::string block(const WorkDir& dir, const std::string& name, Blocked how, const std::string& line) {
  const fs::path path = dir.path() / name;
  switch (how) {
    case Blocked::dev_full:
      fs::create_symlink("/dev/full", path);
      return "";
    case Blocked::directory:
      fs::create_directory(path);
      return "";
    case Blocked::at_limit:
      dir.write(name, old_lines(line, size_limit));
      return dir.read(name);
    case Blocked::below_limit:
      dir.write(name, old_lines(line, size_limit - 3));
      return dir.read(name);
  }
  return "";
}

bool has_line(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A data file with one k for which p divides k*2^n+1: k = -2^-n mod p.
struct Planted {
  u64 p = 1000000007;
  u64 n = 1234;
  u64 k = 0;
  std::string factor_line;
  std::string data;
};

Planted planted_factor() {
  Planted planted;
  const u64 p = planted.p;
  // 2^-n = 2^(p-1-n) by Fermat.
  u64 power = 1;
  u64 base = 2;
  for (u64 e = p - 1 - planted.n; e != 0; e >>= 1) {
    if (e & 1) power = static_cast<u64>(static_cast<u128>(power) * base % p);
    base = static_cast<u64>(static_cast<u128>(base) * base % p);
  }
  planted.k = p - power;
  EXPECT_TRUE(divides(p, planted.k, planted.n));
  planted.factor_line = std::to_string(p) + " | " + std::to_string(planted.k) + "*2^" + std::to_string(planted.n) + "+1";
  planted.data = "12\n1000\n5000\nk=" + std::to_string(planted.k) + "\n" + std::to_string(planted.n) + "\n+24\n+48\n";
  return planted;
}

// The range around the planted prime; the run takes well under a second.
const std::vector<std::string> planted_range{"-p", "2", "1000000000", "1000000100"};

const std::string no_next = "No new range found in nextrange.txt. Exiting.";

// A factor that cannot be written down ends the run at once (status 1),
// before any later save: the status file still holds the range as it was,
// so a restart finds the factor again. What fact.txt held before stays as
// it was, and once the fault is cleared the restart writes the factor.
TEST(E2eFaults, FactorFileThatCannotBeWrittenStopsTheRun) {
  const Planted planted = planted_factor();
  const std::string message = "Error: could not write the factor above to fact.txt. Make room on the disk or mend "
                              "the file, then start the program again: it resumes from its last save and finds "
                              "this factor again. Exiting.";
  for (const Blocked how : {Blocked::dev_full, Blocked::directory, Blocked::at_limit, Blocked::below_limit}) {
    for (const char* threads : {"1", "2"}) {
      SCOPED_TRACE(std::string(name_of(how)) + ", -t " + threads);
      WorkDir dir;
      dir.write("Vesk.dat", planted.data);
      const std::string before = block(dir, "fact.txt", how, "1000000000039 | 4847*2^1527+1");
      std::vector<std::string> args{"-u", "-i", "0", "-t", threads};
      args.insert(args.end(), planted_range.begin(), planted_range.end());
      const RunResult result = run_limited(dir, args);
      EXPECT_EQ(result.exit_status, 1);
      const std::vector<std::string> lines = after_banner(result);
      const auto factor = std::find(lines.begin(), lines.end(), planted.factor_line);
      ASSERT_NE(factor, lines.end()) << result.out;
      ASSERT_NE(factor + 1, lines.end());
      EXPECT_EQ(*(factor + 1), message);
      EXPECT_EQ(factor + 2, lines.end()) << "nothing after the failed write";
      if (how == Blocked::at_limit || how == Blocked::below_limit) {
        EXPECT_TRUE(dir.read("fact.txt") == before) << "fact.txt changed";
      }
      // No save at or after the planted prime, no "Done", no -u rewrite.
      for (const std::string& line : dir.read_lines("VeskStatus.dat")) {
        const std::optional<u64> saved = number_between(line, "pmin=", " @ 0 kp/s");
        if (saved) {
          EXPECT_LT(*saved, planted.p) << line;
        }
        EXPECT_NE(line, "Done");
      }
      EXPECT_TRUE(dir.read("Vesk.dat") == planted.data) << "Vesk.dat rewritten";

      // The fault cleared, a plain restart resumes and writes the factor.
      fs::remove_all(dir.path() / "fact.txt");
      const RunResult again = dir.run({"-p", "2"});
      EXPECT_EQ(again.exit_status, 0) << again.out;
      EXPECT_EQ(dir.read_lines("fact.txt"), std::vector<std::string>{planted.factor_line});
    }
  }
}

// A status file that cannot grow (progress saves and the "Done" line) is
// reported at every save, and the run goes on; the file keeps the range it
// holds, so a restart resumes that range instead of losing it.
TEST(E2eFaults, StatusFileThatCannotGrow) {
  const Planted planted = planted_factor();
  for (const Blocked how : {Blocked::at_limit, Blocked::below_limit}) {
    SCOPED_TRACE(name_of(how));
    WorkDir dir;
    dir.write("Vesk.dat", planted.data);
    // Resuming: the old lines go first, the range comes last.
    const std::string tail = "pmax=1000000100\npmin=1000000000\n";
    const rlim_t size = how == Blocked::at_limit ? size_limit : size_limit - 3;
    dir.write("VeskStatus.dat", old_lines("pmin=999 @ 0 kp/s", size - tail.size()) + tail);
    const std::string before = dir.read("VeskStatus.dat");
    const RunResult result = run_limited(dir, {"-p", "2", "-i", "20"});
    EXPECT_EQ(result.exit_status, 0);
    const std::vector<std::string> lines = after_banner(result);
    EXPECT_TRUE(has_line(lines, "Found VeskStatus.dat with unfinished work. Continuing from last save point."));
    std::size_t saves = 0;
    std::size_t warnings = 0;
    for (const std::string& line : lines) {
      saves += line.starts_with("p = ") ? 1 : 0;
      warnings += line == "Warning: could not write VeskStatus.dat" ? 1 : 0;
    }
    EXPECT_GE(saves, 2u);
    EXPECT_EQ(warnings, saves + 1) << "every save and the Done line";
    EXPECT_TRUE(has_line(lines, planted.factor_line));
    EXPECT_TRUE(has_line(lines, no_next));
    EXPECT_TRUE(dir.read("VeskStatus.dat") == before) << "VeskStatus.dat changed";
    EXPECT_EQ(dir.read_lines("fact.txt"), std::vector<std::string>{planted.factor_line});
  }
}

// stat.txt that cannot be written: a warning, and the run ends normally.
TEST(E2eFaults, StatisticsFileThatCannotBeWritten) {
  const Planted planted = planted_factor();
  for (const Blocked how : {Blocked::dev_full, Blocked::directory, Blocked::at_limit, Blocked::below_limit}) {
    SCOPED_TRACE(name_of(how));
    WorkDir dir;
    dir.write("Vesk.dat", planted.data);
    const std::string before = block(dir, "stat.txt", how, "Total time: 61234 ms");
    const RunResult result = run_limited(dir, planted_range);
    EXPECT_EQ(result.exit_status, 0);
    const std::vector<std::string> lines = after_banner(result);
    EXPECT_TRUE(has_line(lines, "Warning: could not write stat.txt"));
    EXPECT_TRUE(has_line(lines, no_next));
    if (how == Blocked::at_limit || how == Blocked::below_limit) {
      EXPECT_TRUE(dir.read("stat.txt") == before) << "stat.txt changed";
    }
  }
}

// -u on a full disk: the error names the file, " Done." is not printed, the
// old data file is kept byte for byte and no temporary file is left over.
TEST(E2eFaults, DataFileSaveThatFails) {
  const Planted planted = planted_factor();
  // A data file larger than the size limit, so that its rewrite cannot fit.
  std::string big = "12\n1000\n5000000\nk=" + std::to_string(planted.k) + "\n" + std::to_string(planted.n) + "\n";
  while (big.size() <= size_limit) big += "+24\n";
  struct Case {
    const char* what;
    std::string data;
    bool limited;
    const char* temp;  // what stands at Vesk.dat.tmp before the run: "", "dir" or "full"
  };
  const Case cases[] = {
      {"larger than the disk has room for", big, true, ""},
      {"temporary file on a full disk", planted.data, false, "full"},
      {"temporary file cannot be created", planted.data, false, "dir"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WorkDir dir;
    dir.write("Vesk.dat", c.data);
    if (std::string(c.temp) == "full") fs::create_symlink("/dev/full", dir.path() / "Vesk.dat.tmp");
    if (std::string(c.temp) == "dir") fs::create_directory(dir.path() / "Vesk.dat.tmp");
    std::vector<std::string> args{"-u"};
    args.insert(args.end(), planted_range.begin(), planted_range.end());
    const RunResult result = run_limited(dir, args, c.limited);
    EXPECT_EQ(result.exit_status, 0);
    const std::vector<std::string> lines = after_banner(result);
    const auto saving = std::find(lines.begin(), lines.end(), "Saving Vesk.dat...");
    ASSERT_NE(saving, lines.end());
    ASSERT_NE(saving + 1, lines.end());
    EXPECT_EQ(*(saving + 1), "Error: could not write Vesk.dat; the old file was kept unchanged.");
    EXPECT_FALSE(has_line(lines, " Done."));
    EXPECT_TRUE(dir.read("Vesk.dat") == c.data) << "Vesk.dat changed";
    EXPECT_EQ(dir.read_lines("fact.txt"), std::vector<std::string>{planted.factor_line});
    if (std::string(c.temp).empty()) {
      EXPECT_FALSE(dir.exists("Vesk.dat.tmp"));
    }
  }
}

// A queued range whose removal from nextrange.txt cannot be written: the run
// stops (status 1) rather than running the same range forever, the queue
// keeps every range it held, and the status file already holds the range
// taken, so nothing is lost (at worst it runs twice).
TEST(E2eFaults, QueueRewriteThatFails) {
  const Planted planted = planted_factor();
  const std::string pair = "pmin=1000000200\npmax=1000000300\n";
  struct Case {
    const char* what;
    std::string queue;
    bool limited;
  };
  std::string long_queue = pair;
  for (u64 p = 2000000000000; long_queue.size() <= size_limit + 100; p += 1000000000) {
    long_queue += "pmin=" + std::to_string(p) + "\npmax=" + std::to_string(p + 1000000000) + "\n";
  }
  const Case cases[] = {
      {"queue larger than the disk has room for", long_queue, true},
      {"temporary file on a full disk", pair + "pmin=2000000000000\npmax=2001000000000\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WorkDir dir;
    dir.write("Vesk.dat", planted.data);
    dir.write("nextrange.txt", c.queue);
    if (!c.limited) fs::create_symlink("/dev/full", dir.path() / "nextrange.txt.tmp");
    const RunResult result = run_limited(dir, planted_range, c.limited);
    EXPECT_EQ(result.exit_status, 1);
    const std::vector<std::string> lines = after_banner(result);
    EXPECT_TRUE(has_line(lines,
                         "Error: could not rewrite nextrange.txt, which still holds the range 1000000200 to "
                         "1000000300. Exiting."))
        << result.out;
    EXPECT_TRUE(dir.read("nextrange.txt") == c.queue) << "nextrange.txt changed";
    EXPECT_EQ(dir.read("VeskStatus.dat"), "pmax=1000000300\npmin=1000000200\n");
  }
}

// A new range that cannot be recorded in the status file is not started:
// without the record a crash would lose the range.
TEST(E2eFaults, RangeThatCannotBeRecordedIsNotStarted) {
  const Planted planted = planted_factor();
  const std::string message = "Error: could not write VeskStatus.dat, so the range cannot be recorded. Exiting.";
  for (const bool read_only_directory : {false, true}) {
    SCOPED_TRACE(read_only_directory ? "read-only working directory" : "temporary status file is a directory");
    if (read_only_directory && ::geteuid() == 0) {
      // Root writes into a read-only directory all the same.
      continue;
    }
    WorkDir dir;
    dir.write("Vesk.dat", planted.data);
    if (read_only_directory) {
      fs::permissions(dir.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove);
    } else {
      fs::create_directory(dir.path() / "VeskStatus.dat.tmp");
    }
    const RunResult result = dir.run(planted_range);
    if (read_only_directory) fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(result.exit_status, 1);
    const std::vector<std::string> lines = after_banner(result);
    EXPECT_TRUE(has_line(lines, message)) << result.out;
    for (const std::string& line : lines) EXPECT_FALSE(line.starts_with("Testing ")) << "no work without a record";
    EXPECT_FALSE(dir.exists("fact.txt"));
  }
}

// Data files that cannot be opened: the program names the file and ends
// with status 1 before anything is written.
TEST(E2eFaults, DataFileThatCannotBeOpened) {
  WorkDir dir;
  dir.write("plain", "not a directory\n");
  fs::create_directory(dir.path() / "folder");
  for (const std::string name : {"plain/Vesk.dat", "folder", "missing.dat"}) {
    const RunResult result = dir.run({"-p", "2", "-f", "-s", name, "1000000000", "1000000100"});
    EXPECT_EQ(result.exit_status, 1) << name;
    const std::vector<std::string> lines = after_banner(result);
    // The message completes the "Initializing... " line.
    EXPECT_TRUE(has_line(lines, "Initializing... Error: couldn't open '" + name + "'")) << result.out;
    EXPECT_FALSE(dir.exists("fact.txt"));
  }
}

// The largest modulus the Pohlig-Hellman route takes, 2^24 - 3, whose
// baby-step table holds 4095 entries (the most a 4096-slot table could):
// for p = 2*16777213*33553727 + 1, just below 2^50, the order of 2 is
// 16777213*33553727 and the moduli list is that one prime. Over the full
// 32-bit n range the route takes it; the run must end normally and report
// exactly the listed pairs that p divides.
TEST(E2eLimits, ModulusNear2To24OverTheFullNRange) {
  const u64 p = 1125876049645703;
  ASSERT_TRUE(is_prime(p));
  std::string data = "12\n0\n4294967295\n";
  std::set<std::string> expected;
  for (u64 k = 3; k < 3 + 2 * 12; k += 2) {
    data += "k=" + std::to_string(k) + "\n1\n+1\n+4294967000\n";
    for (const u64 n : {u64{1}, u64{2}, u64{4294967002}}) {
      if (divides(p, k, n)) expected.insert(std::to_string(p) + " | " + std::to_string(k) + "*2^" + std::to_string(n) + "+1");
    }
  }
  WorkDir dir;
  dir.write("Vesk.dat", data);
  const RunResult result = dir.run({"-p", "2", std::to_string(p - 1), std::to_string(p)});
  EXPECT_EQ(result.exit_status, 0) << result.out;
  EXPECT_TRUE(has_line(after_banner(result), no_next));
  EXPECT_EQ(line_set(dir.read_lines("fact.txt")), expected);
}

// The process id of the run whose working directory is `dir`; 0 if none.
pid_t run_in(const fs::path& dir) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (fs::read_symlink(entry.path() / "cwd", error) == dir) return static_cast<pid_t>(std::stol(name));
  }
  return 0;
}

// Nice level and scheduling policy of the process's main thread, from
// /proc/<pid>/stat (fields 19 and 41).
std::pair<int, int> nice_and_policy(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));  // field 3 onwards
  std::vector<std::string> field;
  for (std::string f; fields >> f;) field.push_back(f);
  if (field.size() < 39) return {1000, -1};
  return {std::stoi(field[19 - 3]), std::stoi(field[41 - 3])};
}

// Whether a process started from this one may lower its nice level to
// `nice` (raising it is always allowed; lowering needs privileges or a nice
// limit that reaches that far): a child raises itself to 19 and tries, so
// this process keeps its own level.
bool may_lower_nice_to(int nice) {
  const pid_t child = ::fork();
  if (child == 0) {
    (void)::setpriority(PRIO_PROCESS, 0, 19);
    _exit(::setpriority(PRIO_PROCESS, 0, nice) == 0 ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The five process classes and six thread priorities on Linux: nice levels
// (class level plus thread offset) and the idle scheduling class. Raising a
// priority needs privileges and is refused silently otherwise: the class
// level is set first (kept at the starting level when refused), then the
// thread's level from there (kept where the class step left it when
// refused). Every case asserts its level and policy, at any nice level and
// with any privileges this test runs under.
TEST(E2ePlatform, PrioritiesMapToNiceLevelsAndTheIdleClass) {
  const Planted planted = planted_factor();
  errno = 0;
  const int own_nice = ::getpriority(PRIO_PROCESS, 0);
  ASSERT_EQ(errno, 0);
  constexpr int sched_other = 0;
  constexpr int sched_idle = 5;
  struct Case {
    std::string process, thread;
    int class_nice;
    int nice;
    int policy;
  };
  const Case cases[] = {
      {"0", "3", 19, 19, sched_other},  // the defaults: idle class, normal thread
      {"1", "1", 10, 12, sched_other},  // below normal, lowest: 10 + 2
      {"2", "0", 0, 0, sched_idle},     // normal class, idle thread
      {"1", "4", 10, 9, sched_other},   // below normal, above normal: 10 - 1
      {"0", "5", 19, 17, sched_other},  // idle class, highest: 19 - 2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("-p " + c.process + " -pt " + c.thread + ", started at nice " + std::to_string(own_nice));
    const auto reachable_from = [](int from, int to) { return to >= from || may_lower_nice_to(to); };
    const int after_class = reachable_from(own_nice, c.class_nice) ? c.class_nice : own_nice;
    const int want_nice = reachable_from(after_class, c.nice) ? c.nice : after_class;
    WorkDir dir;
    dir.write("Vesk.dat", planted.data);
    BackgroundRun run = dir.start({"-p", c.process, "-pt", c.thread, "1000000000", "1500000000"});
    ASSERT_TRUE(run.wait_for_output("Testing ")) << "the run did not start";
    const pid_t pid = run_in(fs::canonical(dir.path()));
    ASSERT_NE(pid, 0);
    const auto [nice, policy] = nice_and_policy(pid);
    EXPECT_EQ(nice, want_nice);
    EXPECT_EQ(policy, c.policy);
    run.kill_now();
  }
}

}  // namespace
}  // namespace e2e
