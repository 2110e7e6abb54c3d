// Experimental variograms of scattered samples, as gstat's variogram()
// forms them, independent of any grid.
//
// Pairs: every unordered pair of samples (i, j) at distance
// d = sqrt(dx^2 + dy^2) <= cutoff (coincident samples included). A
// direction (azimuth alpha, clockwise from north, and tolerance t) takes
// the pairs with |dx sin(alpha) + dy cos(alpha)| / d >= cos(t), and the
// coincident ones; a tolerance of 90 degrees or more takes all; a bandwidth
// b further keeps only pairs within b of the direction's axis
// (|dy sin(alpha) - dx cos(alpha)| <= b; gstat has no bandwidth).
// Classes: a pair joins class k when k w < d <= (k+1) w (w the width), the
// first class holding d = 0 as well; there are floor(cutoff / w) + 1
// classes. Estimators of a class with N pairs and differences z_i - z_j:
//   classic (Matheron)  gamma = sum (z_i - z_j)^2 / (2 N)
//   robust (Cressie and Hawkins)
//                       gamma = (sum |z_i - z_j|^(1/2) / N)^4 / (2 (0.457 + 0.494 / N))
// Defaults as gstat's: cutoff = 0.33333 times the diagonal of the samples'
// bounding box (gstat's "one third", to its five digits), width = cutoff /
// 15, tolerance = 90 / (number of directions).
//
// The pairs are found through a PairSearch and summed per fixed chunk of
// samples (256, more when there are very many classes), the chunks then
// added in order: the same bits on any number of threads.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "variogram/PairSearch.h"

namespace mosaro {

enum class VariogramEstimator { kClassic, kRobust };

struct LagDirection {
    double azimuth = 0.0;                                         // degrees clockwise from north
    double tolerance = std::numeric_limits<double>::quiet_NaN();  // degrees; NaN: 90 / directions
    double bandwidth = std::numeric_limits<double>::infinity();   // largest distance from the axis
};

struct EmpiricalOptions {
    double cutoff = std::numeric_limits<double>::quiet_NaN();  // NaN: the default
    double width = std::numeric_limits<double>::quiet_NaN();   // NaN: cutoff / 15
    std::vector<LagDirection> directions;                      // none: omnidirectional
    VariogramEstimator estimator = VariogramEstimator::kClassic;
    int threads = 1;
};

struct LagClass {
    double lower = 0.0;  // (lower, upper], the first class from 0 inclusive
    double upper = 0.0;
    std::uint64_t pairs = 0;
    double meanDistance = std::numeric_limits<double>::quiet_NaN();  // NaN without pairs
    double gamma = std::numeric_limits<double>::quiet_NaN();
};

struct DirectionalVariogram {
    bool omnidirectional = true;
    LagDirection direction;         // tolerance resolved
    std::vector<LagClass> classes;  // every class, those without pairs too
};

struct EmpiricalVariogram {
    double cutoff = 0.0;
    double width = 0.0;
    VariogramEstimator estimator = VariogramEstimator::kClassic;
    std::vector<DirectionalVariogram> directions;  // one, omnidirectional, when none was asked for
};

// 0.33333 times the diagonal of the bounding box; 1 when that is 0 (as gstat).
double DefaultCutoff(const SampleView& samples);

// Throws std::invalid_argument for samples that are not finite, a cutoff or
// width that is not a finite number > 0, a tolerance outside (0, 180], a
// bandwidth <= 0 or more than 2^20 classes.
EmpiricalVariogram ComputeEmpiricalVariogram(const SampleView& samples, const EmpiricalOptions& options);

// As ComputeEmpiricalVariogram, with a given version of the pair
// measurements (variogram/PairMeasure.h) instead of the widest: every
// version must give the same bits.
struct PairMeasure;
EmpiricalVariogram ComputeEmpiricalVariogramWith(const SampleView& samples, const EmpiricalOptions& options,
                                                 const PairMeasure& measure);

// The sums a variogram's classes are made of, per direction and class (d *
// classes + k): pair count, distance sum, statistic sum. Sums of disjoint
// sets of pairs add up to the sums of their union, so a variogram can be
// computed block by block and reduced.
struct VariogramSums {
    std::size_t directions = 0;
    std::size_t classes = 0;
    std::vector<double> pairs, distance, statistic;
};

// The sums of the pairs (a, b) of `samples` within the cutoff with a among
// the first `owned` samples and rank[b] < rank[a]: when every sample of a
// set is owned by exactly one block, and each block is handed its own
// samples first and then every other sample within the cutoff of them,
// every pair of the set is counted once, by the block of its member of the
// higher rank. options.cutoff and options.width must be given (the
// defaults depend on the whole set). The same classes and direction tests
// as ComputeEmpiricalVariogram: the pair counts of a partition add up to
// its pair counts exactly.
VariogramSums SumOwnedPairs(const SampleView& samples, const std::int64_t* rank, std::size_t owned,
                            const EmpiricalOptions& options);

// The variogram of (reduced) sums formed with `options`.
EmpiricalVariogram VariogramFromSums(const VariogramSums& sums, const EmpiricalOptions& options);

// The variogram cloud: every pair within the cutoff (NaN: the default),
// omnidirectional, with half its squared difference, ordered by i, then j
// (i > j, the caller's indexes, as gstat lists them).
struct CloudPair {
    std::uint32_t i;
    std::uint32_t j;
    double distance;
    double gamma;  // (z_i - z_j)^2 / 2
};
std::vector<CloudPair> ComputeVariogramCloud(const SampleView& samples, double cutoff, int threads = 1);

// The variogram map: gamma over lag vectors on a square grid of cells of the
// width, centred on (0, 0), with centres at -cutoff + k width for
// k = 0 .. size - 1 (size = floor(2 cutoff / width) + 1), as gstat's
// map = TRUE. Each pair enters at (dx, dy) and at (-dx, -dy); a lag vector
// on a cell edge joins the cell east of it, or south of it (gstat counts its
// rows from the north), the outermost cells keep their outer edges. Cells
// row by row from the south-west: cell (row, column) has
// centre (-cutoff + column w, -cutoff + row w). At most 2048^2 cells
// (std::invalid_argument beyond).
struct VariogramMap {
    double cutoff = 0.0;
    double width = 0.0;
    int size = 0;
    std::vector<std::uint64_t> pairs;  // size * size
    std::vector<double> gamma;         // NaN without pairs
};
VariogramMap ComputeVariogramMap(const SampleView& samples, double cutoff, double width,
                                 VariogramEstimator estimator = VariogramEstimator::kClassic, int threads = 1);

}  // namespace mosaro
