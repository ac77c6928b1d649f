// Function multi-versioning for single instructions a processor may lack.
// QUARROW_POPCOUNT_CLONES before a function gives it a second copy that uses
// the POPCNT instruction, chosen once when the program is loaded. The choice
// at load time needs the ELF loader's indirect functions, so elsewhere
// (Windows, macOS, other processors, the scalar-only build) the macro is
// empty and the function is compiled once for the baseline processor. It is
// empty under ThreadSanitizer too, whose instrumented resolver would run
// before the sanitizer's run-time has started.
#pragma once

#if defined(__x86_64__) && defined(__ELF__) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(QUARROW_SCALAR_ONLY) && !defined(__SANITIZE_THREAD__)
#define QUARROW_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define QUARROW_POPCOUNT_CLONES
#endif
