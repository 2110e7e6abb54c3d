#include "methods/PolynomialDrift.h"

#include "platform/FloatArith.h"

namespace mosaro {
namespace {

class PolynomialDrift final : public NodeMethod {
public:
    PolynomialDrift(unsigned terms, int covariates) : terms_(terms), covariates_(covariates) {
        for (unsigned bit = kDriftX; bit <= kDriftXY; bit <<= 1) count_ += (terms & bit) != 0 ? 1 : 0;
    }

    int BorderSize() const override { return count_ + covariates_; }
    void Drift(float x, float y, float* out) const override { Write(x, y, out); }
    void Drift(double x, double y, const double* covariates, double* out) const override {
        Write(x, y, out);
        for (int c = 0; c < covariates_; ++c) out[count_ + c] = covariates[c];
    }

private:
    // Written once for both arithmetics; a square or product is stored in
    // the arithmetic's type (rounded to float in the legacy one).
    template <class T>
    void Write(T x, T y, T* out) const {
        const double X = static_cast<double>(x), Y = static_cast<double>(y);
        int t = 0;
        out[t++] = 1;
        if (terms_ & kDriftX) out[t++] = x;
        if (terms_ & kDriftXX) out[t++] = Stored<T>(X * X);
        if (terms_ & kDriftY) out[t++] = y;
        if (terms_ & kDriftYY) out[t++] = Stored<T>(Y * Y);
        if (terms_ & kDriftXY) out[t++] = Stored<T>(X * Y);
    }

    unsigned terms_;
    int covariates_;
    int count_ = 1;  // the constant and the polynomial terms
};

}  // namespace

std::unique_ptr<NodeMethod> MakePolynomialDrift(unsigned terms, int covariates) {
    return std::make_unique<PolynomialDrift>(terms, covariates);
}

}  // namespace mosaro
