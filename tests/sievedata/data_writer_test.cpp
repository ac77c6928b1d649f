// Writing the table back: the exact format, what is left out, the safe
// replacement of the old file, and that every written file loads again with
// the same pairs.
#include "sievedata/data_writer.hpp"

#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "sievedata/data_loader.hpp"
#include "sievedata_test_support.hpp"

namespace {
using namespace sievedata_test;
using sievedata::SieveTable;
using sievedata::u32;

std::string empty_slots(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "k=0\n";
  return text;
}

SieveTable load(const std::string& name) {
  SieveTable table;
  std::ostringstream out;
  EXPECT_TRUE(sievedata::load_sieve_data(name, table, 0, out)) << out.str();
  return table;
}

TEST(DataWriter, FactoredPairIsLeftOut) {
  ScratchDir dir;
  write_text("Vesk.dat", "12\n1\n1000\nk=1234\n100\n+24\n+48\n");
  SieveTable table = load("Vesk.dat");
  table.n_sets[0].erase(124);  // as a reported factor does
  ASSERT_TRUE(sievedata::save_sieve_data(table, "Vesk.dat"));
  EXPECT_EQ(file_text("Vesk.dat"), "12\n1\n1000\nk=1234\n100\n+72\n" + empty_slots(11));
  EXPECT_FALSE(std::filesystem::exists("Vesk.dat.tmp"));
}

TEST(DataWriter, SlotFormsAndRangeLimits) {
  ScratchDir dir;
  SieveTable table;
  table.n_min = 100;
  table.n_max = 200;
  table.k_values = {3, 5, 7, 9};
  table.n_sets[0] = {};                        // every n factored: the k= line alone
  table.n_sets[1] = {150};                     // a single n, no difference
  table.n_sets[2] = {50, 100, 150, 200, 250};  // the ends are kept, outside is dropped
  table.n_sets[3] = {10, 20, 300};             // nothing inside the range
  ASSERT_TRUE(sievedata::save_sieve_data(table, "out.dat"));
  EXPECT_EQ(file_text("out.dat"),
            "12\n100\n200\n"
            "k=3\n"
            "k=5\n150\n"
            "k=7\n100\n+50\n+50\n"
            "k=9\n" +
                empty_slots(8));
}

TEST(DataWriter, FailureKeepsTheOldFile) {
  ScratchDir dir;
  write_text("Vesk.dat", "old content\n");
  std::filesystem::create_directory("Vesk.dat.tmp");  // the temporary file cannot be made
  SieveTable table;
  EXPECT_FALSE(sievedata::save_sieve_data(table, "Vesk.dat"));
  EXPECT_EQ(file_text("Vesk.dat"), "old content\n");
  EXPECT_FALSE(sievedata::save_sieve_data(table, "no/such/dir/Vesk.dat"));
}

// Whatever the table holds, the written file loads back to the same k in
// the same slots and the same n inside [n_min, n_max].
TEST(DataWriter, RoundTrip) {
  ScratchDir dir;
  const std::uint64_t seed = 4242;
  std::mt19937_64 rng(seed);
  for (int trial = 0; trial < 40; ++trial) {
    SieveTable table;
    table.n_min = static_cast<u32>(rng() % 1000);
    table.n_max = trial == 0 ? 4294967295u : table.n_min + static_cast<u32>(rng() % 2000000);
    for (int slot = 0; slot < 12; ++slot) {
      table.k_values[slot] = static_cast<u32>(rng());
      const int shape = static_cast<int>(rng() % 4);  // none, one, a few, many
      const int count = shape == 0 ? 0 : shape == 1 ? 1 : shape == 2 ? 3 : 2000;
      const u32 step = 1 + static_cast<u32>(rng() % 100);
      for (int i = 0; i < count; ++i) table.n_sets[slot].insert(step * static_cast<u32>(rng() % 30000));
    }
    if (trial == 0) table.n_sets[0] = {0, 4294967295u};  // both ends of 32 bits
    ASSERT_TRUE(sievedata::save_sieve_data(table, "Vesk.dat"));
    const SieveTable again = load("Vesk.dat");
    ASSERT_EQ(again.n_min, table.n_min);
    ASSERT_EQ(again.n_max, table.n_max);
    for (int slot = 0; slot < 12; ++slot) {
      sievedata::NSet kept(table.n_sets[slot].lower_bound(table.n_min), table.n_sets[slot].upper_bound(table.n_max));
      ASSERT_EQ(again.k_values[slot], table.k_values[slot]) << "seed " << seed << " trial " << trial;
      ASSERT_EQ(again.n_sets[slot], kept) << "seed " << seed << " trial " << trial << " slot " << slot;
    }
  }
}

}  // namespace
