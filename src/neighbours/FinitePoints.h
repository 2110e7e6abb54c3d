// The points with finite coordinates, widened to double, as nanoflann's
// kd-tree reads them, each with the caller's index of the point. Both
// neighbour searches (the legacy chain's radius queries and the accurate
// arithmetic's nearest samples) index their samples through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <nanoflann.hpp>

namespace mosaro {

struct FinitePoints {
    std::vector<double> x, y;
    std::vector<int> index;  // the caller's index of each point, in the order added

    std::size_t kdtree_get_point_count() const { return x.size(); }
    double kdtree_get_pt(std::size_t i, std::size_t dimension) const { return dimension == 0 ? x[i] : y[i]; }
    template <class Box>
    bool kdtree_get_bbox(Box&) const {
        return false;
    }
};

using FinitePointTree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, FinitePoints>,
                                                            FinitePoints, 2, std::uint32_t>;

// The trees' parameters: 16 points to a leaf, and no build by the
// constructor. The owner builds the tree once its points are in place;
// nanoflann's constructor would otherwise build it too, doubling the
// setup of every search structure.
inline nanoflann::KDTreeSingleIndexAdaptorParams FinitePointTreeParameters() {
    return nanoflann::KDTreeSingleIndexAdaptorParams(16,
                                                     nanoflann::KDTreeSingleIndexAdaptorFlags::SkipInitialBuildIndex);
}

}  // namespace mosaro
