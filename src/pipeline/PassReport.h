// What the pipeline found for one pass: the two fitted directional models,
// the branch each fit took, the averaged constants the sweep used, the
// experimental tables before and after pruning, the robust fit's choices,
// and the accurate sweep's node counts. Filled only when a report is asked
// for.
#pragma once

#include <string>
#include <vector>

#include "mosaro.h"
#include "sweeps/SweepPlan.h"
#include "systems/KrigingConstants.h"
#include "variogram/RobustFit.h"
#include "variogram/VariogramFit.h"

namespace mosaro {

struct PassReport {
    float threshold = 0.0f;  // indicator kriging: this pass's threshold
    TVARIOGRAMMODEL models[2]{};
    FitBranch branches[2] = {FitBranch::Spherical, FitBranch::Spherical};
    bool modelGiven = false;  // the caller's model was used; no tables
    KrigingConstants constants{};
    bool anisotropyReset = false;           // the ratio range_x / range_y was replaced by 1
    std::vector<float> tables[2][3];        // before pruning: [direction][row]
    std::vector<float> prunedTables[2][3];  // after pruning
    // What the legacy fit gave for the same tables; in a legacy run the
    // models above, in a robust run the models it replaced.
    TVARIOGRAMMODEL legacyModels[2]{};
    FitBranch legacyBranches[2] = {FitBranch::NotRun, FitBranch::NotRun};
    // Robust runs: why each direction got its model, the omnidirectional
    // table (kept with the other tables) and its model.
    bool robust = false;
    std::string reasons[2];
    VariogramRows omnidirectional;
    bool omnidirectionalFitted = false;  // its table was built (see FitRobustModels)
    TVARIOGRAMMODEL omnidirectionalModel{};
    std::string omnidirectionalReason;
    // The accurate sweep's node counts (all 0 in the legacy arithmetic).
    bool accurate = false;
    long long sweptNodes = 0;  // nodes of the grid (0 when the pass stopped after the fit)
    NodeTally nodes;
};

}  // namespace mosaro
