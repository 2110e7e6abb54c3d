// Modern-API requests built from the test sample tables, beside the legacy
// calls of TestSupport.h.
#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"
#include "mosaro.h"

namespace mosaro_test {

// The sample table split into the separate arrays the modern API takes.
struct ApiSamples {
    std::vector<float> x, y, value, extra;
    const float* extraColumns[1] = {nullptr};

    // Column `extraColumn` of the table (if >= 0) becomes the second variable.
    explicit ApiSamples(const SampleTable& table, int extraColumn = -1) {
        for (int i = 0; i < table.Count(); ++i) {
            const float* row = &table.rows[static_cast<std::size_t>(i * table.columns)];
            x.push_back(row[0]);
            y.push_back(row[1]);
            value.push_back(row[2]);
            if (extraColumn >= 0) extra.push_back(row[extraColumn]);
        }
        extraColumns[0] = extra.data();
    }
};

// A request over `args`' layout, writing into `grid` (resized to the nodes).
inline mosaro_request MakeRequest(const ApiSamples& s, const GridArgs& args, std::vector<float>& grid,
                                  int method = MOSARO_METHOD_ORDINARY) {
    mosaro_request r;
    mosaro_request_init(&r);
    r.x = s.x.data();
    r.y = s.y.data();
    r.value = s.value.data();
    r.sample_count = static_cast<int>(s.x.size());
    if (!s.extra.empty()) {
        r.extra_values = s.extraColumns;
        r.extra_value_count = 1;
    }
    r.x_min = args.xMin;
    r.y_min = args.yMin;
    r.x_max = args.xMax;
    r.y_max = args.yMax;
    r.cell_size_x = args.cellX;
    r.cell_size_y = args.cellY;
    r.node_count_x = args.cellsX + 1;
    r.node_count_y = args.cellsY + 1;
    r.neighbour_count = args.neighbours;
    r.method = static_cast<mosaro_method>(method);
    grid.assign(static_cast<std::size_t>(args.Nodes()), -7.0f);
    r.grid = grid.data();
    return r;
}

}  // namespace mosaro_test
