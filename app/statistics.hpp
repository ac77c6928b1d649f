// The end of a range: what it cost and found (console and stat.txt), and
// the next range from the queue file nextrange.txt.
#pragma once
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/run_settings.hpp"
#include "common/stopwatch.hpp"
#include "search/search_context.hpp"

namespace app {

inline constexpr const char* statistics_file_name = "stat.txt";
inline constexpr const char* queue_file_name = "nextrange.txt";

// What the range driver hands over at the end of a range.
struct RangeSummary {
  u64 pmin = 0;   // the even lower end actually used
  u64 pmax = 0;   // after the clamp to 2^50
  u64 p_end = 0;  // the first prime above pmax
  search::Counters counters;
  common::Stopwatch range_stopwatch;  // stopped
};

// The three blocks of the statistics, each line ended: the range (always on
// the console), the counters (on the console only with -v or -vv), the time
// and rate (always). stat.txt receives all three.
struct StatisticsText {
  std::string range;
  std::string counters;
  std::string timing;
};
StatisticsText format_statistics(const RangeSummary& summary);

// Prints the statistics and appends all ten lines to stat.txt. A stat.txt
// that cannot be written is reported and the run goes on.
void write_statistics(const RangeSummary& summary, u32 verbosity, std::ostream& out);

// The first complete range of a queue text: a "pmin" and a "pmax" line in
// either order (0 or a line without a readable number counts as missing;
// other lines before the pair is complete are dropped), and the lines after
// the pair, each ended by a line end, which stay queued.
struct QueuedRange {
  u64 pmin = 0;
  u64 pmax = 0;
  std::string rest;
};
std::optional<QueuedRange> find_next_range(std::string_view queue_text, std::ostream& out);

// Pops the first complete range of the queue file `file_name` into pmin and
// pmax. A range that fails the range checks is reported in one line and
// dropped from the file, and the next one is taken. `empty`, leaving the file and both values untouched, when the file
// is missing or holds no complete pair. `record(pmin, pmax)` is called before
// the range leaves the file; when it fails the file is left as it was. The
// file is rewritten through a temporary file, so a crash leaves either the
// old queue or the new one. `failed` (after a message) when the file exists
// but cannot be read, when `record` fails, or when the rewrite fails.
enum class QueueResult { taken, empty, failed };
QueueResult take_next_range(const std::string& file_name, u64& pmin, u64& pmax,
                            const std::function<bool(u64 pmin, u64 pmax)>& record, std::ostream& out);

enum class RangeEnd {
  stop,        // no further range: exit status 0
  next_range,  // settings.pmin/pmax hold the new range, recorded in the status file
  failed,      // exit status 1, reason printed
};

// Statistics, then the next range from nextrange.txt. A new range is
// recorded in the status file before it leaves the queue, so that a crash
// in between can at worst make it run twice, never lose it.
RangeEnd finish_range(const RangeSummary& summary, RunSettings& settings, u32 verbosity, std::ostream& out);

}  // namespace app
