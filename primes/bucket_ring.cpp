#include "primes/bucket_ring.hpp"

namespace primes {

void BucketRing::clear() {
  for (Bucket& b : buckets_) {
    u32 chunk = b.head;
    while (chunk != no_chunk) {
      const u32 next = chunk_next_[chunk];
      chunk_next_[chunk] = free_;
      free_ = chunk;
      chunk = next;
    }
    b = Bucket{};
  }
}

void BucketRing::append_chunk(Bucket& bucket) {
  if (free_ == no_chunk) {
    // Grow the pool by half again (at least 16 chunks) and chain the new ones.
    const u32 have = static_cast<u32>(chunk_next_.size());
    const u32 add = have / 2 > 16 ? have / 2 : 16;
    store_.resize(std::size_t{have + add} * chunk_entries);
    chunk_next_.resize(have + add);
    for (u32 c = have + add; c-- > have;) {
      chunk_next_[c] = free_;
      free_ = c;
    }
  }
  const u32 chunk = free_;
  free_ = chunk_next_[chunk];
  chunk_next_[chunk] = no_chunk;
  if (bucket.tail == no_chunk) {
    bucket.head = chunk;
  } else {
    chunk_next_[bucket.tail] = chunk;
  }
  bucket.tail = chunk;
  bucket.tail_fill = 0;
}

}  // namespace primes
