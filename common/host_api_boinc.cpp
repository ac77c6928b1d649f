// The build that runs as a BOINC application (QUARROW_BOINC=ON): the hooks
// talk to the BOINC runtime instead of doing nothing.
//
// Under a BOINC client the program runs in a slot directory where each file
// a work unit names may be a small link file pointing into the project
// directory, so every file name is resolved before it is opened. The client
// may stop the task at any moment and start it again later in the same slot;
// the status file and the checksum file are the checkpoint. Nobody sits at
// the keyboard, so questions are refused.
//
// Checkpoints follow the volunteer's setting: a save that the save interval
// makes due is made only when boinc_time_to_checkpoint() says the client's
// checkpoint period (from init_data.xml) has passed. That call enters the
// runtime's critical section when it says yes (the runtime defers a suspend
// or quit until the section ends), and boinc_checkpoint_completed() leaves
// it and restarts the period.
//
// Several threads: the runtime's own timer thread reads the client's
// messages. A quit or abort ends the whole process (exit), so it reaches
// every thread. A suspend is carried out on Linux by a timer signal whose
// handler sleeps while the task is suspended, on whatever thread the signal
// lands. So the sieving threads block that signal (it then always lands on
// the main thread, the one that called boinc_init, as the runtime expects)
// and wait themselves, between segments, while boinc_status says suspended.
//
// Without a client ("standalone mode") the runtime resolves every name to
// itself and reports nothing. With no init_data.xml in the working directory
// there is no checkpoint period to follow either, and every save the
// interval makes due is made, as in the console build. The runtime itself
// still creates boinc_lockfile and stderr.txt at start and
// boinc_finish_called at the end, in the working directory.
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <pthread.h>
#include <unistd.h>

#include <boinc/app_ipc.h>
#include <boinc/boinc_api.h>

#include "common/host_api.hpp"

namespace common {
namespace {

// Set once by host_init, before any other thread exists.
bool follow_checkpoint_period = false;
u32 client_cpu_count = 0;

}  // namespace

void host_init() {
  BOINC_OPTIONS options;
  boinc_options_defaults(options);
  // The sieve may run several threads in this process: CPU time is then
  // measured for the whole process, not for the calling thread alone.
  options.multi_thread = 1;
  const int error = boinc_init_options(&options);
  if (error != 0) {
    std::cout << "Error: the BOINC runtime could not start (error " << error << "). Exiting." << std::endl;
    std::exit(1);
  }
  // Under a client nobody reads standard output, but stderr.txt (where the
  // runtime has sent standard error) goes back to the project with the
  // result. Sending the program's messages there lets an administrator see
  // why a task ended. Standalone runs keep their console as it is.
  if (!boinc_is_standalone()) {
    std::cout.flush();
    std::fflush(stdout);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
  }
  follow_checkpoint_period = ::access(INIT_DATA_FILE, F_OK) == 0;
  APP_INIT_DATA init_data;
  boinc_get_init_data(init_data);
  // The plan class may give a fraction of a CPU; a thread needs a whole one.
  if (init_data.ncpus >= 1.0 && init_data.ncpus < 4096.0) {
    client_cpu_count = static_cast<u32>(std::floor(init_data.ncpus));
  }
}

int host_finish(int status) {
  std::cout.flush();
  // Tells the client whether the task succeeded (status 0) and ends the
  // process with that status; it does not return.
  boinc_finish(status);
  return status;
}

std::string resolve_file_name(const std::string& logical_name) {
  std::string physical_name;
  // On failure the runtime leaves the logical name, which is the right
  // fallback: the file is then looked for in the slot directory itself.
  if (boinc_resolve_filename_s(logical_name.c_str(), physical_name) != 0 || physical_name.empty()) {
    return logical_name;
  }
  return physical_name;
}

void host_report_progress(double fraction_done) {
  // The client shows this to the volunteer; keep it a sane fraction even if
  // the caller's arithmetic ever gives NaN or leaves [0, 1].
  boinc_fraction_done(fraction_done >= 0.0 ? std::min(fraction_done, 1.0) : 0.0);
}

bool host_checkpoint_begin() {
  // boinc_time_to_checkpoint enters the critical section when it says yes.
  if (follow_checkpoint_period) return boinc_time_to_checkpoint() != 0;
  boinc_begin_critical_section();
  return true;
}

void host_checkpoint_end(bool written) {
  if (written) {
    // Leaves the critical section and starts the next checkpoint period.
    boinc_checkpoint_completed();
  } else {
    boinc_end_critical_section();
  }
}

bool host_allows_questions() { return false; }

bool host_requires_work_checksum() { return true; }

u32 host_cpu_count() { return client_cpu_count; }

void host_worker_started() {
  sigset_t timer_signal;
  sigemptyset(&timer_signal);
  sigaddset(&timer_signal, SIGALRM);
  pthread_sigmask(SIG_BLOCK, &timer_signal, nullptr);
}

void host_worker_pause_point() {
  while (boinc_status.suspended && !boinc_status.quit_request && !boinc_status.abort_request) {
    ::usleep(100000);
  }
}

}  // namespace common
