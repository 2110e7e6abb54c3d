// The kriging methods by code and by name, and what each contributes to
// one pass of the pipeline: the quantities its experimental variograms are
// built from, and its node rules.
//
// Codes are the legacy entry point's (and the modern API's mosaro_method);
// names are what users type in the tool and in Python. Both front-ends take
// them from here.
#pragma once

#include <memory>
#include <vector>

#include "platform/SampleRows.h"
#include "systems/NodeMethod.h"

namespace mosaro {

enum MethodCode {
    kOrdinary = 1,
    kUniversalX = 2,
    kUniversalY = 3,
    kUniversalXY = 4,
    kUniversalXX = 5,
    kUniversalYY = 6,
    kUniversalXXYY = 7,
    kLognormal = 8,
    kLognormalThreeParameter = 9,
    kIndicator = 10,
    kCoKriging = 11,
};

struct MethodEntry {
    int code;
    const char* name;         // "ordinary", "universal-x", ..., "cokriging"
    const char* description;  // "ordinary kriging", ...
};

// Every method, in code order.
const std::vector<MethodEntry>& Methods();
// The entry of a code, or null.
const MethodEntry* FindMethod(int code);
// The entry of a name or of a code written as a number ("8"), or null.
const MethodEntry* FindMethod(const char* nameOrCode);

// A method as a run asks for it, in the legacy terms: the method
// parameter is the shift (9), the threshold count (10) or the variable
// count (11), truncated toward zero.
struct MethodSpec {
    int code = kOrdinary;
    float parameter = 0.0f;
    const float* thresholds = nullptr;  // indicator kriging: `parameter` of them
};

// The polynomial drift terms (DriftTerm bits) of a universal method; 0 for
// every other method.
unsigned DriftTermsOf(int code);

// Passes of the pipeline: one per threshold of indicator kriging (none for
// a parameter below 1), else one.
int PassCount(const MethodSpec& method);

struct MethodPass {
    // Per sample entry, the quantity whose differences enter the
    // experimental variograms: the value, ln(value + shift) or the
    // indicator, widened to double.
    std::vector<double> variogramValues;
    // Null when the method cannot sweep (co-kriging of fewer than one
    // variable): the grid is then left as it is.
    std::unique_ptr<NodeMethod> rules;
    float threshold = 0.0f;  // indicator kriging
};

// Pass `pass` of `method` over `samples` (co-kriging: one block per
// variable) with `neighbours` system columns per node.
MethodPass MakePass(const MethodSpec& method, const SampleRows& samples, int neighbours, int pass);

// The node rules alone, as the legacy estimator classes need them.
std::unique_ptr<NodeMethod> MakeRules(const MethodSpec& method, const SampleRows& samples, int neighbours, int pass);

}  // namespace mosaro
