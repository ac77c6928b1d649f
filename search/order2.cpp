// Order of 2 modulo p from the factors of p - 1, and the moduli the
// Pohlig-Hellman route solves n for.
//
// p - 1 is factored from three sources: its power of 2 (one bit scan), trial
// division by the nine odd primes 3..29, and the list of larger primes that
// the segment sieve collected for this very prime at no per-prime cost. The
// order is then p - 1 with every copy q removed for which 2^(o/q) = 1 still
// holds (decided for all primes at once, see below). A cofactor that none of
// the sources covers stays in the result, which is then a multiple of the
// order; the slot filter stays sound with a multiple (it only keeps more).
//
// All divisibility tests divide the remaining cofactor of p - 1 instead of
// testing p - 1 against a growing product d*q, so no product can overflow
// (d*q reaches 2^75 for a sieve prime near 2^25). Each sieve prime is also
// checked to divide p - 1 before it is recorded: a list that does not belong
// to p can then only leave the result a multiple of the order, never a
// wrong one.
#include <algorithm>
#include <array>
#include <bit>

#include "modarith/modmul.hpp"
#include "modarith/order_parts.hpp"
#include "search/order2.hpp"

namespace search {
namespace {

// The trial divisors 3..29 with q^-1 mod 2^64 and the largest quotient of a
// 64-bit number by q.
struct TrialDivisor {
  u32 q;
  u64 inverse;
  u64 limit;
};

constexpr TrialDivisor trial_divisor(u32 q) {
  u64 inverse = q;  // q*q = 1 mod 8: three correct bits, doubled per step
  for (int i = 0; i < 5; ++i) inverse *= 2 - q * inverse;
  return TrialDivisor{q, inverse, ~u64{0} / q};
}

inline constexpr std::array<TrialDivisor, 9> trial_divisors{
    trial_divisor(3),  trial_divisor(5),  trial_divisor(7),  trial_divisor(11), trial_divisor(13),
    trial_divisor(17), trial_divisor(19), trial_divisor(23), trial_divisor(29),
};
constexpr bool trial_inverses_hold() {
  for (const TrialDivisor& t : trial_divisors) {
    if (t.q * t.inverse != 1) return false;
  }
  return true;
}
static_assert(trial_inverses_hold(), "each inverse is q^-1 mod 2^64");
// Below this the sieve's list has nothing: 3..29 are the trial divisors.
inline constexpr u32 first_sieve_prime = 31;

// q^c for the run of c entries equal to q from position i on, capped at the
// merge target (the only use is a comparison against it).
u64 kept_power(std::span<const u32> factors, std::size_t i) {
  const u32 q = factors[i];
  u64 power = 1;
  for (; i < factors.size() && factors[i] == q; ++i) {
    power = std::min<u64>(power * q, moduli_merge_target);
  }
  return power;
}

}  // namespace

u32 moduli_limit(u32 n_min, u32 n_max) {
  if (n_max < n_min) return 0;
  return std::min((n_max - n_min) / 2, moduli_span_ceiling);
}

u32 build_moduli_list(std::span<const u32> factors, u32 lim, std::span<u32> moduli) {
  u32 count = 0;
  const std::size_t size = factors.size();
  for (std::size_t i = 0; i < size; ++i) {
    const u32 q = factors[i];
    if (q == 0 || q > moduli_prime_ceiling) continue;
    if (count == 0) {
      moduli[count++] = q;
      continue;
    }
    const u32 before = i > 0 ? factors[i - 1] : 0;
    const u32 after = i + 1 < size ? factors[i + 1] : 0;
    // last < 2^24 (a single prime) or < lim, q <= 2^24: exact in 64 bits.
    const u64 last = moduli[count - 1];
    const u64 product = last * q;
    bool merge;
    if (product < moduli_merge_target) {
      // The first kept copy of a prime power whose whole power would carry
      // the current entry past the target starts an entry of its own.
      const bool first_of_power = after == q && before != q;
      merge = !(first_of_power && kept_power(factors, i) * last >= moduli_merge_target);
    } else {
      // A later copy of the prime that already grew the last entry keeps
      // growing it; a copy of a prime q >= 174 that stands alone as the last
      // entry (last = q) gives a further entry q, a digit of q^e.
      merge = before == q && last > q;
    }
    if (!merge) {
      moduli[count++] = q;
    } else if (product < lim) {
      moduli[count - 1] = static_cast<u32>(product);
    }
    // else: merging would reach lim, so this copy is dropped.
  }
  moduli[count] = 0;
  return count;
}

namespace {

// p - 1 factored and the parts of its order still to decide: one per prime
// factor, except the 2 when Euler's criterion has decided it.
struct OrderPlan {
  std::array<u32, max_moduli> factors;
  u32 count = 0;
  u32 twos = 0;
  u32 twos_dropped = 0;  // copies of 2 the order does not need, when decided
  u32 runs = 0;
  std::array<u32, modarith::max_parallel_powers_of_2> run_start;
};

// Factors p - 1 and appends its parts to `parts` (at most
// max_parallel_powers_of_2), each naming `context`. Returns their number.
u32 plan_order(u64 p, std::span<const u32> sieve_factors, u32 context, OrderPlan& plan, modarith::OrderPart* parts) {
  std::array<u32, max_moduli>& factors = plan.factors;
  u32 count = 0;

  const u64 p_minus_1 = p - 1;
  const int twos = std::countr_zero(p_minus_1);
  for (int i = 0; i < twos; ++i) factors[count++] = 2;
  u64 cofactor = p_minus_1 >> twos;

  for (const TrialDivisor& t : trial_divisors) {
    // For odd q, x*q^-1 mod 2^64 is x/q when q | x and above
    // (2^64 - 1)/q otherwise: one multiplication per test, none divides.
    for (u64 quotient = cofactor * t.inverse; quotient <= t.limit; quotient = cofactor * t.inverse) {
      cofactor = quotient;
      factors[count++] = t.q;
    }
  }

  for (const u32 sieve_prime : sieve_factors) {
    if (sieve_prime < first_sieve_prime) continue;
    while (cofactor % sieve_prime == 0) {
      cofactor /= sieve_prime;
      factors[count++] = sieve_prime;
    }
  }
  plan.count = count;
  plan.twos = static_cast<u32>(twos);

  // The prime 2 needs no power unless p = 1 (mod 8): by Euler's criterion
  // 2^((p-1)/2) is the symbol (2/p), which is -1 for p = 3, 5 (mod 8), so
  // the order keeps every 2, and +1 for p = 7 (mod 8), where p - 1 has a
  // single 2 that the order drops.
  const bool twos_decided = twos != 0 && (p & 7) != 1;
  plan.twos_dropped = twos_decided && (p & 7) == 7 ? plan.twos : 0;
  u32 runs = 0;
  for (u32 i = twos_decided ? plan.twos : 0; i < count;) {
    const u32 prime = factors[i];
    u32 run_end = i + 1;
    u64 power = prime;
    while (run_end < count && factors[run_end] == prime) {
      ++run_end;
      power *= prime;  // divides p - 1: no overflow
    }
    plan.run_start[runs] = i;
    parts[runs] = modarith::OrderPart{p_minus_1 / power, context, prime, run_end - i};
    ++runs;
    i = run_end;
  }
  plan.runs = runs;
  return runs;
}

// The order from the parts' answers (copies of a prime the order does not
// need become 0 in the factor list), and the moduli list built from what
// is left.
u64 finish_order(u64 p, OrderPlan& plan, const modarith::OrderPart* parts, const u32* needed, u32 lim,
                 std::span<u32> moduli, u32& moduli_count) {
  u64 o = p - 1;
  for (u32 c = 0; c < plan.twos_dropped; ++c) {
    o /= 2;
    plan.factors[c] = 0;
  }
  for (u32 r = 0; r < plan.runs; ++r) {
    const u32 prime = parts[r].q;
    for (u32 c = 0; c < parts[r].copies - needed[r]; ++c) {
      o /= prime;
      plan.factors[plan.run_start[r] + c] = 0;
    }
  }
  moduli_count = build_moduli_list(std::span<const u32>(plan.factors.data(), plan.count), lim, moduli);
  return o;
}

}  // namespace

u64 order2(SearchContext& ctx, const sievedata::SieveTable& table, u64 p, std::span<const u32> sieve_factors) {
  OrderPlan plan;
  std::array<modarith::OrderPart, modarith::max_parallel_powers_of_2> parts;
  std::array<u32, modarith::max_parallel_powers_of_2> needed;
  const u32 runs = plan_order(p, sieve_factors, 0, plan, parts.data());
  modarith::order_parts_with(ctx.wide(), &ctx.mod, parts.data(), runs, needed.data());
  return finish_order(p, plan, parts.data(), needed.data(), moduli_limit(table.n_min, table.n_max), ctx.sph_moduli,
                      ctx.sph_moduli_count);
}

void order2_batch(SearchContext& ctx, const sievedata::SieveTable& table, const u64* primes,
                  const std::span<const u32>* sieve_factors, u32 count) {
  OrderBatch& batch = ctx.order_batch;
  std::array<OrderPlan, order_batch_size> plans;
  std::array<modarith::OrderPart, order_batch_size * modarith::max_parallel_powers_of_2> parts;
  std::array<u32, order_batch_size * modarith::max_parallel_powers_of_2> needed;
  std::array<u32, order_batch_size + 1> first_part;
  u32 total = 0;
  batch.count = count;
  for (u32 i = 0; i < count; ++i) {
    batch.mod[i] = modarith::make_mod_context(primes[i]);
    first_part[i] = total;
    total += plan_order(primes[i], sieve_factors[i], i, plans[i], parts.data() + total);
  }
  first_part[count] = total;
  // The lanes check every p against their ceiling and leave a batch with a
  // prime above it to the scalar kernels.
  modarith::order_parts_with(ctx.kernels, batch.mod.data(), parts.data(), total, needed.data());
  const u32 lim = moduli_limit(table.n_min, table.n_max);
  for (u32 i = 0; i < count; ++i) {
    batch.ord[i] = finish_order(primes[i], plans[i], parts.data() + first_part[i], needed.data() + first_part[i], lim,
                                batch.moduli[i], batch.moduli_count[i]);
  }
}

}  // namespace search
