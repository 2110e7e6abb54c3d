// Universal kriging with a drift linear in x: f = 1, x.
#include "UniversalKriging.h"

namespace {

void DriftTerms(float x, float y, float* terms) {
    (void)y;
    terms[0] = x;
}

}  // namespace

MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingXDirection, 2, DriftTerms)
