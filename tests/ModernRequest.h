// The modern API's request for the same call as a legacy one: the table's
// columns as arrays, co-kriging's variable columns as the value and the
// extra values, indicator kriging's thresholds with their count. Tests that
// run one call through both APIs build it here.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "CaseFile.h"
#include "mosaro.h"

namespace mosaro_test {

// The arrays a request points into; they must outlive it.
struct ModernArrays {
    std::vector<std::vector<float>> columns;
    std::vector<const float*> extra;
};

inline mosaro_request ModernRequest(const Case& c, ModernArrays& arrays, float* grid) {
    const std::size_t n = static_cast<std::size_t>(std::max(c.pointCount, 0));
    const std::size_t width = static_cast<std::size_t>(std::max(c.columnCount, 0));
    // At least one entry each, so that no array is null when there is no sample.
    arrays.columns.assign(width,
                          std::vector<float>(std::max<std::size_t>(n, 1), std::numeric_limits<float>::quiet_NaN()));
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t k = 0; k < width; ++k) arrays.columns[k][i] = c.data[i * width + k];
    // A column outside the legacy row has no array.
    auto column = [&](float number) -> const float* {
        const int k = static_cast<int>(std::trunc(number));
        return k >= 2 && k < c.columnCount ? arrays.columns[static_cast<std::size_t>(k)].data() : nullptr;
    };
    mosaro_request r;
    mosaro_request_init(&r);
    r.x = arrays.columns[0].data();
    r.y = arrays.columns[1].data();
    r.value = column(static_cast<float>(c.valueColumn));
    r.sample_count = c.pointCount;
    arrays.extra.clear();
    if (c.method == 11) {  // variable v reads column methodArray[v]
        const int variables = static_cast<int>(std::trunc(c.parameter));
        for (int v = 0; v < variables; ++v) {
            const float* data = column(c.methodArray[static_cast<std::size_t>(v)]);
            if (v == 0) r.value = data;
            else arrays.extra.push_back(data);
        }
        r.extra_values = arrays.extra.data();
        r.extra_value_count = variables - 1;
    }
    r.x_min = c.rect[0];
    r.y_min = c.rect[1];
    r.x_max = c.rect[2];
    r.y_max = c.rect[3];
    r.cell_size_x = c.cellX;
    r.cell_size_y = c.cellY;
    r.node_count_x = c.cellsX + 1;
    r.node_count_y = c.cellsY + 1;
    r.neighbour_count = c.neighbours;
    r.method = static_cast<mosaro_method>(c.method);
    r.method_parameter = c.parameter;
    if (c.method == 10) {
        r.thresholds = c.methodArray.empty() ? nullptr : c.methodArray.data();
        r.threshold_count = static_cast<int>(std::trunc(c.parameter));
    }
    r.grid = grid;
    return r;
}

}  // namespace mosaro_test
