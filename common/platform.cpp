#include "common/platform.hpp"

#include <algorithm>
#include <csignal>

#if defined(__linux__)
#include <sched.h>
#include <sys/syscall.h>
#endif
#include <sys/resource.h>
#include <unistd.h>

namespace common {

int process_class_nice(u32 process_priority) {
  // idle, below normal, normal, above normal, high
  static constexpr int nice_of_class[process_priority_count] = {19, 10, 0, -5, -10};
  return nice_of_class[std::min(process_priority, process_priority_count - 1)];
}

int thread_priority_offset(u32 thread_priority) {
  // idle (scheduling class), lowest, below normal, normal, above normal, highest
  static constexpr int offset_of_priority[thread_priority_count] = {0, 2, 1, 0, -1, -2};
  return offset_of_priority[std::min(thread_priority, thread_priority_count - 1)];
}

void set_priority(u32 process_priority, u32 thread_priority) {
  const int class_nice = process_class_nice(process_priority);
  (void)setpriority(PRIO_PROCESS, 0, class_nice);
#if defined(__linux__)
  // On Linux the nice value is per thread, so the thread's offset is applied
  // to the calling thread alone.
  const int nice = std::clamp(class_nice + thread_priority_offset(thread_priority), -20, 19);
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  (void)setpriority(PRIO_PROCESS, tid, nice);
  if (thread_priority == 0) {
    sched_param param{};
    (void)sched_setscheduler(0, SCHED_IDLE, &param);
  }
#else
  (void)thread_priority;
#endif
}

void ignore_file_size_signal() {
#if defined(SIGXFSZ)
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void prepare_console() {}

}  // namespace common
