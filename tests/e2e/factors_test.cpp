// Factors end to end: what the program writes to fact.txt against an
// independent oracle, and what -u leaves in the data file.
#include <algorithm>

#include <gtest/gtest.h>

#include "e2e/fixtures.hpp"

namespace e2e {
namespace {

using Pairs = std::set<std::pair<u64, u64>>;  // (k, n)

// The pairs of a data file in the writer's form: header, then per k a line
// "k=<k>", its first n, and "+<difference>" lines.
Pairs data_file_pairs(const std::string& text) {
  Pairs pairs;
  const std::vector<std::string> lines = split_lines(text);
  u64 k = 0;
  u64 n = 0;
  for (std::size_t i = 3; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.starts_with("k=")) {
      k = std::stoull(line.substr(2));
    } else {
      n = line.starts_with("+") ? n + std::stoull(line.substr(1)) : std::stoull(line);
      pairs.insert({k, n});
    }
  }
  return pairs;
}

TEST(E2eFactors, MatchAnIndependentOracleAndLeaveTheDataFileWithU) {
  const std::string data = full_class_data(1000, 100000);
  const std::set<std::string> expected = full_class_factors(1000500000, 1000700000, 1000, 100000);
  ASSERT_GE(expected.size(), 2u) << "the range must hold factors to show anything";

  // A pair's first factor is new; a further one in the range is a duplicate.
  std::set<std::string> expected_new;
  std::set<std::string> expected_duplicates;
  Pairs seen;
  std::vector<FactorLine> by_p;
  for (const std::string& line : expected) by_p.push_back(*parse_factor_line(line));
  std::sort(by_p.begin(), by_p.end(), [](const FactorLine& a, const FactorLine& b) { return a.p < b.p; });
  for (const FactorLine& f : by_p) {
    const std::string line = std::to_string(f.p) + " | " + std::to_string(f.k) + "*2^" + std::to_string(f.n) + "+1";
    (seen.insert({f.k, f.n}).second ? expected_new : expected_duplicates).insert(line);
  }

  WorkDir dir;
  dir.write("Vesk.dat", data);
  const RunResult result = dir.run({"-p", "2", "-u", "1000500000", "1000700000"});
  EXPECT_EQ(result.exit_status, 0);
  const std::vector<std::string> fact = dir.read_lines("fact.txt");
  EXPECT_EQ(line_set(fact), expected_new);
  EXPECT_EQ(fact.size(), expected_new.size()) << "each new factor once";
  const std::set<std::string> excluded = line_set(dir.read_lines("factexcl.txt"));
  EXPECT_TRUE(std::includes(excluded.begin(), excluded.end(), expected_duplicates.begin(), expected_duplicates.end()));
  // Console lines of new factors read as the file's lines, in ascending p.
  std::vector<std::string> console;
  for (const std::string& line : after_banner(result)) {
    if (parse_factor_line(line)) console.push_back(line);
  }
  EXPECT_EQ(console, fact);
  EXPECT_TRUE(std::is_sorted(fact.begin(), fact.end(), [](const std::string& a, const std::string& b) {
    return parse_factor_line(a)->p < parse_factor_line(b)->p;
  })) << "factors are written in ascending p";
  // Whatever went to the other files is a true factor too.
  for (const char* name : {"factexcl.txt", "factrange.txt"}) {
    for (const std::string& line : dir.read_lines(name)) {
      const std::optional<FactorLine> f = parse_factor_line(line);
      ASSERT_TRUE(f) << line;
      EXPECT_TRUE(divides(f->p, f->k, f->n)) << line;
    }
  }

  // -u wrote back every pair but the factored ones.
  Pairs remaining = data_file_pairs(data);
  for (const std::string& line : fact) {
    const std::optional<FactorLine> f = parse_factor_line(line);
    ASSERT_TRUE(f);
    ASSERT_EQ(remaining.erase({f->k, f->n}), 1u) << line;
  }
  EXPECT_EQ(data_file_pairs(dir.read("Vesk.dat")), remaining);

  // The same range again on the updated file: every factor is now a
  // duplicate.
  const RunResult again = dir.run({"-p", "2", "-f", "1000500000", "1000700000"});
  EXPECT_EQ(again.exit_status, 0);
  EXPECT_EQ(dir.read_lines("fact.txt"), fact);
  const std::set<std::string> excluded_again = line_set(dir.read_lines("factexcl.txt"));
  EXPECT_TRUE(std::includes(excluded_again.begin(), excluded_again.end(), expected.begin(), expected.end()));
  for (const std::string& line : fact) {
    EXPECT_NE(again.out.find(line + "\t(duplicate)\n"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace e2e
