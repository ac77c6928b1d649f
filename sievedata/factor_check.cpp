// k*2^n+1 mod p by left-to-right square-and-multiply with plain 128-bit
// remainders. Slow next to the search's kernels, but it shares nothing with
// them, which is the point: a fault in a kernel cannot vouch for itself.
#include "sievedata/factor_check.hpp"

namespace sievedata {

namespace {
__extension__ typedef unsigned __int128 u128;

u64 mul_mod(u64 a, u64 b, u64 p) { return static_cast<u64>(static_cast<u128>(a) * b % p); }
}  // namespace

bool is_true_factor(u64 p, u32 k, u32 n) {
  if (p < 2) return false;  // 0 divides nothing here, 1 is no factor
  u64 power = 1 % p;        // 2^(leading bits of n) mod p
  for (int bit = 31; bit >= 0; --bit) {
    power = mul_mod(power, power, p);
    if ((n >> bit) & 1U) power = mul_mod(power, 2 % p, p);
  }
  const u64 value = mul_mod(k % p, power, p);  // k*2^n mod p
  return (static_cast<u128>(value) + 1) % p == 0;
}

}  // namespace sievedata
