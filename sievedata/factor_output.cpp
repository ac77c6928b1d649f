// One reported hit: re-checked exactly, classified against the table,
// written to its file (on disk before this returns), shown on the console,
// and taken out of the table so that a later hit on the same pair is a
// duplicate and the rewritten data file leaves it out.
#include "sievedata/factor_output.hpp"

#include <string>

#include "common/file_io.hpp"
#include "sievedata/factor_check.hpp"

namespace sievedata {

bool report_factor(SieveTable& table, const OutputSettings& settings, std::ostream& out, u64 p, u32 slot, u32 n,
                   u32 xmod, FactorCounts* written_counts) {
  if (slot >= static_cast<u32>(slot_count)) {
    out << "Internal error: hit " << p << " for slot " << slot << ", n " << n
        << " names no slot; not recorded as a factor." << std::endl;
    return true;
  }
  const u32 k = table.k_values[slot];
  // A hit that does not hold would be a false factor in the files and would
  // drop a pair that still needs sieving: refuse it loudly instead.
  if (!is_true_factor(p, k, n)) {
    out << "Internal error: " << p << " does not divide " << k << "*2^" << n
        << "+1; not recorded as a factor." << std::endl;
    return true;
  }

  NSet& n_set = table.n_sets[slot];
  const bool in_table = n_set.count(n) != 0;
  const bool in_range = table.n_min <= n && n <= table.n_max;
  if (!in_table && !settings.report_excluded) return true;

  const char* file_name = in_table ? new_factor_file_name : in_range ? duplicate_file_name : out_of_range_file_name;
  const std::string line = std::to_string(p) + " | " + std::to_string(k) + "*2^" + std::to_string(n) + "+1";
  // The file first: a factor shown on the console but never written would
  // be lost if the run ends right here.
  const bool written = common::append_text(file_name, line + "\n");
  if (written && written_counts != nullptr) {
    ++(in_table ? written_counts->new_factors : in_range ? written_counts->duplicates : written_counts->outside_range);
  }

  const bool verbose = settings.verbosity != 0;
  out << line;
  if (verbose) out << "\t(xmod " << xmod;
  if (!in_range) {
    out << (verbose ? ", outside range" : "\t(outside range)");
  } else if (!in_table) {
    out << (verbose ? ", duplicate" : "\t(duplicate)");
  }
  if (verbose) out << ")";
  out << std::endl;
  if (!written) {
    // The pair stays in the table: nothing may count it as found.
    out << "Error: could not write the factor above to " << file_name
        << ". Make room on the disk or mend the file, then start the program again: it resumes from its last "
           "save and finds this factor again. Exiting."
        << std::endl;
    return false;
  }

  // Also takes out a listed pair whose n lies outside [n_min, n_max].
  n_set.erase(n);
  return true;
}

}  // namespace sievedata
