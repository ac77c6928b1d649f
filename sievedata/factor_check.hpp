// An exact re-check of a reported hit, independent of the search's
// floating-point kernels: a factor is only written down once this agrees.
#pragma once
#include "common/types.hpp"

namespace sievedata {
using common::u32;
using common::u64;

// True when p >= 2 divides k*2^n+1. Works for every 64-bit p (the products
// are formed in 128 bits), so it can vouch for any hit the search hands over.
bool is_true_factor(u64 p, u32 k, u32 n);

}  // namespace sievedata
