// The -u rewrite of the data file. The whole text is built in memory and
// handed to a temporary-file-and-rename replacement, so the old file stays
// intact until the new one is complete on disk.
#include "sievedata/data_writer.hpp"

#include <charconv>
#include <string>

#include "common/file_io.hpp"

namespace sievedata {

namespace {

void append_number(std::string& text, u32 value) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

}  // namespace

bool save_sieve_data(const SieveTable& table, const std::string& file_name) {
  std::string text;
  text += std::to_string(slot_count) + "\n";
  append_number(text, table.n_min);
  text += '\n';
  append_number(text, table.n_max);
  text += '\n';
  for (int slot = 0; slot < slot_count; ++slot) {
    text += "k=";
    append_number(text, table.k_values[slot]);
    text += '\n';
    // Only n inside [n_min, n_max]: a pair outside it has no place in a
    // file that claims that range.
    const NSet& n_set = table.n_sets[slot];
    bool first = true;
    u32 previous = 0;
    for (auto it = n_set.lower_bound(table.n_min); it != n_set.end() && *it <= table.n_max; ++it) {
      if (!first) text += '+';
      append_number(text, first ? *it : *it - previous);
      text += '\n';
      previous = *it;
      first = false;
    }
  }
  return common::replace_file(file_name, text);
}

}  // namespace sievedata
