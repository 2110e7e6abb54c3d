// Points bucketed by the cells of a uniform grid over their box, about a
// given number to a cell, and the order that puts each cell's points side
// by side, cell after cell, row of cells after row of cells. The points
// within a reach of a place then lie in one contiguous stretch per row of
// cells the reach touches, which a search reads in order instead of walking
// a tree down from its root. The searches that use it keep their points'
// coordinates in that order themselves, in the precision they measure in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mosaro {

class CellGrid {
public:
    // Cells over the box of the points (x[i], y[i]), i < count, every one
    // finite, about `perCell` to a cell. No cells (Empty) when the box has
    // no extent or the cells' side is not a finite number.
    CellGrid(const double* x, const double* y, std::size_t count, double perCell);

    bool Empty() const { return start_.empty(); }

    // The points in cell order: Order()[k] is the index of the k-th one.
    const std::vector<std::uint32_t>& Order() const { return order_; }

    // The cells within `reach` of (x, y): columns left .. right of rows
    // bottom .. top. Every point within the reach lies in them, whatever the
    // roundings of the bounds.
    struct Window {
        std::size_t left, right, bottom, top;
    };
    Window Around(double x, double y, double reach) const;

    // Cell order positions of the points of row `row`'s cells of `w`.
    std::size_t Begin(const Window& w, std::size_t row) const { return start_[row * columns_ + w.left]; }
    std::size_t End(const Window& w, std::size_t row) const { return start_[row * columns_ + w.right + 1]; }
    // Points in the cells of `w`.
    std::size_t Count(const Window& w) const;

private:
    // Monotone in the coordinate, clamped to the grid.
    std::size_t Column(double x) const { return Clamp((x - x0_) * inverse_, columns_); }
    std::size_t Row(double y) const { return Clamp((y - y0_) * inverse_, rows_); }
    static std::size_t Clamp(double cell, std::size_t count) {
        if (!(cell > 0.0)) return 0;
        if (cell >= static_cast<double>(count - 1)) return count - 1;
        return static_cast<std::size_t>(cell);
    }

    std::size_t columns_ = 0, rows_ = 0;
    double x0_ = 0.0, y0_ = 0.0, inverse_ = 0.0;
    std::vector<std::size_t> start_;  // per cell, row after row: its first point; one past the last at the end
    std::vector<std::uint32_t> order_;
};

}  // namespace mosaro
