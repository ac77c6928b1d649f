// nextrange.txt is written by hand by users who queue weeks of work. A
// damaged queue must be read without a crash, a damaged entry must be named
// in a warning, and what the queue keeps must be exactly the lines after the
// range taken: nothing queued may be lost or invented.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "app/statistics.hpp"
#include "app/text_lines.hpp"
#include "fuzz/fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::ostringstream out;
  const std::optional<app::QueuedRange> found = app::find_next_range(text, out);
  const std::string printed = out.str();
  fuzz::check(printed.empty() || fuzz::says_why(printed), "a warning that is not a whole line");

  const std::vector<std::string_view> lines = app::split_lines(text);
  if (!found) {
    return 0;
  }
  fuzz::check(found->pmin != 0 && found->pmax != 0, "a range with a missing end was taken");

  // The kept lines are a tail of the file's lines, each with one line end.
  std::size_t kept_lines = 0;
  for (const char c : found->rest) kept_lines += c == '\n' ? 1 : 0;
  fuzz::check(kept_lines <= lines.size(), "more lines kept than the queue held");
  std::string tail;
  for (std::size_t i = lines.size() - kept_lines; i < lines.size(); ++i) {
    tail.append(lines[i]);
    tail.push_back('\n');
  }
  fuzz::check(tail == found->rest, "the kept lines are not the tail of the queue");
  // The pair taken lies in the lines before that tail.
  const std::size_t used = lines.size() - kept_lines;
  fuzz::check(used >= 2, "a range taken from fewer than two lines");
  const std::optional<app::RangeKey> last_key = app::range_key(lines[used - 1]);
  fuzz::check(last_key.has_value(), "the range did not end on a pmin/pmax line");
  return 0;
}
