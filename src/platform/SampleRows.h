// The samples as every stage of the engine reads them: x, y and value
// arrays of `count` entries. Co-kriging lays its variables out as blocks of
// equal length one after the other, each block repeating the coordinates.
// The arrays belong to the caller and outlive the run.
#pragma once

namespace mosaro {

struct SampleRows {
    const float* x = nullptr;
    const float* y = nullptr;
    const float* value = nullptr;
    int count = 0;
};

}  // namespace mosaro
