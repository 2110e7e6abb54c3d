// Universal kriging with the full quadratic drift: f = 1, x, x^2, y, y^2, x*y.
#include "methods/UniversalKriging.h"

namespace {

template <class T>
struct XXYYDriftTerms {
    static void Write(T x, T y, T* terms) {
        terms[0] = x;
        terms[1] = mosaro::Product(x, x);
        terms[2] = y;
        terms[3] = mosaro::Product(y, y);
        terms[4] = mosaro::Product(x, y);
    }
};

}  // namespace

MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingXXYYDirection, 6, XXYYDriftTerms)
