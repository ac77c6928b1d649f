// The checks every range of p passes before it is sieved, wherever it comes
// from (command line, prompt, status file, queue). Kept apart from the range
// driver so that a range can be checked before it is recorded: a range that
// can never run must not replace the one the status file holds, nor block
// the queue behind it.
#pragma once
#include <optional>
#include <ostream>
#include <string>

#include "common/types.hpp"

namespace app {
using common::u64;

// Why [pmin, pmax] cannot be sieved, in the words the range driver prints
// ("pmax=... <= pmin=..." or "Sorry, pmin=... has to be at least 10^9 ...");
// nothing when it can. pmax above 2^50 is judged as lowered to 2^50.
std::optional<std::string> range_fault(u64 pmin, u64 pmax);

// Checks a range and brings it into the form the loop needs: pmax above 2^50
// is lowered to 2^50 (with a message); pmax must be above pmin and pmin at
// least 10^9, else the reason is printed and false returned (exit status 1);
// pmin is then made even, so that an odd prime pmin is tested too.
bool check_range(u64& pmin, u64& pmax, std::ostream& out);

// For a range about to be recorded: true when it passes the checks, else the
// messages check_range would print are printed and false returned. Prints
// nothing for a range that passes (the range driver still reports a clamp).
bool range_can_run(u64 pmin, u64 pmax, std::ostream& out);

}  // namespace app
