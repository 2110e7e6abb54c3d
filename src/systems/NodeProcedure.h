// The node procedure of ordinary kriging, shared by every node estimator.
//
// Per call: the averaged spherical model of the two directions, a coordinate
// scale chosen from the extent, the scaled range and the anisotropy ratio.
// Per node: the nearest samples by a partial exchange sort whose order
// carries over from node to node, a covariance system bordered by the drift
// (unbiasedness) conditions, the guarded solve, an estimate formed from the
// weights, and the cut-off that stores anything below 0.01 (or NaN) as 0.
//
// Methods differ only in the drift border of the system and in the estimate
// they form from the solution; they supply both through NodeMethod.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/FloatArith.h"
#include "mosaro.h"

namespace mosaro {

// Coordinate scale: 100000, 10000, 1000 or 100 for an extent strictly
// greater than that value, otherwise 1.
float CoordinateScale(float extent);

// Quantities fixed once per sweep.
struct KrigingConstants {
    float partialSill;  // Cp: mean of the two directions' partial sills
    float nugget;       // C0: mean of the two nuggets
    float sill;         // Csum = Cp + C0
    float scale;        // s: divides every coordinate
    float range;        // a': the x direction's range divided by s
    float anisotropy;   // k: range_x / range_y, kept within [0.5, 5] unless a' >= 2

    static KrigingConstants FromEstimator(const CKriging& estimator);

    // Spherical covariance Csum - gamma(h); the nugget counts only at h = 0
    // (and for a distance that is not a number).
    float Covariance(float h) const;

    // Distance with the y difference stretched by the anisotropy ratio.
    float AnisotropicDistance(float x1, float y1, float x2, float y2) const;
};

// Node position in scaled units: ((index * cell) + origin) / scale, each step
// rounded to float.
float NodeCoordinate(long long index, float cellSize, float origin, float scale);

// Number of nodes of a grid layout; 0 when a cell count is negative.
std::size_t NodeCount(const TGRIDCELLXY& grid);

// Most nodes a run takes on: the caller's grid and the two scratch grids of
// indicator kriging must each be addressable in bytes. Counted in 64 bits,
// since two int cell counts multiply beyond any narrower type.
constexpr std::uint64_t kMaxNodes = static_cast<std::uint64_t>(PTRDIFF_MAX) / (3 * sizeof(float));

// Nodes of a layout with non-negative cell counts, in 64 bits.
inline std::uint64_t NodeCount64(const TGRIDCELLXY& grid) {
    return (static_cast<std::uint64_t>(grid.nCellCountX) + 1) *
           (static_cast<std::uint64_t>(grid.nCellCountY) + 1);
}

// Estimates below 0.01 (negative ones included) and NaN are stored as 0.
float ApplyCutOff(float estimate);

// Isotropic distance of a sample at (x, y) to the node (X, Y), as the
// neighbour sort measures it: differences and root in double, one rounding.
inline float MeasuredDistance(float x, float y, double nodeX, double nodeY) {
    const double dx = f64(x) - nodeX;
    const double dy = f64(y) - nodeY;
    return f32(std::sqrt(dx * dx + dy * dy));
}

// The working copy of the samples: scaled coordinates, value, and distance
// to the current node, reordered together by the neighbour sort.
struct WorkingSamples {
    std::vector<float> x;
    std::vector<float> y;
    std::vector<float> value;
    std::vector<float> distance;

    void Load(float* const* ppPoints, int count, float scale);
    int Count() const { return static_cast<int>(x.size()); }
    // Isotropic distance of every entry to the node (X, Y).
    void MeasureFrom(float nodeX, float nodeY);
    void Swap(std::size_t a, std::size_t b);
};

// Partial exchange sort over entries [first, end): pass a (a = first ..
// first + passes - 1) exchanges entry a with every later entry b that is
// strictly nearer, or whose comparison with it is unordered. Afterwards the
// first `passes` places hold the nearest entries in ascending distance; the
// exchange rule alone decides the order of ties.
void SortNearest(WorkingSamples& samples, int passes);

// How a method's neighbour choice treats the working array: `passes` passes
// of the exchange sort over the first `perBlock` entries (block 0), each
// exchange applied alike to all `blocks` blocks of `perBlock` entries.
// Entries beyond the blocks never move.
struct NeighbourLayout {
    int blocks = 1;
    int perBlock = 0;
    int passes = 0;
};

// A solved node system, as seen by a method's estimate.
struct NodeSolution {
    int neighbours;            // m
    int order;                 // m plus the border conditions
    const float* weights;      // m weights, then one multiplier per drift term
    const float* rightSide;    // covariances to the node, then the drift at the node
    const float* values;       // values of the m nearest samples, nearest first
    const KrigingConstants* constants;
};

// A solved node system of the accurate arithmetic: everything in double, in
// the model's units.
struct AccurateSolution {
    int neighbours;           // system columns (co-kriging: every variable's)
    int order;                // columns plus the border conditions
    const double* weights;    // one weight per column, then one multiplier per condition
    const double* rightSide;  // covariances to the node, then the border at the node
    const double* values;     // the columns' sample values
    double sill;              // Csum of the averaged model
};

// What a method adds to the ordinary-kriging node procedure: how the nearest
// samples are chosen, the border of the system (one row and column per
// condition on the weights), and the estimate formed from the solution.
// The defaults are those of ordinary kriging.
class NodeMethod {
public:
    virtual ~NodeMethod() = default;

    // Reorders the working copy so that its first m entries are the node's
    // system columns. Default: m + 1 passes of the exchange sort, the last
    // one settling the (m + 1)-th nearest, which shapes the order the next
    // node starts from.
    virtual void ChooseNeighbours(WorkingSamples& samples, int m) const;
    // The same choice described for the fast sweep, which reproduces it
    // without visiting every entry: {1, count, m + 1} by default.
    virtual NeighbourLayout Neighbours(int count, int m) const { return NeighbourLayout{1, count, m + 1}; }

    // Number of border conditions; 1 for the single unbiasedness row.
    virtual int BorderSize() const { return DriftCount(); }
    // Border entries of system column `column`, whose sample lies at (x, y).
    virtual void BorderColumn(int column, float x, float y, float* terms) const;
    // Border entries of the right-hand side, for the node at (x, y).
    virtual void BorderRightSide(float x, float y, float* terms) const;

    // Drift terms bordering the system by default, the constant first.
    virtual int DriftCount() const { return 1; }
    virtual void Drift(float x, float y, float* terms) const;

    // Estimate before the cut-off; the default is the weighted sum of values.
    virtual float Estimate(const NodeSolution& solution) const;

    // Whether the method's estimate has a kriging variance (KrigingVariance).
    virtual bool HasVariance() const { return true; }

    // The accurate arithmetic's counterparts, in double. (u, v) is a
    // sample's offset from the node in units of the neighbourhood's reach:
    // drift functions of the offsets span the same functions as those of the
    // coordinates (so the weights are the same), and keep the border of the
    // system of the order of its covariances.
    // Border entries of a column of variable `variable` (0 but in co-kriging).
    virtual void AccurateBorderColumn(int variable, double u, double v, double* terms) const;
    virtual void AccurateBorderRightSide(double* terms) const;  // the node, at offset (0, 0)
    virtual void AccurateDrift(double u, double v, double* terms) const;
    // Estimate from the solution; NaN when it cannot be formed.
    virtual double AccurateEstimate(const AccurateSolution& solution) const;
    // Variables whose columns share one system, each over the same nearest
    // locations (co-kriging); 1 otherwise.
    virtual int Variables() const { return 1; }
};

// Kriging variance of a solved node: Csum - sum over the whole system of
// solution[i] * rightSide[i] (weights times covariances to the node, drift
// multipliers times the drift at the node), summed in double and rounded
// once. It reads the solution only, so asking for it changes no estimate.
float KrigingVariance(const NodeSolution& solution);

// Neighbour lists of every node, kept by the fast sweep for later sweeps
// over the same samples and grid (indicator kriging sweeps once per
// threshold; only the model and the values change, never the neighbours).
class SharedNeighbours;

// Sweeps every node of the grid (rows from fYMin upward, x fastest) and
// stores each estimate in pGrid. The neighbour count is limited to the
// number of samples. Every working array is allocated before the first node
// is written. With `shared`, the fast sweep fills it on the first call and
// takes the neighbours from it on later calls.
void RunNodeSweep(const CKriging& estimator, float* const* ppPoints, float* pGrid,
                  const NodeMethod& method, SharedNeighbours* shared = nullptr);

}  // namespace mosaro
