#include "primes/presieve.hpp"

#include <array>
#include <vector>

namespace primes {
namespace {

constexpr u32 pattern_primes[presieved_prime_count] = {3, 5, 7, 11, 13};
// 3*5*7*11*13: the bit period. A pattern of that many 64-bit words is a whole
// number of periods, so it also repeats word by word.
constexpr u32 pattern_words = 15015;

// Bit j of the pattern stands for the odd number 2j + 1 (modulo 2 * 15015);
// one extra word repeats word 0 so that a shifted read never wraps mid-word.
std::vector<u64> make_pattern() {
  std::vector<u64> pattern(pattern_words + 1, 0);
  const u64 bit_count = u64{64} * (pattern_words + 1);
  for (u32 b : pattern_primes) {
    for (u64 j = (b - 1) / 2; j < bit_count; j += b) pattern[j >> 6] |= u64{1} << (j & 63);
  }
  return pattern;
}

const std::vector<u64>& pattern() {
  static const std::vector<u64> p = make_pattern();
  return p;
}

}  // namespace

void presieve_fill(u64 base, std::span<u64> words) {
  const u64* p = pattern().data();
  // base + 2i + 1 = 2(phase + i) + 1 modulo 2 * 15015.
  const u32 phase = static_cast<u32>((base / 2) % pattern_words);
  const u32 shift = phase & 63;
  u32 a = phase >> 6;
  u64* out = words.data();
  const std::size_t n = words.size();
  if (shift == 0) {
    for (std::size_t w = 0; w < n; ++w) {
      out[w] = p[a];
      if (++a == pattern_words) a = 0;
    }
  } else {
    for (std::size_t w = 0; w < n; ++w) {
      out[w] = (p[a] >> shift) | (p[a + 1] << (64 - shift));
      if (++a == pattern_words) a = 0;
    }
  }
}

}  // namespace primes
