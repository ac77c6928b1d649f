#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "app/prompts.hpp"

namespace {

const std::string question = "Do you wish to clear VeskStatus.dat and begin a new range? [y/n] : ";
const std::string ended = "\nNo answer on standard input. Exiting.\n";

TEST(ClearQuestion, AnswersByFirstCharacter) {
  struct Case {
    std::string input;
    bool yes;
    int questions;        // how often the question was printed
    std::string left;     // what stays in the input
    std::string ending;   // printed after the last question
  };
  const Case cases[] = {
      {"y\n", true, 1, "\n", ""},
      {"Y\n", true, 1, "\n", ""},
      {"  \n yes\n", true, 1, "es\n", ""},
      {"n\n", false, 1, "\n", "Exiting.\n"},
      {"N\n", false, 1, "\n", "Exiting.\n"},
      {"x\ny\n", true, 2, "\n", ""},
      {"x\nq\nn", false, 3, "", "Exiting.\n"},
      {"", false, 1, "", ended},
      {"x\n  \n", false, 2, "", ended},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.input);
    std::ostringstream out;
    EXPECT_EQ(app::ask_clear_status(in, out), c.yes) << c.input;
    std::string expected;
    for (int i = 0; i < c.questions; ++i) expected += question;
    EXPECT_EQ(out.str(), expected + c.ending) << c.input;
    std::string left;
    in.clear();
    std::getline(in, left, '\0');
    EXPECT_EQ(left, c.left) << c.input;
  }
}

const std::string from = "Sieve from (in billions) : ";
const std::string to = "Sieve to (in billions) : ";
const std::string not_a_number = "Please give a whole number of billions.\n";

TEST(RangePrompt, ReadsBillionsAndAsksAgainUntilPmaxIsAbovePmin) {
  struct Case {
    std::string input;
    bool ok;
    app::u64 pmin;
    app::u64 pmax;
    std::string output;
  };
  const Case cases[] = {
      {"2\n3\n", true, 2000000000, 3000000000, from + to},
      {"2 3", true, 2000000000, 3000000000, from + to},
      {"2\n1\n2\n3\n", true, 2000000000, 3000000000, from + to + to + to},
      // Text that is not a number: the rest of its line is dropped.
      {"abc 7\n1000\nx\n1001\n", true, 1000000000000, 1001000000000,
       from + not_a_number + from + to + not_a_number + to},
      {"-5\n5\n6\n", true, 5000000000, 6000000000, from + not_a_number + from + to},
      // Too large for 64 bits: asked again.
      {"18446744073709551616\n1\n2\n", true, 1000000000, 2000000000, from + not_a_number + from + to},
      // The largest answer whose value in p fits 64 bits is taken as it is;
      // one more would wrap modulo 2^64 (to 290448384, a range that could
      // pass the checks), so it is refused like text, rest of line included.
      {"0\n18446744073\n", true, 0, 18446744073000000000u, from + to},
      {"18446744074 5\n2\n3\n", true, 2000000000, 3000000000, from + not_a_number + from + to},
      {"1\n99999999999 x\n18446744074\n2\n", true, 1000000000, 2000000000,
       from + to + not_a_number + to + not_a_number + to},
      {"", false, 0, 0, from + ended},
      {"5\n", false, 5000000000, 0, from + to + ended},
      {"5\n4\n", false, 5000000000, 4000000000, from + to + to + ended},
      {"abc\n", false, 0, 0, from + not_a_number + from + ended},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.input);
    std::ostringstream out;
    app::u64 pmin = 0;
    app::u64 pmax = 0;
    EXPECT_EQ(app::prompt_range(pmin, pmax, in, out), c.ok) << c.input;
    EXPECT_EQ(pmin, c.pmin) << c.input;
    if (c.ok) {
      EXPECT_EQ(pmax, c.pmax) << c.input;
    }
    EXPECT_EQ(out.str(), c.output) << c.input;
  }
}

}  // namespace
