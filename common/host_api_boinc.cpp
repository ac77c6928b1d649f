// The build that runs as a BOINC application (QUARROW_BOINC=ON): the hooks
// talk to the BOINC runtime instead of doing nothing.
//
// Under a BOINC client the program runs in a slot directory where each file
// a work unit names may be a small link file pointing into the project
// directory, so every file name is resolved before it is opened. The client
// may stop the task at any moment and start it again later in the same slot;
// the status file is the checkpoint, and the client is told each time a save
// lands on disk. Nobody sits at the keyboard, so questions are refused.
//
// Without a client ("standalone mode", no init_data.xml in the working
// directory) the runtime resolves every name to itself and reports nothing,
// so the program behaves as the console build. The runtime itself still
// creates boinc_lockfile and stderr.txt at start and boinc_finish_called at
// the end, in the working directory.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <unistd.h>

#include <boinc/boinc_api.h>

#include "common/host_api.hpp"

namespace common {

void host_init() {
  const int error = boinc_init();
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

void host_checkpoint_done() { boinc_checkpoint_completed(); }

bool host_allows_questions() { return false; }

}  // namespace common
