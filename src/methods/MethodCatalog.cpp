#include "methods/MethodCatalog.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "methods/CoKriging.h"
#include "methods/Indicator.h"
#include "methods/Lognormal.h"
#include "methods/PolynomialDrift.h"
#include "platform/FloatArith.h"

namespace mosaro {
namespace {

// trunc(parameter); below 1 or NaN means no threshold, beyond int more
// than any indicator table holds (refused by the size check).
int ThresholdCount(float parameter) {
    const int count = TruncatedCount(parameter);
    if (count < 0) return f64(parameter) >= 1.0 ? INT_MAX : 0;
    return count;
}

}  // namespace

const std::vector<MethodEntry>& Methods() {
    static const std::vector<MethodEntry> methods = {
        {kOrdinary, "ordinary", "ordinary kriging"},
        {kUniversalX, "universal-x", "universal kriging, linear drift in x"},
        {kUniversalY, "universal-y", "universal kriging, linear drift in y"},
        {kUniversalXY, "universal-xy", "universal kriging, linear drift in x and y"},
        {kUniversalXX, "universal-xx", "universal kriging, quadratic drift in x"},
        {kUniversalYY, "universal-yy", "universal kriging, quadratic drift in y"},
        {kUniversalXXYY, "universal-xxyy", "universal kriging, full quadratic drift"},
        {kLognormal, "lognormal", "lognormal kriging"},
        {kLognormalThreeParameter, "lognormal3", "three-parameter lognormal kriging"},
        {kIndicator, "indicator", "indicator kriging"},
        {kCoKriging, "cokriging", "co-kriging"},
    };
    return methods;
}

const MethodEntry* FindMethod(int code) {
    for (const MethodEntry& entry : Methods())
        if (entry.code == code) return &entry;
    return nullptr;
}

const MethodEntry* FindMethod(const char* nameOrCode) {
    if (nameOrCode == nullptr) return nullptr;
    for (const MethodEntry& entry : Methods())
        if (std::strcmp(nameOrCode, entry.name) == 0 || nameOrCode == std::to_string(entry.code)) return &entry;
    return nullptr;
}

unsigned DriftTermsOf(int code) {
    switch (code) {
        case kUniversalX: return kDriftX;
        case kUniversalY: return kDriftY;
        case kUniversalXY: return kDriftX | kDriftY;
        case kUniversalXX: return kDriftX | kDriftXX;
        case kUniversalYY: return kDriftY | kDriftYY;
        case kUniversalXXYY: return kDriftX | kDriftXX | kDriftY | kDriftYY | kDriftXY;
        default: return 0;
    }
}

int PassCount(const MethodSpec& method) { return method.code == kIndicator ? ThresholdCount(method.parameter) : 1; }

std::unique_ptr<NodeMethod> MakeRules(const MethodSpec& method, const SampleRows& samples, int neighbours, int pass) {
    switch (method.code) {
        case kUniversalX:
        case kUniversalY:
        case kUniversalXY:
        case kUniversalXX:
        case kUniversalYY:
        case kUniversalXXYY: return MakePolynomialDrift(DriftTermsOf(method.code));
        case kLognormal: return MakeLognormal(0.0f);
        case kLognormalThreeParameter: return MakeLognormal(method.parameter);
        case kIndicator: return MakeIndicator(method.thresholds[pass]);
        case kCoKriging: {
            const int variables = TruncatedCount(method.parameter);
            if (variables < 1) return nullptr;
            const int perBlock = samples.count > 0 ? samples.count / variables : 0;
            // No more locations than a block holds; the sweep likewise takes
            // at most every sample as a system column.
            const int nearest = std::min(neighbours > 0 ? neighbours / variables : 0, perBlock);
            return MakeCoKriging(variables, perBlock, nearest);
        }
        case kOrdinary:
        default: return std::make_unique<NodeMethod>();
    }
}

MethodPass MakePass(const MethodSpec& method, const SampleRows& samples, int neighbours, int pass) {
    MethodPass p;
    const std::size_t n = samples.count > 0 ? static_cast<std::size_t>(samples.count) : 0;
    p.variogramValues.resize(n);
    switch (method.code) {
        case kLognormal:
        case kLognormalThreeParameter: {
            const float shift = method.code == kLognormal ? 0.0f : method.parameter;
            for (std::size_t i = 0; i < n; ++i) p.variogramValues[i] = ShiftedLogarithm(samples.value[i], shift);
            break;
        }
        case kIndicator:
            p.threshold = method.thresholds[pass];
            for (std::size_t i = 0; i < n; ++i) p.variogramValues[i] = f64(Indicator(samples.value[i], p.threshold));
            break;
        default:
            for (std::size_t i = 0; i < n; ++i) p.variogramValues[i] = f64(samples.value[i]);
    }
    p.rules = MakeRules(method, samples, neighbours, pass);
    return p;
}

}  // namespace mosaro
