// The one set of twelve k, with their fixed classes of n, that the search
// recognises at set-up and filters faster: every step is even, so every n of
// a slot has the parity of its offset r, and a factor p of k*2^n+1 forces
// -k*2^(r mod 2) to be a quadratic residue mod p (the residue filter, built
// for any table in prepare_search, checks it for every slot with an even
// step; here the values are pinned for the known set).
#pragma once
#include <array>

#include "common/types.hpp"

namespace search {
using common::i32;
using common::slot_count;
using common::u32;

struct KnownSlot {
  u32 k = 0;
  u32 n_offset = 0;  // r: every n of the slot is = r (mod n_step)
  u32 n_step = 0;    // d
};

// Row j must match slot j of the loaded table, all three columns.
inline constexpr std::array<KnownSlot, slot_count> known_k_table{{
    {4847, 15, 24},
    {5359, 6, 8},
    {10223, 5, 12},
    {19249, 14, 36},
    {21181, 20, 24},
    {22699, 46, 72},
    {24737, 7, 24},
    {27653, 33, 36},
    {28433, 1, 24},
    {33661, 0, 24},
    {55459, 10, 12},
    {67607, 3, 8},
}};

// -k*2^(r mod 2) per row: the value whose Legendre symbol mod p must be +1
// for the row to have a factor p.
inline constexpr std::array<i32, slot_count> qr_filter{
    -9694, -5359, -20446, -19249, -21181, -22699, -49474, -55306, -56866, -33661, -55459, -135214,
};

// The filter values are derived from the rows, and the filter's reasoning
// needs every step even; checked here so an edit of one table cannot leave
// the other behind.
inline constexpr bool known_tables_agree() {
  for (int j = 0; j < slot_count; ++j) {
    const KnownSlot& row = known_k_table[j];
    const i32 expected = -static_cast<i32>(row.k << (row.n_offset % 2));
    if (qr_filter[j] != expected || row.n_step % 2 != 0 || row.n_offset >= row.n_step) return false;
  }
  return true;
}
static_assert(known_tables_agree(), "qr_filter must be -k*2^(r mod 2) of known_k_table, with even steps");

}  // namespace search
