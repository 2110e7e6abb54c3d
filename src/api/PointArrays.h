// The three point arrays (x, y, value) that every estimator reads, built from
// the caller's row-major sample table.
#pragma once

#include <cmath>
#include <vector>

#include "platform/FloatArith.h"
#include "platform/SampleRows.h"

namespace mosaro {

// A sample value without a value: the blank marker -1e38, or NaN.
inline bool IsBlankValue(float value) { return value == kBlankValue || std::isnan(value); }

struct PointArrays {
    std::vector<float> x;
    std::vector<float> y;
    std::vector<float> value;
    float* rows[3] = {nullptr, nullptr, nullptr};

    // The table of three row pointers the legacy estimator classes take.
    float** Table();
    // The arrays as the engine reads them.
    SampleRows Rows() const { return SampleRows{x.data(), y.data(), value.data(), static_cast<int>(x.size())}; }
};

// One sample per table row: x from column 0, y from column 1, the value from
// `valueColumn` (a single block).
PointArrays BuildPointArrays(const float* data, int rowCount, int columnCount, int valueColumn);

// Co-kriging layout: one block of rowCount samples per value column, in the
// order given; every block repeats the table's coordinates in table order.
PointArrays BuildBlockPointArrays(const float* data, int rowCount, int columnCount,
                                  const std::vector<int>& valueColumns);

// The same layout from separate arrays: x, y and one value array per block,
// each of `count` entries.
PointArrays BuildColumnPointArrays(const float* x, const float* y, const std::vector<const float*>& values, int count);

// A blank (-1e38) or NaN value takes the value before it, so a run of blanks
// takes the last value before the run. A leading run, having nothing before
// it, takes the first value after it; if every value is blank, all stay.
void SubstituteBlanks(std::vector<float>& values);

}  // namespace mosaro
