#include "api/PointArrays.h"

#include <cmath>
#include <cstddef>

#include "platform/FloatArith.h"

namespace mosaro {
namespace {

std::size_t Cell(int row, int columnCount, int column) {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(columnCount) + static_cast<std::size_t>(column);
}

}  // namespace

float** PointArrays::Table() {
    rows[0] = x.data();
    rows[1] = y.data();
    rows[2] = value.data();
    return rows;
}

PointArrays BuildPointArrays(const float* data, int rowCount, int columnCount, int valueColumn) {
    return BuildBlockPointArrays(data, rowCount, columnCount, {valueColumn});
}

PointArrays BuildBlockPointArrays(const float* data, int rowCount, int columnCount,
                                  const std::vector<int>& valueColumns) {
    PointArrays points;
    const std::size_t count = (rowCount > 0 ? static_cast<std::size_t>(rowCount) : 0) * valueColumns.size();
    points.x.reserve(count);
    points.y.reserve(count);
    points.value.reserve(count);
    for (int column : valueColumns) {
        for (int row = 0; row < rowCount; ++row) {
            points.x.push_back(data[Cell(row, columnCount, 0)]);
            points.y.push_back(data[Cell(row, columnCount, 1)]);
            points.value.push_back(data[Cell(row, columnCount, column)]);
        }
    }
    // One pass over all blocks together: the first entry of a block may take
    // the last value of the block before.
    SubstituteBlanks(points.value);
    return points;
}

PointArrays BuildColumnPointArrays(const float* x, const float* y, const std::vector<const float*>& values, int count) {
    PointArrays points;
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    for (const float* block : values) {
        points.x.insert(points.x.end(), x, x + n);
        points.y.insert(points.y.end(), y, y + n);
        points.value.insert(points.value.end(), block, block + n);
    }
    SubstituteBlanks(points.value);  // over all blocks together, as the table layout
    return points;
}

void SubstituteBlanks(std::vector<float>& values) {
    std::size_t firstValid = 0;
    while (firstValid < values.size() && IsBlankValue(values[firstValid])) ++firstValid;
    if (firstValid == values.size()) return;
    for (std::size_t i = 0; i < firstValid; ++i) values[i] = values[firstValid];
    for (std::size_t i = firstValid + 1; i < values.size(); ++i) {
        if (IsBlankValue(values[i])) values[i] = values[i - 1];
    }
}

}  // namespace mosaro
