// Reading the data file into the sieve table.
#pragma once
#include <ostream>
#include <string>

#include "sievedata/sieve_table.hpp"

namespace sievedata {

// Reads the named data file into `table` (which is emptied first) and derives
// the residue data. Prints the -v / -vv diagnostics to `out` according to
// `verbosity`. Returns false, after printing a message that names the file,
// when the file cannot be opened or is malformed.
bool load_sieve_data(const std::string& file_name, SieveTable& table, u32 verbosity, std::ostream& out);

// "<k> has <count> unfactored" for each of the twelve slots, then the total.
void print_unfactored_summary(const SieveTable& table, std::ostream& out);

}  // namespace sievedata
