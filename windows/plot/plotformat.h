#pragma once
// The texts of the plot: axis labels and the cursor readout, independent of the process locale.
#include <string>

namespace plot {

// printf("%f") in the C locale, then trailing '0' characters and then a trailing '.' removed: 2.5 gives
// "2.5", 3.0 gives "3", 0.05 gives "0.05". A text that reads as zero is "0", never "-0".
std::string StrippedFixed(double value);

// The label of an integer-axis tick: "[%d]" of the value truncated toward zero, printed from a 64-bit
// value so that ticks beyond 2^31 - 1 keep their digits; beyond the 64-bit range it is clamped.
std::string IntegerLabel(double value);

// The readout's time line for a time in milliseconds:
//   below 1,000 ms                 "t = %fms"
//   from 1,000 below 60,000 ms     "t = %fs"           (seconds)
//   from 60,000 to 3,600,000 ms    "t = %dm%0.3fs"     (whole minutes, remaining seconds)
//   above 3,600,000 ms             "t = %dh%dm%0.3fs"  (whole hours, whole minutes, remaining seconds)
std::string ReadoutTimeText(double ms);

// The readout's value line: "v = <value stripped as StrippedFixed> <unit>".
std::string ReadoutValueText(double value, const std::string& unit);

}  // namespace plot
