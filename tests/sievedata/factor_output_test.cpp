// Reporting hits: the exact re-check, the classification into the three
// files, the console lines, the removal from the table, and what happens
// when the factor's file cannot be written. Every case runs in a fresh
// working directory so the files it leaves are exactly its own.
#include "sievedata/factor_output.hpp"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sievedata_test_support.hpp"

namespace {
using namespace sievedata_test;
using sievedata::OutputSettings;
using sievedata::SieveTable;
using sievedata::u32;
using sievedata::u64;

constexpr u32 k = 1234;

// k*2^n+1 itself: a true (not necessarily prime) factor of the pair, for
// any n small enough that it fits 64 bits.
u64 hit_for(u32 n) { return (u64{k} << n) + 1; }

// Slot 0: k 1234 with n 5 (below n_min), 12, 20, 30 in the range [10, 40].
SieveTable small_table() {
  SieveTable table;
  table.n_min = 10;
  table.n_max = 40;
  table.k_values[0] = k;
  table.n_sets[0] = {5, 12, 20, 30};
  return table;
}

struct Files {
  std::string fact, factexcl, factrange;
};
Files read_files() { return {file_text("fact.txt"), file_text("factexcl.txt"), file_text("factrange.txt")}; }

struct ReportCase {
  const char* name;
  u32 verbosity;
  bool report_excluded;
  u32 n;
  u32 xmod;
  std::string console;  // without the leading "<p> | 1234*2^<n>+1"
  const char* file;     // nullptr: no file written
};

TEST(ReportFactor, ClassificationTable) {
  const std::vector<ReportCase> cases = {
      {"new in range", 0, true, 12, 1, "\n", "fact.txt"},
      {"new in range, p above 2^32", 0, true, 30, 1, "\n", "fact.txt"},
      {"duplicate", 0, true, 13, 1, "\t(duplicate)\n", "factexcl.txt"},
      {"above n_max, not listed", 0, true, 45, 1, "\t(outside range)\n", "factrange.txt"},
      {"listed but below n_min", 0, true, 5, 1, "\t(outside range)\n", "fact.txt"},
      {"listed but below n_min, -d", 0, false, 5, 1, "\t(outside range)\n", "fact.txt"},
      {"duplicate, -d", 0, false, 13, 1, "", nullptr},
      {"above n_max, -d", 0, false, 45, 1, "", nullptr},
      {"new, -d", 0, false, 20, 1, "\n", "fact.txt"},
      {"new, -v", 1, true, 12, 1, "\t(xmod 1)\n", "fact.txt"},
      {"duplicate, -v", 1, true, 13, 24, "\t(xmod 24, duplicate)\n", "factexcl.txt"},
      {"outside range, -vv", 2, true, 45, 7, "\t(xmod 7, outside range)\n", "factrange.txt"},
      {"listed below n_min, -v", 1, true, 5, 1, "\t(xmod 1, outside range)\n", "fact.txt"},
  };
  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    SieveTable table = small_table();
    const OutputSettings settings{c.verbosity, c.report_excluded};
    std::ostringstream out;
    const u64 p = hit_for(c.n);
    sievedata::report_factor(table, settings, out, p, 0, c.n, c.xmod);

    const std::string line = std::to_string(p) + " | 1234*2^" + std::to_string(c.n) + "+1";
    EXPECT_EQ(out.str(), c.console.empty() ? "" : line + c.console);
    const Files files = read_files();
    const auto expected = [&](const char* name) { return c.file && std::string(c.file) == name ? line + "\n" : "<absent>"; };
    EXPECT_EQ(files.fact, expected("fact.txt"));
    EXPECT_EQ(files.factexcl, expected("factexcl.txt"));
    EXPECT_EQ(files.factrange, expected("factrange.txt"));
    EXPECT_EQ(table.n_sets[0].count(c.n), 0u);  // never listed afterwards
    // Nothing else in the table moves.
    sievedata::NSet rest = small_table().n_sets[0];
    rest.erase(c.n);
    EXPECT_EQ(table.n_sets[0], rest);
  }
}

TEST(ReportFactor, SecondHitOnAPairIsADuplicate) {
  ScratchDir dir;
  SieveTable table = small_table();
  std::ostringstream out;
  sievedata::report_factor(table, {}, out, hit_for(20), 0, 20, 1);
  sievedata::report_factor(table, {}, out, hit_for(20), 0, 20, 1);
  const std::string line = std::to_string(hit_for(20)) + " | 1234*2^20+1";
  EXPECT_EQ(out.str(), line + "\n" + line + "\t(duplicate)\n");
  EXPECT_EQ(file_text("fact.txt"), line + "\n");
  EXPECT_EQ(file_text("factexcl.txt"), line + "\n");
  // With -d a third hit is silent.
  std::ostringstream quiet;
  sievedata::report_factor(table, {0, false}, quiet, hit_for(20), 0, 20, 1);
  EXPECT_EQ(quiet.str(), "");
  EXPECT_EQ(file_text("factexcl.txt"), line + "\n");
}

TEST(ReportFactor, FilesAreAppendedNotReplaced) {
  ScratchDir dir;
  write_text("fact.txt", "earlier line\n");
  SieveTable table = small_table();
  std::ostringstream out;
  sievedata::report_factor(table, {}, out, hit_for(12), 0, 12, 1);
  sievedata::report_factor(table, {}, out, hit_for(30), 0, 30, 1);
  EXPECT_EQ(file_text("fact.txt"), "earlier line\n" + std::to_string(hit_for(12)) + " | 1234*2^12+1\n" +
                                       std::to_string(hit_for(30)) + " | 1234*2^30+1\n");
}

TEST(ReportFactor, FalseHitIsRefusedAndChangesNothing) {
  ScratchDir dir;
  SieveTable table = small_table();
  std::ostringstream out;
  const u64 wrong = hit_for(12) + 2;
  sievedata::report_factor(table, {1, true}, out, wrong, 0, 12, 1);
  EXPECT_EQ(out.str(), "Internal error: " + std::to_string(wrong) + " does not divide 1234*2^12+1; not recorded as a factor.\n");
  EXPECT_EQ(table.n_sets[0], small_table().n_sets[0]);
  const Files files = read_files();
  EXPECT_EQ(files.fact, "<absent>");
  EXPECT_EQ(files.factexcl, "<absent>");
  EXPECT_EQ(files.factrange, "<absent>");
  // An empty slot (k = 0) has no factors at all; a slot index past the
  // table is refused too.
  std::ostringstream more;
  sievedata::report_factor(table, {}, more, 7, 3, 12, 1);
  sievedata::report_factor(table, {}, more, hit_for(12), 12, 12, 1);
  EXPECT_EQ(more.str(),
            "Internal error: 7 does not divide 0*2^12+1; not recorded as a factor.\n"
            "Internal error: hit " + std::to_string(hit_for(12)) +
                " for slot 12, n 12 names no slot; not recorded as a factor.\n");
  EXPECT_EQ(table.n_sets[0], small_table().n_sets[0]);
}

// A factor line that cannot be written is lost unless the run stops: the
// call says so, the message names the file, and the pair stays listed so
// that nothing counts it as found.
std::string unwritable_message(const std::string& file) {
  return "Error: could not write the factor above to " + file +
         ". Make room on the disk or mend the file, then start the program again: it resumes from its last save "
         "and finds this factor again. Exiting.\n";
}

TEST(ReportFactor, UnwritableFileStopsTheRunAndKeepsThePair) {
  ScratchDir dir;
  std::filesystem::create_directory("fact.txt");  // cannot be opened for appending
  SieveTable table = small_table();
  std::ostringstream out;
  EXPECT_FALSE(sievedata::report_factor(table, {}, out, hit_for(12), 0, 12, 1));
  EXPECT_EQ(out.str(), std::to_string(hit_for(12)) + " | 1234*2^12+1\n" + unwritable_message("fact.txt"));
  EXPECT_EQ(table.n_sets[0].count(12), 1u);
  ASSERT_TRUE(std::filesystem::exists("/dev/full"));
  std::filesystem::create_symlink("/dev/full", "factexcl.txt");
  table.n_sets[0].erase(12);
  std::ostringstream full;
  EXPECT_FALSE(sievedata::report_factor(table, {1, true}, full, hit_for(12), 0, 12, 3));
  EXPECT_EQ(full.str(),
            std::to_string(hit_for(12)) + " | 1234*2^12+1\t(xmod 3, duplicate)\n" + unwritable_message("factexcl.txt"));
}

}  // namespace
