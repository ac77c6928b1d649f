// Walks the segments in order, returning each prime once, and times every
// segment (sieving included) for the progress rate.
#include "primes/prime_iterator.hpp"

namespace primes {
using common::i64;

u32 segment_rate(const common::Stopwatch& stopped) {
  const double elapsed = stopped.milliseconds * 0.001 + stopped.seconds;
  const double rate = 0.001 / (elapsed + 0.000001) * 8388608.0;
  // Truncation to a signed 64-bit integer, keeping its low 32 bits. A value
  // outside that range (a clock that ran backwards) gives the integer
  // indefinite 0x8000000000000000 of the x87 conversion, whose low half is 0.
  constexpr double limit = 9223372036854775808.0;  // 2^63
  if (!(rate > -limit && rate < limit)) return 0;
  return static_cast<u32>(static_cast<u64>(static_cast<i64>(rate)));
}

void PrimeIterator::position(u64 pmin) {
  segment_pos_ = -1;
  segment_.sieve(pmin & ~u64{1});
}

void PrimeIterator::replace_segment() {
  segment_stopwatch.stop();
  current_rate = segment_rate(segment_stopwatch);
  // The next segment's time includes its sieving.
  segment_stopwatch.reset();
  segment_stopwatch.start();
  segment_.sieve(segment_.base() + segment_span);
}

u64 PrimeIterator::next_prime() {
  u32 from = static_cast<u32>(segment_pos_ + 1);
  for (;;) {
    if (from >= segment_odd_count) {
      replace_segment();
      from = 0;
    }
    const u32 i = segment_.next_prime_index(from);
    if (i < segment_odd_count) {
      segment_pos_ = static_cast<i32>(i);
      return segment_.base() + 2 * u64{i} + 1;
    }
    from = segment_odd_count;
  }
}

}  // namespace primes
