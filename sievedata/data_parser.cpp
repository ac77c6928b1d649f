// Hand-written scanner over the whole data file held in memory: the large
// files (millions of n) must load in a fraction of a second, which rules out
// token extraction through a stream. Blanks of any kind (blank lines, blanks
// around "=" and after "+", CR/LF line ends) are free; any other text where a
// number, "k=" or "+" belongs is refused, like every condition that would
// leave the table or the search with wrong or undefined data, with a message
// that says what was found and on which line.
#include "sievedata/data_parser.hpp"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <limits>
#include <numeric>

namespace sievedata {

namespace {

constexpr u32 u32_max = std::numeric_limits<u32>::max();

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Message text from pieces (plain appends: no temporaries of operator+).
std::string join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text.append(part);
  return text;
}

class Scanner {
 public:
  Scanner(std::string_view text, std::string& error)
      : begin_(text.data()), pos_(text.data()), end_(text.data() + text.size()), error_(error) {}

  void skip_blanks() {
    while (pos_ != end_ && is_blank(*pos_)) ++pos_;
  }
  bool at_end() const { return pos_ == end_; }
  char peek() const { return *pos_; }
  const char* position() const { return pos_; }
  char take() { return *pos_++; }

  // An unsigned decimal number after optional blanks, ending at a blank or
  // the end of the text. `describe()` names the expected number in a
  // message; it is called only on failure, since this runs once per n.
  template <class Describe>
  bool read_number(const Describe& describe, u32& value) {
    skip_blanks();
    const char* start = pos_;
    if (at_end()) return fail(start, join({"expected ", describe(), ", found the end of the file"}));
    if (!is_digit(*pos_)) return fail(start, join({"expected ", describe(), ", found '", token_at(start), "'"}));
    common::u64 v = 0;
    while (pos_ != end_ && is_digit(*pos_)) {
      v = v * 10 + static_cast<u32>(*pos_ - '0');
      if (v > u32_max) return fail(start, join({describe(), " '", token_at(start), "' is larger than 4294967295"}));
      ++pos_;
    }
    if (pos_ != end_ && !is_blank(*pos_)) {
      return fail(start, join({"expected ", describe(), ", found '", token_at(start), "'"}));
    }
    value = static_cast<u32>(v);
    return true;
  }

  // Records "line L: message" (no line when `where` is null or the end of
  // the text, where a line number would only count trailing line ends);
  // always false.
  bool fail(const char* where, const std::string& message) {
    if (where == nullptr || where == end_) {
      error_ = message;
    } else {
      const auto line = 1 + std::count(begin_, where, '\n');
      error_ = join({"line ", std::to_string(line), ": ", message});
    }
    return false;
  }

  // The token starting at `start`, shortened and with unprintable bytes
  // replaced, fit to be quoted in a message.
  std::string token_at(const char* start) const {
    constexpr std::size_t shown = 24;
    std::string token;
    for (const char* c = start; c != end_ && !is_blank(*c); ++c) {
      if (token.size() == shown) return token + "...";
      token += (*c >= 0x20 && *c < 0x7f) ? *c : '?';
    }
    return token;
  }

 private:
  const char* begin_;
  const char* pos_;
  const char* end_;
  std::string& error_;
};

// Fixes the step and class of a finished slot. A single n has no difference:
// step 1 (every n is its own class); a slot without n keeps step 0, which
// the search reads as "nothing to search".
void finish_slot(SieveTable& table, u32 slot, u32 last_n, u32 gcd_of_differences) {
  if (table.n_sets[slot].empty()) {
    table.n_step[slot] = 0;
    table.n_offset[slot] = 0;
  } else if (gcd_of_differences == 0) {
    table.n_step[slot] = 1;
    table.n_offset[slot] = 0;
  } else {
    table.n_step[slot] = gcd_of_differences;
    table.n_offset[slot] = last_n % gcd_of_differences;
  }
}

}  // namespace

bool parse_sieve_text(std::string_view text, ParsedData& data, std::string& error) {
  data = ParsedData{};
  SieveTable& table = data.table;
  Scanner scan(text, error);
  u32 slot_count_ignored = 0;
  const auto text_of = [](const char* what) { return [what] { return std::string(what); }; };
  if (!scan.read_number(text_of("the slot count (first header number)"), slot_count_ignored) ||
      !scan.read_number(text_of("n_min (second header number)"), table.n_min) ||
      !scan.read_number(text_of("n_max (third header number)"), table.n_max)) {
    return false;
  }
  if (table.n_min > table.n_max) {
    return scan.fail(nullptr, join({"n_min ", std::to_string(table.n_min), " is above n_max ",
                                    std::to_string(table.n_max), " (the header's second and third numbers)"}));
  }

  u32 n = 0;       // running n of the current slot
  u32 g = 0;       // gcd of its differences so far, 0 = none yet
  u32 used = 0;    // slots opened so far; the current one is used - 1
  std::array<bool, 4096> folded{};  // differences already in g
  for (;;) {
    scan.skip_blanks();
    if (scan.at_end()) break;
    const char* token = scan.position();
    const char c = scan.take();
    if (c == 'k') {
      if (used > 0) finish_slot(table, used - 1, n, g);
      if (used == slot_count) return scan.fail(token, "more than 12 k entries (the table holds 12)");
      scan.skip_blanks();
      if (scan.at_end()) return scan.fail(token, "expected '=' after 'k', found the end of the file");
      if (scan.peek() != '=') {
        return scan.fail(token, join({"expected '=' after 'k', found '", scan.token_at(scan.position()), "'"}));
      }
      scan.take();
      u32 k = 0;
      if (!scan.read_number(text_of("the value of k"), k)) return false;
      const u32 slot = used++;
      table.k_values[slot] = k;
      g = 0;
      n = 0;
      folded.fill(false);
      scan.skip_blanks();
      // A k directly followed by the next k or the end lists no n: the
      // writer produces this once every n of a k has been factored.
      if (scan.at_end() || scan.peek() == 'k') continue;
      const auto first_n = [k] { return join({"the first n of k=", std::to_string(k)}); };
      if (!scan.read_number(first_n, n)) return false;
      table.n_sets[slot].insert(n);  // ascending: appended
    } else if (c == '+') {
      if (used == 0) return scan.fail(token, "'+' before the first k=");
      const u32 slot = used - 1;
      // Built only for a message: this branch runs once per n of the file.
      const auto of_k = [&] { return join({" of k=", std::to_string(table.k_values[slot])}); };
      u32 difference = 0;
      const auto a_difference = [&] { return join({"a difference after '+'", of_k()}); };
      if (!scan.read_number(a_difference, difference)) return false;
      if (difference == 0) {
        return scan.fail(token, join({"difference 0", of_k(), " (the n must ascend strictly)"}));
      }
      if (difference > u32_max - n) {
        return scan.fail(token, join({"n", of_k(), " passes 4294967295 after adding ", std::to_string(difference)}));
      }
      n += difference;
      // The same few differences recur throughout a slot, and folding one in
      // again cannot change g: remember the small ones already folded.
      if (difference >= folded.size() || !folded[difference]) {
        g = std::gcd(g, difference);  // gcd(0, x) = x starts the run
        if (difference < folded.size()) folded[difference] = true;
      }
      table.n_sets[slot].insert(n);  // ascending: appended
    } else {
      // A stray token would otherwise be skipped a character at a time, and
      // a lost "+" before a number would shift every later n of the slot.
      return scan.fail(token, join({"expected 'k=' or '+' and a difference, found '", scan.token_at(token), "'"}));
    }
  }
  if (used == 0) return scan.fail(nullptr, "no k= entry found");
  finish_slot(table, used - 1, n, g);
  data.slots_used = used;
  return true;
}

}  // namespace sievedata
