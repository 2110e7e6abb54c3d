#include "variogram/SampleRunBoxes.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mosaro {

SampleRunBoxes::SampleRunBoxes(const float* x, const float* y, std::size_t count, std::size_t runLength) {
    const std::size_t length = std::max<std::size_t>(runLength, 1);
    const float inf = std::numeric_limits<float>::infinity();
    const Box empty{inf, -inf, inf, -inf};
    boxes_.assign((count + length - 1) / length, empty);
    Box all = empty;
    for (std::size_t j = 0; j < count; ++j) {
        if (!std::isfinite(x[j]) || !std::isfinite(y[j])) continue;
        Box& box = boxes_[j / length];
        box.minX = std::min(box.minX, x[j]), box.maxX = std::max(box.maxX, x[j]);
        box.minY = std::min(box.minY, y[j]), box.maxY = std::max(box.maxY, y[j]);
        all.minX = std::min(all.minX, x[j]), all.maxX = std::max(all.maxX, x[j]);
        all.minY = std::min(all.minY, y[j]), all.maxY = std::max(all.maxY, y[j]);
    }
    // In double: the extents of finite floats may overflow a float.
    const auto width = [](const Box& b) { return static_cast<double>(b.maxX) - static_cast<double>(b.minX); };
    const auto height = [](const Box& b) { return static_cast<double>(b.maxY) - static_cast<double>(b.minY); };
    if (!(all.minX <= all.maxX)) return;  // no finite sample
    double areas = 0.0, halfPerimeters = 0.0;
    std::size_t filled = 0;
    for (const Box& box : boxes_) {
        if (!(box.minX <= box.maxX)) continue;
        areas += width(box) * height(box);
        halfPerimeters += width(box) + height(box);
        ++filled;
    }
    const double area = width(all) * height(all);
    const double share = area > 0.0 ? areas / (static_cast<double>(filled) * area)
                                    : halfPerimeters / (static_cast<double>(filled) * (width(all) + height(all)));
    compact_ = share <= 0.25;
}

}  // namespace mosaro
