// Baby-step giant-step scans: find every n of the searched classes with
// k*2^n = -1 (mod p) and append the hits to ctx.hits.
#pragma once
#include <array>

#include "search/search_context.hpp"
#include "sievedata/sieve_table.hpp"

namespace search {

// General scan: giant step 15840, each slot walks its n_residues mod n_modulus.
void check_factors(SearchContext& ctx, const sievedata::SieveTable& table, u64 p, SlotMask slot_mask);

// Scan after the Pohlig-Hellman step: slot j walks n = X[j] (mod M*S[j]);
// a is a multiple of every M*S[j].
void check_factors_sph(SearchContext& ctx, const sievedata::SieveTable& table, u64 a, u64 p, SlotMask slot_mask,
                       u32 M, const std::array<u32, slot_count>& S, const std::array<u32, slot_count>& X);

}  // namespace search
