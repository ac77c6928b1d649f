// quarrow: sieves k*2^n+1 over a range of primes p by discrete logarithms.
// The start-up sequence: -h, --help or --version answered alone (status 0,
// nothing read or written), else banner, command line, the range (status file,
// question, prompt), priority, data file, small primes, search set-up, then
// the range driver. Every fatal error comes back here as exit status 1, with
// its message already on standard output; nothing goes to standard error.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "app/info_switches.hpp"
#include "app/range_driver.hpp"
#include "app/run_settings.hpp"
#include "app/status_file.hpp"
#include "common/host_api.hpp"
#include "common/platform.hpp"
#include "common/run_lock.hpp"
#include "primes/small_primes.hpp"
#include "search/factor_search.hpp"
#include "modarith/wide_kernels.hpp"
#include "sievedata/data_loader.hpp"
#include "sievedata/sieve_table.hpp"

namespace {

int run(int argc, char** argv) {
  std::ostream& out = std::cout;
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (app::answer_info_request(app::find_info_request(args), out)) return 0;
  app::print_usage(out);

  std::optional<app::CommandLine> command_line = app::parse_arguments(args, out);
  if (!command_line) return 1;
  app::RunSettings& settings = command_line->settings;
  const sievedata::OutputSettings& output = command_line->output;
  // Under a client the task runs on as many processors as it was given (a
  // multi-thread plan class), unless the command line says otherwise.
  if (!settings.threads_given) {
    const common::u32 cpus = common::host_cpu_count();
    if (cpus > 1) settings.threads = std::min(cpus, app::max_threads);
  }

  // A kernel set forced through the environment that cannot run ends the run
  // here, before any file of the working directory is read or written.
  if (const std::string& error = modarith::kernel_choice().error; !error.empty()) {
    out << error << std::endl;
    return 1;
  }

  // Before any file of the working directory is read or written.
  switch (common::acquire_run_lock(common::run_lock_file_name)) {
    case common::RunLock::held:
      break;
    case common::RunLock::taken:
      out << "Error: another quarrow is running in this directory (it holds " << common::run_lock_file_name
          << "). Exiting." << std::endl;
      return 1;
    case common::RunLock::unavailable:
      out << "Warning: could not lock " << common::run_lock_file_name
          << "; a second copy started in this directory would not be stopped." << std::endl;
      break;
  }

  if (!app::decide_range(settings, std::cin, out)) return 1;

  common::set_priority(settings.process_priority, settings.thread_priority);
  // The first two lines are the fixed texts the program has always printed,
  // whatever the processor: they name no kernels. The third says which
  // kernel set runs: the processor check's choice, or the forced one.
  out << "Using CMOV optimizations" << std::endl;
  out << "Using SSE2 optimizations" << std::endl;
  out << "Using " << modarith::kernel_set_name() << " kernels" << std::endl;

  out << "Initializing... " << std::flush;
  if (output.verbosity >= 1) out << std::endl;
  sievedata::SieveTable table;
  if (!sievedata::load_sieve_data(settings.data_file_name, table, output.verbosity, out)) return 1;
  if (output.verbosity == 0) out << "Done." << std::endl;

  primes::build_small_primes(primes::small_prime_limit);
  const search::SearchSetup setup = search::prepare_search(table);

  return app::run_ranges(settings, output, table, setup, out);
}

}  // namespace

// Under a volunteer-computing client the program starts and ends through the
// client's runtime, which learns the exit status that way.
int main(int argc, char** argv) {
  common::prepare_console();
  common::ignore_file_size_signal();
  common::host_init();
  return common::host_finish(run(argc, argv));
}
