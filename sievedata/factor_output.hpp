// Classification and output of one hit of the search.
#pragma once
#include <ostream>

#include "sievedata/output_settings.hpp"
#include "sievedata/sieve_table.hpp"

namespace sievedata {

// The three factor files, in the working directory.
inline constexpr const char* new_factor_file_name = "fact.txt";
inline constexpr const char* duplicate_file_name = "factexcl.txt";
inline constexpr const char* out_of_range_file_name = "factrange.txt";

// The factor lines written to each of the three files, kept for the -v line
// at the end of a range.
struct FactorCounts {
  u64 new_factors = 0;    // fact.txt
  u64 duplicates = 0;     // factexcl.txt
  u64 outside_range = 0;  // factrange.txt
};

// One hit: p divides k*2^n+1 for the k of `slot`. xmod is the step of the
// progression of n that the search was scanning (printed with -v).
// Prints the factor line to `out`, appends it to fact.txt, factexcl.txt or
// factrange.txt in the working directory (on disk before returning), and
// removes n from the slot's set. False, after a message naming the file,
// when the line could not be written in full: the factor would be lost, so
// the caller must end the run before anything else is saved, and a restart
// from the last save finds it again (the file keeps what it held). A line
// that reached its file is counted in `written_counts`, when given.
bool report_factor(SieveTable& table, const OutputSettings& settings, std::ostream& out, u64 p, u32 slot, u32 n,
                   u32 xmod, FactorCounts* written_counts = nullptr);

}  // namespace sievedata
