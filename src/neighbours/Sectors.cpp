#include "neighbours/Sectors.h"

#include <algorithm>
#include <cmath>

namespace mosaro {
namespace {

struct Direction {
    double x, y;
};

// The ray at 45k degrees, not normalised: only signs of cross products and
// ratios of lengths are taken from it.
Direction Ray(int eighths) {
    static constexpr Direction kRays[8] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
    return kRays[eighths % 8];
}

double Cross(Direction a, double x, double y) { return a.x * y - a.y * x; }

// The squared distance of the farthest point where the ray from (x, y)
// crosses the box, or -1 when it misses it.
double FarthestOnRay(const SampleBox& box, double x, double y, Direction d) {
    double low = 0.0, high = INFINITY;
    const double origin[2] = {x, y}, direction[2] = {d.x, d.y};
    const double lower[2] = {box.xMin, box.yMin}, upper[2] = {box.xMax, box.yMax};
    for (int axis = 0; axis < 2; ++axis) {
        if (direction[axis] == 0.0) {
            if (origin[axis] < lower[axis] || origin[axis] > upper[axis]) return -1.0;
            continue;
        }
        double a = (lower[axis] - origin[axis]) / direction[axis];
        double b = (upper[axis] - origin[axis]) / direction[axis];
        if (a > b) std::swap(a, b);
        low = std::max(low, a);
        high = std::min(high, b);
    }
    if (low > high) return -1.0;
    return high * high * (d.x * d.x + d.y * d.y);
}

}  // namespace

double FarthestInSector(const SampleBox& box, double x, double y, int sector, int sectors) {
    // The wedge and the box are convex, and so is their intersection: the
    // distance is largest at one of its vertices, which are corners of the
    // box inside the wedge, points where the wedge's rays leave the box, and
    // the target when it lies in the box.
    const int span = sectors == 8 ? 1 : 2;
    const Direction first = Ray(sector * span), last = Ray(sector * span + span);
    double farthest = -1.0;
    if (x >= box.xMin && x <= box.xMax && y >= box.yMin && y <= box.yMax) farthest = 0.0;
    const double cornersX[2] = {box.xMin, box.xMax}, cornersY[2] = {box.yMin, box.yMax};
    for (double cx : cornersX) {
        for (double cy : cornersY) {
            const double dx = cx - x, dy = cy - y;
            if (Cross(first, dx, dy) >= 0.0 && -Cross(last, dx, dy) >= 0.0)
                farthest = std::max(farthest, dx * dx + dy * dy);
        }
    }
    farthest = std::max(farthest, FarthestOnRay(box, x, y, first));
    farthest = std::max(farthest, FarthestOnRay(box, x, y, last));
    return farthest;
}

}  // namespace mosaro
