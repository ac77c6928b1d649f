// The sieve table: twelve slots of a multiplier k and its remaining n, the
// n range of the data file, and the residue data derived once at load time
// that lets the search walk only the classes of n that actually occur.
#pragma once
#include <array>

#include "common/types.hpp"
#include "sievedata/n_set.hpp"

namespace sievedata {
using common::slot_count;
using common::u32;
using common::u64;

// At most this many classes of n mod n_modulus per slot: bounds the search's
// baby steps per slot.
inline constexpr u32 max_residues = 10;
// Multipliers m = 1..49 of n_step are tried for n_modulus.
inline constexpr u32 max_modulus_multiplier = 49;

struct SieveTable {
  std::array<u32, slot_count> k_values{};           // 0 for a slot the file did not fill
  std::array<NSet, slot_count> n_sets{};            // remaining n; only factor output erases
  u32 n_min = 0;
  u32 n_max = 0;
  // Residue data, fixed at load time (not updated as n are removed).
  std::array<u32, slot_count> n_step{};             // d: gcd of the differences
  std::array<u32, slot_count> n_offset{};           // r: every n of the slot is = r (mod d)
  std::array<u32, slot_count> n_modulus{};          // M = m*d
  std::array<u32, slot_count> n_residue_count{};    // classes of n mod M, 0..10
  std::array<std::array<u32, max_residues>, slot_count> n_residues{};  // ascending
};

}  // namespace sievedata
