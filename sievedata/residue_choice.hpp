// The classes of n that the general scan walks for one slot: a modulus
// M = m*d (m = 1..49, d the slot's step) chosen so that the slot's n fall
// into at most 10 classes mod M while the classes are as sparse as possible.
#pragma once
#include <array>
#include <ostream>

#include "sievedata/n_set.hpp"
#include "sievedata/sieve_table.hpp"

namespace sievedata {

struct ResidueChoice {
  u32 n_modulus = 0;
  u32 n_residue_count = 0;
  std::array<u32, max_residues> n_residues{};  // ascending
};

// Chooses the modulus for the slot of multiplier `k` whose n (`n_set`) all
// lie in the class `offset` mod `step`. The multiplier m with
// the largest m / (number of classes), at most 10 classes, wins; a larger m
// must beat the best so far by more than 1e-10, so ties keep the smaller m.
// An m whose m*step does not fit 32 bits is not tried. A slot without n
// (step 0) gets modulus 0 and no residues. With `verbosity` >= 2 prints one
// line per improvement and an empty line to `out`.
ResidueChoice choose_residues(const NSet& n_set, u32 k, u32 step, u32 offset, u32 verbosity,
                              std::ostream& out);

}  // namespace sievedata
