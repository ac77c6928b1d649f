// The two questions the program may ask on standard input before a range
// starts: whether to discard the status file, and which range to sieve.
// Both give up with a message, instead of asking again, once the input has
// ended, so that a run with no one at the keyboard can never loop.
#pragma once
#include <istream>
#include <ostream>

#include "common/types.hpp"

namespace app {
using common::u64;

// Asks "Do you wish to clear VeskStatus.dat and begin a new range? [y/n] : "
// until the first non-blank character of an answer is y, Y, n or N; only
// that character is consumed. True for yes. False for no (after
// "Exiting.") and when the input ends (after saying so); the run then ends
// with exit status 1.
bool ask_clear_status(std::istream& in, std::ostream& out);

// Asks for the range in billions: "Sieve from" until a number is read, then
// "Sieve to" until the answer is above pmin. Each answer is multiplied by
// 10^9. An answer that is not a number, or above 18446744073 (its value in p
// would not fit 64 bits), has the rest of its line discarded and is asked
// again. Returns false, after saying so, when the input ends.
bool prompt_range(u64& pmin, u64& pmax, std::istream& in, std::ostream& out);

}  // namespace app
