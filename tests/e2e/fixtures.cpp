#include "e2e/fixtures.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "modarith/wide_kernels.hpp"

namespace e2e {

namespace {
__extension__ typedef unsigned __int128 u128;

struct KnownSlot {
  u64 k, r, d;
};
constexpr KnownSlot known_slots[12] = {
    {4847, 15, 24},  {5359, 6, 8},   {10223, 5, 12},  {19249, 14, 36}, {21181, 20, 24}, {22699, 46, 72},
    {24737, 7, 24},  {27653, 33, 36}, {28433, 1, 24}, {33661, 0, 24},  {55459, 10, 12}, {67607, 3, 8},
};
}  // namespace

std::string full_class_data(u64 n_min, u64 n_max) {
  std::ostringstream text;
  text << "12\n" << n_min << "\n" << n_max << "\n";
  for (const KnownSlot& slot : known_slots) {
    u64 n = n_min + (slot.r + slot.d - n_min % slot.d) % slot.d;
    text << "k=" << slot.k << "\n" << n << "\n";
    for (n += slot.d; n <= n_max; n += slot.d) text << "+" << slot.d << "\n";
  }
  return text.str();
}

bool is_prime(u64 x) {
  if (x < 2) return false;
  for (u64 q = 2; q * q <= x; ++q) {
    if (x % q == 0) return false;
  }
  return true;
}

std::vector<u64> primes_between(u64 low, u64 high) {
  // Sieve of Eratosthenes over the window, crossing off with every q up to
  // the square root (composite q included: simple beats fast here).
  std::vector<bool> composite(high - low + 1);
  for (u64 q = 2; q * q <= high; ++q) {
    for (u64 m = std::max(q * q, (low + q - 1) / q * q); m <= high; m += q) composite[m - low] = true;
  }
  std::vector<u64> found;
  for (u64 x = std::max<u64>(low, 2); x <= high; ++x) {
    if (!composite[x - low]) found.push_back(x);
  }
  return found;
}

namespace {
u64 mulmod(u64 a, u64 b, u64 p) { return static_cast<u64>(static_cast<u128>(a) * b % p); }
u64 powmod(u64 base, u64 e, u64 p) {
  u64 r = 1 % p;
  for (base %= p; e != 0; e >>= 1) {
    if (e & 1) r = mulmod(r, base, p);
    base = mulmod(base, base, p);
  }
  return r;
}
}  // namespace

std::set<std::string> full_class_factors(u64 p_low, u64 p_high, u64 n_min, u64 n_max) {
  // Baby steps 2^j for j < m, giant steps t * 2^(-m*i): every n = m*i + j
  // in [0, n_max] with 2^n = t is met exactly once, whatever the order of 2.
  const u64 m = 512;
  std::set<std::string> lines;
  std::vector<std::pair<u64, u64>> baby(m);
  for (const u64 p : primes_between(p_low, p_high)) {
    u64 power = 1;
    for (u64 j = 0; j < m; ++j, power = mulmod(power, 2, p)) baby[j] = {power, j};
    std::sort(baby.begin(), baby.end());
    const u64 giant = powmod(power, p - 2, p);  // 2^(-m)
    for (const KnownSlot& slot : known_slots) {
      u64 target = p - powmod(slot.k, p - 2, p);  // -1/k
      for (u64 i = 0; i * m <= n_max; ++i, target = mulmod(target, giant, p)) {
        auto match = std::lower_bound(baby.begin(), baby.end(), std::pair<u64, u64>{target, 0});
        for (; match != baby.end() && match->first == target; ++match) {
          const u64 n = i * m + match->second;
          if (n >= n_min && n <= n_max && n % slot.d == slot.r) {
            lines.insert(std::to_string(p) + " | " + std::to_string(slot.k) + "*2^" + std::to_string(n) + "+1");
          }
        }
      }
    }
  }
  return lines;
}

bool divides(u64 p, u64 k, u64 n) {
  u64 power = 1;
  u64 base = 2 % p;
  for (u64 e = n; e != 0; e >>= 1) {
    if (e & 1) power = static_cast<u64>(static_cast<u128>(power) * base % p);
    base = static_cast<u64>(static_cast<u128>(base) * base % p);
  }
  return (static_cast<u128>(k % p) * power + 1) % p == 0;
}

std::optional<FactorLine> parse_factor_line(const std::string& line) {
  unsigned long long p = 0, k = 0, n = 0;
  int used = 0;
  if (std::sscanf(line.c_str(), "%llu | %llu*2^%llu+1%n", &p, &k, &n, &used) != 3 || used == 0) return std::nullopt;
  return FactorLine{p, k, n};
}

std::optional<u64> number_between(const std::string& line, const std::string& prefix, const std::string& suffix) {
  if (line.size() <= prefix.size() + suffix.size() || !line.starts_with(prefix) || !line.ends_with(suffix)) {
    return std::nullopt;
  }
  const std::string digits = line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
  if (digits.size() > 19 || digits.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::stoull(digits);
}

std::set<std::string> line_set(const std::vector<std::string>& lines) {
  return std::set<std::string>(lines.begin(), lines.end());
}

std::vector<std::string> after_banner(const RunResult& result) {
  const std::vector<std::string> lines = result.lines();
  EXPECT_GE(lines.size(), banner_lines);
  if (lines.size() < banner_lines) return {};
  EXPECT_EQ(lines[0], "quarrow v0.36");
  EXPECT_EQ(lines[2], "usage: quarrow [switches] [<pmin> <pmax>]");
  EXPECT_EQ(lines[banner_lines - 1], "outside the n range to factrange.txt. Some statistics are written to stat.txt");
  EXPECT_EQ(result.err, "") << "nothing may go to standard error";
  std::vector<std::string> rest(lines.begin() + banner_lines, lines.end());
  // The kernel set's line must follow the fixed "Using" lines and name what
  // this processor's check chooses; it is then left out, so that the tests
  // count the start-up lines as every build has printed them.
  const auto fixed = std::find(rest.begin(), rest.end(), "Using SSE2 optimizations");
  if (fixed != rest.end()) {
    const std::string kernels = std::string("Using ") + modarith::kernel_set_name() + " kernels";
    EXPECT_TRUE(fixed + 1 != rest.end() && fixed[1] == kernels) << "no line \"" << kernels << "\"";
    if (fixed + 1 != rest.end() && fixed[1] == kernels) rest.erase(fixed + 1);
  }
  return rest;
}

}  // namespace e2e
