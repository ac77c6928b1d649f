#include "app/range_work.hpp"

#include "app/status_file.hpp"
#include "common/file_io.hpp"
#include "common/host_api.hpp"

namespace app {

RangeWork::Start RangeWork::begin(u64 unit_pmin, u64 pmax, u64 resume_p, std::ostream& out) {
  pmin_ = unit_pmin;
  pmax_ = pmax;
  // The sieve starts at the even number below an odd pmin (so that an odd
  // prime pmin is tested); covered through that even number is no prime.
  start_ = WorkCheckpoint{unit_pmin, unit_pmin & ~u64{1}, {}};
  last_ = start_;
  if (!enabled_ || resume_p == unit_pmin) return Start::ready;

  const std::optional<std::string> text = common::read_file(work_state_file_name);
  const std::optional<WorkState> state = text ? parse_work_state(*text) : std::nullopt;
  const std::optional<WorkCheckpoint> found =
      state ? checkpoint_for_save(*state, unit_pmin, pmax, resume_p) : std::nullopt;
  if (!found) {
    out << "Warning: " << work_state_file_name << " does not belong to the last save in " << status_file_name << ", so the work"
        << " checksum cannot be continued. Starting the range again at pmin=" << unit_pmin << "." << std::endl;
    return Start::restart;
  }
  start_ = *found;
  last_ = start_;
  return Start::ready;
}

bool RangeWork::save(u64 p, u64 covered, const search::WorkChecksum& work, std::ostream& out) {
  if (!enabled_) return true;
  WorkState state;
  state.pmin = pmin_;
  state.pmax = pmax_;
  state.newest = WorkCheckpoint{p, covered, work};
  state.before = last_;
  if (!common::replace_file(work_state_file_name, format_work_state(state))) {
    out << "Warning: could not write " << work_state_file_name << "; this progress save is skipped" << std::endl;
    return false;
  }
  last_ = state.newest;
  return true;
}

bool RangeWork::finish(const search::WorkChecksum& work, std::ostream& out) {
  if (!enabled_) return true;
  if (common::append_text(work_result_file_name, work_result_line(pmin_ & ~u64{1}, pmax_, work))) return true;
  out << "Error: could not write " << work_result_file_name << ". Exiting." << std::endl;
  return false;
}

}  // namespace app
