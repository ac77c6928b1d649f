// Pohlig-Hellman route: n modulo the small moduli of the order of 2, combined
// by the Chinese remainder theorem and scanned in a single class per slot.
#pragma once
#include "search/search_context.hpp"
#include "sievedata/sieve_table.hpp"

namespace search {

// Returns false, touching no counter and reporting nothing, when the route
// does not pay or cannot run safely for this prime; the caller then runs
// check_factors. Uses ctx.sph_moduli as prepared by order2 (and rewrites it).
bool sph_idea(SearchContext& ctx, const SearchSetup& setup, const sievedata::SieveTable& table, u64 p, u64 ord,
              SlotMask slot_mask);

}  // namespace search
