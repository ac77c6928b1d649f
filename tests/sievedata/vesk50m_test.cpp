// The realistic data files: the shipped sample and, when the machine has
// it, the large 50M file. Expected counts and steps were worked out
// separately from the files' text (gcd of the differences, number of n).
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/file_io.hpp"
#include "sievedata/data_loader.hpp"
#include "sievedata/data_writer.hpp"
#include "sievedata_reference.hpp"
#include "sievedata_test_support.hpp"

namespace {
using namespace sievedata_test;
using sievedata::SieveTable;

// The writer's format is the format these files are kept in, so loading and
// saving again must give back the very same bytes.
void expect_byte_identical_rewrite(const std::string& path, const SieveTable& table) {
  const std::string original = file_text(path);
  ScratchDir dir;
  ASSERT_TRUE(sievedata::save_sieve_data(table, "copy.dat"));
  EXPECT_TRUE(file_text("copy.dat") == original) << "rewrite of " << path << " differs";
}

// The table's residue data against the reference that counts every class.
void expect_reference_residues(const SieveTable& table) {
  for (int slot = 0; slot < 12; ++slot) {
    const std::vector<u32> n(table.n_sets[slot].begin(), table.n_sets[slot].end());
    const auto [step, offset] = step_and_offset(n);
    EXPECT_EQ(table.n_step[slot], step) << "slot " << slot;
    EXPECT_EQ(table.n_offset[slot], offset) << "slot " << slot;
    const ReferenceChoice expected = reference_choice(n, step);
    EXPECT_EQ(table.n_modulus[slot], expected.modulus) << "slot " << slot;
    EXPECT_EQ(std::vector<u32>(table.n_residues[slot].begin(),
                               table.n_residues[slot].begin() + table.n_residue_count[slot]),
              expected.residues)
        << "slot " << slot;
  }
}

#if QUARROW_HAS_SHARED_DATA
TEST(RealDataFiles, Vesk50MLoadsWithKnownStepsAndCounts) {
  const std::string path = QUARROW_SHARED_DATA;
  SieveTable table;
  std::ostringstream out;
  ASSERT_TRUE(sievedata::load_sieve_data(path, table, 1, out)) << out.str();
  EXPECT_EQ(table.n_min, 1000u);
  EXPECT_EQ(table.n_max, 50000000u);
  EXPECT_EQ(out.str(),
            "k: 4847. All remaining n = 15 (mod 24).\n"
            "k: 5359. All remaining n = 6 (mod 8).\n"
            "k: 10223. All remaining n = 5 (mod 12).\n"
            "k: 19249. All remaining n = 14 (mod 36).\n"
            "k: 21181. All remaining n = 20 (mod 24).\n"
            "k: 22699. All remaining n = 46 (mod 72).\n"
            "k: 24737. All remaining n = 7 (mod 24).\n"
            "k: 27653. All remaining n = 33 (mod 36).\n"
            "k: 28433. All remaining n = 1 (mod 24).\n"
            "k: 33661. All remaining n = 0 (mod 24).\n"
            "k: 55459. All remaining n = 10 (mod 12).\n"
            "k: 67607. All remaining n = 3 (mod 8).\n"
            "4847 has 260892 unfactored\n"
            "5359 has 323029 unfactored\n"
            "10223 has 301400 unfactored\n"
            "19249 has 110000 unfactored\n"
            "21181 has 256627 unfactored\n"
            "22699 has 104991 unfactored\n"
            "24737 has 270440 unfactored\n"
            "27653 has 152064 unfactored\n"
            "28433 has 146696 unfactored\n"
            "33661 has 256366 unfactored\n"
            "55459 has 361317 unfactored\n"
            "67607 has 91161 unfactored\n"
            "Total: 2634983 unfactored\n"
            "\n");
  expect_reference_residues(table);
  expect_byte_identical_rewrite(path, table);
}
#endif

TEST(RealDataFiles, ShippedSampleLoadsAndRewritesIdentically) {
  const std::string path = QUARROW_EXAMPLES_DIR "/Vesk.dat";
  SieveTable table;
  std::ostringstream out;
  ASSERT_TRUE(sievedata::load_sieve_data(path, table, 0, out)) << out.str();
  EXPECT_EQ(table.n_min, 1000u);
  EXPECT_EQ(table.n_max, 1000000u);
  for (int slot = 0; slot < 12; ++slot) EXPECT_FALSE(table.n_sets[slot].empty()) << slot;
  expect_reference_residues(table);
  expect_byte_identical_rewrite(path, table);
}

}  // namespace
