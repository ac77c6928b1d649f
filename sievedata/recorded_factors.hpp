// The factors already on disk, taken out of the table before -u rewrites the
// data file. A run killed after some factors were written but before its
// next save resumes with a table that still lists those pairs (it was loaded
// from the old data file); fact.txt is the record that outlives the kill.
#pragma once
#include <cstddef>
#include <string_view>

#include "sievedata/sieve_table.hpp"

namespace sievedata {

// Removes from the table every pair (slot of k, n) for which a line
// "p | k*2^n+1" of `fact_text` is a true factor, each line re-checked with
// exact arithmetic before it counts; lines of any other form, and claims that
// do not hold, change nothing. Returns the number of n removed.
std::size_t remove_recorded_factors(SieveTable& table, std::string_view fact_text);

}  // namespace sievedata
