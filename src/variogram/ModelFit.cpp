#include "variogram/ModelFit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/Counts.h"
#include "platform/PortableMath.h"
#include "variogram/NonNegativeLeastSquares.h"

namespace mosaro {
namespace {

constexpr double kDegree = 3.141592653589793 / 180.0;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct Row {
    double pairs, distance, gamma;
};

std::vector<Row> UsableRows(const std::vector<LagClass>& classes, FitMethod method) {
    std::vector<Row> rows;
    for (const LagClass& c : classes) {
        if (c.pairs == 0 || !std::isfinite(c.gamma) || !std::isfinite(c.meanDistance)) continue;
        if (method == FitMethod::kPairsOverLagSquared && c.meanDistance == 0.0) continue;
        rows.push_back({CountAsDouble(c.pairs), c.meanDistance, c.gamma});
    }
    return rows;
}

// The weight of a row; method 2's is divided by the model's gamma^2 later.
double BaseWeight(const Row& r, FitMethod method) {
    switch (method) {
        case FitMethod::kOrdinary: return 1.0;
        case FitMethod::kPairsOverLagSquared: return r.pairs / (r.distance * r.distance);
        case FitMethod::kPairs:
        case FitMethod::kPairsOverModelSquared: return r.pairs;
    }
    return 1.0;
}

// A free nonlinear parameter: its structure, whether range or shape, and
// the bounds and start of its logarithm (NaN start: automatic).
struct Unknown {
    std::size_t structure;
    bool isRange;
    double lower, upper;
    double start;
};

class Problem {
public:
    Problem(std::vector<Row> rows, double upperEdge, const FitTemplate& t, const FitOptions& options)
        : rows_(std::move(rows)), template_(t), method_(options.method) {
        directionX_ = Sine(options.azimuth * kDegree);
        directionY_ = Cosine(options.azimuth * kDegree);
        for (const Row& r : rows_) maxDistance_ = std::max(maxDistance_, r.distance);
        for (std::size_t i = 0; i < t.structures.size(); ++i) {
            const StructureTemplate& s = t.structures[i];
            const FamilyTraits& traits = TraitsOf(s.family);
            Structure out;
            out.family = s.family;
            out.azimuth = s.azimuth;
            out.ratio = s.ratio;
            if (traits.range != RangeUse::kNone) {
                if (s.range.IsFixed()) {
                    out.range = s.range.value;
                } else {
                    out.range = maxDistance_ / 3.0;
                    unknowns_.push_back({i, true, NaturalLogarithm(maxDistance_ * 1e-3),
                                         NaturalLogarithm(kMaxRangeFactor * upperEdge), StartOf(s.range)});
                }
            }
            if (traits.takesShape) {
                if (s.shape.IsFixed()) {
                    out.shape = s.shape.value;
                } else {
                    out.shape = traits.defaultShape;
                    unknowns_.push_back(
                        {i, false, NaturalLogarithm(0.01), NaturalLogarithm(traits.shapeMax), StartOf(s.shape)});
                }
            }
            if (s.partialSill.IsFixed()) out.partialSill = s.partialSill.value;
            structures_.push_back(out);
        }
    }

    const std::vector<Unknown>& Unknowns() const { return unknowns_; }
    double MaxDistance() const { return maxDistance_; }

    // The model at the logarithms `theta` (clamped to their bounds), its
    // nugget and sills by non-negative least squares, and its SSE.
    double Solve(const std::vector<double>& theta, VariogramModel* model) const {
        std::vector<Structure> structures = structures_;
        for (std::size_t u = 0; u < unknowns_.size(); ++u) {
            const Unknown& k = unknowns_[u];
            const double value = NaturalExponential(std::min(std::max(theta[u], k.lower), k.upper));
            Structure& s = structures[k.structure];
            if (k.isRange) s.range = value;
            else s.shape = std::min(value, TraitsOf(s.family).shapeMax);
        }
        const std::size_t n = rows_.size();
        const std::size_t m = structures.size();
        const bool nuggetFree = template_.hasNugget && !template_.nugget.IsFixed();
        const double fixedNugget = template_.hasNugget && template_.nugget.IsFixed() ? template_.nugget.value : 0.0;
        // Columns of the free sills: m stands for the nugget.
        std::vector<std::size_t> columns;
        if (nuggetFree) columns.push_back(m);
        for (std::size_t i = 0; i < m; ++i)
            if (!template_.structures[i].partialSill.IsFixed()) columns.push_back(i);
        std::vector<double> basis(n * (m + 1), 1.0);  // column m: the nugget's
        std::vector<double> fixedPart(n, fixedNugget);
        for (std::size_t i = 0; i < m; ++i) {
            Structure unit = structures[i];
            unit.partialSill = 1.0;
            const VariogramModel one(0.0, {unit});
            for (std::size_t r = 0; r < n; ++r) {
                const double g = one.Semivariance(rows_[r].distance * directionX_, rows_[r].distance * directionY_);
                basis[r * (m + 1) + i] = g;
                if (template_.structures[i].partialSill.IsFixed()) fixedPart[r] += structures[i].partialSill * g;
            }
        }
        std::vector<double> sills(columns.size(), 0.0);
        std::vector<double> modelGamma(fixedPart);
        // Method 2 re-weights with the model of the pass before, starting
        // from the pair counts, until the weights settle.
        const int passes = method_ == FitMethod::kPairsOverModelSquared ? 20 : 1;
        for (int pass = 0; pass < passes && !columns.empty(); ++pass) {
            std::vector<double> a(n * columns.size()), b(n);
            for (std::size_t r = 0; r < n; ++r) {
                double w = BaseWeight(rows_[r], method_);
                if (method_ == FitMethod::kPairsOverModelSquared && pass > 0) {
                    if (!(modelGamma[r] > 0.0)) return kInfinity;
                    w /= modelGamma[r] * modelGamma[r];
                }
                const double root = std::sqrt(w);
                for (std::size_t c = 0; c < columns.size(); ++c)
                    a[r * columns.size() + c] = root * basis[r * (m + 1) + columns[c]];
                b[r] = root * (rows_[r].gamma - fixedPart[r]);
            }
            const std::vector<double> next = NonNegativeLeastSquares(a, b, n, columns.size());
            double change = 0.0, size = 0.0;
            for (std::size_t c = 0; c < columns.size(); ++c) {
                change = std::max(change, std::fabs(next[c] - sills[c]));
                size = std::max(size, std::fabs(next[c]));
            }
            sills = next;
            for (std::size_t r = 0; r < n; ++r) {
                double g = fixedPart[r];
                for (std::size_t c = 0; c < columns.size(); ++c) g += sills[c] * basis[r * (m + 1) + columns[c]];
                modelGamma[r] = g;
            }
            if (pass > 0 && change <= 1e-13 * size) break;
        }
        if (method_ == FitMethod::kPairsOverModelSquared && !columns.empty())
            RefineModelWeighted(basis, m, columns, fixedPart, sills, modelGamma);
        double nugget = fixedNugget;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (columns[c] == m) nugget = sills[c];
            else structures[columns[c]].partialSill = sills[c];
        }
        double sse = 0.0;
        for (std::size_t r = 0; r < n; ++r) {
            double w = BaseWeight(rows_[r], method_);
            if (method_ == FitMethod::kPairsOverModelSquared) {
                if (!(modelGamma[r] > 0.0)) return kInfinity;
                w /= modelGamma[r] * modelGamma[r];
            }
            const double residual = rows_[r].gamma - modelGamma[r];
            sse += w * residual * residual;
        }
        if (model) *model = VariogramModel(nugget, structures);
        return std::isfinite(sse) ? sse : kInfinity;
    }

private:
    // Method 2's criterion sum N_j (gamma_j / g_j - 1)^2 (g the model) is not
    // minimised by the re-weighting's fixed point: from there, projected
    // Gauss-Newton steps on the criterion itself, each the non-negative
    // least squares of the linearised residuals, halved until it gains.
    void RefineModelWeighted(const std::vector<double>& basis, std::size_t m, const std::vector<std::size_t>& columns,
                             const std::vector<double>& fixedPart, std::vector<double>& sills,
                             std::vector<double>& modelGamma) const {
        const std::size_t n = rows_.size(), k = columns.size();
        auto criterion = [&](const std::vector<double>& g) {
            double sum = 0.0;
            for (std::size_t r = 0; r < n; ++r) {
                if (!(g[r] > 0.0)) return kInfinity;
                const double e = rows_[r].gamma / g[r] - 1.0;
                sum += rows_[r].pairs * e * e;
            }
            return sum;
        };
        auto modelOf = [&](const std::vector<double>& c) {
            std::vector<double> g(fixedPart);
            for (std::size_t r = 0; r < n; ++r)
                for (std::size_t j = 0; j < k; ++j) g[r] += c[j] * basis[r * (m + 1) + columns[j]];
            return g;
        };
        double current = criterion(modelGamma);
        if (!std::isfinite(current)) return;
        for (int step = 0; step < 30; ++step) {
            // r_j = sqrt(N_j) (gamma_j / g_j - 1); d r_j / d c = -sqrt(N_j) gamma_j f_j / g_j^2.
            std::vector<double> jacobian(n * k), target(n);
            for (std::size_t r = 0; r < n; ++r) {
                const double root = std::sqrt(rows_[r].pairs), g = modelGamma[r];
                const double residual = root * (rows_[r].gamma / g - 1.0);
                double jc = 0.0;
                for (std::size_t j = 0; j < k; ++j) {
                    const double d = root * rows_[r].gamma * basis[r * (m + 1) + columns[j]] / (g * g);
                    jacobian[r * k + j] = d;  // of -r
                    jc += d * sills[j];
                }
                target[r] = residual + jc;  // min || J c' - (r + J c) ||, c' >= 0
            }
            const std::vector<double> proposal = NonNegativeLeastSquares(jacobian, target, n, k);
            double length = 1.0;
            bool gained = false;
            for (int halving = 0; halving < 30 && !gained; ++halving, length *= 0.5) {
                std::vector<double> trial(k);
                for (std::size_t j = 0; j < k; ++j) trial[j] = sills[j] + length * (proposal[j] - sills[j]);
                const std::vector<double> g = modelOf(trial);
                const double value = criterion(g);
                if (value < current) {
                    gained = current - value > 1e-14 * current;
                    sills = trial;
                    modelGamma = g;
                    current = value;
                    if (!gained) return;
                }
            }
            if (!gained) return;
        }
    }

    static double StartOf(const FitParameter& p) {
        return p.kind == FitParameter::Kind::kStartingAt && p.value > 0.0 ? NaturalLogarithm(p.value) : std::nan("");
    }

    std::vector<Row> rows_;
    FitTemplate template_;
    FitMethod method_;
    double directionX_ = 0.0, directionY_ = 1.0;
    double maxDistance_ = 0.0;
    std::vector<Structure> structures_;
    std::vector<Unknown> unknowns_;
};

// Nelder-Mead within the box of the unknowns (points are clamped into it),
// with the usual coefficients; stops when the simplex's values agree to
// 1e-13 (relative) or after `budget` evaluations.
struct SearchPoint {
    std::vector<double> theta;
    double value;
};

SearchPoint NelderMead(const Problem& problem, std::vector<double> start, double step, int budget) {
    const std::vector<Unknown>& u = problem.Unknowns();
    const std::size_t d = u.size();
    auto clamp = [&](std::vector<double>& t) {
        for (std::size_t i = 0; i < d; ++i) t[i] = std::min(std::max(t[i], u[i].lower), u[i].upper);
    };
    auto evaluate = [&](std::vector<double> t) {
        clamp(t);
        return SearchPoint{t, problem.Solve(t, nullptr)};
    };
    std::vector<SearchPoint> simplex;
    clamp(start);
    simplex.push_back(evaluate(start));
    for (std::size_t i = 0; i < d; ++i) {
        std::vector<double> t = start;
        t[i] += (t[i] + step <= u[i].upper) ? step : -step;
        simplex.push_back(evaluate(t));
    }
    int evaluations = static_cast<int>(d) + 1;
    auto byValue = [](const SearchPoint& a, const SearchPoint& b) { return a.value < b.value; };
    while (evaluations < budget) {
        std::stable_sort(simplex.begin(), simplex.end(), byValue);
        const double best = simplex.front().value, worst = simplex.back().value;
        if (std::isfinite(worst) && worst - best <= 1e-13 * std::fabs(best) + 1e-300) break;
        std::vector<double> centroid(d, 0.0);
        for (std::size_t i = 0; i < d; ++i) {
            for (std::size_t j = 0; j + 1 < simplex.size(); ++j) centroid[i] += simplex[j].theta[i];
            centroid[i] /= static_cast<double>(d);
        }
        auto along = [&](double factor) {
            std::vector<double> t(d);
            for (std::size_t i = 0; i < d; ++i) t[i] = centroid[i] + factor * (simplex.back().theta[i] - centroid[i]);
            ++evaluations;
            return evaluate(t);
        };
        const SearchPoint reflected = along(-1.0);
        if (reflected.value < simplex.front().value) {
            const SearchPoint expanded = along(-2.0);
            simplex.back() = expanded.value < reflected.value ? expanded : reflected;
        } else if (reflected.value < simplex[simplex.size() - 2].value) {
            simplex.back() = reflected;
        } else {
            const SearchPoint contracted = reflected.value < simplex.back().value ? along(-0.5) : along(0.5);
            if (contracted.value < std::min(reflected.value, simplex.back().value)) {
                simplex.back() = contracted;
            } else {
                for (std::size_t j = 1; j < simplex.size(); ++j) {
                    std::vector<double> t(d);
                    for (std::size_t i = 0; i < d; ++i)
                        t[i] = simplex.front().theta[i] + 0.5 * (simplex[j].theta[i] - simplex.front().theta[i]);
                    simplex[j] = evaluate(t);
                    ++evaluations;
                }
            }
        }
    }
    std::stable_sort(simplex.begin(), simplex.end(), byValue);
    return simplex.front();
}

// Starting points: per unknown a few values, combined; the given starts and
// gstat's (range = max h / 3, the family's default shape) first.
std::vector<std::vector<double>> Starts(const Problem& problem, const FitTemplate& t) {
    const std::vector<Unknown>& u = problem.Unknowns();
    std::vector<std::vector<double>> choices(u.size());
    for (std::size_t i = 0; i < u.size(); ++i) {
        if (!std::isnan(u[i].start)) choices[i].push_back(u[i].start);
        if (u[i].isRange) {
            for (double f : {1.0 / 3.0, 0.05, 0.15, 0.7, 2.0})
                choices[i].push_back(NaturalLogarithm(problem.MaxDistance() * f));
        } else {
            const FamilyTraits& traits = TraitsOf(t.structures[u[i].structure].family);
            choices[i].push_back(NaturalLogarithm(traits.defaultShape));
            for (double s : {0.25, 1.0, 1.9, 4.0})
                if (s < traits.shapeMax && s != traits.defaultShape) choices[i].push_back(NaturalLogarithm(s));
        }
    }
    std::vector<std::vector<double>> starts;
    std::size_t total = 1;
    for (const auto& c : choices) total *= c.size();
    const std::size_t limit = 96;
    const std::size_t stride = total > limit ? total / limit + 1 : 1;
    for (std::size_t k = 0; k < total; k += stride) {
        std::vector<double> theta(u.size());
        std::size_t rest = k;
        for (std::size_t i = 0; i < u.size(); ++i) {
            theta[i] = choices[i][rest % choices[i].size()];
            rest /= choices[i].size();
        }
        starts.push_back(theta);
    }
    return starts;
}

std::string TemplateProblem(const FitTemplate& t) {
    if (t.hasNugget && t.nugget.IsFixed() && !(t.nugget.value >= 0.0 && std::isfinite(t.nugget.value)))
        return "the fixed nugget must be a finite number >= 0";
    if (!t.hasNugget && t.structures.empty()) return "the template has nothing to fit";
    for (std::size_t i = 0; i < t.structures.size(); ++i) {
        const StructureTemplate& s = t.structures[i];
        Structure probe;
        probe.family = s.family;
        probe.partialSill = s.partialSill.IsFixed() ? s.partialSill.value : 1.0;
        const FamilyTraits& traits = TraitsOf(s.family);
        probe.range = traits.range == RangeUse::kNone ? 0.0 : s.range.IsFixed() ? s.range.value : 1.0;
        if (traits.takesShape) probe.shape = s.shape.IsFixed() ? s.shape.value : traits.defaultShape;
        probe.azimuth = s.azimuth;
        probe.ratio = s.ratio;
        const std::string problem = StructureProblem(probe);
        if (!problem.empty()) return "structure " + std::to_string(i + 1) + " (" + problem + ")";
    }
    return "";
}

}  // namespace

FitResult FitModel(const std::vector<LagClass>& classes, const FitTemplate& fitTemplate, const FitOptions& options) {
    FitResult result;
    const std::string problemText = TemplateProblem(fitTemplate);
    if (!problemText.empty()) {
        result.status = FitStatus::kInvalidTemplate;
        result.message = problemText;
        return result;
    }
    std::vector<Row> rows = UsableRows(classes, options.method);
    if (rows.size() < 2) {
        result.status = FitStatus::kTooFewClasses;
        result.message = "only " + std::to_string(rows.size()) + " class(es) with pairs" +
                         (options.method == FitMethod::kPairsOverLagSquared ? " at a distance > 0" : "") +
                         ": a fit needs two at least (a larger cutoff or width gives more)";
        return result;
    }
    double upperEdge = 0.0;
    for (const LagClass& c : classes)
        if (c.pairs > 0) upperEdge = std::max(upperEdge, c.upper);
    const Problem problem(std::move(rows), std::max(upperEdge, 1e-300), fitTemplate, options);

    SearchPoint best{{}, kInfinity};
    if (problem.Unknowns().empty()) {
        best = {{}, problem.Solve({}, nullptr)};
    } else {
        for (const std::vector<double>& start : Starts(problem, fitTemplate)) {
            SearchPoint found = NelderMead(problem, start, 0.5, 400);
            found = NelderMead(problem, found.theta, 0.1, 200);  // a fresh simplex, in case the first collapsed
            if (found.value < best.value) best = found;
        }
    }
    if (!std::isfinite(best.value)) {
        result.status = FitStatus::kTooFewClasses;
        result.message = "no model of this template has a finite weighted error on these classes";
        return result;
    }
    result.weightedSquaredError = problem.Solve(best.theta, &result.model);
    result.status = FitStatus::kFitted;
    for (std::size_t i = 0; i < problem.Unknowns().size(); ++i)
        if (problem.Unknowns()[i].isRange && best.theta[i] >= problem.Unknowns()[i].upper - 1e-9)
            result.rangeAtBound = true;
    if (result.rangeAtBound)
        result.message = "a range ended on its bound (10 times the cutoff): the classes show no sill for it";
    return result;
}

double WeightedSquaredError(const std::vector<LagClass>& classes, const VariogramModel& model, FitMethod method,
                            double azimuth) {
    const double x = Sine(azimuth * kDegree), y = Cosine(azimuth * kDegree);
    double sse = 0.0;
    for (const Row& r : UsableRows(classes, method)) {
        const double g = model.Semivariance(r.distance * x, r.distance * y);
        double w = BaseWeight(r, method);
        if (method == FitMethod::kPairsOverModelSquared) w /= g * g;
        sse += w * (r.gamma - g) * (r.gamma - g);
    }
    return sse;
}

}  // namespace mosaro
