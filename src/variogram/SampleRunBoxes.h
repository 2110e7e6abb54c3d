// Bounding boxes of runs of consecutive samples (consecutive by index), so
// that a row of the blocked pair loop can pass over whole runs that hold no
// pair its filter would let through.
//
// The pairs must be met in index order, so the loop cannot look for them by
// place; but samples often come in an order that follows the ground (along
// survey lines, sorted by a coordinate, along a space-filling curve), and
// then a run of them covers a small box and most runs lie outside a sample's
// two cones. In random order every box spans nearly the whole extent and no
// run is passed over, so the boxes are used only when they are small.
#pragma once

#include <cstddef>
#include <vector>

#include "variogram/PairKernels.h"

namespace mosaro {

class SampleRunBoxes {
public:
    // Runs of `runLength` samples starting at multiples of it; samples with
    // a coordinate that is not finite are left out (no such pair passes).
    SampleRunBoxes(const float* x, const float* y, std::size_t count, std::size_t runLength);

    // False only when no sample of run `run` can form, with the sample at
    // (xi, yi), a pair that passes `bounds` (float separations, as the
    // filters compute them). (xi, yi) must be finite.
    bool MayPass(std::size_t run, float xi, float yi, const PairFilterBounds& bounds) const {
        const Box& box = boxes_[run];
        const float nearX = NearestSeparation(box.minX, box.maxX, xi);
        const float nearY = NearestSeparation(box.minY, box.maxY, yi);
        const float farX = FarthestSeparation(box.minX, box.maxX, xi);
        const float farY = FarthestSeparation(box.minY, box.maxY, yi);
        // Each separation in the run lies between the near and the far one
        // (the float difference is monotone in its operands), and so does
        // each product with a slope: the filter's tests with the most
        // favourable separations.
        const bool towardX = (nearY <= bounds.xConeSlope * farX) & (nearX <= bounds.xReach);
        const bool towardY = (nearX <= bounds.yConeSlope * farY) & (nearY <= bounds.yReach);
        return towardX | towardY;
    }

    // Whether the runs are small enough to be worth testing: their mean
    // box at most a quarter of the box of all samples (its mean half
    // perimeter, when all samples lie on a line).
    bool Compact() const { return compact_; }

private:
    // An empty box (no finite sample) is inverted: it fails every test.
    struct Box {
        float minX, maxX, minY, maxY;
    };

    static float NearestSeparation(float low, float high, float at) {
        const float outside = (low - at) > (at - high) ? (low - at) : (at - high);
        return outside > 0.0f ? outside : 0.0f;
    }
    static float FarthestSeparation(float low, float high, float at) {
        return (at - low) > (high - at) ? (at - low) : (high - at);
    }

    std::vector<Box> boxes_;
    bool compact_ = false;
};

}  // namespace mosaro
