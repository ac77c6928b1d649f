#include "e2e/harness.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {

namespace fs = std::filesystem;

namespace {

// The environment may name another program (and its launcher) than the one
// this harness was built for, so that one build of the harness can run a
// cross-built program too.
std::string setting(const char* variable, const char* built_in) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : built_in;
}

}  // namespace

std::string quarrow_binary() { return setting("QUARROW_E2E_PROGRAM", QUARROW_BINARY); }
std::string quarrow_launcher() { return setting("QUARROW_E2E_LAUNCHER", ""); }
fs::path example_data_file() { return fs::path(QUARROW_SOURCE_DIR) / "examples" / "Vesk.dat"; }

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> RunResult::lines() const { return split_lines(out); }

namespace {

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void spit(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

BackgroundRun::BackgroundRun(pid_t pid, fs::path out_file, fs::path err_file)
    : pid_(pid), out_file_(std::move(out_file)), err_file_(std::move(err_file)) {}

BackgroundRun::~BackgroundRun() {
  if (!reaped_) kill_now();
}

RunResult BackgroundRun::finish(int wait_status, bool timed_out) {
  reaped_ = true;
  RunResult result;
  result.timed_out = timed_out;
  if (WIFEXITED(wait_status)) result.exit_status = WEXITSTATUS(wait_status);
  result.killed = WIFSIGNALED(wait_status);
  result.out = slurp(out_file_);
  result.err = slurp(err_file_);
  return result;
}

RunResult BackgroundRun::wait(std::chrono::milliseconds timeout) {
  if (reaped_) throw std::logic_error("run already reaped");
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) return finish(status, false);
    if (done < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      return finish(status, true);
    }
    std::this_thread::sleep_for(2ms);
  }
}

RunResult BackgroundRun::kill_now() {
  if (reaped_) throw std::logic_error("run already reaped");
  ::kill(pid_, SIGKILL);  // harmless if it has already exited: it is a zombie until reaped
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  return finish(status, false);
}

bool BackgroundRun::wait_for_output(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (slurp(out_file_).find(text) != std::string::npos) return true;
    // A run that has ended cannot print more; it is reaped later by wait or kill_now.
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_) {
      return slurp(out_file_).find(text) != std::string::npos;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
}

WorkDir::WorkDir() {
  std::string pattern = (fs::temp_directory_path() / "quarrow_e2e_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  work_ = root_ / "work";
  fs::create_directory(work_);
}

WorkDir::~WorkDir() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void WorkDir::write(const std::string& name, const std::string& text) const { spit(work_ / name, text); }

void WorkDir::copy_example_data(const std::string& name) const {
  fs::copy_file(example_data_file(), work_ / name, fs::copy_options::overwrite_existing);
}

bool WorkDir::exists(const std::string& name) const { return fs::exists(work_ / name); }

std::string WorkDir::read(const std::string& name) const { return exists(name) ? slurp(work_ / name) : ""; }

std::vector<std::string> WorkDir::read_lines(const std::string& name) const { return split_lines(read(name)); }

RunResult WorkDir::run(const std::vector<std::string>& args, const std::string& input,
                       std::chrono::milliseconds timeout) const {
  return start(args, input).wait(timeout);
}

BackgroundRun WorkDir::start(const std::vector<std::string>& args, const std::string& input,
                             std::optional<std::uint64_t> file_size_limit) const {
  const int number = ++runs_;
  const fs::path in_file = root_ / ("stdin." + std::to_string(number));
  const fs::path out_file = root_ / ("stdout." + std::to_string(number));
  const fs::path err_file = root_ / ("stderr." + std::to_string(number));
  spit(in_file, input);

  // Everything the child needs is prepared before the fork: after it only
  // async-signal-safe calls are made.
  std::vector<std::string> argv_text;
  if (!quarrow_launcher().empty()) argv_text.push_back(quarrow_launcher());
  argv_text.push_back(quarrow_binary());
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& text : argv_text) argv.push_back(text.data());
  argv.push_back(nullptr);
  const std::string work = work_.string();
  const std::string in_name = in_file.string();
  const std::string out_name = out_file.string();
  const std::string err_name = err_file.string();

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int in = ::open(in_name.c_str(), O_RDONLY);
    const int out = ::open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
        ::chdir(work.c_str()) != 0) {
      ::_exit(126);
    }
    if (file_size_limit) {
      // Only the program is limited; SIGXFSZ keeps its default action, so a
      // program that did not ignore it would be killed in mid-write.
      rlimit limit{};
      limit.rlim_cur = static_cast<rlim_t>(*file_size_limit);
      limit.rlim_max = static_cast<rlim_t>(*file_size_limit);
      ::signal(SIGXFSZ, SIG_DFL);
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return BackgroundRun(pid, out_file, err_file);
}

}  // namespace e2e
