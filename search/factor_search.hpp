// The interface of the factor search as the range driver sees it.
#pragma once
#include <span>

#include "search/search_context.hpp"
#include "sievedata/sieve_table.hpp"

namespace search {

// One-time set-up after the data file is loaded: n_step_lcm and the fixed
// 12-k mode. Slots without a step (no n) do not enter n_step_lcm. When the
// steps have no common multiple below 2^32, n_step_lcm is 0 and every prime
// takes the general scan.
SearchSetup prepare_search(const sievedata::SieveTable& table);

// Tests the odd prime p (10^9 <= p <= 2^50) against every slot. `sieve_factors`
// is the list of primes q >= 31 dividing p - 1 that the segment sieve
// prepared for this very prime: the iterator's current_factors() for the
// prime it just returned, taken before it moves on. Clears ctx.hits, then
// appends every hit of p in report order, and counts into ctx.counters.
void test_idea(SearchContext& ctx, const SearchSetup& setup, const sievedata::SieveTable& table, u64 p,
               std::span<const u32> sieve_factors);

// The first steps of test_idea for the primes primes[0..count)
// (count <= order_batch_size; sieve_factors[i] the sieve's list for
// primes[i]): the orders of 2 (order2_batch) and the slot filter, their
// powers through the kernels together. Fills ctx.order_batch and counts the
// filter's whacked_k.
void start_batch(SearchContext& ctx, const SearchSetup& setup, const sievedata::SieveTable& table, const u64* primes,
                 const std::span<const u32>* sieve_factors, u32 count);

// test_idea for the prime `index` of ctx.order_batch after start_batch: the
// same hits and, with start_batch, the same counters.
void test_idea_in_batch(SearchContext& ctx, const SearchSetup& setup, const sievedata::SieveTable& table, u32 index);

// The slot filter of test_idea: bit j is set when slot j can hold some
// n = n_offset (mod n_step) with p | k*2^n+1, given `ord`, the order of 2
// mod p or a multiple of it. Counts every other slot in whacked_k (slots
// without a step among them); touches no other counter. ctx.mod must be set
// for p.
SlotMask filter_slots(SearchContext& ctx, const SearchSetup& setup, const sievedata::SieveTable& table, u64 p,
                      u64 ord);

}  // namespace search
