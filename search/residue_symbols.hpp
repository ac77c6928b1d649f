// The Legendre symbols of up to twelve fixed values -m_j modulo the prime
// under test, all at once, for the slot filter.
//
// A slot whose step is even holds only n of one parity, r mod 2, so a factor
// p of k*2^n+1 forces -k*2^(r mod 2) to be a quadratic residue mod p (it is
// 2^-(n - r mod 2), an even power of 2^-1). By reciprocity the symbol of
// -m = -2^e * (odd primes q) is a product of signs fixed by p mod 8 and of
// (p mod q / q) per prime q of odd multiplicity, a bit of a table of
// squares mod q built once: no modular power of a 50-bit number is taken.
// Only values whose primes are all up to table_prime_limit are evaluated.
#pragma once
#include <array>
#include <vector>

#include "common/types.hpp"
#include "modarith/small_divisor.hpp"

namespace search {
using common::slot_count;
using common::u32;
using common::u64;

// Bit j stands for slot j.
struct KnownSymbols {
  u32 negative = 0;  // symbol -1: the slot cannot have a factor p
  u32 zero = 0;      // p divides the value
};

class ResidueSymbols {
 public:
  // Primes up to this get a table of squares (at most 128 KiB each, 4 MiB
  // for the most primes the masks hold).
  static constexpr u32 table_prime_limit = 1u << 20;

  ResidueSymbols() = default;
  // magnitudes[j] = m_j >= 1 for the slots to evaluate, 0 for the others
  // (whose bits stay clear).
  explicit ResidueSymbols(const std::array<u64, slot_count>& magnitudes);

  // The slots evaluated: those with a value whose odd primes are all up to
  // table_prime_limit (and fit the masks).
  u32 slots() const { return slots_; }

  // For an odd prime p < 2^63.
  KnownSymbols evaluate(u64 p) const;

 private:
  struct Prime {
    u32 q = 0;
    modarith::SmallDivisor divisor;  // p mod q without a division
    std::vector<u64> residue_bits;  // bit r: r is a non-zero square mod q
  };
  struct SlotFactors {
    bool odd_twos = false;  // an odd power of 2 divides the value
    u32 odd_primes = 0;     // primes (by index) of odd multiplicity
    u32 all_primes = 0;     // every odd prime dividing the value
  };
  u32 prime_index(u32 q);

  std::vector<Prime> primes_;
  std::array<SlotFactors, slot_count> factors_{};
  u32 slots_ = 0;
};

}  // namespace search
