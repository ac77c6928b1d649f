// Data files, an independent prime and factor oracle, and output helpers for
// the end-to-end tests. The oracle shares no code with the program: plain
// trial division and 128-bit modular powering.
#pragma once
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "e2e/harness.hpp"

namespace e2e {
using u64 = std::uint64_t;

// One k with three n, far from any factor in the small ranges the tests use
// (the tests check that with the oracle where it matters).
inline constexpr const char* tiny_data = "12\n1000\n5000\nk=1234\n1100\n+24\n+48\n";
inline constexpr u64 tiny_k = 1234;
inline const std::vector<u64> tiny_n{1100, 1124, 1172};

// The twelve k of the project with every n of each k's residue class in
// [n_min, n_max]: a data file full of pairs that have small factors.
std::string full_class_data(u64 n_min, u64 n_max);

// The factor lines "p | k*2^n+1" that a run over the primes of
// [p_low, p_high] must write to fact.txt for full_class_data(n_min, n_max),
// found by a plain baby-step giant-step walk for each prime.
std::set<std::string> full_class_factors(u64 p_low, u64 p_high, u64 n_min, u64 n_max);

bool is_prime(u64 x);
std::vector<u64> primes_between(u64 low, u64 high);  // inclusive
// Whether p divides k*2^n+1.
bool divides(u64 p, u64 k, u64 n);

struct FactorLine {
  u64 p = 0;
  u64 k = 0;
  u64 n = 0;
};
// Reads "p | k*2^n+1" (with anything after the "+1", as on the console).
std::optional<FactorLine> parse_factor_line(const std::string& line);

// The number in `line` when it reads exactly `prefix`, one or more digits,
// `suffix`; nothing otherwise.
std::optional<u64> number_between(const std::string& line, const std::string& prefix, const std::string& suffix);

// The lines of a file as a set (for comparing runs whose order or
// repetitions may differ).
std::set<std::string> line_set(const std::vector<std::string>& lines);

// The banner and usage text take the first 16 lines of every run.
inline constexpr std::size_t banner_lines = 16;
// The lines after the banner; a test failure when the banner is not there,
// or when the line naming the kernel set does not follow "Using SSE2
// optimizations" (that line is then left out of the result).
std::vector<std::string> after_banner(const RunResult& result);

}  // namespace e2e
