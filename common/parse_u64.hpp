// Decimal reading shared by the command line, the status file and the queue.
#pragma once
#include <optional>
#include <string_view>

#include "common/types.hpp"

namespace common {

// Reads an unsigned decimal number the way a standard input stream extracts
// one: leading white space is skipped and digits are read up to the first
// character that is not a digit; the rest of the text is ignored.
// Returns nothing when no digit follows the white space, or when the digits
// do not fit 64 bits, so that every caller can refuse such text instead of
// silently working with 0 or a wrapped value.
std::optional<u64> parse_u64(std::string_view text);

}  // namespace common
