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

void BucketRing::reserve(std::size_t more) {
  // Every bucket fills its chunks but the last, and a drain frees each chunk
  // only after its entries have moved on: the pool never needs more than the
  // full chunks for all entries plus one per bucket plus one.
  std::size_t entries = more;
  for (const Bucket& b : buckets_) entries += b.count;
  const std::size_t want = (entries + chunk_entries - 1) / chunk_entries + slots + 1;
  if (chunk_next_.size() < want) grow_pool(static_cast<u32>(want - chunk_next_.size()));
}

void BucketRing::grow_pool(u32 add) {
  const u32 have = static_cast<u32>(chunk_next_.size());
  store_.resize(std::size_t{have + add} * chunk_entries);
  chunk_next_.resize(have + add);
  for (u32 c = have + add; c-- > have;) {
    chunk_next_[c] = free_;
    free_ = c;
  }
}

void BucketRing::append_chunk(Bucket& bucket) {
  if (free_ == no_chunk) grow_pool(16);  // only without a reserve() first
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
