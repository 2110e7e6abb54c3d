// Universal kriging with a drift linear in y: f = 1, y.
#include "methods/UniversalKriging.h"

namespace {

template <class T>
struct YDriftTerms {
    static void Write(T x, T y, T* terms) {
        (void)x;
        terms[0] = y;
    }
};

}  // namespace

MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingYDirection, 2, YDriftTerms)
