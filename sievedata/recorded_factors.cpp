#include "sievedata/recorded_factors.hpp"

#include <optional>

#include "sievedata/factor_check.hpp"

namespace sievedata {

namespace {

// Reads a decimal number at the front of `text` and moves past it; nothing
// when no digit is there or it does not fit `limit`.
std::optional<u64> take_number(std::string_view& text, u64 limit) {
  std::size_t used = 0;
  u64 value = 0;
  for (; used < text.size() && text[used] >= '0' && text[used] <= '9'; ++used) {
    const u64 digit = static_cast<u64>(text[used] - '0');
    if (value > (limit - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (used == 0) return std::nullopt;
  text.remove_prefix(used);
  return value;
}

bool take_text(std::string_view& text, std::string_view expected) {
  if (!text.starts_with(expected)) return false;
  text.remove_prefix(expected.size());
  return true;
}

struct RecordedFactor {
  u64 p = 0;
  u32 k = 0;
  u32 n = 0;
};

// One line exactly as the factor output writes it (a "\r" of a copied file
// at its end is allowed).
std::optional<RecordedFactor> parse_line(std::string_view line) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  constexpr u64 u32_limit = 0xFFFFFFFFULL;
  const std::optional<u64> p = take_number(line, ~u64{0});
  if (!p || !take_text(line, " | ")) return std::nullopt;
  const std::optional<u64> k = take_number(line, u32_limit);
  if (!k || !take_text(line, "*2^")) return std::nullopt;
  const std::optional<u64> n = take_number(line, u32_limit);
  if (!n || line != "+1") return std::nullopt;
  return RecordedFactor{*p, static_cast<u32>(*k), static_cast<u32>(*n)};
}

}  // namespace

std::size_t remove_recorded_factors(SieveTable& table, std::string_view fact_text) {
  std::size_t removed = 0;
  while (!fact_text.empty()) {
    const std::size_t end = fact_text.find('\n');
    const std::string_view line = fact_text.substr(0, end);
    fact_text.remove_prefix(end == std::string_view::npos ? fact_text.size() : end + 1);
    const std::optional<RecordedFactor> factor = parse_line(line);
    if (!factor || !is_true_factor(factor->p, factor->k, factor->n)) continue;
    for (int slot = 0; slot < slot_count; ++slot) {
      if (table.k_values[slot] == factor->k) removed += table.n_sets[slot].erase(factor->n);
    }
  }
  return removed;
}

}  // namespace sievedata
