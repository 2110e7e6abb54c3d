#include "methods/LogarithmNormalKriging.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/PortableMath.h"

namespace mosaro {
namespace {

double ShiftedLogarithm(float value, float shift) { return NaturalLogarithm(f64(value) + f64(shift)); }

// The logarithm of the estimates, remembered by argument in a small
// direct-mapped table per thread: the same samples are neighbours of many
// nodes, and the engine's own logarithm (exact to the last bit on every
// platform) costs a few hundred nanoseconds. A pure function of its
// argument, so the table changes no bit.
class LogarithmMemo {
public:
    double operator()(float value, float shift) {
        const double argument = f64(value) + f64(shift);
        std::uint64_t key;
        std::memcpy(&key, &argument, sizeof key);
        Slot& slot = slots_[static_cast<std::size_t>(((key ^ (key >> 32)) * 0x9E3779B97F4A7C15u) >> (64 - kBits))];
        if (slot.key != key) slot = Slot{key, NaturalLogarithm(argument)};
        return slot.logarithm;
    }

private:
    static constexpr int kBits = 12;  // 4096 slots, 64 KiB
    // Every slot starts valid: the argument 1 and its logarithm, 0.
    struct Slot {
        std::uint64_t key = 0x3FF0000000000000u;
        double logarithm = 0.0;
    };
    std::array<Slot, std::size_t{1} << kBits> slots_;
};

class LogarithmNormalEstimate : public NodeMethod {
public:
    explicit LogarithmNormalEstimate(float shift) : shift_(shift) {}

    float Estimate(const NodeSolution& s) const override {
        const double halfSill = 0.5 * f64(s.constants->sill);
        const double halfMultiplier = 0.5 * f64(s.weights[s.neighbours]);
        thread_local LogarithmMemo logarithm;
        float logEstimate = 0.0f;
        for (int a = 0; a < s.neighbours; ++a) {
            const double term = ((logarithm(s.values[a], shift_) + halfSill) -
                                 0.5 * f64(s.rightSide[a])) -
                                halfMultiplier;
            logEstimate = f32(f64(logEstimate) + f64(s.weights[a]) * term);
        }
        return f32(NaturalExponential(f64(logEstimate)) - f64(shift_));
    }

    // The same back-transform in double; a neighbour whose shifted value
    // has no logarithm leaves the node without an estimate.
    double AccurateEstimate(const AccurateSolution& s) const override {
        const double halfSill = 0.5 * s.sill;
        const double halfMultiplier = 0.5 * s.weights[s.neighbours];
        double logEstimate = 0.0;
        for (int a = 0; a < s.neighbours; ++a) {
            const double logarithm = std::log(s.values[a] + f64(shift_));
            if (!std::isfinite(logarithm)) return std::numeric_limits<double>::quiet_NaN();
            logEstimate += s.weights[a] * (logarithm + halfSill - 0.5 * s.rightSide[a] - halfMultiplier);
        }
        return std::exp(logEstimate) - f64(shift_);
    }

private:
    float shift_;
};

}  // namespace

void BuildLogarithmVariograms(CKriging& estimator, float* const* ppPoints, float shift) {
    const std::size_t n =
        estimator.m_nPointCount > 0 ? static_cast<std::size_t>(estimator.m_nPointCount) : 0;
    std::vector<double> logarithms(n);
    for (std::size_t i = 0; i < n; ++i) logarithms[i] = ShiftedLogarithm(ppPoints[2][i], shift);
    BuildExperimentalVariograms(estimator, ppPoints, logarithms.data());
}

void RunLogarithmNormalSweep(const CKriging& estimator, float* const* ppPoints, float* pGrid,
                             float shift) {
    RunNodeSweep(estimator, ppPoints, pGrid, LogarithmNormalEstimate(shift));
}

}  // namespace mosaro

CLogarithmNormalKriging::CLogarithmNormalKriging(int nPointCount, int nNeighbourCount,
                                                 float fMethodParameter, TGRIDCELLXY GridCell,
                                                 TRECTXYMINMAX Rect)
    : CKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect) {}

CLogarithmNormalKriging::~CLogarithmNormalKriging() = default;

void CLogarithmNormalKriging::CalculateKrigingValue(float** ppPoints, float* pGrid) {
    mosaro::RunLogarithmNormalSweep(*this, ppPoints, pGrid, 0.0f);
}

void CLogarithmNormalKriging::CalculateVariogramValue(float** ppPoints) {
    mosaro::BuildLogarithmVariograms(*this, ppPoints, 0.0f);
}
