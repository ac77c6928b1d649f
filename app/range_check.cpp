#include "app/range_check.hpp"

#include <algorithm>

namespace app {

std::optional<std::string> range_fault(u64 pmin, u64 pmax) {
  pmax = std::min(pmax, common::p_ceiling);
  if (pmax <= pmin) return "pmax=" + std::to_string(pmax) + " <= pmin=" + std::to_string(pmin);
  if (pmin < common::p_floor) {
    return "Sorry, pmin=" + std::to_string(pmin) + " has to be at least 10^9 (1G) for this program to work.";
  }
  return std::nullopt;
}

bool check_range(u64& pmin, u64& pmax, std::ostream& out) {
  if (pmax > common::p_ceiling) {
    out << "This program only supports p up to " << common::p_ceiling << std::endl;
    pmax = common::p_ceiling;
  }
  if (const std::optional<std::string> fault = range_fault(pmin, pmax)) {
    out << *fault << std::endl;
    return false;
  }
  pmin &= ~u64{1};
  return true;
}

bool range_can_run(u64 pmin, u64 pmax, std::ostream& out) {
  if (!range_fault(pmin, pmax)) return true;
  return check_range(pmin, pmax, out);  // prints the clamp (if any) and the fault; false
}

}  // namespace app
