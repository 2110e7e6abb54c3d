// One realisation of sequential Gaussian simulation on a grid: the nodes
// visited along a random path, each simulated by simple kriging (mean 0)
// of the normal scores from the nearest conditioning samples and the
// nearest nodes simulated before it, as the kriged value plus the kriging
// standard deviation times a standard normal deviate.
//
// A realisation draws from its own random stream (seed, realisation): the
// path by a Fisher-Yates shuffle, then one deviate per node in path order;
// so it has the same bits whichever worker runs it and at any thread count.
// Simulated neighbours are found by scanning grid offsets in order of
// distance (ties by row, then column); their covariances come from a table
// of the grid offsets.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "neighbours/NearestSamples.h"
#include "systems/Cholesky.h"
#include "systems/CovarianceModel.h"

namespace mosaro {

struct SimulationGrid {
    double x0 = 0.0, y0 = 0.0;  // the first node, in the samples' frame
    double dx = 1.0, dy = 1.0;
    int columns = 0, rows = 0;

    long long Nodes() const { return static_cast<long long>(columns) * rows; }
};

struct SimulationNeighbourhood {
    int samples = 16;    // conditioning samples per node
    int simulated = 16;  // previously simulated nodes per node
    // The samples and the simulated nodes compete: the `samples` nearest of
    // both together (`simulated` not read), as R's gstat counts nmax.
    bool combined = false;
    double radius = 0.0;  // the search radius for both (a distance > 0)
};

// What every realisation shares: read only while realisations run.
class SimulationPlan {
public:
    // Conditioning samples in the grid's frame with their normal scores; a
    // sample that lies on a node sets that node's score instead (it is that
    // node's only possible value) and leaves the samples.
    // The nearest samples of every node (and their covariances to it) are
    // the same in every realisation: found once, on `workers` workers,
    // when they take no more than a few hundred MiB.
    SimulationPlan(const SimulationGrid& grid, const std::vector<double>& x, const std::vector<double>& y,
                   const std::vector<double>& scores, const CovarianceModel& model,
                   const SimulationNeighbourhood& neighbourhood, int workers);

    const SimulationGrid& Grid() const { return grid_; }

private:
    friend class SequentialSimulator;
    double NodeCovariance(int di, int dj) const;
    // The table's entry `cell` steps from its centre (see offsetCell_).
    const double* TableAt(long long cell) const { return table_.data() + tableCentre_ + cell; }
    // The node's nearest samples, nearest first: ids, where each joins the
    // node's offsets (before the first offset at least as long as the
    // sample is far) and covariances to the node. They point into the
    // plan's table when it keeps them, else into `scratch`.
    struct NodeSampleList {
        const int* ids;
        const int* join;
        const double* covariance;
        int count;
    };
    struct NodeSampleScratch {
        std::vector<int> ids, join;
        std::vector<double> covariance;
    };
    NodeSampleList NodeSamples(long long node, NodeSampleScratch& scratch) const;
    // A walk along rows of nodes: the node before's place, its samples and
    // the squared distance of its farthest, which bound the next search.
    struct NearbySearch {
        std::vector<int> found;
        double x = 0.0, y = 0.0, worst = -1.0;
    };
    void FindNodeSamples(long long node, int* ids, int* join, double* covariance, int& count,
                         NearbySearch* nearby = nullptr) const;
    // The first offset at least as long as the squared length d2.
    int JoinOf(double d2) const;
    // Asks for a node's kept samples ahead of their use (a random node's
    // lists are rarely in the cache).
    void PrefetchNodeSamples(long long node) const;

    SimulationGrid grid_;
    const CovarianceModel& model_;
    SimulationNeighbourhood neighbourhood_;
    std::vector<double> x_, y_, score_;  // the samples that stay
    std::unique_ptr<NearestSamples> nearest_;
    std::vector<long long> fixedNodes_;  // nodes set by a sample, and their scores
    std::vector<double> fixedScores_;
    std::vector<int> offsetI_, offsetJ_;  // within the radius, nearest first
    std::vector<double> offsetD2_;        // their squared lengths
    // JoinOf's start: bucket b (squared lengths from b joinUnit_) begins at
    // offset joinStart_[b].
    double joinUnit_ = 1.0;
    std::vector<int> joinStart_;
    // The scan reads a node's marks in a grid widened on every side by the
    // offsets' reach, whose border is never simulated: no bounds checks.
    int marginI_ = 0, marginJ_ = 0;
    long long markedColumns_ = 0;
    std::vector<long long> offsetMark_;  // each offset as a step in that grid
    std::vector<long long> offsetNode_;  // and as a step in a realisation's field
    // Per node, when kept: up to `samples` nearest samples, and how many.
    bool keptSamples_ = false;
    std::vector<int> nodeSampleIds_, nodeSampleCount_, nodeSampleJoin_;
    std::vector<double> nodeSampleCovariance_;
    int tableReach_ = 0;         // the table covers offsets within +-reach
    std::vector<double> table_;  // node covariances by offset
    // When the table reaches every difference of two offsets, the
    // covariance of two simulated neighbours is one read: at the table's
    // centre plus the first's cell minus the second's (cells as below).
    bool tableCoversPairs_ = false;
    std::size_t tableCentre_ = 0;
    std::vector<long long> offsetCell_;  // each offset as a step in the table
};

// Runs realisations a few at a time, one per lane (see Cholesky.h): their
// nodes are simulated in step, each realisation along its own path, and
// their systems solved side by side. A realisation's bits do not depend on
// the lanes it shares a run with.
class SequentialSimulator {
public:
    // `lanes`: realisations at once, 1 or kCholeskyLanes (any other
    // positive count means the latter); 0 chooses kCholeskyLanes on grids
    // small enough that their state, once per lane, stays within a few
    // MiB, else 1.
    explicit SequentialSimulator(const SimulationPlan& plan, int lanes = 0);

    // The realisations a simulator of `plan` asked for `lanes` runs at once.
    static int LanesFor(const SimulationPlan& plan, int lanes);

    int Lanes() const { return static_cast<int>(lanes_.size()); }

    // Realisations first .. first + count - 1 (count <= Lanes()), their
    // normal scores into fields[0 .. count - 1], node after node (row 0
    // first).
    void Run(std::uint64_t seed, std::uint64_t first, int count, std::vector<double>* fields);

private:
    struct Lane;
    // A node as its column and row: the path holds these, so that a step
    // needs no division to find its node's place.
    struct Place {
        int i, j;
    };
    // The entry (a, b), a <= b, of a lane's system: the simulated nodes,
    // then the samples taken.
    double Entry(const Lane& lane, int a, int b) const;
    // The covariances of a lane's samples taken to its simulated nodes
    // and to each other (lane.sampleCovariances).
    void FillSampleCovariances(Lane& lane);
    // Where a node's mark lies in the widened grid.
    std::size_t MarkOf(long long node) const;
    // And that of the node in column i, row j.
    std::size_t MarkAt(int i, int j) const;
    // The node in column i, row j.
    std::size_t NodeAt(int i, int j) const;
    // The column and row of a lane's simulated neighbour na.
    int NeighbourColumn(const Lane& lane, std::size_t na) const;
    int NeighbourRow(const Lane& lane, std::size_t na) const;
    // Finds the lane's next node and its neighbours (`field`: the lane's
    // realisation), their table steps into cells[0], cells[Lanes()], ...
    void Gather(Lane& lane, const double* field, long long* cells);
    // The least-squares weights of a lane whose system is singular; its
    // right side's entries lie `stride` apart from `right`.
    void SolveSingular(const Lane& lane, const double* right, std::size_t stride, std::vector<double>& weights);

    const SimulationPlan& plan_;
    struct Lane {
        std::vector<std::uint8_t> simulated;  // in the widened grid (see offsetMark_)
        std::vector<Place> path;
        std::size_t cursor = 0;
        long long node = 0;
        std::size_t mark = 0;
        int ni = 0, nj = 0;
        SimulationPlan::NodeSampleScratch sampleScratch;
        SimulationPlan::NodeSampleList samples{};
        // Scratch buffers hold at least what the node needs (kn simulated
        // neighbours, ks samples taken) and are read no further.
        // The scan's offsets, each simulated one counted: the first kn are
        // the simulated neighbours'.
        std::vector<int> hits;
        std::vector<long long> neighbourNodes;  // where they lie in the field
        std::vector<int> chosen;                // the samples taken, as ids
        int ks = 0, kn = 0;
        // The samples' covariances to the nodes (ks x kn, sample after
        // sample), then to each other (a < b, row after row).
        std::vector<double> sampleCovariances;
        std::vector<double> nodeX, nodeY;  // the simulated neighbours' places
        std::vector<double> lagX, lagY;    // the lags evaluated at once
        // Where the covariance of the samples taken a < b lies.
        std::size_t PairAt(int a, int b) const {
            const std::size_t s = static_cast<std::size_t>(ks), i = static_cast<std::size_t>(a);
            return s * static_cast<std::size_t>(kn) + i * s - i * (i + 1) / 2 + static_cast<std::size_t>(b - a - 1);
        }
    };
    std::vector<Lane> lanes_;
    // The lanes' systems; their right sides (the covariances to the node,
    // then the values), projected in place; the sides as assembled.
    std::vector<double> matrix_, sides_, assembled_, singular_;
    // The lanes' simulated neighbours' steps in the table, neighbour after
    // neighbour, lane by lane within each.
    std::vector<long long> cells_;
};

}  // namespace mosaro
