// Universal kriging with a drift linear in x: f = 1, x.
#include "methods/UniversalKriging.h"

namespace {

template <class T>
struct XDriftTerms {
    static void Write(T x, T y, T* terms) {
        (void)y;
        terms[0] = x;
    }
};

}  // namespace

MOSARO_DEFINE_UNIVERSAL_DIRECTION(CUniversalKrigingXDirection, 2, XDriftTerms)
