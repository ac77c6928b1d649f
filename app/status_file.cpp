#include "app/status_file.hpp"

#include <optional>

#include "app/prompts.hpp"
#include "app/range_check.hpp"
#include "app/statistics.hpp"
#include "app/text_lines.hpp"
#include "common/file_io.hpp"
#include "common/host_api.hpp"
#include "common/parse_u64.hpp"

namespace app {

namespace {

// Under a client nobody can answer, so a question ends the run instead.
bool refuse_question(std::ostream& out) {
  out << "Cannot ask on standard input in this build: give the range on the command line or ship "
      << status_file_name << ". Exiting." << std::endl;
  return false;
}

bool ask_or_refuse(std::istream& in, std::ostream& out) {
  return common::host_allows_questions() ? ask_clear_status(in, out) : refuse_question(out);
}

// A client restarts an interrupted task with its original command line. A
// status file whose unfinished progress lies inside that very range is this
// task's own checkpoint: continue from it instead of asking.
bool resume_same_range(RunSettings& settings, std::ostream& out) {
  const std::optional<std::string> text = common::read_file(status_file_name);
  u64 pmin = 0;
  u64 pmax = 0;
  if (!text || read_status(*text, pmin, pmax, out) != StatusRead::unfinished) return false;
  if (pmax != settings.pmax || pmin < settings.pmin || pmin >= pmax) return false;
  settings.pmin = pmin;
  out << "Found " << status_file_name << " with unfinished work. Continuing from last save point." << std::endl;
  return true;
}

bool new_range_from_prompt(RunSettings& settings, std::istream& in, std::ostream& out) {
  if (!common::host_allows_questions()) return refuse_question(out);
  if (!prompt_range(settings.pmin, settings.pmax, in, out)) return false;
  if (!range_can_run(settings.pmin, settings.pmax, out)) return false;
  return write_range(settings.pmin, settings.pmax, out);
}

// A run killed after its range was done but before it recorded the next
// queued one would otherwise wait at the question forever: go on with the
// queue, as the run itself would have. Nothing when the queue holds none.
std::optional<bool> next_range_from_queue(RunSettings& settings, std::ostream& out) {
  const auto record = [&out](u64 pmin, u64 pmax) { return write_range(pmin, pmax, out); };
  switch (take_next_range(queue_file_name, settings.pmin, settings.pmax, record, out)) {
    case QueueResult::empty:
      return std::nullopt;
    case QueueResult::taken:
      out << "Found a new range in " << queue_file_name << ". Starting work on that one." << std::endl;
      return true;
    case QueueResult::failed:
      break;
  }
  return false;
}

}  // namespace

StatusRead read_status(std::string_view text, u64& pmin, u64& pmax, std::ostream& out) {
  std::size_t number = 0;
  for (const std::string_view line : split_lines(text)) {
    ++number;
    if (line == "Done") return StatusRead::done;
    const std::optional<RangeKey> key = range_key(line);
    if (!key) continue;
    const std::optional<u64> value = range_value(line);
    if (!value) {
      out << "Error: line " << number << " of " << status_file_name << " ('" << line
          << "') holds no number that fits 64 bits. Please correct the file." << std::endl;
      return StatusRead::bad_line;
    }
    (*key == RangeKey::pmin ? pmin : pmax) = *value;
  }
  return StatusRead::unfinished;
}

bool write_range(u64 pmin, u64 pmax, std::ostream& out) {
  const std::string text = "pmax=" + std::to_string(pmax) + "\npmin=" + std::to_string(pmin) + "\n";
  if (common::replace_file(status_file_name, text)) return true;
  out << "Error: could not write " << status_file_name << ", so the range cannot be recorded. Exiting."
      << std::endl;
  return false;
}

bool decide_range(RunSettings& settings, std::istream& in, std::ostream& out) {
  if (settings.range_given) {
    // A range that cannot run must not replace the work the file records.
    if (!range_can_run(settings.pmin, settings.pmax, out)) return false;
    // The old file's content does not matter here, only whether the user
    // agrees to lose it. Replacing it below is the deletion.
    if (file_present(status_file_name) && !settings.force_range) {
      if (!common::host_allows_questions()) return resume_same_range(settings, out) || refuse_question(out);
      if (!ask_clear_status(in, out)) return false;
    }
    return write_range(settings.pmin, settings.pmax, out);
  }

  const std::optional<std::string> text = common::read_file(status_file_name);
  if (!text) {
    if (file_present(status_file_name)) {
      out << "Error: " << status_file_name << " exists but cannot be read. Exiting." << std::endl;
      return false;
    }
    return new_range_from_prompt(settings, in, out);
  }

  switch (read_status(*text, settings.pmin, settings.pmax, out)) {
    case StatusRead::bad_line:
      return false;
    case StatusRead::done:
      out << "Found " << status_file_name << " with completed work." << std::endl;
      if (const std::optional<bool> queued = next_range_from_queue(settings, out)) return *queued;
      if (!settings.force_range && !ask_or_refuse(in, out)) return false;
      return new_range_from_prompt(settings, in, out);
    case StatusRead::unfinished:
      // pmin >= pmax is left to the range checks, which name both values.
      if (settings.pmin < settings.pmax) {
        out << "Found " << status_file_name << " with unfinished work. Continuing from last save point."
            << std::endl;
      }
      return true;
  }
  return false;
}

std::optional<u64> recorded_range_start() {
  const std::optional<std::string> text = common::read_file(status_file_name);
  if (!text) return std::nullopt;
  for (const std::string_view line : split_lines(*text)) {
    if (line == "Done") break;
    if (range_key(line) == RangeKey::pmin) return range_value(line);
  }
  return std::nullopt;
}

std::string progress_status_line(u64 p, common::u32 rate) {
  return "pmin=" + std::to_string(p) + " @ " + std::to_string(rate) + " kp/s\n";
}

}  // namespace app
