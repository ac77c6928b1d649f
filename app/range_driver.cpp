#include "app/range_driver.hpp"

#include "app/parallel_sieve.hpp"
#include "app/range_check.hpp"
#include "app/statistics.hpp"
#include "app/status_file.hpp"
#include "app/text_lines.hpp"
#include "common/file_io.hpp"
#include "common/host_api.hpp"
#include "search/factor_search.hpp"
#include "sievedata/data_writer.hpp"
#include "sievedata/factor_output.hpp"
#include "sievedata/recorded_factors.hpp"

namespace app {

std::string progress_console_line(u64 p, u32 rate) {
  return "p = " + std::to_string(p) + " @ " + (rate != 0 ? std::to_string(rate) : std::string("???")) + "kp/s";
}

RangeDriver::RangeDriver(RunSettings& settings, const sievedata::OutputSettings& output,
                         sievedata::SieveTable& table, const search::SearchSetup& setup, std::ostream& out)
    : settings_(settings),
      output_(output),
      table_(table),
      setup_(setup),
      out_(out),
      work_(settings.work_checksum || common::host_requires_work_checksum()),
      progress_(output, out) {}

int RangeDriver::run_ranges() {
  for (;;) {
    counters_ = search::Counters{};
    // The p the status file continues from, before the range checks make
    // it even: the checksum's checkpoint is looked up by it.
    const u64 resume_p = settings_.pmin;
    if (!check_range(settings_.pmin, settings_.pmax, out_)) return 1;
    if (!begin_work(resume_p)) return 1;
    // The even pmin is kept: the statistics and the rate are taken from it.
    const u64 pmin = settings_.pmin;
    const u64 pmax = settings_.pmax;
    out_ << "Testing " << pmin << " <= p <= " << pmax << ", " << table_.n_min << " <= n <= " << table_.n_max
         << std::endl;

    progress_.start_range(pmin, pmax);
    // A factor that could not be written ends the run at once: no later
    // save, no -u and no next range may count it as found.
    const std::optional<u64> p_end = sieve_range(pmin, pmax);
    if (!p_end) return 1;

    if (!work_.finish(range_work_, out_)) return 1;
    finish_status_file();
    progress_.finish_range();
    if (settings_.update_data_file) save_data_file();

    const RangeSummary summary{pmin, pmax, *p_end, counters_, range_stopwatch_};
    switch (finish_range(summary, settings_, output_.verbosity, out_)) {
      case RangeEnd::stop:
        return 0;
      case RangeEnd::next_range:
        continue;
      case RangeEnd::failed:
        return 1;
    }
  }
}

bool RangeDriver::begin_work(u64 resume_p) {
  range_pmax_ = settings_.pmax;
  // The status file's first pmin line is the range's start; a resumed run
  // continues from a later save inside it.
  u64 unit_pmin = recorded_range_start().value_or(resume_p);
  if (unit_pmin > resume_p || unit_pmin < common::p_floor) unit_pmin = resume_p;
  range_pmin_ = unit_pmin & ~u64{1};
  if (work_.begin(unit_pmin, settings_.pmax, resume_p, out_) == RangeWork::Start::restart) {
    if (!write_range(unit_pmin, settings_.pmax, out_)) return false;
    settings_.pmin = range_pmin_;
    work_.begin(unit_pmin, settings_.pmax, unit_pmin, out_);
  }
  range_work_ = work_.start_work();
  return true;
}

// The rate of the progress lines is the writer's: integers per second over
// the last segment it finished replaying (with several workers, their
// combined speed).
std::optional<u64> RangeDriver::sieve_range(u64 pmin, u64 pmax) {
  ParallelRange range;
  range.pmin = pmin;
  range.pmax = pmax;
  range.save_interval = settings_.save_interval;
  range.threads = settings_.threads;
  range.process_priority = settings_.process_priority;
  range.thread_priority = settings_.thread_priority;
  range.counted_through = work_.skip_through();
  RangeWriter writer;
  writer.report = [this](const search::Hit& hit) { return report(hit); };
  // Measured in p, not in primes; an interval of 0 saves after every prime.
  writer.save = [this](u64 p, u32 rate, u64 covered, const search::WorkChecksum& work) {
    return save_progress(p, rate, covered, work);
  };

  range_stopwatch_.reset();
  range_stopwatch_.start();
  const std::optional<u64> p_end =
      sieve_range_segments(range, setup_, table_, writer, counters_, range_work_, current_rate_);
  range_stopwatch_.stop();
  return p_end;
}

bool RangeDriver::report(const search::Hit& hit) {
  return sievedata::report_factor(table_, output_, out_, hit.p, hit.slot, hit.n, hit.xmod, progress_.counts());
}

// Every prime up to and including p has been tested and its factors are on
// disk, so a run resumed from this line loses nothing. The checksum's half
// goes first: a kill between the two writes leaves the status file's last
// save as the checksum file's older entry, still a matching pair.
bool RangeDriver::save_progress(u64 p, u32 rate, u64 covered, const search::WorkChecksum& work) {
  common::host_report_progress(static_cast<double>(p - range_pmin_) / static_cast<double>(range_pmax_ - range_pmin_));
  if (!common::host_checkpoint_begin()) return false;
  out_ << progress_console_line(p, rate) << std::endl;
  progress_.after_save(p);
  bool written = work_.save(p, covered, work, out_);
  if (written && !common::append_text(status_file_name, progress_status_line(p, rate))) {
    out_ << "Warning: could not write " << status_file_name << std::endl;
    written = false;
  }
  common::host_checkpoint_end(written);
  return true;
}

void RangeDriver::finish_status_file() {
  out_ << "Done" << std::endl;
  if (!common::append_text(status_file_name, "Done\n")) {
    out_ << "Warning: could not write " << status_file_name << std::endl;
  }
}

void RangeDriver::save_data_file() {
  out_ << "Saving Vesk.dat..." << std::endl;
  // Factors written before a kill are not in this run's table; fact.txt
  // remembers them. Without it the rewrite could list a factored pair again.
  const char* fact_file = sievedata::new_factor_file_name;
  const std::optional<std::string> recorded = common::read_file(fact_file);
  if (!recorded && file_present(fact_file)) {
    out_ << "Error: could not read " << fact_file << ", so " << settings_.data_file_name
         << " was not rewritten (it could list pairs already factored); the old file was kept unchanged."
         << std::endl;
    return;
  }
  if (recorded) sievedata::remove_recorded_factors(table_, *recorded);
  if (sievedata::save_sieve_data(table_, settings_.data_file_name)) {
    out_ << " Done." << std::endl;
  } else {
    out_ << "Error: could not write " << settings_.data_file_name << "; the old file was kept unchanged."
         << std::endl;
  }
}

int run_ranges(RunSettings& settings, const sievedata::OutputSettings& output, sievedata::SieveTable& table,
               const search::SearchSetup& setup, std::ostream& out) {
  RangeDriver driver(settings, output, table, setup, out);
  return driver.run_ranges();
}

}  // namespace app
