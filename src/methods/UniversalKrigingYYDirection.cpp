// Universal kriging with a drift quadratic in y: f = 1, y, y^2.
#include "methods/UniversalKriging.h"

namespace {

template <class T>
struct YYDriftTerms {
    static void Write(T x, T y, T* terms) {
        (void)x;
        terms[0] = y;
        terms[1] = mosaro::Product(y, y);
    }
};

}  // namespace

MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingYYDirection, 3, YYDriftTerms)
