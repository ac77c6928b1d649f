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
//
// `start` (from sph_plan and the first powers, taken for a whole batch of
// primes by start_batch) saves the route its plan and its first raise;
// without it the route plans and raises for itself. Either way the results
// are the same.
bool sph_idea(SearchContext& ctx, const SearchSetup& setup, const sievedata::SieveTable& table, u64 p, u64 ord,
              SlotMask& slot_mask, const RouteStart* start = nullptr);

// The route's plan for a prime with the given moduli of its order and the
// filter's slots: fills L, P and a of `start` and sets start.planned, false
// when the route declines the prime. Reads only.
bool sph_plan(const u32* moduli, u32 moduli_count, const SearchSetup& setup, const sievedata::SieveTable& table,
              SlotMask slot_mask, RouteStart& start);

// The bases of the route's first raise, all to the exponent ord / start.P:
// -k mod p for each slot of slot_mask in slot order, then h = 2^-1 and 2.
// Writes them to bases (room for max_parallel_powers) and returns how many.
u32 sph_first_bases(const sievedata::SieveTable& table, u64 p, SlotMask slot_mask, u64* bases);

// Stores the powers of the bases sph_first_bases gave as start's Y, H and T.
void sph_store_first_powers(SlotMask slot_mask, const u64* powers, RouteStart& start);

}  // namespace search
