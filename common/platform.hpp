// Scheduling priority of the process and of the calling thread.
// The command line selects one of five process classes and one of six thread
// priorities by index; this layer maps them onto POSIX nice levels and the
// Linux idle scheduling class (platform.cpp), or onto the Windows priority
// classes and thread levels of the same names (platform_windows.cpp, where
// the two nice functions do not exist). Failures are ignored: a system that
// refuses a priority leaves the program running at whatever priority it has.
#pragma once
#include "common/types.hpp"

namespace common {

inline constexpr u32 process_priority_count = 5;  // indices 0..4
inline constexpr u32 thread_priority_count = 6;   // indices 0..5

// Nice level for a process class index (0 idle .. 4 high).
int process_class_nice(u32 process_priority);
// Nice offset for a thread priority index (0 idle .. 5 highest); idle is
// handled by the idle scheduling class instead of an offset.
int thread_priority_offset(u32 thread_priority);

// Applies both; results are not examined.
void set_priority(u32 process_priority, u32 thread_priority);

// A write past a file-size limit would kill the process with SIGXFSZ in
// mid-line; ignored, it fails like a write to a full disk, which every
// writer already handles. Called once at start-up.
void ignore_file_size_signal();

// Called once before anything is printed. Standard output then writes
// exactly the bytes the program gives it (LF line ends on every platform);
// on POSIX systems there is nothing to do.
void prepare_console();

}  // namespace common
