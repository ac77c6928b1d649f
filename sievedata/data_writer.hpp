// Writing the sieve table back in the data file's format (-u).
#pragma once
#include <string>

#include "sievedata/sieve_table.hpp"

namespace sievedata {

// Writes the table's k and remaining n inside [n_min, n_max] to `file_name`
// through a temporary file that replaces the old one only once it is
// complete on disk. Returns false, leaving the old file untouched, when
// anything fails.
bool save_sieve_data(const SieveTable& table, const std::string& file_name);

}  // namespace sievedata
