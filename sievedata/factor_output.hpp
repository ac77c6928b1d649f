// Classification and output of one hit of the search.
#pragma once
#include <ostream>

#include "sievedata/sieve_table.hpp"

namespace sievedata {

// One hit: p divides k*2^n+1 for the k of `slot`. xmod is the step of the
// progression of n that the search was scanning (printed with -v).
// Prints the factor line to `out`, appends it to fact.txt, factexcl.txt or
// factrange.txt in the working directory (on disk before returning), and
// removes n from the slot's set.
void report_factor(SieveTable& table, const OutputSettings& settings, std::ostream& out, u64 p, u32 slot, u32 n,
                   u32 xmod);

}  // namespace sievedata
