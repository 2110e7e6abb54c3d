// Universal kriging: the mean of the field follows a polynomial drift in the
// scaled coordinates. Each direction class borders the ordinary-kriging
// system with its drift functions f_t (f0 = 1 first) and nothing else:
//   K[m + t][a] = K[a][m + t] = f_t(x_a, y_a),   r[m + t] = f_t(X, Y),
// with a zero block where the drift rows and columns meet. Squares and
// products are rounded to float before they enter the system.
//
// Degenerate input: fewer neighbours than drift functions, or neighbours
// that cannot determine the drift (all on one line x = constant for a drift
// in x), give a singular system that the pivot guard solves without error.
#pragma once

#include "legacy/Kriging.h"

// Intermediate base of the six drift forms; alone it estimates nothing.
class CUniversalKriging : public CKriging {
public:
    CUniversalKriging(int nPointCount, int nNeighbourCount, float fMethodParameter,
                      TGRIDCELLXY GridCell, TRECTXYMINMAX Rect);
    ~CUniversalKriging() override;
};

// Declares one direction class: the constructor of the family and the sweep.
#define MOSARO_DECLARE_UNIVERSAL_DIRECTION(ClassName)                                     \
    class ClassName : public CUniversalKriging {                                         \
    public:                                                                              \
        ClassName(int nPointCount, int nNeighbourCount, float fMethodParameter,          \
                  TGRIDCELLXY GridCell, TRECTXYMINMAX Rect);                             \
        ~ClassName() override;                                                           \
        void CalculateKrigingValue(float** ppPoints, float* pGrid) override;             \
    }

MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingXDirection);     // f1 = x
MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingYDirection);     // f1 = y
MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingXYDirection);    // f1 = x, f2 = y
MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingXXDirection);    // f1 = x, f2 = x^2
MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingYYDirection);    // f1 = y, f2 = y^2
MOSARO_DECLARE_UNIVERSAL_DIRECTION(CUniversalKrigingXXYYDirection);  // x, x^2, y, y^2, x*y

#undef MOSARO_DECLARE_UNIVERSAL_DIRECTION

namespace mosaro {

// Square or product of scaled coordinates: rounded to float in the legacy
// arithmetic, exact to double rounding in the accurate one.
inline float Product(float a, float b) { return f32(f64(a) * f64(b)); }
inline double Product(double a, double b) { return a * b; }

// The node procedure of ordinary kriging with a polynomial drift border:
// Terms(x, y, terms) writes the drift functions after the constant, in
// either arithmetic.
template <int Count, template <class> class Terms>
class PolynomialDrift : public NodeMethod {
public:
    int DriftCount() const override { return Count; }
    void Drift(float x, float y, float* terms) const override {
        terms[0] = 1.0f;
        Terms<float>::Write(x, y, terms + 1);
    }
    void AccurateDrift(double u, double v, double* terms) const override {
        terms[0] = 1.0;
        Terms<double>::Write(u, v, terms + 1);
    }
};

}  // namespace mosaro

// Defines a direction class whose drift after the constant term is
// TermsFunction<T>::Write (Count functions in all, the constant included),
// written once for both arithmetics: T is float in the legacy one and
// double in the accurate one. Each file names its terms apart: GCC gives an
// instantiation over a template template argument external linkage even
// when that argument lives in an unnamed namespace, so two files' terms of
// the same name would be folded into one.
#define MOSARO_DEFINE_UNIVERSAL_DIRECTION(ClassName, Count, TermsFunction)                  \
    ClassName::ClassName(int nPointCount, int nNeighbourCount, float fMethodParameter,     \
                         TGRIDCELLXY GridCell, TRECTXYMINMAX Rect)                         \
        : CUniversalKriging(nPointCount, nNeighbourCount, fMethodParameter, GridCell, Rect) {} \
    ClassName::~ClassName() = default;                                                     \
    void ClassName::CalculateKrigingValue(float** ppPoints, float* pGrid) {                \
        mosaro::RunNodeSweep(*this, ppPoints, pGrid,                                       \
                             mosaro::PolynomialDrift<Count, TermsFunction>());             \
    }
