// Standard input may hold anything (a pipe from a script, a file, a cat on
// the keyboard). The y/n question and then the range prompt read the input;
// neither may crash or loop, and a range the prompt accepts must be one the
// user typed: pmax above pmin, both whole billions that fit 64 bits.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "app/prompts.hpp"
#include "fuzz/fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out;
  if (!app::ask_clear_status(in, out)) {
    fuzz::check(fuzz::says_why(out.str()), "the question ended without a message");
    return 0;
  }
  app::u64 pmin = 0;
  app::u64 pmax = 0;
  if (!app::prompt_range(pmin, pmax, in, out)) {
    fuzz::check(fuzz::says_why(out.str()), "the prompt ended without a message");
    return 0;
  }
  fuzz::check(pmax > pmin, "the prompt accepted pmax <= pmin");
  fuzz::check(pmin % 1000000000 == 0 && pmax % 1000000000 == 0, "a range that is not whole billions");
  return 0;
}
