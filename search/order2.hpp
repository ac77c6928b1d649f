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

}  // namespace search
