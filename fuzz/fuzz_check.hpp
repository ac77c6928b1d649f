// What every fuzz target checks besides "no crash, no sanitizer report": a
// property that must hold for every input. A broken property prints what
// was expected and aborts, which libFuzzer records as a crash together
// with the input that caused it.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzz {

inline void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz property broken: %s\n", what);
  std::abort();
}

// A refusal must come with a message: at least one whole line, the last one
// not empty.
inline bool says_why(std::string_view output) {
  if (output.size() < 2 || output.back() != '\n') return false;
  return output[output.size() - 2] != '\n';
}

}  // namespace fuzz
