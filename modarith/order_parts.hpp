// The prime-power parts of the order of 2, for several primes p at once.
//
// For a prime q with q^c dividing p - 1 and y = 2^((p-1)/q^c), the order of
// y is q^j for the smallest j <= c with y^(q^j) = 1: the q-part of the order
// of 2 (y keeps every other prime's full power). Each such part is one long
// power and a few short raisings, a dependent chain of some 40 squarings for
// a single prime. One prime has only a few parts, so the per-prime powering
// leaves the multiplier idle most of the time; here the parts of a whole
// batch of primes go through the kernel together, each lane (or each
// interleaved chain) working modulo its own prime.
#pragma once
#include "common/types.hpp"
#include "modarith/modmul.hpp"
#include "modarith/wide_kernels.hpp"

namespace modarith {

// One part: the prime p is contexts[context].p (odd, 3 <= p < 2^60; below
// 2^50 for the eight-lane kernel), q^copies divides p - 1 and
// exponent = (p - 1) / q^copies. The parts of one prime stand together.
struct OrderPart {
  u64 exponent = 0;
  u32 context = 0;
  u32 q = 0;
  u32 copies = 0;
};

// needed[i] = the smallest j <= parts[i].copies with
// (2^exponent)^(q^j) = 1 mod p, for i < count; copies when none is smaller
// (which p prime always makes the last). The scalar kernels: the long powers
// of one prime side by side (pow2mod_many), then the raisings.
void order_parts(const ModContext* contexts, const OrderPart* parts, u32 count, u32* needed);

// The same results on eight 52-bit lanes, each with its own modulus, for
// processors with AVX-512 IFMA (wide_kernels_supported()) and every p < 2^50;
// elsewhere it is order_parts.
void order_parts_wide(const ModContext* contexts, const OrderPart* parts, u32 count, u32* needed);

// The same results on four double lanes (AVX2 + FMA), each with its own
// modulus, for processors with them (avx2_kernels_supported()) and every
// p < 2^50; elsewhere it is order_parts.
void order_parts_avx2(const ModContext* contexts, const OrderPart* parts, u32 count, u32* needed);

// The kernels of `set` (each falls back to the scalar form for a prime its
// lanes do not take).
inline void order_parts_with(KernelSet set, const ModContext* contexts, const OrderPart* parts, u32 count,
                             u32* needed) {
  switch (set) {
    case KernelSet::avx512:
      order_parts_wide(contexts, parts, count, needed);
      return;
    case KernelSet::avx2:
      order_parts_avx2(contexts, parts, count, needed);
      return;
    case KernelSet::scalar:
      break;
  }
  order_parts(contexts, parts, count, needed);
}

// The answer for one part once its long power y = 2^exponent mod p is known:
// the raisings by q, scalar (they are short, and most parts need none).
u32 raisings_to_one(const ModContext& m, const OrderPart& part, u64 y);

}  // namespace modarith
