// Runs the real quarrow program the way a volunteer does: in a working
// directory of its own, with a command line, something (or nothing) on
// standard input, and the files it finds there; and lets a test look at what
// it printed, its exit status and the files it left behind.
//
// Processes are started with fork/exec (no shell, so no quoting), and every
// run has a deadline after which it is killed, so no test can hang. A
// launcher, when configured, is exec'd with the program as its first
// argument; it must run the program in its own process (as Wine does), so
// that a kill reaches the program itself.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;

// The program under test and the sample data file shipped with the sources.
// The environment variable QUARROW_E2E_PROGRAM, when set, names another
// program to test (a cross-built one).
std::string quarrow_binary();
// What runs the program when it cannot run by itself (Wine for a Windows
// build), named by QUARROW_E2E_LAUNCHER; empty by default.
std::string quarrow_launcher();
std::filesystem::path example_data_file();

struct RunResult {
  std::optional<int> exit_status;  // nothing when the process did not exit by itself
  bool timed_out = false;          // killed at the deadline
  bool killed = false;             // ended by a signal (SIGKILL from a test included)
  std::string out;                 // everything on standard output
  std::string err;                 // everything on standard error (should stay empty)

  // The output split into lines, without their line ends.
  std::vector<std::string> lines() const;
};

// A run started in the background, to be killed at a moment of the test's
// choosing. Waits for and reaps the process when destroyed.
class BackgroundRun {
 public:
  BackgroundRun(pid_t pid, std::filesystem::path out_file, std::filesystem::path err_file);
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;
  ~BackgroundRun();

  // Waits for the end of the run; kills it at the deadline.
  RunResult wait(std::chrono::milliseconds timeout = 60s);
  // Sends SIGKILL now (if the run has not already ended) and reaps it.
  RunResult kill_now();
  // Waits until standard output holds `text` (true), or the run ended or the
  // time ran out without it (false).
  bool wait_for_output(const std::string& text, std::chrono::milliseconds timeout = 60s);

 private:
  RunResult finish(int wait_status, bool timed_out);

  pid_t pid_;
  bool reaped_ = false;
  std::filesystem::path out_file_;
  std::filesystem::path err_file_;
};

// A fresh temporary directory: `work/` is the program's working directory,
// standard input and output live beside it so that they never show up among
// the program's files. Removed with everything in it when destroyed.
class WorkDir {
 public:
  WorkDir();
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;
  ~WorkDir();

  const std::filesystem::path& path() const { return work_; }
  void write(const std::string& name, const std::string& text) const;
  void copy_example_data(const std::string& name = "Vesk.dat") const;
  bool exists(const std::string& name) const;
  // The file's content; empty when it does not exist.
  std::string read(const std::string& name) const;
  // The file's lines without their line ends; none when it does not exist.
  std::vector<std::string> read_lines(const std::string& name) const;

  // Runs quarrow with `args`; `input` is all of its standard input (empty:
  // standard input is at its end from the start).
  RunResult run(const std::vector<std::string>& args, const std::string& input = "",
                std::chrono::milliseconds timeout = 60s) const;
  // The same, in the background. With `file_size_limit` the program may
  // not make any file larger than that many bytes (RLIMIT_FSIZE, as a full
  // disk would stop it), standard output included.
  BackgroundRun start(const std::vector<std::string>& args, const std::string& input = "",
                      std::optional<std::uint64_t> file_size_limit = std::nullopt) const;

 private:
  std::filesystem::path root_;
  std::filesystem::path work_;
  mutable int runs_ = 0;
};

std::vector<std::string> split_lines(const std::string& text);

}  // namespace e2e
