// The main loop: one range of p after another. For each range it checks the
// bounds, walks the primes in ascending order, hands each to the factor
// search and every hit to the factor output, saves progress to the status
// file at a fixed distance in p, marks the range done, optionally writes the
// data file back, and lets the statistics step fetch the next range.
#pragma once
#include <optional>
#include <ostream>
#include <string>

#include "app/range_work.hpp"
#include "app/progress_report.hpp"
#include "app/run_settings.hpp"
#include "common/stopwatch.hpp"
#include "search/search_context.hpp"
#include "sievedata/sieve_table.hpp"

namespace app {

// The console line of a progress save; rate 0 (not yet measured) is "???".
std::string progress_console_line(u64 p, u32 rate);

class RangeDriver {
 public:
  // All references must outlive the driver. The table is the one loaded at
  // start-up; the factor output removes the pairs it reports from it.
  RangeDriver(RunSettings& settings, const sievedata::OutputSettings& output, sievedata::SieveTable& table,
              const search::SearchSetup& setup, std::ostream& out);

  // Works through ranges until the queue is empty (returns 0) or a range
  // fails its checks or cannot be recorded (returns 1).
  int run_ranges();

 private:
  // Sieves [pmin, pmax] (checked) segment by segment, on this thread with
  // one thread, else on workers, with the same output apart from rates and
  // times, and returns the first prime above pmax. Nothing when a factor
  // could not be written (reported): the range stops at that prime.
  std::optional<u64> sieve_range(u64 pmin, u64 pmax);
  // One hit to the factor output; false when its line could not be written.
  bool report(const search::Hit& hit);
  // A progress save at prime p with the rate to print, due by the save
  // interval; `work` is the proof of work of every prime up to `covered`
  // (>= p). Tells a volunteer-computing client the fraction done and asks
  // it whether to checkpoint now; false when it said not yet (the save is
  // still due). A save whose files could not be written counts as made.
  bool save_progress(u64 p, u32 rate, u64 covered, const search::WorkChecksum& work);
  // Where the proof of work of the range starts; false when the range had
  // to be started again and could not be recorded (exit status 1).
  bool begin_work(u64 resume_p);
  void finish_status_file();
  void save_data_file();

  RunSettings& settings_;
  const sievedata::OutputSettings& output_;
  sievedata::SieveTable& table_;
  const search::SearchSetup& setup_;
  std::ostream& out_;

  // The range's summed counters, and the rate of the progress lines (the
  // writer's, over the last segment it finished; carried across ranges).
  search::Counters counters_;
  // The proof of work of the range so far (kept only with -c or under a
  // client; see RangeWork).
  search::WorkChecksum range_work_;
  u32 current_rate_ = 0;
  common::Stopwatch range_stopwatch_;
  // The range as first recorded (not the resumed pmin), for the progress
  // fraction.
  u64 range_pmin_ = 0;
  u64 range_pmax_ = 0;
  RangeWork work_;
  ProgressReport progress_;  // the -v estimates and factor counts
};

// Runs the ranges with one driver for the whole run; the exit status.
int run_ranges(RunSettings& settings, const sievedata::OutputSettings& output, sievedata::SieveTable& table,
               const search::SearchSetup& setup, std::ostream& out);

}  // namespace app
