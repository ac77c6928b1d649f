#include "search/known_symbols.hpp"

#include <bit>
#include <vector>

#include "search/known_table.hpp"

namespace search {
namespace {

struct PrimeResidues {
  u32 q = 0;
  std::vector<u64> residue_bits;  // bit r: r is a non-zero square mod q

  bool is_residue(u32 r) const { return ((residue_bits[r / 64] >> (r % 64)) & 1) != 0; }
};

struct SlotFactors {
  bool odd_twos = false;  // an odd power of 2 divides the value
  u32 odd_primes = 0;     // primes (by index) of odd multiplicity
  u32 all_primes = 0;     // every prime dividing the value
};

struct Tables {
  std::vector<PrimeResidues> primes;
  std::array<SlotFactors, slot_count> slots{};
};

u32 prime_index(Tables& t, u32 q) {
  for (u32 i = 0; i < t.primes.size(); ++i) {
    if (t.primes[i].q == q) return i;
  }
  PrimeResidues pr;
  pr.q = q;
  pr.residue_bits.assign(q / 64 + 1, 0);
  for (u64 x = 1; x <= q / 2; ++x) {
    const u64 r = x * x % q;
    pr.residue_bits[r / 64] |= u64{1} << (r % 64);
  }
  t.primes.push_back(std::move(pr));
  return static_cast<u32>(t.primes.size() - 1);
}

Tables build_tables() {
  Tables t;
  for (u32 j = 0; j < slot_count; ++j) {
    u32 m = static_cast<u32>(-qr_filter[j]);
    const int twos = std::countr_zero(m);
    m >>= twos;
    SlotFactors& s = t.slots[j];
    s.odd_twos = (twos & 1) != 0;
    for (u32 q = 3; q <= m; q += 2) {
      if (m % q != 0) continue;
      const u32 bit = u32{1} << prime_index(t, q);
      s.all_primes |= bit;
      while (m % q == 0) {
        m /= q;
        s.odd_primes ^= bit;
      }
    }
  }
  return t;
}

const Tables& tables() {
  static const Tables t = build_tables();
  return t;
}

static_assert(slot_count <= 32);

}  // namespace

KnownSymbols known_symbols(u64 p) {
  const Tables& t = tables();
  const bool p_3_mod_4 = (p & 3) == 3;
  // Per prime q: whether (q/p) = -1, or whether q = p.
  u32 negative_primes = 0;
  u32 zero_primes = 0;
  for (u32 i = 0; i < t.primes.size(); ++i) {
    const PrimeResidues& pr = t.primes[i];
    const u32 r = static_cast<u32>(p % pr.q);
    if (r == 0) {
      zero_primes |= u32{1} << i;
      continue;
    }
    // (q/p) = (p/q) * (-1)^((q-1)/2 * (p-1)/2).
    const bool flip = !pr.is_residue(r) ^ (p_3_mod_4 && (pr.q & 3) == 3);
    negative_primes |= static_cast<u32>(flip) << i;
  }
  // (-m*2^e / p) = (-1/p) * (2/p)^e * product of (q/p).
  const bool two_negative = jacobi2_parity[p & 7] != 0;
  KnownSymbols out;
  for (u32 j = 0; j < slot_count; ++j) {
    const SlotFactors& s = t.slots[j];
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
