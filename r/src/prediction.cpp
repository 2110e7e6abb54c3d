// mosaro_predict at the nodes of a grid or at points, and cross-validation
// built on it: the options the R functions checked become the request's
// fields here.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "bridge.h"

using namespace Rcpp;

namespace {

// The request's inputs that must outlive the call.
struct Inputs {
    mosaro_model model;
    mosaro_variogram_options variogram;
    std::string fit_template;
    std::vector<double> frame;
};

// Fills everything but the samples, targets and outputs from `options`
// (a named list the R side completed).
void FillOptions(mosaro_prediction& p, Inputs& in, const List& options) {
    unsigned drift = 0;
    int lognormal = 0;
    const int method = as<int>(options["method"]);
    if (mosaro_method_prediction(method, &drift, &lognormal) != MOSARO_OK) mosaro_r::Fail(MOSARO_ERROR_METHOD);
    p.drift_terms = drift;
    p.lognormal = lognormal;
    p.shift = as<double>(options["shift"]);
    const double beta = as<double>(options["beta"]);
    if (!std::isnan(beta)) {
        p.kind = MOSARO_KIND_SIMPLE;
        p.mean = beta;
    }
    const std::string model = as<std::string>(options["model"]);
    if (!model.empty()) {
        in.model = mosaro_r::ParseModel(model, "model");
        p.model = &in.model;
    }
    mosaro_variogram_options_init(&in.variogram);
    in.variogram.cutoff = as<double>(options["cutoff"]);
    in.variogram.width = as<double>(options["width"]);
    in.variogram.thread_count = as<int>(options["threads"]);
    p.variogram = &in.variogram;
    in.fit_template = as<std::string>(options["fit"]);
    if (!in.fit_template.empty()) p.fit_template = in.fit_template.c_str();
    p.fit_weights = as<int>(options["fit_weights"]);
    p.nmax = as<int>(options["nmax"]);
    p.nmin = as<int>(options["nmin"]);
    p.max_distance = as<double>(options["maxdist"]);
    const NumericVector block = options["block"];
    p.block_size_x = block[0];
    p.block_size_y = block[1];
    p.thread_count = as<int>(options["threads"]);
    in.frame = as<std::vector<double>>(options["frame"]);
    if (in.frame.size() == 4) p.frame = in.frame.data();
}

List Report(const mosaro_prediction_report& r, const mosaro_model& used) {
    return List::create(_["model"] = mosaro_r::FormatModel(used), _["model_fitted"] = r.model_fitted != 0,
                        _["samples_used"] = r.samples_used, _["samples_left_out"] = r.samples_left_out,
                        _["no_data"] = static_cast<double>(r.no_data),
                        _["ill_conditioned"] = static_cast<double>(r.ill_conditioned),
                        _["variogram_cutoff"] = r.variogram_cutoff, _["variogram_width"] = r.variogram_width);
}

}  // namespace

// The layout rule every front-end shares: c(x0, y0, cell_x, cell_y,
// nodes_x, nodes_y, x_max, y_max) over `extent` (or the samples' bounding box) with the
// cell size (0: 100 cells along the longer side).
// [[Rcpp::export(name = ".grid_layout")]]
NumericVector GridLayout(NumericVector x, NumericVector y, NumericVector extent, double cell_x, double cell_y) {
    mosaro_grid_layout layout{};
    layout.struct_size = sizeof layout;
    const int count = mosaro_r::SampleCount(x, y, x);
    const mosaro_status status = mosaro_grid_layout_choose(extent.size() == 4 ? extent.begin() : nullptr, x.begin(),
                                                           y.begin(), count, cell_x, cell_y, 0, 0, &layout);
    if (status != MOSARO_OK) mosaro_r::Fail(status);
    return NumericVector::create(layout.x_min, layout.y_min, layout.cell_size_x, layout.cell_size_y,
                                 layout.node_count_x, layout.node_count_y, layout.x_max, layout.y_max);
}

// The code of a method name; refuses the methods the prediction does not
// run, pointing at the legacy request.
// [[Rcpp::export(name = ".prediction_method")]]
int PredictionMethod(std::string name) {
    mosaro_method method = MOSARO_METHOD_ORDINARY;
    if (mosaro_method_from_name(name.c_str(), &method) != MOSARO_OK) mosaro_r::Fail(MOSARO_ERROR_METHOD);
    unsigned drift = 0;
    int lognormal = 0;
    if (mosaro_method_prediction(method, &drift, &lognormal) != MOSARO_OK)
        stop("method \"%s\" runs on the legacy request only: use mosaro_legacy_grid()", name);
    return static_cast<int>(method);
}

// Kriges at a grid (grid = c(x0, y0, cell_x, cell_y, nodes_x, nodes_y),
// target_x empty) or at the points (target_x, target_y). Returns the
// estimate and variance, node after node from the south-west (x fastest),
// and what the run used.
// [[Rcpp::export(name = ".predict")]]
List Predict(NumericVector x, NumericVector y, NumericVector value, NumericVector grid, NumericVector target_x,
             NumericVector target_y, List options) {
    mosaro_prediction p;
    mosaro_prediction_init(&p);
    p.x = x.begin();
    p.y = y.begin();
    p.value = value.begin();
    p.sample_count = mosaro_r::SampleCount(x, y, value);
    R_xlen_t targets = 0;
    if (grid.size() == 6) {
        p.target = MOSARO_TARGET_GRID;
        p.grid_x = grid[0];
        p.grid_y = grid[1];
        p.cell_size_x = grid[2];
        p.cell_size_y = grid[3];
        p.node_count_x = static_cast<int>(grid[4]);
        p.node_count_y = static_cast<int>(grid[5]);
        targets = static_cast<R_xlen_t>(grid[4]) * static_cast<R_xlen_t>(grid[5]);
    } else {
        if (target_x.size() != target_y.size()) stop("newdata: x and y must have one length");
        p.target = MOSARO_TARGET_POINTS;
        p.target_x = target_x.begin();
        p.target_y = target_y.begin();
        p.target_count = target_x.size();
        targets = target_x.size();
    }
    Inputs in;
    FillOptions(p, in, options);
    mosaro_model used;
    mosaro_model_init(&used);
    p.model_used = &used;

    NumericVector estimate(targets), variance(targets);
    p.estimate = estimate.begin();
    p.variance = variance.begin();
    mosaro_r::Progress progress;
    progress.show = as<bool>(options["progress"]);
    p.progress = &mosaro_r::Progress::Callback;
    p.progress_user_data = &progress;
    mosaro_prediction_report report{};
    report.struct_size = sizeof report;
    const mosaro_status status = mosaro_predict(&p, &report);
    progress.Close();
    if (status != MOSARO_OK) mosaro_r::Fail(status, &progress);
    return List::create(_["estimate"] = estimate, _["variance"] = variance, _["report"] = Report(report, used));
}

// Cross-validation as gstat's krige.cv does it: every fold's samples
// kriged from the other folds' samples, one prediction per fold. The model
// is fitted once, from all samples, when none is given, and every fold is
// taken in the frame of all samples, so that a fold's estimates do not
// depend on which samples the fold happens to leave.
// [[Rcpp::export(name = ".cross_validate")]]
List CrossValidate(NumericVector x, NumericVector y, NumericVector value, IntegerVector fold, List options) {
    const int count = mosaro_r::SampleCount(x, y, value);
    if (fold.size() != count) stop("fold must have one entry per sample");
    if (count < 2) stop("cross-validation needs at least two samples (got %d)", count);
    const double inf = std::numeric_limits<double>::infinity();
    double box[4] = {inf, inf, -inf, -inf};
    for (int i = 0; i < count; ++i) {
        box[0] = std::min(box[0], x[i]);
        box[1] = std::min(box[1], y[i]);
        box[2] = std::max(box[2], x[i]);
        box[3] = std::max(box[3], y[i]);
    }
    options["frame"] = NumericVector(box, box + 4);

    Inputs in;
    mosaro_prediction base;
    mosaro_prediction_init(&base);
    FillOptions(base, in, options);
    mosaro_r::Progress progress;
    base.progress = &mosaro_r::Progress::Callback;
    base.progress_user_data = &progress;
    mosaro_model used;
    mosaro_model_init(&used);
    base.model_used = &used;
    if (base.model == nullptr) {
        // The model a prediction from every sample fits, at one target.
        mosaro_prediction p = base;
        double estimate = 0.0;
        p.x = x.begin();
        p.y = y.begin();
        p.value = value.begin();
        p.sample_count = count;
        p.target = MOSARO_TARGET_POINTS;
        p.target_x = x.begin();
        p.target_y = y.begin();
        p.target_count = 1;
        p.estimate = &estimate;
        const mosaro_status status = mosaro_predict(&p, nullptr);
        if (status != MOSARO_OK) mosaro_r::Fail(status, &progress);
        in.model = used;
        base.model = &in.model;
    }

    NumericVector estimate(count, NA_REAL), variance(count, NA_REAL);
    std::vector<double> sx, sy, sv, tx, ty, te, tv;
    std::vector<int> where;
    const int folds = count > 0 ? *std::max_element(fold.begin(), fold.end()) : 0;
    for (int k = 1; k <= folds; ++k) {
        sx.clear(), sy.clear(), sv.clear(), tx.clear(), ty.clear(), where.clear();
        for (int i = 0; i < count; ++i) {
            if (fold[i] == k) {
                tx.push_back(x[i]), ty.push_back(y[i]), where.push_back(i);
            } else {
                sx.push_back(x[i]), sy.push_back(y[i]), sv.push_back(value[i]);
            }
        }
        if (where.empty()) continue;
        te.assign(where.size(), 0.0);
        tv.assign(where.size(), 0.0);
        mosaro_prediction p = base;
        p.x = sx.data();
        p.y = sy.data();
        p.value = sv.data();
        p.sample_count = static_cast<int>(sx.size());
        p.target = MOSARO_TARGET_POINTS;
        p.target_x = tx.data();
        p.target_y = ty.data();
        p.target_count = static_cast<long long>(tx.size());
        p.estimate = te.data();
        p.variance = tv.data();
        const mosaro_status status = mosaro_predict(&p, nullptr);
        if (status != MOSARO_OK) mosaro_r::Fail(status, &progress);
        for (std::size_t t = 0; t < where.size(); ++t) {
            estimate[where[t]] = te[t];
            variance[where[t]] = tv[t];
        }
    }
    return List::create(_["estimate"] = estimate, _["variance"] = variance,
                        _["model"] = mosaro_r::FormatModel(*base.model));
}

// The code of any method name (or of its code written as a number).
// [[Rcpp::export(name = ".method_code")]]
int MethodCode(std::string name) {
    mosaro_method method = MOSARO_METHOD_ORDINARY;
    if (mosaro_method_from_name(name.c_str(), &method) != MOSARO_OK) mosaro_r::Fail(MOSARO_ERROR_METHOD);
    return static_cast<int>(method);
}
