// The accurate arithmetic's LU factorisation, solve and condition estimate
// (DenseLu) run on several symmetric systems of one order at once, one
// system per vector lane: 4 doubles to a 256-bit vector (AVX2), 8 to a
// 512-bit one (AVX-512).
//
// A node system has a few dozen rows. Vectorising along a row wastes most
// of each vector on the short rows near the end of the elimination and of
// every substitution; vectorising across systems fills every lane at every
// step. Each lane runs DenseLu's sequence exactly: the same double
// operations in the same order, the pivot search as a per-lane comparison,
// the row exchange per lane, the condition estimate's iteration stopping
// per lane (a lane that has stopped runs on idle, and its results are not
// read). So each lane gives DenseLu's bits.
#pragma once

#include <cstddef>
#include <vector>

#include "systems/LaneSolver.h"

namespace mosaro {

// What DenseLu says of one system.
struct LaneLuOutcome {
    bool regular = false;              // no pivot vanished; otherwise nothing below was formed
    double pivotRatio = 0.0;           // SmallestPivot() / LargestPivot()
    double reciprocalCondition = 0.0;  // ReciprocalCondition()
};

class LaneLu {
public:
    // Systems per batch for `requested` on this processor: 4 or 8, or 1
    // where it has no wide vectors (solve one at a time with DenseLu).
    static int Width(SolverLanes requested) { return SolverLaneCount(requested); }

    // Factorises `lanes` symmetric systems of order `order` (lanes as Width
    // gives, 4 or 8), given one after another, each row after row: entry
    // (r, c) of system l at matrices[(l * order + r) * order + c] (read
    // only). Solves each with its right-hand side (row r of system l at
    // rightSides[l * order + r]) in the pass of its condition estimate, as
    // DenseLu::ReciprocalCondition does with `alongside`. Returns false,
    // having done nothing, when the processor lacks the width.
    //
    // The factorisation works lane by lane (entry (r, c) of every system in
    // one vector); it lays the systems out so itself, in one pass that
    // stores each vector whole. A caller that assembled its systems in lane
    // layout would scatter every entry to its own cache line instead.
    bool Solve(const double* matrices, int order, const double* rightSides, int lanes, LaneLuOutcome* outcomes);

    // Unknown r of system l after Solve (meaningful for regular systems).
    double Solution(int lane, int r) const {
        return solution_[static_cast<std::size_t>(r) * static_cast<std::size_t>(lanes_) +
                         static_cast<std::size_t>(lane)];
    }

private:
    int lanes_ = 0;
    std::vector<double> lu_, work_, solution_;
    std::vector<long long> pivot_;
    std::vector<std::size_t> exchanges_;
};

}  // namespace mosaro
