#include "app/statistics.hpp"

#include <sstream>

#include "app/range_check.hpp"
#include "app/status_file.hpp"
#include "app/text_lines.hpp"
#include "common/file_io.hpp"

namespace app {

namespace {

// Thousands of p per second over the whole range, truncated. The 0.000001
// keeps a range that took no measurable time from dividing by zero.
u64 range_rate(const RangeSummary& summary) {
  const common::Stopwatch& watch = summary.range_stopwatch;
  const double span = static_cast<double>(summary.p_end - summary.pmin);
  const double seconds = watch.milliseconds * 0.001 + watch.seconds + 0.000001;
  const double rate = span / seconds * 0.001;
  if (!(rate > 0.0)) return 0;
  if (rate >= 18446744073709551615.0) return ~u64{0};
  return static_cast<u64>(rate);
}

}  // namespace

StatisticsText format_statistics(const RangeSummary& summary) {
  const search::Counters& c = summary.counters;
  StatisticsText text;
  std::ostringstream range;
  range << "\nStatistics:\n"
        << "pmin        : " << summary.pmin << "\n"
        << "pmax        : " << summary.pmax << "\n";
  text.range = range.str();
  std::ostringstream counters;
  // Tested k counts all twelve slots of the table, filled or not.
  counters << "# Tested p  : " << c.tested_p << "\n"
           << "# Tested k  : " << c.tested_p * static_cast<u64>(common::slot_count) << "\n"
           << "# Whacked k : " << c.whacked_k << "\n"
           << "# Whacked p : " << c.whacked_p << "\n";
  text.counters = counters.str();
  std::ostringstream timing;
  timing << "Total time: " << summary.range_stopwatch.elapsed_ms() << " ms\n" << range_rate(summary) << "kp/s.\n";
  text.timing = timing.str();
  return text;
}

void write_statistics(const RangeSummary& summary, u32 verbosity, std::ostream& out) {
  const StatisticsText text = format_statistics(summary);
  out << text.range << std::flush;
  if (verbosity >= 1) out << text.counters << std::flush;
  out << text.timing << std::flush;
  if (!common::append_text(statistics_file_name, text.range + text.counters + text.timing)) {
    out << "Warning: could not write " << statistics_file_name << std::endl;
  }
}

std::optional<QueuedRange> find_next_range(std::string_view queue_text, std::ostream& out) {
  QueuedRange found;
  const std::vector<std::string_view> lines = split_lines(queue_text);
  std::size_t i = 0;
  for (; i < lines.size() && (found.pmin == 0 || found.pmax == 0); ++i) {
    const std::optional<RangeKey> key = range_key(lines[i]);
    if (!key) continue;
    const std::optional<u64> value = range_value(lines[i]);
    if (!value) {
      // Counted as missing, like a value of 0: a damaged entry cannot name
      // a range, and the entries after it may still be good.
      out << "Warning: ignoring line '" << lines[i] << "' of " << queue_file_name
          << ": no number that fits 64 bits." << std::endl;
    }
    (*key == RangeKey::pmin ? found.pmin : found.pmax) = value.value_or(0);
  }
  if (found.pmin == 0 || found.pmax == 0) return std::nullopt;
  for (; i < lines.size(); ++i) {
    found.rest.append(lines[i]);
    found.rest.push_back('\n');
  }
  return found;
}

QueueResult take_next_range(const std::string& file_name, u64& pmin, u64& pmax,
                            const std::function<bool(u64 pmin, u64 pmax)>& record, std::ostream& out) {
  std::optional<QueuedRange> next;
  for (;;) {
    const std::optional<std::string> text = common::read_file(file_name);
    if (!text) {
      if (!file_present(file_name)) return QueueResult::empty;
      out << "Error: " << file_name << " exists but cannot be read. Exiting." << std::endl;
      return QueueResult::failed;
    }
    next = find_next_range(*text, out);
    if (!next) return QueueResult::empty;
    const std::optional<std::string> fault = range_fault(next->pmin, next->pmax);
    if (!fault) break;
    // A range that can never run would stop every later start in the same
    // way, and the good ranges behind it would never run: drop it.
    out << "Skipping the range " << next->pmin << " to " << next->pmax << " of " << file_name << ": " << *fault
        << std::endl;
    if (!common::replace_file(file_name, next->rest)) {
      out << "Error: could not rewrite " << file_name << " without that range. Exiting." << std::endl;
      return QueueResult::failed;
    }
  }
  if (!record(next->pmin, next->pmax)) return QueueResult::failed;
  pmin = next->pmin;
  pmax = next->pmax;
  if (!common::replace_file(file_name, next->rest)) {
    out << "Error: could not rewrite " << file_name << ", which still holds the range " << pmin << " to " << pmax
        << ". Exiting." << std::endl;
    return QueueResult::failed;
  }
  return QueueResult::taken;
}

RangeEnd finish_range(const RangeSummary& summary, RunSettings& settings, u32 verbosity, std::ostream& out) {
  write_statistics(summary, verbosity, out);
  const auto record = [&out](u64 pmin, u64 pmax) { return write_range(pmin, pmax, out); };
  switch (take_next_range(queue_file_name, settings.pmin, settings.pmax, record, out)) {
    case QueueResult::empty:
      out << std::endl << "No new range found in " << queue_file_name << ". Exiting." << std::endl;
      return RangeEnd::stop;
    case QueueResult::taken:
      out << std::endl
          << "Found a new range in " << queue_file_name << ". Starting work on that one." << std::endl;
      return RangeEnd::next_range;
    case QueueResult::failed:
      break;
  }
  return RangeEnd::failed;
}

}  // namespace app
