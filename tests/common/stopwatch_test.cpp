#include "common/stopwatch.hpp"

#include <gtest/gtest.h>

namespace {
using common::Stopwatch;
using common::WallTime;

WallTime at(int s, int ms) { return WallTime{s, static_cast<common::i16>(ms)}; }

TEST(Stopwatch, MeasuresAcrossSecondAndMillisecondBorrows) {
  struct Case {
    WallTime start, stop;
    int elapsed_ms;
  };
  const Case cases[] = {
      {at(100, 0), at(100, 0), 0},      {at(100, 250), at(101, 249), 999}, {at(100, 999), at(101, 0), 1},
      {at(100, 5), at(107, 5), 7000},   {at(5, 500), at(5, 999), 499},     {at(100, 0), at(1100, 1), 1000001},
  };
  for (const Case& c : cases) {
    Stopwatch w;
    w.reset();
    w.start_at(c.start);
    w.stop_at(c.stop);
    EXPECT_EQ(w.elapsed_ms(), c.elapsed_ms) << c.start.seconds << "." << c.start.milliseconds;
    EXPECT_GE(w.milliseconds, 0);
    EXPECT_LT(w.milliseconds, 1000);
  }
}

TEST(Stopwatch, AccumulatesOverSeveralStartStopPairs) {
  Stopwatch w;
  w.reset();
  w.start_at(at(10, 900));
  w.stop_at(at(11, 100));  // 200 ms
  w.start_at(at(20, 500));
  w.stop_at(at(20, 800));  // 300 ms
  EXPECT_EQ(w.elapsed_ms(), 500);
}
}  // namespace
