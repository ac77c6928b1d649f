// The plain console build: no client to talk to.
#include "common/host_api.hpp"

namespace common {

void host_init() {}
int host_finish(int status) { return status; }
std::string resolve_file_name(const std::string& logical_name) { return logical_name; }
void host_report_progress(double /*fraction_done*/) {}
bool host_checkpoint_begin() { return true; }
void host_checkpoint_end(bool /*written*/) {}
bool host_allows_questions() { return true; }
bool host_requires_work_checksum() { return false; }
u32 host_cpu_count() { return 0; }
void host_worker_started() {}
void host_worker_pause_point() {}

}  // namespace common
