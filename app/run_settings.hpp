// What the command line decides for the run: the run settings proper and the
// two output settings that the sieve data's factor output reads.
// The parser is a pure function of the argument list, so that every rule of
// the switch grammar can be checked without starting the program.
#pragma once
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "common/types.hpp"
#include "sievedata/output_settings.hpp"

namespace app {
using common::u32;
using common::u64;

struct RunSettings {
  std::string data_file_name = "Vesk.dat";  // -s
  u64 save_interval = 10000000;             // -i, in p (not in primes)
  u32 process_priority = 0;                 // -p, 0 idle .. 4 high
  u32 thread_priority = 3;                  // -pt, 0 idle .. 5 highest, 3 normal
  u32 threads = 1;                          // -t, sieving threads, 1 .. max_threads
  bool threads_given = false;               // -t was on the command line
  bool work_checksum = false;               // -c: keep the proof of work, write checksum.txt
  bool force_range = false;                 // -f
  bool update_data_file = false;            // -u
  bool range_given = false;                 // a first number was on the command line
  u64 pmin = 0;                             // also set by the status file, the prompt and the queue
  u64 pmax = 0;
};

// More threads than this would only cost memory (each has a segment sieve
// of tens of megabytes) on any machine a volunteer has.
inline constexpr u32 max_threads = 256;

struct CommandLine {
  RunSettings settings;
  sievedata::OutputSettings output;  // -v, -vv, -d
};

// The number of processors online; 0 when the system does not tell.
u32 online_processor_count();

// Examines `args` (the arguments after the program name) in order and
// returns the settings they make. Unknown switches are reported on `out` and
// skipped. Returns nothing, after printing the reason on `out`, when the run
// must end with exit status 1: a priority or thread count out of range, a
// value switch with no value after it, or a value or number that is not a
// decimal number fitting 64 bits. A thread count above `online_processors`
// (when that is not 0) is taken, with a warning.
std::optional<CommandLine> parse_arguments(std::span<const std::string> args, std::ostream& out,
                                           u32 online_processors = online_processor_count());

// The banner and usage text, printed at every start.
void print_usage(std::ostream& out);

}  // namespace app
