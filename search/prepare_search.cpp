// One-time set-up of the search after the data file is loaded: the common
// step of all slots, the quadratic-residue filter's values, and whether the
// table is the known set of twelve k (whose k*2^r are kept precomputed).
#include <array>
#include <numeric>

#include "search/factor_search.hpp"
#include "search/known_table.hpp"

namespace search {
namespace {

// Largest r for which k*2^r (k < 2^17 in the known set) is kept as one
// number; beyond it the product is split so that each factor stays below p.
inline constexpr u32 known_kpow_split = 23;

bool matches_known_table(const sievedata::SieveTable& table) {
  for (int j = 0; j < slot_count; ++j) {
    const KnownSlot& row = known_k_table[j];
    if (table.k_values[j] != row.k || table.n_offset[j] != row.n_offset || table.n_step[j] != row.n_step) {
      return false;
    }
  }
  return true;
}

}  // namespace

SearchSetup prepare_search(const sievedata::SieveTable& table) {
  SearchSetup setup;

  // Slots without a step hold no n and are never searched, so they do not
  // enter the common step. The product is formed in 64 bits: a common step
  // that does not fit in 32 bits is reported as 0.
  u64 lcm = 1;
  for (int j = 0; j < slot_count; ++j) {
    const u64 d = table.n_step[j];
    if (d == 0) continue;
    lcm = lcm / std::gcd(lcm, d) * d;
    if (lcm > 0xffffffffULL) {
      lcm = 0;
      break;
    }
  }
  setup.n_step_lcm = static_cast<u32>(lcm);

  // The residue filter's values -k*2^(r mod 2), for every slot whose step is
  // even (k = 0 has no factor to filter; the power test removes it).
  std::array<u64, slot_count> magnitudes{};
  for (int j = 0; j < slot_count; ++j) {
    const u32 d = table.n_step[j];
    if (d != 0 && d % 2 == 0 && table.k_values[j] != 0) {
      magnitudes[j] = u64{table.k_values[j]} << (table.n_offset[j] % 2);
    }
  }
  setup.residue_symbols = ResidueSymbols(magnitudes);

  if (!matches_known_table(table)) return setup;
  setup.known_set_mode = true;
  for (int j = 0; j < slot_count; ++j) {
    const u64 k = known_k_table[j].k;
    const u32 r = known_k_table[j].n_offset;
    if (r <= known_kpow_split) {
      setup.known_kpow[j] = {k << r, 0};
    } else {
      setup.known_kpow[j] = {k << known_kpow_split, u64{1} << (r - known_kpow_split)};
    }
  }
  return setup;
}

}  // namespace search
