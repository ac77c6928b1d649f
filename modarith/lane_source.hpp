// Hands out the baby walks of a scan to the lanes of a vector kernel.
//
// The lane kernels (eight 52-bit lanes, or several vectors of four doubles)
// run one chain per lane and need every lane busy even for the single-class
// scan's one or two walks. So, with few walks, each is split into `parts`
// interleaved parts (positions c, c + parts, ...; factor step^parts), parts
// a power of two; the hits are sorted back into walk and position order
// afterwards (sort_walk_hits). Plain C++: the kernels' own constant for a
// lane's factor comes from `Factor` (see LaneSource).
#pragma once
#include <bit>

#include "common/types.hpp"
#include "modarith/modmul.hpp"
#include "modarith/walks.hpp"

namespace modarith {

// One lane's share of a walk: positions first, first + stride, ... of walk
// `walk`, `left` of them still to look up, x (in [0, p)) the value at the
// next one; mult the factor from one of its positions to the next and w the
// kernel's constant for it.
struct Lane {
  u64 x = 0;
  u64 mult = 0;
  u64 w = 0;
  u64 left = 0;
  u64 position = 0;
  u64 stride = 1;
  u32 walk = 0;
};

// `Factor` gives a kernel's constant for a factor: Factor::of(m, step) for
// a walk's own prepared step (it may reuse the step's quotient factor), and
// Factor::of(m, mult) for a power mult < p made here.
template <u32 lanes, class Factor>
class LaneSource {
 public:
  LaneSource(const ModContext& m, const Walk* walks, u32 count) : m_(m), walks_(walks), count_(count) {
    u32 live = 0;
    for (u32 i = 0; i < count; ++i) live += walks[i].positions != 0 ? 1 : 0;
    // The fewest parts that give every lane a chain.
    while (split_ < lanes && u64{live} * split_ < lanes) split_ *= 2;
  }

  // The next lane, or false when every walk has been handed out.
  bool next(Lane& lane) {
    if (part_ == parts_) {
      while (walk_ < count_ && walks_[walk_].positions == 0) ++walk_;
      if (walk_ == count_) return false;
      start_walk(walks_[walk_]);
      current_ = walk_++;
    }
    const u64 positions = walks_[current_].positions;
    lane.x = x_;
    lane.mult = mult_;
    lane.w = w_;
    // parts_ is a power of two: a shift, not a division per part.
    lane.left = (positions - part_ + parts_ - 1) >> std::countr_zero(parts_);
    lane.position = part_;
    lane.stride = parts_;
    lane.walk = current_;
    ++part_;
    if (part_ < parts_) x_ = mulmod_scaled(m_, x_, walks_[current_].step);
    return true;
  }

 private:
  void start_walk(const Walk& walk) {
    parts_ = split_;
    while (parts_ > 1 && walk.positions < 4 * u64{parts_}) parts_ /= 2;
    part_ = 0;
    x_ = walk.x;
    if (parts_ == 1) {
      mult_ = walk.step.mult;
      w_ = Factor::of(m_, walk.step);
      return;
    }
    u64 power = walk.step.mult;
    for (u32 s = 1; s < parts_; s *= 2) power = sqrmod(m_, power);
    mult_ = power;
    w_ = Factor::of(m_, power);
  }

  const ModContext& m_;
  const Walk* walks_;
  u32 count_;
  u32 split_ = 1;
  u32 walk_ = 0;      // next walk to start
  u32 current_ = 0;   // walk being handed out
  u32 parts_ = 0;
  u32 part_ = 0;
  u64 x_ = 0;
  u64 mult_ = 0;
  u64 w_ = 0;
};

}  // namespace modarith
