#include "neighbours/ExchangeSort.h"

#include <algorithm>
#include <utility>

namespace mosaro {

void WorkingSamples::Load(const SampleRows& samples, float scale) {
    const std::size_t n = samples.count > 0 ? static_cast<std::size_t>(samples.count) : 0;
    x.resize(n);
    y.resize(n);
    value.resize(n);
    distance.assign(n, 0.0f);
    for (std::size_t p = 0; p < n; ++p) {
        x[p] = f32(f64(samples.x[p]) / f64(scale));
        y[p] = f32(f64(samples.y[p]) / f64(scale));
        value[p] = samples.value[p];
    }
}

void WorkingSamples::MeasureFrom(float nodeX, float nodeY) {
    const double X = f64(nodeX), Y = f64(nodeY);
    for (std::size_t p = 0; p < x.size(); ++p) distance[p] = MeasuredDistance(x[p], y[p], X, Y);
}

void WorkingSamples::Swap(std::size_t a, std::size_t b) {
    std::swap(x[a], x[b]);
    std::swap(y[a], y[b]);
    std::swap(value[a], value[b]);
    std::swap(distance[a], distance[b]);
}

void SortNearest(WorkingSamples& samples, int passes) {
    SortNearestInBlocks(samples, NeighbourLayout{1, samples.Count(), passes});
}

void SortNearestInBlocks(WorkingSamples& samples, const NeighbourLayout& layout) {
    const std::vector<float>& d = samples.distance;
    const std::size_t perBlock = static_cast<std::size_t>(std::max(layout.perBlock, 0));
    const std::size_t last = std::min(perBlock, static_cast<std::size_t>(std::max(layout.passes, 0)));
    const std::size_t blocks = static_cast<std::size_t>(std::max(layout.blocks, 0));
    for (std::size_t a = 0; a < last; ++a) {
        for (std::size_t b = a + 1; b < perBlock; ++b) {
            if (d[b] >= d[a]) continue;  // only nearer or unordered entries move
            for (std::size_t block = 0; block < blocks; ++block)
                samples.Swap(block * perBlock + a, block * perBlock + b);
        }
    }
}

}  // namespace mosaro
