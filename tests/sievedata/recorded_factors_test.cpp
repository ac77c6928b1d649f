// The factors on disk that -u takes out of the table: only lines exactly as
// the factor output writes them, and only true factors, count.
#include <gtest/gtest.h>

#include "sievedata/recorded_factors.hpp"

namespace {

using sievedata::NSet;
using sievedata::SieveTable;

TEST(RecordedFactors, OnlyWholeTrueFactorLinesTakePairsOut) {
  SieveTable table;
  // The same k in two slots: a recorded factor takes its pair out of both.
  for (const int slot : {0, 5}) {
    table.k_values[slot] = 1234;
    table.n_sets[slot] = NSet{10, 12, 20};
  }
  table.k_values[1] = 99;
  table.n_sets[1] = NSet{12};
  // 1234*2^12+1 = 5054465, 1234*2^10+1 = 1263617, 1234*2^20+1 = 1293942785.
  const std::string text =
      "5054465 | 1234*2^12+1\n"
      "5054466 | 1234*2^10+1\n"              // not a factor
      "5054465 | 1234*2^12+1\r\n"            // again, from a copied file
      "1263617 | 1234*2^10+1\t(duplicate)\n" // a console line, not a file line
      "1263617 | 1234*2^10+\n"               // a half line
      "1263617 |1234*2^10+1\n"
      "99999999999999999999999 | 1234*2^10+1\n"
      "1263617 | 1234*2^4294967296+1\n"
      "\n"
      "1293942785 | 1234*2^20+1";            // the last line without its line end
  EXPECT_EQ(sievedata::remove_recorded_factors(table, text), 4u);
  EXPECT_EQ(table.n_sets[0], NSet{10});
  EXPECT_EQ(table.n_sets[5], NSet{10});
  EXPECT_EQ(table.n_sets[1], NSet{12}) << "another k keeps its n";
  EXPECT_EQ(sievedata::remove_recorded_factors(table, ""), 0u);
}

}  // namespace
