// The primes of a range in ascending order, one per call, segment by
// segment, with the prime factors q >= 31 of p - 1 that the segment sieve
// collects for every prime of the segment, and the speed of the last
// completed segment for the progress lines.
#pragma once
#include <span>

#include "common/stopwatch.hpp"
#include "common/types.hpp"
#include "primes/prime_segment.hpp"

namespace primes {

class PrimeIterator {
 public:
  // Positions at pmin (made even): the next call returns the smallest prime
  // above it. Sieves the first segment; the segment stopwatch must have been
  // reset and started by the caller just before.
  void position(u64 pmin);
  // The next prime, strictly above the previous one; never ends.
  u64 next_prime();
  // Factor list of the prime last returned; valid until the next call.
  std::span<const u32> current_factors() const { return segment_.factors(static_cast<u32>(segment_pos_)); }

  // Thousands of integers per second over the last completed segment; 0
  // until one has been completed. Kept across ranges.
  u32 current_rate = 0;
  common::Stopwatch segment_stopwatch;

  const PrimeSegment& segment() const { return segment_; }
  i32 segment_pos() const { return segment_pos_; }

 private:
  void replace_segment();

  PrimeSegment segment_;
  i32 segment_pos_ = -1;
};

// The rate of one segment from its stopped stopwatch, exactly as printed.
u32 segment_rate(const common::Stopwatch& stopped);

}  // namespace primes
