// The plain console build: no client to talk to.
#include "common/host_api.hpp"

namespace common {

void host_init() {}
int host_finish(int status) { return status; }
std::string resolve_file_name(const std::string& logical_name) { return logical_name; }
void host_report_progress(double /*fraction_done*/) {}
void host_checkpoint_done() {}
bool host_allows_questions() { return true; }

}  // namespace common
