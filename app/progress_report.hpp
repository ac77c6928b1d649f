// What -v adds for the person watching a range: after every progress save a
// line with the share of the range done, the average rate, the time left and
// the local finish time; at the end of a range the number of factor lines
// written to each of the three factor files.
//
// The progress line itself ("p = ... @ ...kp/s") stays as every build has
// printed it; these lines come in addition, and only with -v or -vv, so a
// plain run's console is unchanged.
#pragma once
#include <chrono>
#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "common/types.hpp"
#include "sievedata/factor_output.hpp"
#include "sievedata/sieve_table.hpp"

namespace app {
using common::u64;

// A duration for people: "3 d 4 h", "2 h 14 min", "14 min" or
// "less than 1 min" (truncated, never rounded up to a larger unit).
std::string readable_duration(u64 seconds);

// Where a range stands at one save. `range_start` is where the range began,
// also in an earlier run that was resumed; `run_start` is where this run
// began sieving it (so the average rate is this run's own).
struct ProgressPoint {
  u64 range_start = 0;
  u64 run_start = 0;
  u64 p = 0;
  u64 pmax = 0;
  u64 elapsed_ms = 0;  // since this run began the range
};

// The -v line after a save, e.g. "  12.3% done, 9651 kp/s average,
// 2 h 14 min left, finish about 2026-12-11 01:40". The share is truncated
// to a tenth of a per cent, so it shows 100.0% only at pmax; the finish
// time is `now` plus the time left, in local time. Before any time has
// passed the rate is unknown and the line ends after the share.
std::string progress_estimate_line(const ProgressPoint& point, std::time_t now);

// The start of the range recorded in a status file's text: the first "pmin"
// line after the last "pmax" line, when that "pmax" line holds `pmax`. A
// resumed range's share done counts from there. Nothing when the text does
// not record a range ending at `pmax`.
std::optional<u64> recorded_range_start(std::string_view status_text, u64 pmax);

// The -v line at the end of a range, e.g. "Factor lines written: 3 new
// (fact.txt), 1 duplicates (factexcl.txt), 0 outside the n range
// (factrange.txt)".
std::string factor_counts_line(const sievedata::FactorCounts& counts);

// One per run, held by the range driver: told when a range starts, of every
// save and every factor line, and when the range ends.
class ProgressReport {
 public:
  ProgressReport(const sievedata::OutputSettings& output, std::ostream& out) : output_(output), out_(out) {}

  // A range [pmin, pmax] starts now. Reads the status file once, so that a
  // resumed range counts its share done from where it first began.
  void start_range(u64 pmin, u64 pmax);
  // Called after the progress line of the save at p.
  void after_save(u64 p);
  // Where report_factor counts the lines it writes during the range.
  sievedata::FactorCounts* counts() { return &counts_; }
  // Called once the range is done.
  void finish_range();

 private:
  bool verbose() const { return output_.verbosity >= 1; }

  const sievedata::OutputSettings& output_;
  std::ostream& out_;
  u64 range_start_ = 0;
  u64 run_start_ = 0;
  u64 pmax_ = 0;
  std::chrono::steady_clock::time_point started_;
  sievedata::FactorCounts counts_;
};

}  // namespace app
