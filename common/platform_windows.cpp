// Windows side of the platform layer: the priority indices are the Windows
// process classes and thread levels themselves, and standard output is put
// into binary mode so that every line ends in LF, byte for byte as on Linux
// (a console shows such lines as usual).
#include "common/platform.hpp"

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace common {

namespace {

// idle, below normal, normal, above normal, high
constexpr DWORD class_of_index[process_priority_count] = {
    IDLE_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS, ABOVE_NORMAL_PRIORITY_CLASS,
    HIGH_PRIORITY_CLASS};
// idle, lowest, below normal, normal, above normal, highest
constexpr int level_of_index[thread_priority_count] = {
    THREAD_PRIORITY_IDLE,   THREAD_PRIORITY_LOWEST,       THREAD_PRIORITY_BELOW_NORMAL,
    THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST};

}  // namespace

void set_priority(u32 process_priority, u32 thread_priority) {
  (void)::SetPriorityClass(::GetCurrentProcess(), class_of_index[std::min(process_priority, process_priority_count - 1)]);
  (void)::SetThreadPriority(::GetCurrentThread(), level_of_index[std::min(thread_priority, thread_priority_count - 1)]);
}

// Windows has no file-size signal: a write past a quota simply fails.
void ignore_file_size_signal() {}

void prepare_console() {
  std::fflush(stdout);
  (void)::_setmode(::_fileno(stdout), _O_BINARY);
}

}  // namespace common
