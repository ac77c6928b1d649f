// The two settings of the command line that govern the factor output: how
// much it prints and whether pairs already factored go to their own file.
#pragma once
#include "common/types.hpp"

namespace sievedata {

struct OutputSettings {
  common::u32 verbosity = 0;    // 0, 1 with -v, 2 with -vv
  bool report_excluded = true;  // cleared by -d
};

}  // namespace sievedata
