// The Legendre symbols of the twelve filter values -k*2^(r mod 2) of the
// known set modulo the prime under test, all at once.
//
// By reciprocity each symbol is a product of a few signs fixed by p mod 8 and
// of (p mod q / q) for the odd primes q dividing the value; the latter are
// bits of a table of quadratic residues mod q, built once. The known set has
// eighteen such primes (the largest 67607), so a prime needs eighteen
// remainders and table reads (about 40 KB of tables in all) instead of
// twelve binary Jacobi loops of about thirty rounds each.
#pragma once
#include "common/types.hpp"

namespace search {
using common::u32;
using common::u64;

// Bit j stands for slot j of the known set.
struct KnownSymbols {
  u32 negative = 0;  // symbol -1: the slot cannot have a factor p
  u32 zero = 0;      // p divides the value (only for p below 135215)
};

// For an odd prime p.
KnownSymbols known_symbols(u64 p);

}  // namespace search
