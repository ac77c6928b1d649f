#include "app/work_checksum_file.hpp"

#include <cstdio>
#include <vector>

#include "app/text_lines.hpp"
#include "common/parse_u64.hpp"

namespace app {
namespace {

std::string hex16(u64 value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::optional<u64> parse_hex16(std::string_view text) {
  if (text.size() != 16) return std::nullopt;
  u64 value = 0;
  for (const char c : text) {
    u64 digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<u64>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<u64>(c - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = value << 4 | digit;
  }
  return value;
}

// A decimal number written by this module: digits only, no sign or blank.
std::optional<u64> parse_decimal(std::string_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return common::parse_u64(std::string(text));
}

// The blank-separated fields after `key` on `line`; nothing when the line
// does not start with it.
std::optional<std::vector<std::string_view>> fields_after(std::string_view line, std::string_view key) {
  if (line.substr(0, key.size()) != key) return std::nullopt;
  std::vector<std::string_view> fields;
  std::string_view rest = line.substr(key.size());
  while (!rest.empty()) {
    const std::size_t blank = rest.find(' ');
    fields.push_back(rest.substr(0, blank));
    if (blank == std::string_view::npos) break;
    rest = rest.substr(blank + 1);
  }
  return fields;
}

std::string format_checkpoint(const WorkCheckpoint& c) {
  return "save=" + std::to_string(c.save_p) + " " + std::to_string(c.covered) + " " +
         std::to_string(c.work.primes) + " " + hex16(c.work.sum) + "\n";
}

std::optional<WorkCheckpoint> parse_checkpoint(std::string_view line) {
  const auto fields = fields_after(line, "save=");
  if (!fields || fields->size() != 4) return std::nullopt;
  const std::optional<u64> p = parse_decimal((*fields)[0]);
  const std::optional<u64> covered = parse_decimal((*fields)[1]);
  const std::optional<u64> primes = parse_decimal((*fields)[2]);
  const std::optional<u64> sum = parse_hex16((*fields)[3]);
  if (!p || !covered || !primes || !sum || *covered + 1 < *p) return std::nullopt;
  return WorkCheckpoint{*p, *covered, {*primes, *sum}};
}

}  // namespace

std::string format_work_state(const WorkState& state) {
  std::string text = "range=" + std::to_string(state.pmin) + " " + std::to_string(state.pmax) + "\n";
  text += format_checkpoint(state.newest);
  if (state.before) text += format_checkpoint(*state.before);
  return text;
}

std::optional<WorkState> parse_work_state(std::string_view text) {
  // Written in one piece and renamed into place, so anything but the exact
  // form (two or three whole lines) is a file from elsewhere.
  if (text.empty() || text.back() != '\n') return std::nullopt;
  const std::vector<std::string_view> lines = split_lines(text);
  if (lines.size() != 2 && lines.size() != 3) return std::nullopt;
  const auto range = fields_after(lines[0], "range=");
  if (!range || range->size() != 2) return std::nullopt;
  const std::optional<u64> pmin = parse_decimal((*range)[0]);
  const std::optional<u64> pmax = parse_decimal((*range)[1]);
  if (!pmin || !pmax) return std::nullopt;
  WorkState state;
  state.pmin = *pmin;
  state.pmax = *pmax;
  const std::optional<WorkCheckpoint> newest = parse_checkpoint(lines[1]);
  if (!newest) return std::nullopt;
  state.newest = *newest;
  if (lines.size() == 3) {
    state.before = parse_checkpoint(lines[2]);
    if (!state.before) return std::nullopt;
  }
  return state;
}

std::optional<WorkCheckpoint> checkpoint_for_save(const WorkState& state, u64 pmin, u64 pmax, u64 p) {
  if (state.pmin != pmin || state.pmax != pmax) return std::nullopt;
  if (state.newest.save_p == p) return state.newest;
  if (state.before && state.before->save_p == p) return state.before;
  return std::nullopt;
}

std::string work_result_line(u64 pmin, u64 pmax, const search::WorkChecksum& work) {
  return "pmin=" + std::to_string(pmin) + " pmax=" + std::to_string(pmax) + " primes=" + std::to_string(work.primes) +
         " checksum=" + hex16(work.sum) + "\n";
}

}  // namespace app
