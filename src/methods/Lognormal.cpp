#include "methods/Lognormal.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "platform/FloatArith.h"
#include "platform/PortableMath.h"

namespace mosaro {
namespace {

// The logarithm of a sum, remembered by its argument in a small
// direct-mapped table per thread: the same samples are neighbours of many
// nodes, and the library's own logarithm costs a few hundred nanoseconds.
// A pure function of its argument, so the table changes no bit.
class LogarithmMemo {
public:
    double operator()(double argument) {
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

class Lognormal final : public NodeMethod {
public:
    explicit Lognormal(float shift) : shift_(shift) {}

    float Estimate(const NodeSolution<float>& s) const override { return BackTransformed(s); }
    double Estimate(const NodeSolution<double>& s) const override { return BackTransformed(s); }

private:
    // Written once for both arithmetics: every term in double, the running
    // sum and the result stored in the arithmetic's type.
    template <class T>
    T BackTransformed(const NodeSolution<T>& s) const {
        constexpr bool accurate = std::is_same_v<T, double>;
        thread_local LogarithmMemo logarithm;
        const double halfSill = 0.5 * static_cast<double>(s.sill);
        const double halfMultiplier = 0.5 * static_cast<double>(s.weights[s.columns]);
        T logEstimate = 0;
        for (int a = 0; a < s.columns; ++a) {
            const double l = logarithm(static_cast<double>(s.values[a]) + f64(shift_));
            // The accurate arithmetic gives no estimate rather than one
            // carried by an infinity.
            if (accurate && !std::isfinite(l)) return std::numeric_limits<T>::quiet_NaN();
            const double term = ((l + halfSill) - 0.5 * static_cast<double>(s.rightSide[a])) - halfMultiplier;
            logEstimate = Stored<T>(static_cast<double>(logEstimate) + static_cast<double>(s.weights[a]) * term);
        }
        return Stored<T>(NaturalExponential(static_cast<double>(logEstimate)) - f64(shift_));
    }

    float shift_;
};

}  // namespace

double ShiftedLogarithm(float value, float shift) { return NaturalLogarithm(f64(value) + f64(shift)); }

std::unique_ptr<NodeMethod> MakeLognormal(float shift) { return std::make_unique<Lognormal>(shift); }

}  // namespace mosaro
