// The -v estimates. The average rate is this run's own (integers per
// millisecond are thousands per second), taken over the whole part of the
// range sieved since the run started it: the per-segment rate of the
// progress line jumps with every segment, and an estimate built on it would
// jump by hours.
#include "app/progress_report.hpp"

#include "app/status_file.hpp"
#include "app/text_lines.hpp"
#include "common/file_io.hpp"

namespace app {

std::string readable_duration(u64 seconds) {
  const u64 minutes = seconds / 60;
  const u64 hours = minutes / 60;
  const u64 days = hours / 24;
  if (days != 0) return std::to_string(days) + " d " + std::to_string(hours % 24) + " h";
  if (hours != 0) return std::to_string(hours) + " h " + std::to_string(minutes % 60) + " min";
  if (minutes != 0) return std::to_string(minutes) + " min";
  return "less than 1 min";
}

std::string progress_estimate_line(const ProgressPoint& point, std::time_t now) {
  const u64 total = point.pmax - point.range_start;
  const u64 done = point.p - point.range_start;
  // Below 2^50 each, so done * 1000 cannot overflow.
  const u64 per_mille = total == 0 ? 1000 : done * 1000 / total;
  std::string line = "  " + std::to_string(per_mille / 10) + "." + std::to_string(per_mille % 10) + "% done";
  if (point.elapsed_ms == 0 || point.p <= point.run_start) return line;

  const double sieved = static_cast<double>(point.p - point.run_start);
  const double rate_kps = sieved / static_cast<double>(point.elapsed_ms);
  const double left_s = static_cast<double>(point.pmax - point.p) / rate_kps / 1000.0;
  const std::time_t finish = now + static_cast<std::time_t>(left_s);
  // std::localtime's result is shared by the whole process; only the writer
  // thread (the one that prints) ever calls it, and the text is taken at once.
  char when[32] = "?";
  if (const std::tm* local = std::localtime(&finish)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", local);

  line += ", " + std::to_string(static_cast<u64>(rate_kps)) + " kp/s average, " +
          readable_duration(static_cast<u64>(left_s)) + " left, finish about " + when;
  return line;
}

std::optional<u64> recorded_range_start(std::string_view status_text, u64 pmax) {
  std::optional<u64> recorded_pmax;
  std::optional<u64> start;
  for (const std::string_view line : split_lines(status_text)) {
    const std::optional<RangeKey> key = range_key(line);
    const std::optional<u64> value = key ? range_value(line) : std::nullopt;
    if (!value) continue;
    if (*key == RangeKey::pmax) {
      recorded_pmax = value;
      start.reset();
    } else if (!start) {
      start = value;
    }
  }
  if (recorded_pmax != pmax) return std::nullopt;
  return start;
}

std::string factor_counts_line(const sievedata::FactorCounts& counts) {
  return "Factor lines written: " + std::to_string(counts.new_factors) + " new (fact.txt), " +
         std::to_string(counts.duplicates) + " duplicates (factexcl.txt), " + std::to_string(counts.outside_range) +
         " outside the n range (factrange.txt)";
}

void ProgressReport::start_range(u64 pmin, u64 pmax) {
  run_start_ = pmin;
  pmax_ = pmax;
  counts_ = {};
  started_ = std::chrono::steady_clock::now();
  range_start_ = pmin;
  if (!verbose()) return;
  // The status file already holds this range (recorded or resumed). An odd
  // recorded start lies just above the even pmin; pmin is then the start.
  if (const std::optional<std::string> text = common::read_file(status_file_name)) {
    const std::optional<u64> start = recorded_range_start(*text, pmax);
    if (start && *start < pmin) range_start_ = *start;
  }
}

void ProgressReport::after_save(u64 p) {
  if (!verbose()) return;
  const auto elapsed = std::chrono::steady_clock::now() - started_;
  const ProgressPoint point{range_start_, run_start_, p, pmax_,
                            static_cast<u64>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count())};
  out_ << progress_estimate_line(point, std::time(nullptr)) << std::endl;
}

void ProgressReport::finish_range() {
  if (verbose()) out_ << factor_counts_line(counts_) << std::endl;
}

}  // namespace app
