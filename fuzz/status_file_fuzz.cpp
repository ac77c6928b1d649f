// VeskStatus.dat decides where a resumed run starts; a damaged one (a crash
// mid-write, an editor, a stray byte) must be read without a crash, and a
// line the reader cannot use must be named in a message instead of being
// taken for a range. Also checks that a value once read is the one the file
// holds on its last pmin/pmax line before "Done".
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string_view>

#include "app/status_file.hpp"
#include "app/text_lines.hpp"
#include "fuzz/fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // Sentinels show whether a value was set by the file.
  constexpr app::u64 unset = 0xFFFF'FFFF'FFFF'FFFFull - 7;
  app::u64 pmin = unset;
  app::u64 pmax = unset;
  std::ostringstream out;
  const app::StatusRead result = app::read_status(text, pmin, pmax, out);

  if (result == app::StatusRead::bad_line) {
    fuzz::check(fuzz::says_why(out.str()), "a bad status line without a message");
    return 0;
  }
  fuzz::check(out.str().empty(), "a readable status file printed something");

  // An independent reading of the same lines: the last pmin and pmax values
  // before the first "Done" line.
  app::u64 want_pmin = unset;
  app::u64 want_pmax = unset;
  bool done = false;
  for (const std::string_view line : app::split_lines(text)) {
    if (line == "Done") {
      done = true;
      break;
    }
    if (line.size() < 4) continue;
    const std::string_view key = line.substr(0, 4);
    if (key != "pmin" && key != "pmax") continue;
    const std::optional<app::u64> value = app::range_value(line);
    fuzz::check(value.has_value(), "an unreadable pmin/pmax line was passed over");
    (key == "pmin" ? want_pmin : want_pmax) = *value;
  }
  fuzz::check(done == (result == app::StatusRead::done), "Done line not recognised exactly");
  fuzz::check(pmin == want_pmin && pmax == want_pmax, "pmin/pmax differ from the file's last lines");
  return 0;
}
