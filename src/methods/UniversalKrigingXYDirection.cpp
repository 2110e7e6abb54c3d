// Universal kriging with a planar drift: f = 1, x, y.
#include "methods/UniversalKriging.h"

namespace {

template <class T>
struct XYDriftTerms {
    static void Write(T x, T y, T* terms) {
        terms[0] = x;
        terms[1] = y;
    }
};

}  // namespace

MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingXYDirection, 3, XYDriftTerms)
