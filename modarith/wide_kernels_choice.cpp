// The run-time choice among the kernel sets; see wide_kernels.hpp.
#include <cstdlib>
#include <cstring>
#include <string>

#include "modarith/wide_kernels.hpp"

namespace modarith {

bool kernel_set_runs(KernelSet set) {
  switch (set) {
    case KernelSet::avx512:
      return wide_kernels_supported();
    case KernelSet::avx2:
      return avx2_kernels_supported();
    case KernelSet::scalar:
      break;
  }
  return true;
}

KernelSet best_kernel_set() {
  for (const KernelSet set : kernel_sets_fastest_first) {
    if (kernel_set_runs(set)) return set;
  }
  return KernelSet::scalar;
}

const char* kernel_set_name(KernelSet set) {
  switch (set) {
    case KernelSet::avx512:
      return "AVX-512 IFMA";
    case KernelSet::avx2:
      return "AVX2";
    case KernelSet::scalar:
      break;
  }
  return "scalar";
}

const char* kernel_set_key(KernelSet set) {
  switch (set) {
    case KernelSet::avx512:
      return "avx512";
    case KernelSet::avx2:
      return "avx2";
    case KernelSet::scalar:
      break;
  }
  return "scalar";
}

KernelChoice choose_kernel_set(const char* request) {
  KernelChoice choice{best_kernel_set(), ""};
  if (request == nullptr || *request == '\0') return choice;
  // Shown as given, but on one line whatever it holds.
  std::string shown = std::string("QUARROW_KERNELS=") + request;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  for (const KernelSet set : kernel_sets_fastest_first) {
    if (std::strcmp(request, kernel_set_key(set)) != 0) continue;
    if (kernel_set_runs(set)) {
      choice.set = set;
    } else {
#if defined(QUARROW_SCALAR_ONLY) || !defined(__x86_64__)
      const char* const who = "this build (scalar kernels only)";
#else
      const char* const who = "this processor";
#endif
      choice.error = "Error: " + shown + " asks for the " + kernel_set_name(set) + " kernels, which " + who +
                     " cannot run. Exiting.";
    }
    return choice;
  }
  choice.error = "Error: " + shown + " names no kernel set; give avx512, avx2 or scalar. Exiting.";
  return choice;
}

const KernelChoice& kernel_choice() {
  static const KernelChoice choice = choose_kernel_set(std::getenv("QUARROW_KERNELS"));
  return choice;
}

}  // namespace modarith
