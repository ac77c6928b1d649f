// Powers modulo several primes at once.
//
// The slot filter takes, for every prime, one power per candidate slot with
// that prime's exponent: a handful of chains of some 40 squarings, which a
// single prime leaves latency-bound. Taken for a batch of primes together,
// each lane (or group of interleaved chains) works modulo its own prime and
// the multiplier stays busy.
#pragma once
#include "common/types.hpp"
#include "modarith/modmul.hpp"
#include "modarith/wide_kernels.hpp"

namespace modarith {

// One power: base^exponent mod contexts[context].p. Any base (one of p or
// more is taken mod p) and any exponent (0 gives 1).
struct BatchPower {
  u64 base = 0;
  u64 exponent = 0;
  u32 context = 0;
};

// out[i] = the exact residue of powers[i], for i < count. The scalar kernels:
// each run of powers with one context and one exponent side by side
// (powmod_many).
void powmod_batch(const ModContext* contexts, const BatchPower* powers, u32 count, u64* out);

// The same results on eight 52-bit lanes, each with its own modulus, for
// processors with AVX-512 IFMA (wide_kernels_supported()) and every p < 2^50;
// elsewhere it is powmod_batch.
void powmod_batch_wide(const ModContext* contexts, const BatchPower* powers, u32 count, u64* out);

// The same results on four double lanes (AVX2 + FMA), each with its own
// modulus, for processors with them (avx2_kernels_supported()) and every
// p < 2^50; elsewhere it is powmod_batch.
void powmod_batch_avx2(const ModContext* contexts, const BatchPower* powers, u32 count, u64* out);

// The kernels of `set` (each falls back to the scalar form for a prime its
// lanes do not take).
inline void powmod_batch_with(KernelSet set, const ModContext* contexts, const BatchPower* powers, u32 count,
                              u64* out) {
  switch (set) {
    case KernelSet::avx512:
      powmod_batch_wide(contexts, powers, count, out);
      return;
    case KernelSet::avx2:
      powmod_batch_avx2(contexts, powers, count, out);
      return;
    case KernelSet::scalar:
      break;
  }
  powmod_batch(contexts, powers, count, out);
}

}  // namespace modarith
