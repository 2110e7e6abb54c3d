// Universal kriging with a drift quadratic in x: f = 1, x, x^2.
#include "methods/UniversalKriging.h"

namespace {

template <class T>
struct XXDriftTerms {
    static void Write(T x, T y, T* terms) {
        (void)y;
        terms[0] = x;
        terms[1] = mosaro::Product(x, x);
    }
};

}  // namespace

MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingXXDirection, 3, XXDriftTerms)
