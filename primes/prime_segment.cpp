// The segment sieve and its factor lists.
//
// Steady state, per segment: copy the 3..13 pattern; cross off the multiples
// of the further primes below the segment's bit count from their carried-over
// offsets, and those of the larger primes that the current bucket holds (a
// larger prime hits a segment at most once, and most segments not at all);
// then walk, for every sieving prime q >= 31, the odd numbers = 1 (mod q)
// and note (bit, q) for those that are prime. A stable counting sort by the
// rank of the prime turns the notes into one ascending list per prime. All
// arrays are sized on first use and reused afterwards.
#include "primes/prime_segment.hpp"

#include <algorithm>
#include <bit>

#include "primes/presieve.hpp"
#include "primes/small_primes.hpp"

namespace primes {
namespace {

constexpr u32 bit_count = segment_odd_count;
constexpr u32 bit_shift = 22;  // bit_count = 2^22
// Table entries 1..9 are the primes 3..29, which get no factor lists.
constexpr u32 first_listed_entry = 10;

// The first bits a sieving prime b visits in the segment at base, from
// r = base mod b (one division serves both). Both lie below b.
// The smallest odd multiple of b at or above base + 1:
u32 multiple_bit(u32 r, u32 b) {
  const u32 d = r == 0 ? b : b - r;  // base + d is the next multiple above base
  return (d & 1 ? d : d + b) / 2;    // make it odd: base is even
}

// The smallest odd number = 1 (mod b) at or above base + 1:
u32 factor_bit(u32 r, u32 b) {
  const u32 d = r == 0 ? 0 : b - r;  // base + d is a multiple, base + d + 1 = 1 mod b
  return (d & 1 ? d + b : d) / 2;
}

}  // namespace

void PrimeSegment::ensure_storage() {
  // The table is built at start-up; should a caller forget, build it here
  // rather than read an empty one.
  if (small_prime_count < 2) build_small_primes(small_prime_limit);
  if (bits_.empty()) {
    bits_.assign(segment_words, 0);
    rank_base_.assign(segment_words + 1, 0);
  }
  if (sized_for_table_ == small_prime_count) return;
  // Offsets are kept per table entry for the primes below the bit count
  // only (about 296000 of them); the larger ones live in the buckets.
  const u32 count = static_cast<u32>(small_prime_count);
  u32 entries = 1;
  for (u32 p = 2; entries < count && p < bit_count; ++entries) p += small_prime_gaps[entries];
  sieve_next_.assign(entries, 0);
  factor_next_.assign(entries, 0);
  sized_for_table_ = small_prime_count;
  offsets_valid_ = false;
}

void PrimeSegment::sieve(u64 base) {
  ensure_storage();
  if (!offsets_valid_ || base != offsets_base_) {
    // Not the successor of the last segment: every offset is recomputed.
    sieve_count_ = 0;
    small_count_ = 0;
    last_prime_ = 2;
    sieve_buckets_.clear();
    factor_buckets_.clear();
    bucket_cursor_ = 0;
  }
  base_ = base;
  advance_sieving_primes(base + segment_span);
  presieve();
  cross_off();
  collect_factors();
  sort_factors_by_prime();
  offsets_base_ = base + segment_span;
  offsets_valid_ = true;
  bucket_cursor_ = (bucket_cursor_ + 1) % BucketRing::slots;
}

void PrimeSegment::schedule(BucketRing& ring, u32 prime, u32 offset) {
  ring.push((bucket_cursor_ + (offset >> bit_shift)) % BucketRing::slots, {prime, offset & (bit_count - 1)});
}

// Extends the sieving primes while the square of the last one is below end:
// every odd prime up to and including the first whose square reaches end,
// but never past the last table entry. The new primes get their offsets by
// division; the others carry theirs over.
void PrimeSegment::advance_sieving_primes(u64 end) {
  const u32 last_entry = static_cast<u32>(small_prime_count) - 1;
  const u16* gaps = small_prime_gaps.data();
  // First find the new last entry, so that the buckets can make room for
  // all new large primes in one step.
  u32 k_end = sieve_count_;
  u32 b_end = last_prime_;
  u32 new_large = 0;
  while (u64{b_end} * b_end < end && k_end < last_entry) {
    b_end += gaps[++k_end];
    new_large += b_end >= bit_count;
  }
  sieve_buckets_.reserve(new_large);
  factor_buckets_.reserve(new_large);

  u32 b = last_prime_;
  for (u32 k = sieve_count_ + 1; k <= k_end; ++k) {
    b += gaps[k];
    const u32 r = static_cast<u32>(base_ % b);
    if (b < bit_count) {
      sieve_next_[k] = multiple_bit(r, b);
      factor_next_[k] = factor_bit(r, b);
      small_count_ = k;
    } else {
      // Offsets below b < 2^25: at most 7 segments ahead.
      schedule(sieve_buckets_, b, multiple_bit(r, b));
      schedule(factor_buckets_, b, factor_bit(r, b));
    }
  }
  sieve_count_ = k_end;
  last_prime_ = b_end;
}

void PrimeSegment::presieve() {
  presieve_fill(base_, std::span<u64>(bits_.data(), segment_words));
}

void PrimeSegment::cross_off() {
  const u16* gaps = small_prime_gaps.data();
  u64* bits = bits_.data();
  u32* next = sieve_next_.data();
  // The presieved 3..13 are table entries 1..5; every segment sieves them.
  u32 b = 13;
  for (u32 k = presieved_prime_count + 1; k <= small_count_; ++k) {
    b += gaps[k];
    u32 i = next[k];
    for (; i < bit_count; i += b) bits[i >> 6] |= u64{1} << (i & 63);
    next[k] = i - bit_count;
  }
  // Each larger prime is in the bucket of the segment of its next multiple;
  // after crossing off it moves on to the bucket of the one after (at least
  // one segment ahead, so never into the bucket being read).
  sieve_buckets_.drain(bucket_cursor_, [&](BucketRing::Entry e) {
    bits[e.bit >> 6] |= u64{1} << (e.bit & 63);
    schedule(sieve_buckets_, e.prime, e.bit + e.prime);
  });
}

void PrimeSegment::collect_factors() {
  const u16* gaps = small_prime_gaps.data();
  const u64* bits = bits_.data();
  u32* next = factor_next_.data();
  u32 n = 0;
  u64* pairs = pairs_.data();
  // A pair is written at every visit but kept only for a prime, so room for
  // the kept pairs plus the visits of the next q is enough.
  const auto make_room = [&](std::size_t visits) {
    if (pairs_.size() < n + visits) {
      pairs_.resize(std::max(pairs_.size() + pairs_.size() / 2, n + visits));
      pairs = pairs_.data();
    }
  };

  u32 q = 3;
  for (u32 k = 2; k < first_listed_entry; ++k) q += gaps[k];
  // q is now 29; the lists start with table entry 10, the prime 31.
  for (u32 k = first_listed_entry; k <= small_count_; ++k) {
    q += gaps[k];
    make_room(bit_count / q + 1);
    u32 e = next[k];
    for (; e < bit_count; e += q) {
      pairs[n] = u64{e} << 32 | q;
      n += static_cast<u32>(~bits[e >> 6] >> (e & 63)) & 1;
    }
    next[k] = e - bit_count;
  }
  small_pair_count_ = n;
  // Every bucket entry is a visit in this segment, but few of them meet a
  // prime: here a branch costs less than room for all of them.
  factor_buckets_.drain(bucket_cursor_, [&](BucketRing::Entry e) {
    if (((bits[e.bit >> 6] >> (e.bit & 63)) & 1) == 0) {
      make_room(1);
      pairs[n++] = u64{e.bit} << 32 | e.prime;
    }
    schedule(factor_buckets_, e.prime, e.bit + e.prime);
  });
  pair_count_ = n;
}

u32 PrimeSegment::rank(u32 i) const {
  const u64 below = (u64{1} << (i & 63)) - 1;
  return rank_base_[i >> 6] + static_cast<u32>(std::popcount(~bits_[i >> 6] & below));
}

// Ranks take one population count per factor note; a processor with the
// POPCNT instruction gets a copy of this function that uses it (chosen once,
// when the program is loaded).
QUARROW_POPCOUNT_CLONES void PrimeSegment::sort_factors_by_prime() {
  u32 running = 0;
  for (u32 w = 0; w < segment_words; ++w) {
    rank_base_[w] = running;
    running += static_cast<u32>(std::popcount(~bits_[w]));
  }
  rank_base_[segment_words] = running;
  prime_count_ = running;

  // Grown with some headroom, so that later segments rarely need more.
  const auto fit = [](std::vector<u32>& v, std::size_t need) {
    if (v.size() < need) v.resize(need + need / 8);
  };
  fit(list_start_, std::size_t{running} + 2);
  fit(list_data_, pair_count_);
  u32* start = list_start_.data();
  std::fill(start, start + running + 2, 0u);
  u64* pairs = pairs_.data();
  const u32 n = pair_count_;
  // Count per rank (shifted by one), replacing each bit by its rank.
  for (u32 j = 0; j < n; ++j) {
    const u32 r = rank(static_cast<u32>(pairs[j] >> 32));
    pairs[j] = u64{r} << 32 | static_cast<u32>(pairs[j]);
    ++start[r + 2];
  }
  for (u32 r = 2; r < running + 2; ++r) start[r] += start[r - 1];
  // Stable scatter: start[r + 1] runs through the slots of rank r, so after
  // it start[r] is where the list of rank r begins.
  u32* data = list_data_.data();
  for (u32 j = 0; j < n; ++j) data[start[(pairs[j] >> 32) + 1]++] = static_cast<u32>(pairs[j]);
  // The bucket pairs came in no particular order of q, but each q is larger
  // than every q of the flat arrays, and a p - 1 below 2^64 has at most two
  // factors above 2^22: only those lists can need (a tiny) sort.
  for (u32 j = small_pair_count_; j < n; ++j) {
    const u32 r = static_cast<u32>(pairs[j] >> 32);
    u32* first = data + start[r];
    u32* last = data + start[r + 1];
    if (last - first >= 2 && !std::is_sorted(first, last)) std::sort(first, last);
  }
}

u32 PrimeSegment::next_prime_index(u32 from) const {
  if (from >= bit_count) return bit_count;
  u32 w = from >> 6;
  u64 open = ~bits_[w] & (~u64{0} << (from & 63));
  while (open == 0) {
    if (++w == segment_words) return bit_count;
    open = ~bits_[w];
  }
  return w * 64 + static_cast<u32>(std::countr_zero(open));
}

std::span<const u32> PrimeSegment::factors(u32 i) const {
  if (i >= bit_count || is_composite(i)) return {};
  const u32 r = rank(i);
  return {list_data_.data() + list_start_[r], list_start_[r + 1] - list_start_[r]};
}

}  // namespace primes
