// Waiting lists of the sieving primes that are larger than a segment's bit
// count. Such a prime hits a segment at most once and skips up to eight
// segments between hits, so instead of visiting it in every segment it waits
// in the bucket of the segment of its next hit. The ring holds one bucket per
// coming segment (slot = segment number mod `slots`).
//
// Buckets are chains of fixed-size chunks from one shared pool, so memory
// follows the number of waiting primes (about 1.7 million at 10^15), not the
// largest size every bucket ever reached. reserve() sizes the pool for the
// primes at hand whenever new ones join; chunks are recycled, never freed.
#pragma once
#include <array>
#include <vector>

#include "common/types.hpp"

namespace primes {
using common::u32;

class BucketRing {
 public:
  // Enough for the current segment plus eight ahead (a prime below 2^25 moves
  // at most eight segments of 2^22 bits), rounded up to a power of two.
  static constexpr u32 slots = 16;

  struct Entry {
    u32 prime;
    u32 bit;  // bit of the hit within its segment
  };

  // Empties every bucket; the pool is kept.
  void clear();

  // Makes room for `more` further entries at once, so that pushes and
  // drains never grow the pool while they run.
  void reserve(std::size_t more);

  void push(u32 slot, Entry entry) {
    Bucket& b = buckets_[slot];
    if (b.tail_fill == chunk_entries) append_chunk(b);
    store_[std::size_t{b.tail} * chunk_entries + b.tail_fill++] = entry;
    ++b.count;
  }

  // Calls visit(entry) for every entry of the bucket at slot, then leaves
  // it empty. visit may push to any other slot.
  template <class Visit>
  void drain(u32 slot, Visit&& visit) {
    const Bucket b = buckets_[slot];
    buckets_[slot] = Bucket{};
    u32 chunk = b.head;
    while (chunk != no_chunk) {
      const u32 fill = chunk == b.tail ? b.tail_fill : chunk_entries;
      // Indexed, not by pointer: a push from visit may grow the pool.
      for (u32 i = 0; i < fill; ++i) visit(store_[std::size_t{chunk} * chunk_entries + i]);
      const u32 next = chunk_next_[chunk];
      chunk_next_[chunk] = free_;
      free_ = chunk;
      chunk = next;
    }
  }

 private:
  static constexpr u32 chunk_entries = 2048;
  static constexpr u32 no_chunk = ~u32{0};

  struct Bucket {
    u32 head = no_chunk;
    u32 tail = no_chunk;
    u32 tail_fill = chunk_entries;  // "full": the first push takes a chunk
    u32 count = 0;
  };

  void append_chunk(Bucket& bucket);
  void grow_pool(u32 add_chunks);

  std::vector<Entry> store_;    // the pool, chunk c at [c * chunk_entries, ...)
  std::vector<u32> chunk_next_;  // the chain of each bucket, and the free list
  u32 free_ = no_chunk;
  std::array<Bucket, slots> buckets_{};
};

}  // namespace primes
