// Chief header of the kriging engine: the public estimator classes plus the
// shared machinery every method builds on.
#pragma once

#include "mosaro.h"

#include "variogram/ExperimentalVariogram.h"
#include "platform/FloatArith.h"
#include "variogram/LagClasses.h"
#include "systems/NodeProcedure.h"
#include "pipeline/RunContext.h"
#include "systems/Solver.h"
#include "variogram/VariogramFit.h"
#include "variogram/VariogramTable.h"
