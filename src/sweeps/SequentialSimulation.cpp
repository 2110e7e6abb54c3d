#include "sweeps/SequentialSimulation.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include <Eigen/Dense>

#include "platform/Random.h"
#include "systems/Cholesky.h"

namespace mosaro {
namespace {

// Offsets of the simulated-neighbour scan and of the covariance table: the
// scan visits at most this many, the table covers this many cells each way.
constexpr std::size_t kMaxOffsets = 1 << 16;
constexpr int kMaxTableReach = 256;

}  // namespace

SimulationPlan::SimulationPlan(const SimulationGrid& grid, const std::vector<double>& x, const std::vector<double>& y,
                               const std::vector<double>& scores, const CovarianceModel& model,
                               const SimulationNeighbourhood& neighbourhood)
    : grid_(grid), model_(model), neighbourhood_(neighbourhood) {
    for (std::size_t s = 0; s < x.size(); ++s) {
        // A sample on a node (to a millionth of a cell) sets the node.
        const double ci = (x[s] - grid.x0) / grid.dx, cj = (y[s] - grid.y0) / grid.dy;
        const double ri = std::round(ci), rj = std::round(cj);
        if (std::fabs(ci - ri) < 1e-6 && std::fabs(cj - rj) < 1e-6 && ri >= 0 && rj >= 0 && ri < grid.columns &&
            rj < grid.rows) {
            const long long node = static_cast<long long>(rj) * grid.columns + static_cast<long long>(ri);
            if (std::find(fixedNodes_.begin(), fixedNodes_.end(), node) == fixedNodes_.end()) {
                fixedNodes_.push_back(node);
                fixedScores_.push_back(scores[s]);
            }
            continue;
        }
        x_.push_back(x[s]);
        y_.push_back(y[s]);
        score_.push_back(scores[s]);
    }
    nearest_ = std::make_unique<NearestSamples>(x_.data(), y_.data(), static_cast<int>(x_.size()));

    // Offsets within the radius, nearest first, ties by row then column.
    const double radius = neighbourhood.radius;
    const int reachI = static_cast<int>(std::min<double>(std::floor(radius / grid.dx), grid.columns));
    const int reachJ = static_cast<int>(std::min<double>(std::floor(radius / grid.dy), grid.rows));
    struct Offset {
        double d2;
        int j, i;
    };
    std::vector<Offset> offsets;
    for (int j = -reachJ; j <= reachJ; ++j)
        for (int i = -reachI; i <= reachI; ++i) {
            if (i == 0 && j == 0) continue;
            const double d2 = (i * grid.dx) * (i * grid.dx) + (j * grid.dy) * (j * grid.dy);
            if (d2 <= radius * radius) offsets.push_back({d2, j, i});
        }
    std::sort(offsets.begin(), offsets.end(), [](const Offset& a, const Offset& b) {
        return a.d2 != b.d2 ? a.d2 < b.d2 : (a.j != b.j ? a.j < b.j : a.i < b.i);
    });
    if (offsets.size() > kMaxOffsets) offsets.resize(kMaxOffsets);
    for (const Offset& o : offsets) {
        offsetI_.push_back(o.i);
        offsetJ_.push_back(o.j);
        tableReach_ = std::max(tableReach_, std::max(std::abs(2 * o.i), std::abs(2 * o.j)));
    }
    tableReach_ = std::min(tableReach_, kMaxTableReach);
    const int side = 2 * tableReach_ + 1;
    table_.resize(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
    for (int j = -tableReach_; j <= tableReach_; ++j)
        for (int i = -tableReach_; i <= tableReach_; ++i)
            table_[static_cast<std::size_t>((j + tableReach_) * side + (i + tableReach_))] =
                model.At(i * grid.dx, j * grid.dy);
}

double SimulationPlan::NodeCovariance(int di, int dj) const {
    if (std::abs(di) > tableReach_ || std::abs(dj) > tableReach_) return model_.At(di * grid_.dx, dj * grid_.dy);
    const int side = 2 * tableReach_ + 1;
    return table_[static_cast<std::size_t>((dj + tableReach_) * side + (di + tableReach_))];
}

SequentialSimulator::SequentialSimulator(const SimulationPlan& plan)
    : plan_(plan), simulated_(static_cast<std::size_t>(plan.grid_.Nodes())), path_(simulated_.size()) {}

void SequentialSimulator::Run(std::uint64_t seed, std::uint64_t realisation, std::vector<double>& field) {
    const SimulationPlan& p = plan_;
    const SimulationGrid& g = p.grid_;
    const long long nodes = g.Nodes();
    field.assign(static_cast<std::size_t>(nodes), 0.0);
    std::fill(simulated_.begin(), simulated_.end(), 0);
    for (std::size_t f = 0; f < p.fixedNodes_.size(); ++f) {
        field[static_cast<std::size_t>(p.fixedNodes_[f])] = p.fixedScores_[f];
        simulated_[static_cast<std::size_t>(p.fixedNodes_[f])] = 1;
    }
    RandomStream random(seed, realisation);
    std::iota(path_.begin(), path_.end(), 0LL);
    for (std::size_t k = path_.size(); k > 1; --k) std::swap(path_[k - 1], path_[random.Below(k)]);

    const double radius2 = p.neighbourhood_.radius * p.neighbourhood_.radius;
    const double sill = p.model_.Sill();
    for (long long node : path_) {
        if (simulated_[static_cast<std::size_t>(node)] != 0) continue;
        const int ni = static_cast<int>(node % g.columns), nj = static_cast<int>(node / g.columns);
        const double x = g.x0 + ni * g.dx, y = g.y0 + nj * g.dy;
        p.nearest_->FindWithin(x, y, p.neighbourhood_.samples, radius2, samples_);
        nodes_.clear();
        for (std::size_t o = 0; o < p.offsetI_.size() && static_cast<int>(nodes_.size()) < p.neighbourhood_.simulated;
             ++o) {
            const int i = ni + p.offsetI_[o], j = nj + p.offsetJ_[o];
            if (i < 0 || j < 0 || i >= g.columns || j >= g.rows) continue;
            const long long other = static_cast<long long>(j) * g.columns + i;
            if (simulated_[static_cast<std::size_t>(other)] != 0) nodes_.push_back(static_cast<int>(other));
        }
        const int ks = static_cast<int>(samples_.size()), kn = static_cast<int>(nodes_.size()), k = ks + kn;
        double estimate = 0.0, variance = sill;
        if (k > 0) {
            const std::size_t n = static_cast<std::size_t>(k);
            matrix_.resize(n * n);
            rightSide_.resize(n);
            // Columns: the samples, then the simulated nodes (the lower
            // triangle is all the solve reads).
            auto position = [&](int a, double& px, double& py, int& gi, int& gj) {
                if (a < ks) {
                    const std::size_t s = static_cast<std::size_t>(samples_[static_cast<std::size_t>(a)]);
                    px = p.x_[s], py = p.y_[s], gi = gj = -1;
                } else {
                    const int other = nodes_[static_cast<std::size_t>(a - ks)];
                    gi = other % g.columns, gj = other / g.columns;
                    px = g.x0 + gi * g.dx, py = g.y0 + gj * g.dy;
                }
            };
            for (int a = 0; a < k; ++a) {
                double ax, ay;
                int ai, aj;
                position(a, ax, ay, ai, aj);
                for (int b = 0; b <= a; ++b) {
                    double bx, by;
                    int bi, bj;
                    position(b, bx, by, bi, bj);
                    matrix_[static_cast<std::size_t>(a) * n + static_cast<std::size_t>(b)] =
                        ai >= 0 && bi >= 0 ? p.NodeCovariance(ai - bi, aj - bj) : p.model_.At(ax - bx, ay - by);
                }
                rightSide_[static_cast<std::size_t>(a)] =
                    ai >= 0 ? p.NodeCovariance(ai - ni, aj - nj) : p.model_.At(ax - x, ay - y);
            }
            weights_ = rightSide_;
            if (!CholeskySolve(matrix_, k, weights_.data())) {
                // Two conditioning points at one place: the least-squares
                // solution of the full (symmetric) system.
                for (int a = 0; a < k; ++a) {
                    double ax, ay;
                    int ai, aj;
                    position(a, ax, ay, ai, aj);
                    for (int b = 0; b < k; ++b) {
                        double bx, by;
                        int bi, bj;
                        position(b, bx, by, bi, bj);
                        matrix_[static_cast<std::size_t>(a) * n + static_cast<std::size_t>(b)] =
                            ai >= 0 && bi >= 0 ? p.NodeCovariance(ai - bi, aj - bj) : p.model_.At(ax - bx, ay - by);
                    }
                }
                using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
                const Eigen::Map<const RowMajor> a(matrix_.data(), k, k);
                const Eigen::Map<const Eigen::VectorXd> b(rightSide_.data(), k);
                const Eigen::VectorXd w = a.completeOrthogonalDecomposition().solve(b);
                weights_.assign(w.data(), w.data() + k);
            }
            for (int a = 0; a < k; ++a) {
                const double value = a < ks ? p.score_[static_cast<std::size_t>(samples_[static_cast<std::size_t>(a)])]
                                            : field[static_cast<std::size_t>(nodes_[static_cast<std::size_t>(a - ks)])];
                estimate += weights_[static_cast<std::size_t>(a)] * value;
                variance -= weights_[static_cast<std::size_t>(a)] * rightSide_[static_cast<std::size_t>(a)];
            }
        }
        field[static_cast<std::size_t>(node)] = estimate + std::sqrt(std::max(variance, 0.0)) * random.Normal();
        simulated_[static_cast<std::size_t>(node)] = 1;
    }
}

}  // namespace mosaro
