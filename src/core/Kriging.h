// Chief header of the kriging engine: the public estimator classes plus the
// shared machinery every method builds on.
#pragma once

#include "mosaro.h"

#include "ExperimentalVariogram.h"
#include "FloatArith.h"
#include "LagClasses.h"
#include "NodeProcedure.h"
#include "RunContext.h"
#include "Solver.h"
#include "VariogramFit.h"
#include "VariogramTable.h"
