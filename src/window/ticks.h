// Round tick marks for a plot's axis: multiples of 1, 2 or 5 times a power of ten, with their
// labels. No toolkit.
#pragma once

#include <string>
#include <vector>

namespace polychain {

struct AxisTicks {
  double step = 0.0;                // 0 when there are no ticks
  std::vector<double> values;       // ascending, whole multiples of `step`
  std::vector<std::string> labels;  // one per value, to the step's decimal place, never "-0"
};

// The ticks in [low, high] at the multiples of the smallest round step (at least `minStep`)
// that puts at most `maxCount` of them there. None when the range is empty or not finite, or
// `maxCount` is below 1.
AxisTicks roundTicks(double low, double high, int maxCount, double minStep = 0.0);

}  // namespace polychain
