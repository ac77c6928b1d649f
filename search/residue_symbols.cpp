#include "search/residue_symbols.hpp"

#include <bit>
#include <utility>

#include "modarith/small_divisor.hpp"

namespace search {
namespace {

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
  pr.divisor = modarith::make_small_divisor(q);
  pr.residue_bits.assign(q / 64 + 1, 0);
  for (u64 x = 1; x <= q / 2; ++x) {
    const u64 r = x * x % q;
    pr.residue_bits[r / 64] |= u64{1} << (r % 64);
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
    // Each prime takes one bit of the masks and, for its symbol, a table of
    // squares; a slot with a prime above the table limit, or whose primes
    // would not fit the masks, is left out (the filter then takes its power
    // as for an odd step: a symbol by the Jacobi algorithm, a chain of
    // 32-bit divisions, costs about as much as the power it would spare).
    bool tabled = true;
    for (u32 i = 0; i < count; ++i) tabled = tabled && found[i].first <= table_prime_limit;
    if (!tabled) continue;
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
    const u32 r = static_cast<u32>(modarith::remainder(p, pr.divisor));
    if (r == 0) {
      zero_primes |= u32{1} << i;
      continue;
    }
    const bool non_residue = ((pr.residue_bits[r / 64] >> (r % 64)) & 1) == 0;
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
