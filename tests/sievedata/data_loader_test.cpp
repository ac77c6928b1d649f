// The data file reader: token rules, derived residue data, the -v / -vv
// diagnostics, and the refusal of files the table or the search cannot use.
#include "sievedata/data_loader.hpp"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sievedata_test_support.hpp"

namespace {
using namespace sievedata_test;
using sievedata::SieveTable;
using sievedata::u32;

// The slot of the worked example: n 100, 124, 172 of k 1234.
const std::string example_file = "12\n1\n1000\nk=1234\n100\n+24\n+48\n";

std::string tail_of_summary(const std::string& first_line, int empty_slots, const std::string& total_line) {
  std::string text = first_line;
  for (int i = 0; i < empty_slots; ++i) text += "0 has 0 unfactored\n";
  return text + total_line;
}

struct Loaded {
  bool ok = false;
  SieveTable table;
  std::string output;
};

Loaded load_text(const std::string& text, u32 verbosity = 0) {
  ScratchDir dir;
  write_text("Vesk.dat", text);
  Loaded result;
  std::ostringstream out;
  result.ok = sievedata::load_sieve_data("Vesk.dat", result.table, verbosity, out);
  result.output = out.str();
  return result;
}

std::vector<u32> residues_of(const SieveTable& table, int slot) {
  return {table.n_residues[slot].begin(), table.n_residues[slot].begin() + table.n_residue_count[slot]};
}

TEST(DataLoader, WorkedExampleWithVerboseSummary) {
  const Loaded loaded = load_text(example_file, 1);
  ASSERT_TRUE(loaded.ok) << loaded.output;
  const SieveTable& t = loaded.table;
  EXPECT_EQ(t.n_min, 1u);
  EXPECT_EQ(t.n_max, 1000u);
  EXPECT_EQ(t.k_values[0], 1234u);
  EXPECT_EQ(t.n_sets[0], (sievedata::NSet{100, 124, 172}));
  EXPECT_EQ(t.n_step[0], 24u);
  EXPECT_EQ(t.n_offset[0], 4u);
  EXPECT_EQ(t.n_modulus[0], 1176u);
  EXPECT_EQ(residues_of(t, 0), (std::vector<u32>{100, 124, 172}));
  // The eleven slots the file did not fill stay empty.
  for (int slot = 1; slot < 12; ++slot) {
    EXPECT_EQ(t.k_values[slot], 0u);
    EXPECT_TRUE(t.n_sets[slot].empty());
    EXPECT_EQ(t.n_step[slot], 0u);
    EXPECT_EQ(t.n_offset[slot], 0u);
    EXPECT_EQ(t.n_modulus[slot], 0u);
    EXPECT_EQ(t.n_residue_count[slot], 0u);
  }
  EXPECT_EQ(loaded.output, "k: 1234. All remaining n = 4 (mod 24).\n" +
                               tail_of_summary("1234 has 3 unfactored\n", 11, "Total: 3 unfactored\n") + "\n");
}

TEST(DataLoader, QuietLoadPrintsNothing) {
  const Loaded loaded = load_text(example_file, 0);
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.output, "");
}

TEST(DataLoader, VeryVerboseModulusDiagnostics) {
  const Loaded loaded = load_text(example_file, 2);
  ASSERT_TRUE(loaded.ok) << loaded.output;
  const std::vector<std::string> lines = split_lines(loaded.output);
  // -v part: one step line, 13 summary lines, an empty line.
  ASSERT_EQ(lines.size(), 15u + 47u + 1u + 11u * 2u + 12u + 1u);
  const std::size_t v = 15;
  // q = n div 24 is 4, 5, 7: m = 2 and m = 4 bring no gain; from m = 5 on
  // every m sees three classes and beats the last.
  EXPECT_EQ(lines[v + 0], "k: 1234 a: 24(1*24) : 1 diff. a/diff: 24 factor: 1");
  EXPECT_EQ(lines[v + 1], "k: 1234 a: 72(3*24) : 2 diff. a/diff: 36 factor: 1.5");
  EXPECT_EQ(lines[v + 2], "k: 1234 a: 120(5*24) : 3 diff. a/diff: 40 factor: 1.66667");
  EXPECT_EQ(lines[v + 46], "k: 1234 a: 1176(49*24) : 3 diff. a/diff: 392 factor: 16.3333");
  EXPECT_EQ(lines[v + 47], "");
  for (int slot = 1; slot < 12; ++slot) {
    EXPECT_EQ(lines[v + 46 + 2 * slot], "k: 0 a: 0(1*0) : 0 diff. a/diff: inf factor: inf");
    EXPECT_EQ(lines[v + 47 + 2 * slot], "");
  }
  const std::size_t mods = v + 48 + 22;
  EXPECT_EQ(lines[mods], "1234: mod 1176: 100 124 172");
  for (int slot = 1; slot < 12; ++slot) EXPECT_EQ(lines[mods + slot], "0: mod 0:");
  EXPECT_EQ(lines[mods + 12], "");
}

TEST(DataLoader, VeryVerboseIgnoresCallersStreamPrecision) {
  ScratchDir dir;
  write_text("Vesk.dat", example_file);
  SieveTable table;
  std::ostringstream out;
  out.precision(2);
  ASSERT_TRUE(sievedata::load_sieve_data("Vesk.dat", table, 2, out));
  EXPECT_NE(out.str().find(" factor: 16.3333\n"), std::string::npos);
}

// Residue data of one slot for various lists of n.
struct ResidueCase {
  const char* name;
  std::string slot_text;  // the lines after "k=77"
  u32 step, offset, modulus;
  std::vector<u32> residues;
};

std::string arithmetic_run(u32 first, u32 step, int count) {
  std::string text = std::to_string(first) + "\n";
  for (int i = 1; i < count; ++i) {
    text += '+';
    text += std::to_string(step);
    text += '\n';
  }
  return text;
}

TEST(DataLoader, ResidueDataTable) {
  const std::vector<ResidueCase> cases = {
      {"worked example", "100\n+24\n+48\n", 24, 4, 1176, {100, 124, 172}},
      {"ten values step 6", arithmetic_run(1, 6, 10), 6, 1, 294, {1, 7, 13, 19, 25, 31, 37, 43, 49, 55}},
      // All of a class over 49 steps: every m <= 10 fills all its classes,
      // every larger m sees more than 10, so m = 1 stays.
      {"full stretch", arithmetic_run(29, 12, 49), 12, 5, 12, {5}},
      {"long full stretch", arithmetic_run(29, 12, 5000), 12, 5, 12, {5}},
      // One n: step 1, so the modulus is 49 with the single class.
      {"single n", "777\n", 1, 0, 49, {777 % 49}},
      {"single n zero", "0\n", 1, 0, 49, {0}},
      {"two n", "10\n+4\n", 4, 2, 196, {10, 14}},
  };
  for (const ResidueCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Loaded loaded = load_text("12\n0\n4000000000\nk=77\n" + c.slot_text);
    ASSERT_TRUE(loaded.ok) << loaded.output;
    EXPECT_EQ(loaded.table.n_step[0], c.step);
    EXPECT_EQ(loaded.table.n_offset[0], c.offset);
    EXPECT_EQ(loaded.table.n_modulus[0], c.modulus);
    EXPECT_EQ(residues_of(loaded.table, 0), c.residues);
  }
}

TEST(DataLoader, SlotsWithOneOrNoNLoad) {
  const Loaded loaded = load_text("12 1 1000\nk=5\nk=7\n300\nk=9\n10\n+6\nk=11\n", 1);
  ASSERT_TRUE(loaded.ok) << loaded.output;
  const SieveTable& t = loaded.table;
  EXPECT_EQ(t.k_values[0], 5u);
  EXPECT_TRUE(t.n_sets[0].empty());
  EXPECT_EQ(t.n_step[0], 0u);
  EXPECT_EQ(t.n_modulus[0], 0u);
  EXPECT_EQ(t.n_residue_count[0], 0u);
  EXPECT_EQ(t.n_sets[1], (sievedata::NSet{300}));
  EXPECT_EQ(t.n_step[1], 1u);
  EXPECT_EQ(t.n_offset[1], 0u);
  EXPECT_EQ(t.n_modulus[1], 49u);
  EXPECT_EQ(residues_of(t, 1), (std::vector<u32>{300 % 49}));
  EXPECT_EQ(t.n_sets[2], (sievedata::NSet{10, 16}));
  EXPECT_EQ(t.k_values[3], 11u);
  EXPECT_TRUE(t.n_sets[3].empty());
  EXPECT_EQ(t.n_step[3], 0u);
  EXPECT_EQ(loaded.output.substr(0, loaded.output.find("5 has")),
            "k: 5. No remaining n.\n"
            "k: 7. All remaining n = 0 (mod 1).\n"
            "k: 9. All remaining n = 4 (mod 6).\n"
            "k: 11. No remaining n.\n");
}

// Texts that must read exactly like the worked example (k 1234 unless noted).
TEST(DataLoader, TolerantTokenRules) {
  const std::vector<std::pair<const char*, std::string>> texts = {
      {"header count 7", "7\n1\n1000\nk=1234\n100\n+24\n+48\n"},
      {"header count 0", "0\n1\n1000\nk=1234\n100\n+24\n+48\n"},
      {"blank lines and leading blanks", "\n\n  12\n\n 1\n\t1000\n\n   k=1234\n  100\n\n +24\n +48\n\n"},
      {"blanks around the separator", "12\n1\n1000\nk = 1234\n100\n+24\n+48\n"},
      {"one line", "12 1 1000 k=1234 100 +24 +48"},
      {"blank after plus", "12\n1\n1000\nk=1234\n100\n+ 24\n+\n48\n"},
      {"CRLF line ends", "12\r\n1\r\n1000\r\nk=1234\r\n100\r\n+24\r\n+48\r\n"},
  };
  for (const auto& [name, text] : texts) {
    SCOPED_TRACE(name);
    const Loaded loaded = load_text(text);
    ASSERT_TRUE(loaded.ok) << loaded.output;
    EXPECT_EQ(loaded.table.k_values[0], 1234u);
    EXPECT_EQ(loaded.table.n_sets[0], (sievedata::NSet{100, 124, 172}));
    EXPECT_EQ(loaded.table.n_step[0], 24u);
    EXPECT_EQ(loaded.table.n_min, 1u);
    EXPECT_EQ(loaded.table.n_max, 1000u);
  }
}

TEST(DataLoader, TwelveSlotsInFileOrder) {
  std::string text = "12\n1\n100\n";
  for (u32 k = 1; k <= 12; ++k) text += "k=" + std::to_string(2 * k + 1) + "\n" + std::to_string(k) + "\n+10\n";
  const Loaded loaded = load_text(text);
  ASSERT_TRUE(loaded.ok) << loaded.output;
  for (u32 slot = 0; slot < 12; ++slot) {
    EXPECT_EQ(loaded.table.k_values[slot], 2 * slot + 3);
    EXPECT_EQ(loaded.table.n_sets[slot], (sievedata::NSet{slot + 1, slot + 11}));
  }
}

TEST(DataLoader, MissingFileMessage) {
  ScratchDir dir;
  SieveTable table;
  table.k_values[0] = 99;
  std::ostringstream out;
  EXPECT_FALSE(sievedata::load_sieve_data("other.dat", table, 1, out));
  EXPECT_EQ(out.str(),
            "Error: couldn't open 'other.dat'\n"
            "You need a Vesk.dat file to run this program. Get it from the Vesk forums.\n");
  EXPECT_EQ(table.k_values[0], 99u);
  // A directory by that name cannot be read as a data file either.
  std::filesystem::create_directory("Vesk.dat");
  std::ostringstream dir_out;
  EXPECT_FALSE(sievedata::load_sieve_data("Vesk.dat", table, 0, dir_out));
  EXPECT_EQ(dir_out.str(),
            "Error: couldn't open 'Vesk.dat'\n"
            "You need a Vesk.dat file to run this program. Get it from the Vesk forums.\n");
}

TEST(DataLoader, MalformedFilesAreRefused) {
  const std::string k13 = [] {
    std::string text = "12 1 100\n";
    for (int k = 1; k <= 13; ++k) text += "k=" + std::to_string(k) + "\n5\n";
    return text;
  }();
  const std::string pre = "Error: malformed data file 'Vesk.dat', ";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "expected the slot count (first header number), found the end of the file"},
      {"12\nabc\n1000\nk=1 5\n", "line 2: expected n_min (second header number), found 'abc'"},
      {"12\n1\n99999999999\nk=1 5\n", "line 3: n_max (third header number) '99999999999' is larger than 4294967295"},
      {"12\n1\n-1000\nk=1 5\n", "line 3: expected n_max (third header number), found '-1000'"},
      {"12 1 1000\n", "no k= entry found"},
      {"12 1 1000\n+24\n", "line 2: '+' before the first k="},
      {"12 5000 1000\nk=5\n1000\n", "n_min 5000 is above n_max 1000 (the header's second and third numbers)"},
      // Text that is not part of the format: skipped a character at a time,
      // a damaged "+720" would shift every later n of the slot.
      {"12 1 1000\nk=5\n10\n+24\nabc\n+48\n", "line 5: expected 'k=' or '+' and a difference, found 'abc'"},
      {"12 1 1000\nk=5\n10\n+24\n-720\n+48\n", "line 5: expected 'k=' or '+' and a difference, found '-720'"},
      {"12 1 1000\nk=5\n10\n+24\n720\n+48\n", "line 5: expected 'k=' or '+' and a difference, found '720'"},
      {"12 1 1000\n# note\nk=5\n10\n", "line 2: expected 'k=' or '+' and a difference, found '#'"},
      {"12 1 1000\nk:1234\n100\n", "line 2: expected '=' after 'k', found ':1234'"},
      {"12 1 1000\nk1234\n100\n", "line 2: expected '=' after 'k', found '1234'"},
      {k13, "line 26: more than 12 k entries (the table holds 12)"},
      {"12 1 1000\nk", "line 2: expected '=' after 'k', found the end of the file"},
      {"12 1 1000\nk=\n", "expected the value of k, found the end of the file"},
      {"12 1 1000\nk=abc\n5\n", "line 2: expected the value of k, found 'abc'"},
      {"12 1 1000\nk=4294967296\n5\n", "line 2: the value of k '4294967296' is larger than 4294967295"},
      {"12 1 1000\nk=5\n10x0\n", "line 3: expected the first n of k=5, found '10x0'"},
      {"12 1 1000\nk=5\n-10\n", "line 3: expected the first n of k=5, found '-10'"},
      {"12 1 1000\nk=5\n+24\n", "line 3: expected the first n of k=5, found '+24'"},
      {"12 1 1000\nk=5\n10\n+x4\n", "line 4: expected a difference after '+' of k=5, found 'x4'"},
      {"12 1 1000\nk=5\n10\n+", "expected a difference after '+' of k=5, found the end of the file"},
      {"12 1 1000\nk=5\n10\n+24+48\n", "line 4: expected a difference after '+' of k=5, found '24+48'"},
      {"12 1 1000\nk=5\n10\n+4294967296\n",
       "line 4: a difference after '+' of k=5 '4294967296' is larger than 4294967295"},
      {"12 1 1000\nk=5\n10\n+0\n", "line 4: difference 0 of k=5 (the n must ascend strictly)"},
      {"12 1 1000\nk=5\n10\n+6\nk=6\n4294967290\n+5\n+1\n",
       "line 8: n of k=6 passes 4294967295 after adding 1"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    const Loaded loaded = load_text(text);
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.output, pre + message + "\n");
  }
}

TEST(DataLoader, LongTokensAreShortenedInMessages) {
  const Loaded loaded = load_text("12 1 1000 k=5 10 +" + std::string(40, 'x') + "\n");
  EXPECT_FALSE(loaded.ok);
  EXPECT_EQ(loaded.output, "Error: malformed data file 'Vesk.dat', line 1: expected a difference after '+' of k=5, "
                           "found '" + std::string(24, 'x') + "...'\n");
}

TEST(DataLoader, LargestValuesFit) {
  const Loaded loaded = load_text("12 0 4294967295\nk=4294967295\n4294967290\n+5\n");
  ASSERT_TRUE(loaded.ok) << loaded.output;
  EXPECT_EQ(loaded.table.k_values[0], 4294967295u);
  EXPECT_EQ(loaded.table.n_sets[0], (sievedata::NSet{4294967290u, 4294967295u}));
  EXPECT_EQ(loaded.table.n_step[0], 5u);
}

// A step so large that m*d leaves 32 bits: only the multipliers whose
// modulus fits are tried (q = n div d is 0 and 1: m = 3 and m = 4 gain,
// m = 5 would need 5e9), and the residue data stays consistent.
TEST(DataLoader, HugeStepKeepsModulusInThirtyTwoBits) {
  const Loaded loaded = load_text("12 0 4294967295\nk=3\n7\n+1000000000\n");
  ASSERT_TRUE(loaded.ok) << loaded.output;
  const SieveTable& t = loaded.table;
  EXPECT_EQ(t.n_step[0], 1000000000u);
  EXPECT_EQ(t.n_offset[0], 7u);
  EXPECT_EQ(t.n_modulus[0], 4000000000u);
  EXPECT_EQ(residues_of(t, 0), (std::vector<u32>{7, 1000000007u}));
}

// n listed outside the header's range load (their factors go to the files
// as outside the range), with one warning line per k that has any.
TEST(DataLoader, NOutsideTheHeaderRangeAreNamedPerK) {
  const Loaded loaded = load_text("12 100 1000\nk=5\n10\n+90\n+900\n+1000\nk=7\n100\n+900\nk=9\n2000\n");
  ASSERT_TRUE(loaded.ok) << loaded.output;
  EXPECT_EQ(loaded.output,
            "Warning: 2 n of k=5 lie outside the data file's n range 100 to 1000.\n"
            "Warning: 1 n of k=9 lie outside the data file's n range 100 to 1000.\n");
  EXPECT_EQ(loaded.table.n_sets[0], (sievedata::NSet{10, 100, 1000, 2000}));
}

}  // namespace
