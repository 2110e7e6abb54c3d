// Round tick values and their labels, for the map axes, the colour legend
// and the variogram axes alike.
#pragma once

#include <string>
#include <vector>

namespace mosaro::tool {

struct AxisTicks {
    double step = 0;  // 1, 2 or 5 times a power of ten; 0 when lo == hi
    std::vector<double> values;
};

// The multiples of a round step that lie in [lo, hi], about target_count of
// them (at most 2.5 times as many). lo == hi gives the one value lo; a range
// that is not finite gives none.
AxisTicks NiceTicks(double lo, double hi, int target_count);

// A tick value with the digits its step needs and no more: fixed notation
// for everyday magnitudes (so a northing reads 5600000), exponent notation
// for very large or very small ones.
std::string TickLabel(double value, double step);

// A data value such as a minimum or maximum, to five significant digits.
std::string ValueLabel(double value);

}  // namespace mosaro::tool
