// Hooks for running under a volunteer-computing client that hands out ranges
// as work units. In the default build every hook is a no-op (or the
// identity), so the program behaves exactly as a plain console program.
#pragma once
#include <string>

namespace common {

// Called once at the very start of main.
void host_init();
// Called with the program's exit status at its very end; returns the status
// to return from main.
int host_finish(int status);
// The physical path of a logical file name (every file the program opens
// goes through this).
std::string resolve_file_name(const std::string& logical_name);
// Fraction of the current range done, 0..1, reported at every progress save.
void host_report_progress(double fraction_done);
// Tells the client that the status file now holds a complete checkpoint.
void host_checkpoint_done();
// Whether the program may wait for answers on standard input.
bool host_allows_questions();

}  // namespace common
