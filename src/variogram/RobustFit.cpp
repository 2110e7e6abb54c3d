#include "variogram/RobustFit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "platform/FloatArith.h"
#include "variogram/LagClasses.h"
#include "platform/TextFormat.h"
#include "platform/WorkerPool.h"

namespace mosaro {
namespace {

// Lag, weight and semivariance of a class that enters the fit, the lag in
// units of the largest lag: the weights N / h^2 then stay within a few
// orders of magnitude whatever the unit of the coordinates.
struct FitClass {
    double h;
    double w;
    double g;
};

// The lower bound of the partial sill, relative to the largest
// semivariance: keeps the partial sill positive when the best fit would be
// a pure nugget (flat semivariances), small enough not to shape the fit.
constexpr double kPartialSillFloor = 1e-4;

// Ranges scanned before the golden-section refinement, evenly over
// (0, largest lag]: the residual is not unimodal in the range (it has kinks
// at every lag), so a coarse scan picks the basin first.
constexpr int kRangeScan = 200;
constexpr int kGoldenSteps = 60;

// The partition of the omnidirectional pair loop: fixed, so the sums (and
// the table) do not depend on the thread count.
constexpr int kPairChunks = 64;
// The most omnidirectional classes kept: bounds the per-chunk sums when the
// two cell sizes differ by orders of magnitude.
constexpr int kMaxOmnidirectionalClasses = 10000;
// Partners of a row classified together before their sums are added.
constexpr std::size_t kPairRun = 256;

// printf-style text of a reason; every float argument widened explicitly.
double Spherical(double h, double a) {
    if (h >= a) return 1.0;
    const double r = h / a;
    return 1.5 * r - 0.5 * r * r * r;
}

struct LinearFit {
    double nugget = 0.0;
    double partialSill = 0.0;
    double residual = std::numeric_limits<double>::infinity();
};

double Residual(const std::vector<FitClass>& classes, double a, double nugget, double partialSill) {
    double sum = 0.0;
    for (const FitClass& c : classes) {
        const double r = nugget + partialSill * Spherical(c.h, a) - c.g;
        sum += c.w * r * r;
    }
    return sum;
}

// Nugget and partial sill for the range a, minimising the weighted residual
// over nugget >= 0, partial sill >= floor. The residual is a convex
// quadratic, so its minimum over the quadrant is the free minimum when that
// is inside, else the minimum along one of the two edges; each candidate is
// evaluated and the least kept.
LinearFit FitLinearPart(const std::vector<FitClass>& classes, double a, double floor) {
    double sw = 0.0, sf = 0.0, sff = 0.0, sg = 0.0, sfg = 0.0;
    for (const FitClass& c : classes) {
        const double f = Spherical(c.h, a);
        sw += c.w;
        sf += c.w * f;
        sff += c.w * f * f;
        sg += c.w * c.g;
        sfg += c.w * f * c.g;
    }
    LinearFit best;
    const auto consider = [&](double nugget, double partialSill) {
        const double residual = Residual(classes, a, nugget, partialSill);
        if (residual < best.residual) best = LinearFit{nugget, partialSill, residual};
    };
    const double det = sw * sff - sf * sf;
    // Nearly collinear columns (every lag beyond the range) leave the split
    // between nugget and partial sill to the edges.
    if (det > 1e-12 * sw * sff) {
        const double nugget = (sff * sg - sf * sfg) / det;
        const double partialSill = (sw * sfg - sf * sg) / det;
        if (nugget >= 0.0 && partialSill >= floor) consider(nugget, partialSill);
    }
    // On a tie (every lag beyond the range) the nugget edge comes first: a
    // flat table is read as a nugget, not as a structure shorter than the
    // first lag.
    consider(std::max(0.0, (sg - floor * sf) / sw), floor);
    if (sff > 0.0) consider(0.0, std::max(floor, sfg / sff));
    return best;
}

struct FitOutcome {
    TVARIOGRAMMODEL model{};
    int classes = 0;
    double pairs = 0.0;
    bool rangeAtLargestLag = false;
    bool nuggetAtZero = false;
    bool sillAtFloor = false;
    bool allZero = false;
};

// Whether class k can enter a fit: some pairs, a positive finite lag and a
// finite semivariance.
bool Usable(const VariogramRows& rows, std::size_t k) {
    return rows.pairs[k] > 0.0f && rows.lag[k] > 0.0f && std::isfinite(rows.lag[k]) && std::isfinite(rows.gamma[k]);
}

std::vector<FitClass> UsableClasses(const VariogramRows& rows, double& largestLag, double& pairs) {
    largestLag = 0.0;
    pairs = 0.0;
    for (std::size_t k = 0; k < rows.Size(); ++k)
        if (Usable(rows, k)) largestLag = std::max(largestLag, f64(rows.lag[k]));
    std::vector<FitClass> classes;
    for (std::size_t k = 0; k < rows.Size(); ++k) {
        if (!Usable(rows, k)) continue;
        const double h = f64(rows.lag[k]) / largestLag;
        classes.push_back(FitClass{h, f64(rows.pairs[k]) / (h * h), f64(rows.gamma[k])});
        pairs += f64(rows.pairs[k]);
    }
    return classes;
}

bool Fit(const VariogramRows& rows, FitOutcome& out) {
    double largestLag = 0.0;
    const std::vector<FitClass> classes = UsableClasses(rows, largestLag, out.pairs);
    out.classes = static_cast<int>(classes.size());
    if (classes.size() < 2) return false;

    double largestGamma = 0.0;
    for (const FitClass& c : classes) largestGamma = std::max(largestGamma, c.g);
    if (largestGamma == 0.0) {
        // Every pair has equal values: no structure to fit. With no nugget
        // the weights do not depend on the scale of the partial sill, so a
        // unit one serves as well as any.
        out.allZero = true;
        out.model = TVARIOGRAMMODEL{0.0f, 1.0f, f32(largestLag), 1.0f};
        return true;
    }
    const double floor = kPartialSillFloor * largestGamma;

    double bestRange = 1.0;
    LinearFit best;
    int bestStep = kRangeScan;
    for (int step = 1; step <= kRangeScan; ++step) {
        const double a = static_cast<double>(step) / kRangeScan;
        const LinearFit fit = FitLinearPart(classes, a, floor);
        if (fit.residual < best.residual) {
            best = fit;
            bestRange = a;
            bestStep = step;
        }
    }
    // Golden section between the scanned neighbours of the best range.
    double lo = static_cast<double>(bestStep - 1) / kRangeScan;
    double hi = static_cast<double>(std::min(bestStep + 1, kRangeScan)) / kRangeScan;
    lo = std::max(lo, 0.5 / kRangeScan);
    const double ratio = 0.5 * (std::sqrt(5.0) - 1.0);
    double a1 = hi - ratio * (hi - lo), a2 = lo + ratio * (hi - lo);
    LinearFit f1 = FitLinearPart(classes, a1, floor), f2 = FitLinearPart(classes, a2, floor);
    for (int step = 0; step < kGoldenSteps; ++step) {
        if (f1.residual <= f2.residual) {
            hi = a2;
            a2 = a1;
            f2 = f1;
            a1 = hi - ratio * (hi - lo);
            f1 = FitLinearPart(classes, a1, floor);
        } else {
            lo = a1;
            a1 = a2;
            f1 = f2;
            a2 = lo + ratio * (hi - lo);
            f2 = FitLinearPart(classes, a2, floor);
        }
    }
    const double refined = f1.residual <= f2.residual ? a1 : a2;
    const LinearFit refinedFit = f1.residual <= f2.residual ? f1 : f2;
    if (refinedFit.residual < best.residual) {
        best = refinedFit;
        bestRange = refined;
    }

    out.model.fNugget = f32(best.nugget);
    out.model.fPartialSill = f32(best.partialSill);
    out.model.fRange = f32(bestRange * largestLag);
    out.model.fSill = f32(f64(out.model.fNugget) + f64(out.model.fPartialSill));
    out.rangeAtLargestLag = bestRange >= 1.0;
    out.nuggetAtZero = best.nugget == 0.0;
    out.sillAtFloor = best.partialSill <= floor;
    return true;
}

std::string Describe(const char* what, const FitOutcome& fit) {
    std::string text = FormatMessage("weighted least squares (pairs / lag^2) of %s: %d classes, %.0f pairs", what,
                                     fit.classes, fit.pairs);
    if (fit.allZero)
        return text + "; every semivariance is 0, so a unit partial sill (its scale does not change the weights)";
    if (fit.sillAtFloor) text += "; flat or falling semivariances, so almost all nugget";
    if (fit.nuggetAtZero) text += "; nugget at its bound 0";
    if (fit.rangeAtLargestLag) text += "; range at the largest lag (no sill reached within the lags)";
    return text;
}

const char* DirectionName(int d) { return d == 0 ? "x" : "y"; }

}  // namespace

VariogramRows ReadRows(const float* const* table, int classCount) {
    VariogramRows r;
    if (table == nullptr || classCount <= 0) return r;
    const std::size_t n = static_cast<std::size_t>(classCount);
    r.lag.assign(table[0], table[0] + n);
    r.pairs.assign(table[1], table[1] + n);
    r.gamma.assign(table[2], table[2] + n);
    return r;
}

bool FitSphericalWeighted(const VariogramRows& rows, TVARIOGRAMMODEL& model) {
    FitOutcome outcome;
    if (!Fit(rows, outcome)) return false;
    model = outcome.model;
    return true;
}

double WeightedResidual(const VariogramRows& rows, const TVARIOGRAMMODEL& model) {
    double largestLag = 0.0, pairs = 0.0;
    const std::vector<FitClass> classes = UsableClasses(rows, largestLag, pairs);
    if (classes.empty()) return 0.0;
    return Residual(classes, f64(model.fRange) / largestLag, f64(model.fNugget), f64(model.fPartialSill));
}

OmnidirectionalClasses ComputeOmnidirectionalClasses(const TGRIDCELLXY& grid, const TRECTXYMINMAX& rect) {
    const LagClassCounts counts = ComputeLagClassCounts(grid, rect);
    const double dx = f64(grid.fCellSizeX), dy = f64(grid.fCellSizeY);
    OmnidirectionalClasses classes;
    classes.width = std::min(dx, dy);
    const double largestLag = std::max(counts.x * dx, counts.y * dy);
    if (!(classes.width > 0.0) || !(largestLag > 0.0)) return classes;
    // The small allowance keeps a quotient that should be whole (the largest
    // lag over its own cell size) from losing a class to rounding.
    const double quotient = std::floor(largestLag / classes.width + 1e-9);
    classes.count = static_cast<int>(std::min(quotient, static_cast<double>(kMaxOmnidirectionalClasses)));
    return classes;
}

VariogramRows BuildOmnidirectionalVariogram(const float* x, const float* y, const double* values, int count,
                                            OmnidirectionalClasses classes, const Execution& execution) {
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    const std::size_t k = classes.count > 0 ? static_cast<std::size_t>(classes.count) : 0;
    VariogramRows rows;
    rows.lag.resize(k);
    rows.pairs.assign(k, 0.0f);
    rows.gamma.assign(k, 0.0f);
    for (std::size_t c = 0; c < k; ++c) rows.lag[c] = f32(static_cast<double>(c + 1) * classes.width);
    if (k == 0 || n < 2) return rows;

    // Row i has n - 1 - i pairs; chunk boundaries split the pairs evenly.
    std::vector<std::size_t> bounds(kPairChunks + 1, n);
    bounds[0] = 0;
    const double total = 0.5 * static_cast<double>(n) * static_cast<double>(n - 1);
    double before = 0.0;
    std::size_t chunk = 1;
    for (std::size_t i = 0; i < n && chunk < static_cast<std::size_t>(kPairChunks); ++i) {
        before += static_cast<double>(n - 1 - i);
        while (chunk < static_cast<std::size_t>(kPairChunks) &&
               before >= total * static_cast<double>(chunk) / kPairChunks)
            bounds[chunk++] = i + 1;
    }

    // Each row is taken in runs of kPairRun partners: first every distance
    // and class (no branch, so the compiler vectorises it), then the sums.
    // Class 0 collects what no class takes (closer than half a class,
    // beyond the last class, a distance that is not a number) and is
    // dropped. A multiplication by the inverse width places a distance on a
    // class boundary to within rounding, which is all an estimate of the
    // variogram needs.
    const double inverseWidth = 1.0 / classes.width;
    const double reach = (static_cast<double>(k) + 0.5) * classes.width;
    const double reach2 = reach * reach;
    // Class k + 1 takes a distance a rounding below the reach whose product
    // with the inverse width still rounds up past the last class; it is
    // dropped like class 0.
    const std::size_t slots = (k + 2) * 3;
    // Per chunk: pair count, distance sum, distance-weighted squared
    // difference sum of every class.
    std::vector<double> sums(static_cast<std::size_t>(kPairChunks) * slots, 0.0);
    const auto collect = [&](std::size_t c) {
        double* s = &sums[c * slots];
        double distance[kPairRun];
        std::int32_t cls[kPairRun];
        for (std::size_t i = bounds[c]; i < bounds[c + 1]; ++i) {
            if (execution.CancelRequested()) return;
            const double xi = f64(x[i]), yi = f64(y[i]), vi = values[i];
            for (std::size_t first = i + 1; first < n; first += kPairRun) {
                const std::size_t run = std::min<std::size_t>(kPairRun, n - first);
                for (std::size_t r = 0; r < run; ++r) {
                    const double ax = xi - f64(x[first + r]), ay = yi - f64(y[first + r]);
                    const double d2 = ax * ax + ay * ay;
                    const bool within = d2 < reach2;  // false for NaN
                    const double d = std::sqrt(within ? d2 : 0.0);
                    distance[r] = d;
                    cls[r] = static_cast<std::int32_t>(d * inverseWidth + 0.5);
                }
                for (std::size_t r = 0; r < run; ++r) {
                    const std::size_t at = static_cast<std::size_t>(cls[r]) * 3;
                    const double dv = vi - values[first + r];
                    s[at] += 1.0;
                    s[at + 1] += distance[r];
                    s[at + 2] += distance[r] * dv * dv;
                }
            }
        }
    };
    WorkerPool pool(execution.workers);
    pool.For(static_cast<std::size_t>(kPairChunks), 1, [&](std::size_t first, std::size_t last, int) {
        for (std::size_t c = first; c != last; ++c) collect(c);
    });
    execution.ThrowIfCancelled();

    for (std::size_t c = 0; c < k; ++c) {
        double pairs = 0.0, distance = 0.0, weighted = 0.0;
        for (std::size_t p = 0; p < static_cast<std::size_t>(kPairChunks); ++p) {
            const double* s = &sums[p * slots + (c + 1) * 3];
            pairs += s[0];
            distance += s[1];
            weighted += s[2];
        }
        rows.pairs[c] = f32(pairs);
        rows.gamma[c] = distance > 0.0 ? f32(weighted / (2.0 * distance)) : 0.0f;
    }
    return rows;
}

RobustFitResult FitRobustModels(const VariogramRows (&directions)[2],
                                const std::function<VariogramRows()>& buildOmnidirectional, bool keepTable,
                                VariogramRows& omnidirectional) {
    RobustFitResult result;
    FitOutcome own[2];
    bool enough[2];
    for (int d = 0; d < 2; ++d) {
        double largestLag = 0.0;
        const std::vector<FitClass> classes = UsableClasses(directions[d], largestLag, own[d].pairs);
        own[d].classes = static_cast<int>(classes.size());
        enough[d] = own[d].classes >= kMinDirectionalClasses && own[d].pairs >= kMinDirectionalPairs;
        if (enough[d]) Fit(directions[d], own[d]);
    }
    const bool needed = !(enough[0] && enough[1]);
    FitOutcome omni;
    if (needed || keepTable) {
        omnidirectional = buildOmnidirectional();
        result.omnidirectionalFitted = Fit(omnidirectional, omni);
        // Only a table the models depend on can make the run fail; one kept
        // for the report merely has no model.
        if (!result.omnidirectionalFitted && needed) throw TooFewPairsToFit();
    }
    if (result.omnidirectionalFitted) {
        result.omnidirectionalModel = omni.model;
        result.omnidirectionalReason = Describe("the omnidirectional table", omni);
    } else if (keepTable) {
        result.omnidirectionalReason = "no model: fewer than two classes of the omnidirectional table hold pairs";
    } else {
        result.omnidirectionalReason =
            "not built: each direction has enough pairs for a model of its own (a report with its "
            "tables has the omnidirectional one too)";
    }
    if (enough[0] && enough[1]) {
        for (int d = 0; d < 2; ++d) {
            result.models[d] = own[d].model;
            result.branches[d] = FitBranch::RobustDirectional;
            result.reasons[d] = Describe("this direction's table", own[d]);
        }
        return result;
    }
    for (int d = 0; d < 2; ++d) {
        result.models[d] = omni.model;
        result.branches[d] = FitBranch::RobustOmnidirectional;
        const int thin = enough[d] ? 1 - d : d;
        result.reasons[d] = FormatMessage(
            "the omnidirectional model, isotropic (anisotropy 1): the %s direction has %d classes "
            "with %.0f pairs, fewer than the %d classes and %.0f pairs a model of its own needs",
            DirectionName(thin), own[thin].classes, own[thin].pairs, kMinDirectionalClasses, kMinDirectionalPairs);
    }
    return result;
}

}  // namespace mosaro
