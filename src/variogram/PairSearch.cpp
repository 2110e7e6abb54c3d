#include "variogram/PairSearch.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "platform/WorkerPool.h"

namespace mosaro {

void CheckSamplesAreFinite(const SampleView& s) {
    for (std::size_t i = 0; i < s.count; ++i)
        if (!(std::isfinite(s.x[i]) && std::isfinite(s.y[i]) && std::isfinite(s.value[i])))
            throw std::invalid_argument("sample " + std::to_string(i) +
                                        " has a coordinate or a value that is not a finite number");
}

PairSearch::PairSearch(const SampleView& samples, double reach, Reach shape) {
    if (!(reach > 0.0 && std::isfinite(reach))) throw std::invalid_argument("the pair search needs a finite reach > 0");
    const std::size_t n = samples.count;
    if (n > 0xffffffffu) throw std::invalid_argument("more than 2^32 - 1 samples");
    double xMin = 0.0, xMax = 0.0, yMin = 0.0, yMax = 0.0;
    if (n > 0) {
        xMin = xMax = samples.x[0];
        yMin = yMax = samples.y[0];
    }
    for (std::size_t i = 0; i < n; ++i) {
        xMin = std::min(xMin, samples.x[i]);
        xMax = std::max(xMax, samples.x[i]);
        yMin = std::min(yMin, samples.y[i]);
        yMax = std::max(yMax, samples.y[i]);
    }
    // Cells of an eighth of the reach, fewer (and so wider) when the extent
    // would need more than about four cells per sample: only speed depends on
    // it.
    double cell = reach / 8.0;
    const double limit = 4.0 * static_cast<double>(n) + 16.0;
    while (std::floor((xMax - xMin) / cell + 1.0) * std::floor((yMax - yMin) / cell + 1.0) > limit) cell *= 2.0;
    // Cells k columns away are at least (k - 1) cells apart: a row dr rows
    // north (at least (dr - 1) cells away) is reached up to the columns k
    // with (k - 1)^2 + (dr - 1)^2 <= (reach / cell)^2 (disc), or
    // k - 1 <= reach / cell (square).
    // (With a margin for the roundings of the cells' own arithmetic.)
    const double reachInCells = reach / cell * (1.0 + 1e-9);
    const std::size_t maxSpan = static_cast<std::size_t>(std::floor(reachInCells)) + 1;
    for (std::size_t dr = 0; dr <= maxSpan; ++dr) {
        const double gap = dr == 0 ? 0.0 : static_cast<double>(dr - 1);
        if (gap > reachInCells) break;
        const double across =
            shape == Reach::kSquare ? reachInCells : std::sqrt(reachInCells * reachInCells - gap * gap);
        span_.push_back(std::min(maxSpan, static_cast<std::size_t>(std::floor(across)) + 1));
    }
    columns_ = static_cast<std::size_t>(std::floor((xMax - xMin) / cell)) + 1;
    rows_ = static_cast<std::size_t>(std::floor((yMax - yMin) / cell)) + 1;
    auto column = [&](double x) { return std::min(columns_ - 1, static_cast<std::size_t>((x - xMin) / cell)); };
    auto row = [&](double y) { return std::min(rows_ - 1, static_cast<std::size_t>((y - yMin) / cell)); };

    // Counting sort by cell, the caller's order kept within a cell.
    cellStart_.assign(columns_ * rows_ + 1, 0);
    std::vector<std::uint32_t> cellOf(n);
    for (std::size_t i = 0; i < n; ++i) {
        cellOf[i] = static_cast<std::uint32_t>(row(samples.y[i]) * columns_ + column(samples.x[i]));
        ++cellStart_[cellOf[i] + 1];
    }
    for (std::size_t c = 0; c + 1 < cellStart_.size(); ++c) cellStart_[c + 1] += cellStart_[c];
    std::vector<std::size_t> next(cellStart_.begin(), cellStart_.end() - 1);
    x_.resize(n);
    y_.resize(n);
    value_.resize(n);
    original_.resize(n);
    cellOfSample_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t p = next[cellOf[i]]++;
        x_[p] = samples.x[i];
        y_[p] = samples.y[i];
        value_[p] = samples.value[i];
        original_[p] = static_cast<std::uint32_t>(i);
        cellOfSample_[p] = cellOf[i];
    }
}

int PairSearch::RunsOf(std::size_t position, Run (&runs)[kMaxRuns]) const {
    const std::size_t cell = cellOfSample_[position];
    const std::size_t c = cell % columns_;
    const std::size_t r = cell / columns_;
    int count = 0;
    // Its own row: the rest of its cell, then the cells east within reach.
    const std::size_t east = std::min(columns_ - 1, c + span_[0]);
    runs[count++] = {position + 1, cellStart_[r * columns_ + east + 1]};
    for (std::size_t dr = 1; dr < span_.size() && r + dr < rows_ && count < kMaxRuns; ++dr) {
        const std::size_t west = c >= span_[dr] ? c - span_[dr] : 0;
        const std::size_t farEast = std::min(columns_ - 1, c + span_[dr]);
        const std::size_t row = (r + dr) * columns_;
        if (cellStart_[row + west] < cellStart_[row + farEast + 1])
            runs[count++] = {cellStart_[row + west], cellStart_[row + farEast + 1]};
    }
    return count;
}

void PairSearch::ForEachChunk(int threads, std::size_t chunkSize,
                              const std::function<void(std::size_t, std::size_t, std::size_t)>& body) const {
    const std::size_t chunks = ChunkCount(chunkSize);
    auto piece = [&](std::size_t first, std::size_t last, int) {
        for (std::size_t chunk = first; chunk < last; ++chunk)
            body(chunk, chunk * chunkSize, std::min(Size(), (chunk + 1) * chunkSize));
    };
    if (threads <= 1 || chunks <= 1) {
        piece(0, chunks, 0);
        return;
    }
    WorkerPool pool(threads);
    pool.For(chunks, 1, piece);
}

}  // namespace mosaro
