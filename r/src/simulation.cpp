// Sequential Gaussian simulation (mosaro_simulate) onto a grid.
#include <string>

#include "bridge.h"

using namespace Rcpp;

// nsim realisations at the grid's nodes (grid = c(x0, y0, cell_x, cell_y,
// nodes_x, nodes_y)): a matrix of one column per realisation, node after
// node from the south-west (x fastest) -- the library's own layout of its
// `values`, so it writes straight into the matrix.
// [[Rcpp::export(name = ".simulate")]]
List Simulate(NumericVector x, NumericVector y, NumericVector value, NumericVector grid, std::string model,
              std::string fit, int fit_weights, int nmax, int nmax_simulated, double maxdist, int nsim, double seed,
              int threads, bool show_progress) {
    mosaro_simulation s;
    mosaro_simulation_init(&s);
    s.x = x.begin();
    s.y = y.begin();
    s.value = value.begin();
    s.sample_count = mosaro_r::SampleCount(x, y, value);
    mosaro_model given;
    if (!model.empty()) {
        given = mosaro_r::ParseModel(model, "model");
        s.model = &given;
    }
    if (!fit.empty()) s.fit_template = fit.c_str();
    s.fit_weights = fit_weights;
    mosaro_model used;
    mosaro_model_init(&used);
    s.model_used = &used;
    s.grid_x = grid[0];
    s.grid_y = grid[1];
    s.cell_size_x = grid[2];
    s.cell_size_y = grid[3];
    s.node_count_x = static_cast<int>(grid[4]);
    s.node_count_y = static_cast<int>(grid[5]);
    s.nmax = nmax;
    s.nmax_simulated = nmax_simulated;
    s.max_distance = maxdist;
    s.realisations = nsim;
    s.seed = static_cast<unsigned long long>(seed);
    s.thread_count = threads;
    const double nodes = grid[4] * grid[5];
    if (nsim < 1) stop("nsim must be at least 1 (got %d)", nsim);
    if (nodes > 2147483647.0) stop("the grid has %.0f nodes: more than the library takes (2^31 - 1)", nodes);
    if (nodes * nsim > 4.0e9) stop("nsim x nodes = %.0f values: more than this binding holds in memory", nodes * nsim);
    NumericMatrix values(static_cast<int>(nodes), nsim);
    s.values = values.begin();
    mosaro_r::Progress progress;
    progress.show = show_progress;
    s.progress = &mosaro_r::Progress::Callback;
    s.progress_user_data = &progress;
    const mosaro_status status = mosaro_simulate(&s, nullptr);
    progress.Close();
    if (status < 0) mosaro_r::Fail(status, &progress);
    return List::create(_["values"] = values, _["model"] = mosaro_r::FormatModel(used));
}
