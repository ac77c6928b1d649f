// Pohlig-Hellman route: n modulo the small moduli of the order of 2, combined
// by the Chinese remainder theorem and scanned in a single class per slot.
#pragma once
#include "search/search_context.hpp"
#include "sievedata/sieve_table.hpp"

namespace search {

// Returns true when the route has dealt with the prime: every hit reported
// (through check_factors_sph) and every dropped slot and prime counted.
// Returns false when the caller must run check_factors on `slot_mask`:
// either the route declined (it does not pay or cannot run safely for this
// prime), touching no counter, reporting nothing and leaving slot_mask as it
// was; or its moduli could not be combined, after it had dropped (and
// counted) slots without a solution from slot_mask. Reads ctx.sph_moduli as
// prepared by order2 and leaves it as it is.
bool sph_idea(SearchContext& ctx, const SearchSetup& setup, const sievedata::SieveTable& table, u64 p, u64 ord,
              SlotMask& slot_mask);

}  // namespace search
