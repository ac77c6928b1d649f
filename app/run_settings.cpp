// The switch grammar: every argument is looked at once, in order. A switch
// is compared whole and case-sensitively (no prefixes, no bundling); a
// switch that takes a value swallows the next argument whatever it looks
// like; anything not starting with "-" is a number of the range.
#include "app/run_settings.hpp"

#include <string_view>
#include <thread>

#include "app/info_switches.hpp"
#include "common/parse_u64.hpp"
#include "common/platform.hpp"

namespace app {

namespace {

// The number in `text`, or nothing after telling the user which argument was
// wrong. A number that cannot be read is never taken as 0: the run stops
// before anything is touched.
std::optional<u64> read_number(const std::string& text, std::string_view after_switch, std::ostream& out) {
  const std::optional<u64> value = common::parse_u64(text);
  if (!value) {
    if (after_switch.empty()) {
      out << "Bad number on the command line: '" << text << "'.";
    } else {
      out << "Bad number after " << after_switch << ": '" << text << "'.";
    }
    out << " Give a decimal number below 18446744073709551616." << std::endl;
  }
  return value;
}

}  // namespace

u32 online_processor_count() { return std::thread::hardware_concurrency(); }

std::optional<CommandLine> parse_arguments(std::span<const std::string> args, std::ostream& out,
                                           u32 online_processors) {
  CommandLine line;
  RunSettings& settings = line.settings;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.empty() || arg[0] != '-') {
      const std::optional<u64> number = read_number(arg, {}, out);
      if (!number) return std::nullopt;
      if (!settings.range_given) {
        settings.pmin = *number;
        settings.range_given = true;
      } else {
        settings.pmax = *number;
      }
      continue;
    }

    const std::string_view name = std::string_view(arg).substr(1);
    if (name == "d") {
      line.output.report_excluded = false;
    } else if (name == "f") {
      settings.force_range = true;
    } else if (name == "c") {
      settings.work_checksum = true;
    } else if (name == "u") {
      settings.update_data_file = true;
    } else if (name == "v") {
      line.output.verbosity = 1;
    } else if (name == "vv") {
      line.output.verbosity = 2;
    } else if (name == "i" || name == "p" || name == "pt" || name == "s" || name == "t" ||
               // What BOINC's multi-thread plan classes put on the command
               // line; the same as -t.
               name == "-nthreads") {
      if (i + 1 == args.size()) {
        out << "Missing value after " << arg << std::endl;
        return std::nullopt;
      }
      const std::string& value = args[++i];
      if (name == "s") {
        settings.data_file_name = value;
        continue;
      }
      const std::optional<u64> number = read_number(value, arg, out);
      if (!number) return std::nullopt;
      if (name == "i") {
        settings.save_interval = *number;
      } else if (name == "p") {
        if (*number >= common::process_priority_count) {
          out << "Bad process priority. Give value between 0 and 4 inclusive." << std::endl;
          return std::nullopt;
        }
        settings.process_priority = static_cast<u32>(*number);
      } else if (name == "t" || name == "-nthreads") {
        if (*number < 1 || *number > max_threads) {
          out << "Bad thread count. Give value between 1 and " << max_threads << " inclusive." << std::endl;
          return std::nullopt;
        }
        settings.threads = static_cast<u32>(*number);
        settings.threads_given = true;
        // More threads than processors still gives the same output, only
        // more slowly; the volunteer may have a reason.
        if (online_processors != 0 && settings.threads > online_processors) {
          out << "Warning: " << settings.threads << " threads, but only " << online_processors
              << " processors are online." << std::endl;
        }
      } else {
        if (*number >= common::thread_priority_count) {
          out << "Bad thread priority. Give value between 0 and 5 inclusive." << std::endl;
          return std::nullopt;
        }
        settings.thread_priority = static_cast<u32>(*number);
      }
    } else {
      out << "unknown switch: " << name << std::endl;
    }
  }
  return line;
}

void print_usage(std::ostream& out) {
  static constexpr const char* lines[] = {
      version_line,
      "Discrete-logarithm sieve for k*2^n+1, written afresh for the Vesk search volunteers",
      "usage: quarrow [switches] [<pmin> <pmax>]",
      "\t-d = don't output excluded (duplicates/outside range) factors",
      "\t-f = force use of p range given on cmdline. Overwrite VeskStatus.dat",
      "\t-i <interval> = interval between progress saves to VeskStatus.dat",
      "\t                default is 10000000, which saves every 10 million p",
      "\t-p <priority> = set process priority from 0 to 4. 0 is idle, default",
      "\t-pt <threadp> = set thread priority from 0 to 5. 3 is normal, default",
      "\t-s <filename> = use alternative Vesk.dat",
      "\t-u = update Vesk.dat afterwards",
      "\t-v = print some additional info. -vv gives more",
      "\t-t <threads> = number of sieving threads. 1 is default",
      "\t-c = write a checksum of the work done for each range to checksum.txt",
      "New factors are written to fact.txt, duplicates to factexcl.txt, and those",
      "outside the n range to factrange.txt. Some statistics are written to stat.txt",
  };
  for (const char* text : lines) out << text << std::endl;
}

}  // namespace app
