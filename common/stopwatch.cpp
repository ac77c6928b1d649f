#include "common/stopwatch.hpp"

#include <chrono>

namespace common {

WallTime wall_clock_now() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  WallTime now;
  now.seconds = static_cast<i32>(ms / 1000);
  now.milliseconds = static_cast<i16>(ms % 1000);
  return now;
}

void Stopwatch::reset() {
  seconds = 0;
  milliseconds = 0;
}

void Stopwatch::start_at(WallTime now) {
  seconds = static_cast<i32>(static_cast<u32>(seconds) - static_cast<u32>(now.seconds));
  milliseconds = static_cast<i16>(milliseconds - now.milliseconds);
}

void Stopwatch::stop_at(WallTime now) {
  const i16 s = static_cast<i16>(now.milliseconds + milliseconds);
  u32 sec = static_cast<u32>(seconds) + static_cast<u32>(now.seconds);
  if (s >= 1000) sec += 1;
  if (s < 0) sec -= 1;
  seconds = static_cast<i32>(sec);
  milliseconds = static_cast<i16>((s + 1000) % 1000);
}

i32 Stopwatch::elapsed_ms() const {
  return static_cast<i32>(static_cast<u32>(seconds) * 1000u + static_cast<u32>(static_cast<i32>(milliseconds)));
}

}  // namespace common
