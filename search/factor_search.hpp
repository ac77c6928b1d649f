// The interface of the factor search as the range driver sees it.
#pragma once
#include <span>

#include "search/search_context.hpp"
#include "sievedata/sieve_table.hpp"

namespace search {

// One-time set-up after the data file is loaded: n_step_lcm and the fixed
// 12-k mode. Slots without a step (no n) do not enter n_step_lcm.
SearchSetup prepare_search(const sievedata::SieveTable& table);

// Tests the odd prime p (10^9 <= p <= 2^50) against every slot. `sieve_factors`
// is the list of primes q >= 31 dividing p - 1 that the segment sieve
// prepared for this very prime. Clears ctx.hits, then appends every hit of p
// in report order, and counts into ctx.counters.
void test_idea(SearchContext& ctx, const SearchSetup& setup, const sievedata::SieveTable& table, u64 p,
               std::span<const u32> sieve_factors);

}  // namespace search
