// Universal kriging with a drift linear in y: f = 1, y.
#include "UniversalKriging.h"

namespace {

void DriftTerms(float x, float y, float* terms) {
    (void)x;
    terms[0] = y;
}

}  // namespace

MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingYDirection, 2, DriftTerms)
