// The proof of work: a checksum over every prime of a range that only the
// per-prime work can produce. Each prime contributes a 64-bit mix of p, the
// order of 2 mod p (as the search computed it: the order, or the multiple of
// it that a p - 1 not factored completely gives) and the slot-filter outcome
// (which of the twelve k survived). Knowing those for a prime costs a
// factorisation of p - 1 and a modular power per slot, i.e. the search's own
// set-up for that prime; nothing cheaper yields them.
//
// The contributions are added modulo 2^64, together with a count of the
// primes. A sum does not depend on the order in which primes are tested, so
// the workers of a multi-threaded range can each keep their own and the
// writer adds them up, and a range killed and resumed gives the value of a
// straight run as long as every prime is added exactly once.
#pragma once
#include "common/types.hpp"

namespace search {
using common::u32;
using common::u64;

// A bijective scrambler of 64-bit words (xor-shift and odd multipliers, the
// well-known constants of the splitmix family): every input bit reaches
// every output bit, so contributions of neighbouring primes do not cancel.
constexpr u64 scramble64(u64 x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return x;
}

// The contribution of one prime. ord < 2^50 and the mask has 12 bits, so the
// two share one word without overlap; p goes in through its own scramble so
// that two primes with equal order and outcome still differ.
constexpr u64 work_mix(u64 p, u64 ord, u32 slot_mask) {
  return scramble64(scramble64(p) ^ ord ^ (u64{slot_mask} << 52));
}

struct WorkChecksum {
  u64 primes = 0;  // how many primes were added
  u64 sum = 0;     // their contributions, modulo 2^64

  void add(u64 p, u64 ord, u32 slot_mask) {
    ++primes;
    sum += work_mix(p, ord, slot_mask);
  }
  // The checksum of the union of two disjoint sets of primes.
  WorkChecksum& operator+=(const WorkChecksum& other) {
    primes += other.primes;
    sum += other.sum;
    return *this;
  }
  friend bool operator==(const WorkChecksum&, const WorkChecksum&) = default;
};

}  // namespace search
