#include "search/residue_symbols.hpp"

#include <bit>
#include <utility>

namespace search {
namespace {

// (a / n) for odd n >= 1, a < n: the binary Jacobi algorithm.
int jacobi32(u32 a, u32 n) {
  int sign = 1;
  while (a != 0) {
    const int twos = std::countr_zero(a);
    a >>= twos;
    // (2/n) = -1 for n = 3, 5 (mod 8).
    if ((twos & 1) != 0 && ((n & 7) == 3 || (n & 7) == 5)) sign = -sign;
    // Reciprocity: a sign change when both are 3 (mod 4).
    if ((a & 3) == 3 && (n & 3) == 3) sign = -sign;
    const u32 rest = n % a;
    n = a;
    a = rest;
  }
  return n == 1 ? sign : 0;
}

// Distinct odd primes of all values together: one bit each in the masks (a
// value below 2^33 has at most nine).
constexpr u32 max_primes = 32;

}  // namespace

u32 ResidueSymbols::prime_index(u32 q) {
  for (u32 i = 0; i < primes_.size(); ++i) {
    if (primes_[i].q == q) return i;
  }
  Prime pr;
  pr.q = q;
  if (q <= table_prime_limit) {
    pr.residue_bits.assign(q / 64 + 1, 0);
    for (u64 x = 1; x <= q / 2; ++x) {
      const u64 r = x * x % q;
      pr.residue_bits[r / 64] |= u64{1} << (r % 64);
    }
  }
  primes_.push_back(std::move(pr));
  return static_cast<u32>(primes_.size() - 1);
}

ResidueSymbols::ResidueSymbols(const std::array<u64, slot_count>& magnitudes) {
  static_assert(slot_count <= 32);
  for (u32 j = 0; j < slot_count; ++j) {
    u64 m = magnitudes[j];
    if (m == 0) continue;
    const int twos = std::countr_zero(m);
    m >>= twos;
    // The odd primes of m with their multiplicity's parity, by trial
    // division up to the square root (what is left is one prime).
    std::array<std::pair<u64, bool>, 16> found{};
    u32 count = 0;
    for (u64 q = 3; q * q <= m; q += 2) {
      if (m % q != 0) continue;
      bool odd = false;
      while (m % q == 0) {
        m /= q;
        odd = !odd;
      }
      found[count++] = {q, odd};
    }
    if (m > 1) found[count++] = {m, true};
    // Each prime takes one bit of the masks; a slot whose primes would not
    // fit is left out (the filter then takes its power as for an odd step).
    u32 new_primes = 0;
    for (u32 i = 0; i < count; ++i) {
      bool known = false;
      for (const Prime& pr : primes_) known = known || pr.q == found[i].first;
      new_primes += known ? 0 : 1;
    }
    if (primes_.size() + new_primes > max_primes) continue;
    SlotFactors& s = factors_[j];
    s.odd_twos = (twos & 1) != 0;
    for (u32 i = 0; i < count; ++i) {
      // m is the odd part of a value k * 2^(0 or 1) with k < 2^32.
      const u32 bit = u32{1} << prime_index(static_cast<u32>(found[i].first));
      s.all_primes |= bit;
      if (found[i].second) s.odd_primes |= bit;
    }
    slots_ |= u32{1} << j;
  }
}

KnownSymbols ResidueSymbols::evaluate(u64 p) const {
  const bool p_3_mod_4 = (p & 3) == 3;
  // Per prime q: whether (q/p) = -1, or whether q = p.
  u32 negative_primes = 0;
  u32 zero_primes = 0;
  for (u32 i = 0; i < primes_.size(); ++i) {
    const Prime& pr = primes_[i];
    const u32 r = static_cast<u32>(p % pr.q);
    if (r == 0) {
      zero_primes |= u32{1} << i;
      continue;
    }
    const bool non_residue = pr.residue_bits.empty() ? jacobi32(r, pr.q) < 0
                                                     : ((pr.residue_bits[r / 64] >> (r % 64)) & 1) == 0;
    // (q/p) = (p/q) * (-1)^((q-1)/2 * (p-1)/2).
    const bool flip = non_residue ^ (p_3_mod_4 && (pr.q & 3) == 3);
    negative_primes |= static_cast<u32>(flip) << i;
  }
  // (-m*2^e / p) = (-1/p) * (2/p)^e * product of (q/p).
  const bool two_negative = (p & 7) == 3 || (p & 7) == 5;
  KnownSymbols out;
  for (u32 j = 0; j < slot_count; ++j) {
    if (((slots_ >> j) & 1) == 0) continue;
    const SlotFactors& s = factors_[j];
    if ((s.all_primes & zero_primes) != 0) {
      out.zero |= u32{1} << j;
      continue;
    }
    const u32 parity = static_cast<u32>(p_3_mod_4) ^ static_cast<u32>(s.odd_twos && two_negative) ^
                       static_cast<u32>(std::popcount(s.odd_primes & negative_primes) & 1);
    out.negative |= parity << j;
  }
  return out;
}

}  // namespace search
