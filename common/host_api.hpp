// Hooks for running under a volunteer-computing client that hands out ranges
// as work units. In the default build every hook is a no-op (or the
// identity), so the program behaves exactly as a plain console program.
#pragma once
#include <string>

#include "common/types.hpp"

namespace common {

// Called once at the very start of main.
void host_init();
// Called with the program's exit status at its very end; returns the status
// to return from main.
int host_finish(int status);
// The physical path of a logical file name (every file the program opens
// goes through this).
std::string resolve_file_name(const std::string& logical_name);
// Fraction of the current range done, 0..1, reported whenever a progress
// save is due (whether or not the client lets it happen).
void host_report_progress(double fraction_done);
// Asked when a progress save is due by the save interval: whether to make
// it now. The console build always says yes; under a client, yes once the
// volunteer's checkpoint interval has passed since the last checkpoint.
// After a yes the program is in a critical section (the client does not
// stop it mid-write) until host_checkpoint_end.
bool host_checkpoint_begin();
// Ends the critical section of a save; `written` tells the client that the
// files now hold a complete checkpoint (false: the save failed, nothing new
// to resume from).
void host_checkpoint_end(bool written);
// Whether the program may wait for answers on standard input.
bool host_allows_questions();
// Whether every range must carry its proof of work (the result a project
// validates), whatever the command line says.
bool host_requires_work_checksum();
// The number of processors the client gives this task; 0 when nobody says.
u32 host_cpu_count();
// Called by each sieving thread besides the main one when it starts, and
// between its pieces of work: lets the client's suspend reach it (the call
// returns once the task is resumed).
void host_worker_started();
void host_worker_pause_point();

}  // namespace common
