// Order of 2 modulo p and the list of moduli for the Pohlig-Hellman route.
#pragma once
#include <span>

#include "search/search_context.hpp"
#include "sievedata/sieve_table.hpp"

namespace search {

// Factors p - 1 by its power of 2, trial division by 3..29 and the sieve's
// list `sieve_factors` (primes q >= 31 dividing p - 1, ascending). Returns the
// order of 2 mod p when p - 1 was factored completely, else a multiple of it.
// Rebuilds ctx.sph_moduli / ctx.sph_moduli_count. ctx.mod must be set for p.
u64 order2(SearchContext& ctx, const sievedata::SieveTable& table, u64 p, std::span<const u32> sieve_factors);

// order2 for the primes primes[0..count) (count <= order_batch_size), with
// sieve_factors[i] the sieve's list for primes[i]: their powers go through
// the kernels together. Writes ctx.order_batch: for each prime its
// ModContext, its order (or multiple) and its moduli list, the values
// order2 gives for it alone.
void order2_batch(SearchContext& ctx, const sievedata::SieveTable& table, const u64* primes,
                  const std::span<const u32>* sieve_factors, u32 count);

// Small factors are merged into one modulus until the product reaches this.
inline constexpr u32 moduli_merge_target = 30000;
// Prime factors above 2^24 never become moduli: their tables would not pay.
inline constexpr u32 moduli_prime_ceiling = 16777216;
// A merged modulus stays below half the n range and below this.
inline constexpr u32 moduli_span_ceiling = 8388608;

// The bound a merged modulus must stay below for the n range
// [n_min, n_max]: min((n_max - n_min) / 2, 8388608); 0 for a backwards range.
u32 moduli_limit(u32 n_min, u32 n_max);

// Builds the moduli list from `factors`, the prime factors of p - 1 with
// multiplicity in the order found (copies of one prime adjacent; a copy that
// does not enter the order is 0). `lim` comes from moduli_limit. Writes the
// moduli followed by a 0 to `moduli`, which needs room for
// factors.size() + 1 entries, and returns their number.
u32 build_moduli_list(std::span<const u32> factors, u32 lim, std::span<u32> moduli);

}  // namespace search
