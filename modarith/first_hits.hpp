// The Pohlig-Hellman route's baby walks: each lane walks z * step^s from
// s = 0 and stops at its first value in the table (a walk first meets the
// route's table at s = n mod m_s, so the first hit is the answer; a later one
// can follow where the table's last entry wraps past q). The scalar form is
// here; the eight-lane form is first_hits_wide (wide_kernels.hpp), and
// first_hits_with picks the kernel set's form.
#pragma once
#include "common/types.hpp"
#include "modarith/babystep_table.hpp"
#include "modarith/modmul.hpp"

namespace modarith {
using common::u32;
using common::u64;

// Most lanes of one call: one per slot.
inline constexpr u32 max_first_hit_lanes = common::slot_count;

// For each lane l < count (count <= max_first_hit_lanes): the smallest s <
// m_s at which z[l] * step^s (z[l] < p) is in the table, as log[l] = (b - 1)
// * m_s + s with b = table.first of that value. Returns the lanes that found
// one (bit l); log[l] is left alone for the others.
u32 first_hits(const ModContext& m, const BabyStepTable& table, const ScaledMultiplier& step, u32 m_s, const u64* z,
               u32 count, u32* log);

}  // namespace modarith
