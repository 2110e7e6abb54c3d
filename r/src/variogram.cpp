// Experimental variograms (mosaro_variogram_compute) and the models fitted
// to them (mosaro_variogram_fit).
#include <string>
#include <vector>

#include "bridge.h"

using namespace Rcpp;

namespace {

struct VariogramOwner {
    mosaro_variogram* variogram = nullptr;
    ~VariogramOwner() { mosaro_variogram_free(variogram); }
};

}  // namespace

// Every direction's classes, as one data frame in gstat's columns (np,
// dist, gamma, dir.hor; classes without pairs left out, as gstat does) with
// the cutoff and width the library chose; with a template, the model
// fitted to each direction and its weighted squared error.
// [[Rcpp::export(name = ".variogram")]]
List Variogram(NumericVector x, NumericVector y, NumericVector value, double cutoff, double width, NumericVector alpha,
               double tolerance, bool cressie, int threads, std::string fit, int fit_weights) {
    const int count = mosaro_r::SampleCount(x, y, value);
    std::vector<double> azimuths(alpha.begin(), alpha.end());
    mosaro_variogram_options o;
    mosaro_variogram_options_init(&o);
    o.cutoff = cutoff;
    o.width = width;
    o.azimuths = azimuths.empty() ? nullptr : azimuths.data();
    o.direction_count = static_cast<int>(azimuths.size());
    o.tolerance = tolerance;
    o.estimator = cressie ? MOSARO_ESTIMATOR_CRESSIE : MOSARO_ESTIMATOR_CLASSIC;
    o.thread_count = threads;
    VariogramOwner owner;
    mosaro_status status = mosaro_variogram_compute(x.begin(), y.begin(), value.begin(), count, &o, &owner.variogram);
    if (status != MOSARO_OK) mosaro_r::Fail(status);

    std::vector<double> np, dist, gamma, direction;
    CharacterVector models;
    NumericVector errors;
    double used_cutoff = 0.0, used_width = 0.0;
    const int directions = mosaro_variogram_direction_count(owner.variogram);
    for (int d = 0; d < directions; ++d) {
        mosaro_lag_classes c{};
        c.struct_size = sizeof c;
        status = mosaro_variogram_classes(owner.variogram, d, &c);
        if (status != MOSARO_OK) mosaro_r::Fail(status);
        used_cutoff = c.cutoff;
        used_width = c.width;
        for (int k = 0; k < c.class_count; ++k) {
            if (c.pairs[k] <= 0.0) continue;
            np.push_back(c.pairs[k]);
            dist.push_back(c.distance[k]);
            gamma.push_back(c.gamma[k]);
            direction.push_back(c.omnidirectional ? 0.0 : c.azimuth);
        }
        if (fit.empty()) continue;
        mosaro_model model;
        mosaro_model_init(&model);
        double sse = 0.0;
        status = mosaro_variogram_fit(owner.variogram, d, fit.c_str(), fit_weights, &model, &sse);
        if (status != MOSARO_OK) mosaro_r::Fail(status);
        models.push_back(mosaro_r::FormatModel(model));
        errors.push_back(sse);
    }
    return List::create(_["np"] = np, _["dist"] = dist, _["gamma"] = gamma, _["dir.hor"] = direction,
                        _["cutoff"] = used_cutoff, _["width"] = used_width, _["models"] = models, _["sse"] = errors);
}
