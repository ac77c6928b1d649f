#include "app/prompts.hpp"

#include <cctype>
#include <limits>
#include <optional>
#include <string>

#include "common/parse_u64.hpp"

namespace app {

namespace {

constexpr u64 billion = 1000000000;

void say_input_ended(std::ostream& out) {
  // The prompt had no line end; close it before the message.
  out << std::endl << "No answer on standard input. Exiting." << std::endl;
}

enum class Reading { number, not_a_number, end_of_input };

// The largest answer whose value in p still fits 64 bits. A larger one would
// wrap modulo 2^64 to some unrelated range that may well pass the range
// checks, so it is refused like text.
constexpr u64 max_billions = std::numeric_limits<u64>::max() / billion;

// Reads one answer the way a stream extracts an unsigned number: blanks and
// line ends skipped, then digits up to the first non-digit, which stays in
// the input (so "2 3" answers two prompts at once). An answer that does not
// start with a digit, or whose value in p does not fit 64 bits, has the rest
// of its line thrown away so that the next question starts on fresh input.
Reading read_answer(std::istream& in, u64& value) {
  int c = in.peek();
  while (c != std::char_traits<char>::eof() && std::isspace(c)) {
    in.get();
    c = in.peek();
  }
  if (c == std::char_traits<char>::eof()) return Reading::end_of_input;
  std::string digits;
  while (c != std::char_traits<char>::eof() && std::isdigit(c)) {
    digits.push_back(static_cast<char>(in.get()));
    c = in.peek();
  }
  const std::optional<u64> parsed = common::parse_u64(digits);
  if (!parsed || *parsed > max_billions) {
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    return Reading::not_a_number;
  }
  value = *parsed;
  return Reading::number;
}

// Asks `question` until a number is read; false when the input ends.
bool ask_billions(const char* question, u64& value, std::istream& in, std::ostream& out) {
  for (;;) {
    out << question << std::flush;
    u64 answer = 0;
    switch (read_answer(in, answer)) {
      case Reading::number:
        value = answer * billion;  // cannot overflow: answer <= max_billions
        return true;
      case Reading::not_a_number:
        out << "Please give a whole number of billions." << std::endl;
        break;
      case Reading::end_of_input:
        say_input_ended(out);
        return false;
    }
  }
}

}  // namespace

bool ask_clear_status(std::istream& in, std::ostream& out) {
  for (;;) {
    out << "Do you wish to clear VeskStatus.dat and begin a new range? [y/n] : " << std::flush;
    char answer = 0;
    if (!(in >> answer)) {
      say_input_ended(out);
      return false;
    }
    const int lower = std::tolower(static_cast<unsigned char>(answer));
    if (lower == 'y') return true;
    if (lower == 'n') {
      out << "Exiting." << std::endl;
      return false;
    }
  }
}

bool prompt_range(u64& pmin, u64& pmax, std::istream& in, std::ostream& out) {
  if (!ask_billions("Sieve from (in billions) : ", pmin, in, out)) return false;
  do {
    if (!ask_billions("Sieve to (in billions) : ", pmax, in, out)) return false;
  } while (pmax <= pmin);
  return true;
}

}  // namespace app
