// The checksum's half of a checkpoint: what is written reads back the same,
// anything else is refused, and a status-file save finds its own entry only.
#include <string>

#include <gtest/gtest.h>

#include "app/work_checksum_file.hpp"

namespace {
using app::WorkCheckpoint;
using app::WorkState;

WorkState two_saves() {
  WorkState state;
  state.pmin = 1000000000;
  state.pmax = 1012000000;
  state.newest = WorkCheckpoint{1004000099, 1008388607, {192882, 0x2b849951f1f025a2}};
  state.before = WorkCheckpoint{1003000043, 1003000043, {144619, 0x0000000000000001}};
  return state;
}

TEST(WorkStateFile, WhatIsWrittenReadsBack) {
  WorkState state = two_saves();
  const std::string text = app::format_work_state(state);
  EXPECT_EQ(text,
            "range=1000000000 1012000000\n"
            "save=1004000099 1008388607 192882 2b849951f1f025a2\n"
            "save=1003000043 1003000043 144619 0000000000000001\n");
  EXPECT_EQ(app::parse_work_state(text), state);
  // The start of a range with an odd pmin: covered through the even number
  // below it.
  state.before.reset();
  state.newest = WorkCheckpoint{1000000007, 1000000006, {}};
  EXPECT_EQ(app::parse_work_state(app::format_work_state(state)), state);
}

TEST(WorkStateFile, AnythingElseIsRefused) {
  const std::string range = "range=1000000000 1012000000\n";
  const std::string save = "save=1004000099 1008388607 192882 2b849951f1f025a2\n";
  const std::string cases[] = {
      "",
      range,                                                   // no save
      range + save + save + save,                              // one line too many
      range + save.substr(0, save.size() - 1),                 // no line end: cut off
      "range=1000000000\n" + save,                             // one end of the range
      "range=1000000000 1012000000 5\n" + save,                // a field too many
      range + "save=1004000099 1008388607 192882 2B849951F1F025A2\n",  // not written that way
      range + "save=1004000099 1008388607 192882 2b849951f1f025a\n",   // 15 digits
      range + "save=1004000099 1008388607 192882\n",           // no checksum
      range + "save=1004000099 1004000097 192882 2b849951f1f025a2\n",  // covers less than its save
      range + "save=-1004000099 1008388607 192882 2b849951f1f025a2\n",
      range + "save=1004000099  1008388607 192882 2b849951f1f025a2\n",  // two blanks
      range + "save=99999999999999999999 1 1 2b849951f1f025a2\n",      // beyond 64 bits
      range + "pmin=1004000099 1008388607 192882 2b849951f1f025a2\n",
  };
  for (const std::string& text : cases) EXPECT_FALSE(app::parse_work_state(text)) << text;
}

TEST(WorkStateFile, ASaveFindsOnlyItsOwnEntry) {
  const WorkState state = two_saves();
  EXPECT_EQ(app::checkpoint_for_save(state, 1000000000, 1012000000, 1004000099), state.newest);
  // Killed after the checksum file was replaced, before the status line.
  EXPECT_EQ(app::checkpoint_for_save(state, 1000000000, 1012000000, 1003000043), state.before);
  EXPECT_FALSE(app::checkpoint_for_save(state, 1000000000, 1012000000, 1002000001));
  EXPECT_FALSE(app::checkpoint_for_save(state, 1000000000, 1013000000, 1004000099));
  EXPECT_FALSE(app::checkpoint_for_save(state, 1000000002, 1012000000, 1004000099));
}

}  // namespace
