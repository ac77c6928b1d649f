// Elapsed-time record used for the range time and the per-segment rate.
// It keeps whole seconds and a signed 16-bit millisecond part, and its
// start/stop arithmetic is done in 16 bits on purpose: the printed times and
// rates are defined by exactly this arithmetic.
#pragma once
#include "common/types.hpp"

namespace common {

// A reading of a monotonic wall clock: whole seconds and milliseconds 0..999.
struct WallTime {
  i32 seconds = 0;
  i16 milliseconds = 0;
};

// Reads the process's monotonic clock (not the calendar clock, so that a
// clock change during a run cannot produce a negative time).
WallTime wall_clock_now();

struct Stopwatch {
  i32 seconds = 0;
  i16 milliseconds = 0;

  void reset();
  void start() { start_at(wall_clock_now()); }
  void stop() { stop_at(wall_clock_now()); }
  void start_at(WallTime now);
  void stop_at(WallTime now);
  // seconds * 1000 + milliseconds as a signed 32-bit value (valid after stop).
  i32 elapsed_ms() const;
};

}  // namespace common
