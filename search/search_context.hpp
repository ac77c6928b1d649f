// State of the factor search: the run-wide set-up (fixed after the data file
// is loaded), the counters, and the per-prime context that one search owns.
// Several contexts can run side by side: nothing in this folder keeps
// per-prime state anywhere else.
#pragma once
#include <array>
#include <bit>
#include <utility>
#include <vector>

#include "common/types.hpp"
#include "modarith/modmul.hpp"
#include "modarith/babystep_table.hpp"
#include "modarith/walks.hpp"
#include "modarith/wide_kernels.hpp"
#include "search/proof_of_work.hpp"
#include "search/residue_symbols.hpp"

namespace search {
using common::slot_count;
using common::u32;
using common::u64;

// Bit j stands for slot j.
using SlotMask = u32;

// f(j) for every slot j of the mask, in ascending order. Stepping through
// the set bits costs one predictable loop per call, where testing every
// slot's bit would be a branch on a random bit for each of them.
template <class F>
inline void for_each_slot(SlotMask mask, F&& f) {
  for (; mask != 0; mask &= mask - 1) f(static_cast<u32>(std::countr_zero(mask)));
}

// Whether pred(j) holds for every slot j of the mask, asked in ascending
// order and no further than the first slot where it fails.
template <class P>
inline bool all_slots(SlotMask mask, P&& pred) {
  for (; mask != 0; mask &= mask - 1) {
    if (!pred(static_cast<u32>(std::countr_zero(mask)))) return false;
  }
  return true;
}

// One hit of the search: p divides k*2^n+1 for the k of `slot`; xmod is the
// step of the progression of n being scanned (1 for the general scan).
struct Hit {
  u64 p = 0;
  u32 slot = 0;
  u32 n = 0;
  u32 xmod = 0;
};

struct Counters {
  u64 tested_p = 0;   // primes handed to test_idea
  u64 whacked_k = 0;  // slots ruled out, summed over primes
  u64 whacked_p = 0;  // primes for which no slot survived

  // Sums the counters of another stretch of primes (a segment, a worker).
  Counters& operator+=(const Counters& other) {
    tested_p += other.tested_p;
    whacked_k += other.whacked_k;
    whacked_p += other.whacked_p;
    return *this;
  }
};

// Fixed for the whole run once prepare_search has run.
struct SearchSetup {
  u32 n_step_lcm = 1;
  bool known_set_mode = false;
  // Symbols of -k*2^(r mod 2) for the slots with an even step (every n of
  // such a slot has the parity of r, so the value must be a square mod p).
  ResidueSymbols residue_symbols;
  // Only in known_set_mode: a*b = k*2^r of the slot; b = 0 means a alone.
  std::array<std::pair<u64, u64>, slot_count> known_kpow{};
};

// Room for every prime factor of p - 1 with multiplicity (fewer than 50 for
// p <= 2^50) plus the closing 0.
inline constexpr u32 max_moduli = 64;

// The Pohlig-Hellman route's plan for one prime and its first powers, taken
// for a whole batch of primes at once (start_batch, sph_idea.hpp): moduli
// 0 .. L of the order's list with product P, the scan's common step a, and
// Y[j] = (-k_j)^(ord/P) for the slots, H = h^(ord/P) (h = 2^-1) and
// T = 2^(ord/P).
struct RouteStart {
  bool planned = false;  // false: the route declines the prime
  u32 L = 0;
  u64 P = 1;
  u64 a = 0;
  std::array<u64, slot_count> Y{};
  u64 H = 0;
  u64 T = 0;
};

// Primes whose orders of 2 are found together: eight primes give some forty
// long powers, enough independent chains to keep the multiplier busy.
inline constexpr u32 order_batch_size = 8;

// The orders of a batch of primes and their filtered slots, for the
// per-prime tests that follow.
struct OrderBatch {
  u32 count = 0;
  std::array<modarith::ModContext, order_batch_size> mod;
  std::array<u64, order_batch_size> ord{};
  std::array<std::array<u32, max_moduli + 1>, order_batch_size> moduli{};
  std::array<u32, order_batch_size> moduli_count{};
  // The slots the filter keeps (start_batch).
  std::array<SlotMask, order_batch_size> slot_mask{};
  // The route's start for each prime (start_batch).
  std::array<RouteStart, order_batch_size> route{};
};

struct SearchContext {
  // Takes the kernel set chosen for the run.
  SearchContext();

  modarith::ModContext mod;
  // Giant steps of the scans, baby steps of the Pohlig-Hellman route.
  modarith::BabyStepTable steps;
  // Moduli of the order of 2 for the Pohlig-Hellman route, ending in 0.
  std::array<u32, max_moduli + 1> sph_moduli{};
  u32 sph_moduli_count = 0;
  // The batch the segment loop is working through (order2_batch).
  OrderBatch order_batch;
  // Hits of the prime under test, in the order they must be reported.
  std::vector<Hit> hits;
  Counters counters;
  // The proof of work of every prime tested with this context; like the
  // counters, only added to here (its owner clears or hands it on).
  WorkChecksum work;
  // Scratch of the scans, kept here so no prime allocates.
  std::vector<modarith::WalkHit> walk_hits;
  std::vector<u32> found;
  // The kernel set of the run (modarith::kernel_choice(): the fastest the
  // processor runs, or the one QUARROW_KERNELS forces); tests set each one
  // the processor runs to compare them.
  modarith::KernelSet kernels = modarith::KernelSet::scalar;
  // The set the prime under test takes: the lane sets are exact for
  // p < 2^50 only (every prime the range driver hands over), so a larger p
  // takes the scalar kernels.
  modarith::KernelSet wide() const { return mod.p < common::p_ceiling ? kernels : modarith::KernelSet::scalar; }
  // Tests only: send every prime with surviving slots to the general scan.
  bool general_scan_only = false;
};

}  // namespace search
