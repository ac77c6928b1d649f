// The scanner of the data file's text. Kept apart from the loader so that the
// token rules and every rejection can be exercised on strings.
#pragma once
#include <string>
#include <string_view>

#include "sievedata/sieve_table.hpp"

namespace sievedata {

// What the text lists: the table's k, n, n range and the step and class of
// each slot (the residue data proper is derived afterwards).
struct ParsedData {
  SieveTable table;  // k_values, n_sets, n_min, n_max, n_step, n_offset
  u32 slots_used = 0;  // k entries seen, 0..12
};

// Reads the data file's text: three header numbers (the first ignored), then
// "k=" entries each followed by its first n and "+difference" tokens, with
// blanks of any kind between tokens (also around "=" and after "+"). Returns
// false with `error` set to a one-line description of the fault and its line
// when the text breaks the format or a requirement that the table or the
// search relies on (any other text where a token belongs, a bad or
// overflowing number, n_min above n_max, more than 12 k, "+" before the first
// k, no k at all, a difference of 0, n beyond 32 bits).
// The step d of a slot is the gcd of its differences and its class r the
// last n mod d; a single n gets d = 1, r = 0; a k without n keeps d = 0.
bool parse_sieve_text(std::string_view text, ParsedData& data, std::string& error);

}  // namespace sievedata
