// The command line comes from users' scripts and shortcuts. Any argument
// list (the input split at NUL bytes) must be examined without a crash;
// a refused one must say why, and an accepted one must hold priorities in
// their ranges.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "app/run_settings.hpp"
#include "fuzz/fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args;
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (size > 0) args.push_back(current);

  std::ostringstream out;
  const std::optional<app::CommandLine> line = app::parse_arguments(args, out);
  const std::string printed = out.str();
  fuzz::check(printed.empty() || printed.back() == '\n', "output ends in the middle of a line");
  if (!line) {
    fuzz::check(fuzz::says_why(printed), "a refused command line without a message");
    return 0;
  }
  fuzz::check(line->settings.process_priority <= 4, "process priority above 4 accepted");
  fuzz::check(line->settings.thread_priority <= 5, "thread priority above 5 accepted");
  fuzz::check(line->output.verbosity <= 2, "verbosity above 2");
  return 0;
}
