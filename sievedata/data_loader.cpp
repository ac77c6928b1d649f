// Start-up loading of the data file: the text is read whole, scanned
// straight into the table's ordered sets, and the residue data the search
// walks is derived from them. The caller's table is only replaced once
// everything has been read and checked, so a refused file leaves nothing
// half-built. Large files hold millions of n: the text is read in one piece
// and nothing is copied that need not be.
#include "sievedata/data_loader.hpp"

#include <iterator>
#include <optional>
#include <utility>


#include "common/file_io.hpp"
#include "sievedata/data_parser.hpp"
#include "sievedata/residue_choice.hpp"

namespace sievedata {

namespace {

void print_step_line(u32 k, const NSet& n_set, u32 step, u32 offset, std::ostream& out) {
  if (n_set.empty()) {
    out << "k: " << k << ". No remaining n." << std::endl;
  } else {
    out << "k: " << k << ". All remaining n = " << offset << " (mod " << step << ")." << std::endl;
  }
}

// n outside [n_min, n_max] are searched, but their factors go to the files
// as outside the range and -u drops them: a header that does not fit the
// list is worth a word.
void warn_of_n_outside_range(const SieveTable& table, std::ostream& out) {
  for (int slot = 0; slot < slot_count; ++slot) {
    const NSet& n_set = table.n_sets[slot];
    const auto outside = static_cast<u64>(std::distance(n_set.begin(), n_set.lower_bound(table.n_min)) +
                                          std::distance(n_set.upper_bound(table.n_max), n_set.end()));
    if (outside == 0) continue;
    out << "Warning: " << outside << " n of k=" << table.k_values[slot] << " lie outside the data file's n range "
        << table.n_min << " to " << table.n_max << "." << std::endl;
  }
}

}  // namespace

bool load_sieve_data(const std::string& file_name, SieveTable& table, u32 verbosity, std::ostream& out) {
  std::optional<std::string> text = common::read_file(file_name);
  if (!text) {
    out << "Error: couldn't open '" << file_name << "'" << std::endl;
    out << "You need a Vesk.dat file to run this program. Get it from the Vesk forums." << std::endl;
    return false;
  }
  ParsedData data;
  std::string error;
  const bool parsed = parse_sieve_text(*text, data, error);
  text.reset();  // the file's text can be large; it is not needed any more
  if (!parsed) {
    out << "Error: malformed data file '" << file_name << "', " << error << std::endl;
    return false;
  }

  SieveTable& loaded = data.table;
  warn_of_n_outside_range(loaded, out);
  if (verbosity >= 1) {
    for (u32 slot = 0; slot < data.slots_used; ++slot) {
      print_step_line(loaded.k_values[slot], loaded.n_sets[slot], loaded.n_step[slot], loaded.n_offset[slot], out);
    }
    print_unfactored_summary(loaded, out);
    out << std::endl;
  }

  for (int slot = 0; slot < slot_count; ++slot) {
    const ResidueChoice choice = choose_residues(loaded.n_sets[slot], loaded.k_values[slot], loaded.n_step[slot],
                                                 loaded.n_offset[slot], verbosity, out);
    loaded.n_modulus[slot] = choice.n_modulus;
    loaded.n_residue_count[slot] = choice.n_residue_count;
    loaded.n_residues[slot] = choice.n_residues;
  }
  if (verbosity >= 2) {
    for (int slot = 0; slot < slot_count; ++slot) {
      out << loaded.k_values[slot] << ": mod " << loaded.n_modulus[slot] << ":";
      for (u32 i = 0; i < loaded.n_residue_count[slot]; ++i) out << " " << loaded.n_residues[slot][i];
      out << std::endl;
    }
    out << std::endl;
  }

  table = std::move(loaded);
  return true;
}

void print_unfactored_summary(const SieveTable& table, std::ostream& out) {
  u64 total = 0;
  for (int slot = 0; slot < slot_count; ++slot) {
    const u64 count = table.n_sets[slot].size();
    total += count;
    out << table.k_values[slot] << " has " << count << " unfactored" << std::endl;
  }
  out << "Total: " << total << " unfactored" << std::endl;
}

}  // namespace sievedata
