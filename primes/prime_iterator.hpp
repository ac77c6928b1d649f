// The primes of a range in ascending order, one per call, segment by
// segment, with the prime factors q >= 31 of p - 1 that the segment sieve
// collects for every prime of the segment.
#pragma once
#include <span>
#include <vector>

#include "common/stopwatch.hpp"
#include "common/types.hpp"

namespace primes {
using common::i32;
using common::u32;
using common::u64;

// A segment covers 8388608 consecutive integers, one bit per odd number.
inline constexpr u32 segment_span = 8388608;
inline constexpr u32 segment_odd_count = segment_span / 2;  // 4194304 bits

class PrimeSegment {
 public:
  // Sieves the segment of integers [base, base + segment_span); base even.
  void sieve(u64 base);

  u64 base() const { return base_; }
  // Bit i stands for the odd number base + 2i + 1.
  bool is_composite(u32 i) const { return (bits_[i >> 5] >> (i & 31)) & 1; }
  // Ascending primes 31 <= q <= (last sieving prime) dividing P - 1 for the
  // prime P = base + 2i + 1; empty when there are none. Valid until the next sieve().
  std::span<const u32> factors(u32 i) const;

 private:
  u64 base_ = 0;
  std::vector<u32> bits_;  // set = composite
  // Flat factor lists (implementation detail of the .cpp).
  std::vector<u32> list_start_;
  std::vector<u32> list_data_;
  std::vector<u32> prime_rank_;
};

class PrimeIterator {
 public:
  // Positions at pmin (made even): the next call returns the smallest prime
  // above it. Sieves the first segment; the segment stopwatch must have been
  // reset and started by the caller just before.
  void position(u64 pmin);
  // The next prime, strictly above the previous one; never ends.
  u64 next_prime();
  // Factor list of the prime last returned.
  std::span<const u32> current_factors() const { return segment_.factors(static_cast<u32>(segment_pos_)); }

  // Thousands of integers per second over the last completed segment; 0
  // until one has been completed. Kept across ranges.
  u32 current_rate = 0;
  common::Stopwatch segment_stopwatch;

  const PrimeSegment& segment() const { return segment_; }
  i32 segment_pos() const { return segment_pos_; }

 private:
  PrimeSegment segment_;
  i32 segment_pos_ = -1;
};

// The rate of one segment from its elapsed time, exactly as printed.
u32 segment_rate(const common::Stopwatch& stopped);

}  // namespace primes
