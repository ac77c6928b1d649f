// One segment of the candidate-prime sieve: 8388608 consecutive integers
// starting at an even base, one bit per odd number, and for every prime P of
// the segment the primes q >= 31 of the sieving range that divide P - 1.
//
// A segment crosses off the odd multiples of every odd prime of the small
// table up to and including the first whose square reaches the segment end
// (near 2^50, up to the table's last prime, which then already covers the
// square root). When segments are sieved one after another, each sieving
// prime carries its next offsets over from the previous segment, so the
// steady state costs no division per prime; any other base starts afresh.
#pragma once
#include <span>
#include <vector>

#include "common/types.hpp"
#include "modarith/cpu_clones.hpp"
#include "primes/bucket_ring.hpp"

namespace primes {
using common::i32;
using common::u32;
using common::u64;

// A segment covers 8388608 consecutive integers, one bit per odd number.
inline constexpr u32 segment_span = 8388608;
inline constexpr u32 segment_odd_count = segment_span / 2;  // 4194304 bits
inline constexpr u32 segment_words = segment_odd_count / 64;

// Factor lists start at 31: the order computation divides by 3..29 itself.
inline constexpr u32 first_listed_factor = 31;

class PrimeSegment {
 public:
  // Sieves the segment of integers [base, base + segment_span); base even.
  // Uses the small-prime table (built here if it is still empty). Correct
  // while every composite of the segment has a prime factor in the table:
  // base + segment_span up to 33554467^2 (about 2^50 + 2.3e9).
  void sieve(u64 base);

  u64 base() const { return base_; }
  // Bit i stands for the odd number base + 2i + 1 (i < segment_odd_count).
  bool is_composite(u32 i) const { return (bits_[i >> 6] >> (i & 63)) & 1; }
  // The smallest i' >= from whose number is prime, or segment_odd_count
  // when there is none (from <= segment_odd_count).
  u32 next_prime_index(u32 from) const;
  // Ascending primes 31 <= q <= last_sieving_prime() dividing P - 1 for the
  // prime P = base + 2i + 1, each once; empty when there are none or when
  // bit i is composite. Valid until the next sieve().
  std::span<const u32> factors(u32 i) const;

  // Number of primes in the segment, and the largest sieving prime used.
  u32 prime_count() const { return prime_count_; }
  u32 last_sieving_prime() const { return last_prime_; }

 private:
  void ensure_storage();
  void advance_sieving_primes(u64 end);
  void schedule(BucketRing& ring, u32 prime, u32 offset);
  void presieve();
  void cross_off();
  void collect_factors();
  // Cloned for POPCNT where the loader can choose (modarith/cpu_clones.hpp);
  // clang wants the clones declared before the first call.
  QUARROW_POPCOUNT_CLONES void sort_factors_by_prime();
  u32 rank(u32 i) const;

  u64 base_ = 0;
  std::vector<u64> bits_;  // set = composite

  // Sieving primes: gap-table entries 1..sieve_count_, the last one being
  // last_prime_; entries 1..small_count_ are below the segment's bit count.
  u32 sieve_count_ = 0;
  u32 small_count_ = 0;
  u32 last_prime_ = 2;
  // Per small table entry k: the bit of the next odd multiple of prime_k and
  // of the next odd number = 1 (mod prime_k) in the segment at offsets_base_.
  std::vector<u32> sieve_next_;
  std::vector<u32> factor_next_;
  // The larger primes wait in a ring of buckets, one per coming segment;
  // bucket_cursor_ is the slot of the segment at offsets_base_.
  BucketRing sieve_buckets_;
  BucketRing factor_buckets_;
  u32 bucket_cursor_ = 0;
  u64 offsets_base_ = 0;
  bool offsets_valid_ = false;
  i32 sized_for_table_ = -1;  // small_prime_count the arrays were sized for

  // Factor lists: (bit << 32 | q) pairs, the first small_pair_count_ in
  // ascending q, then sorted by the rank of the prime into list_start_ /
  // list_data_ (compressed rows).
  std::vector<u64> pairs_;
  u32 pair_count_ = 0;
  u32 small_pair_count_ = 0;
  std::vector<u32> rank_base_;  // clear bits before each word
  u32 prime_count_ = 0;
  std::vector<u32> list_start_;
  std::vector<u32> list_data_;
};

}  // namespace primes
