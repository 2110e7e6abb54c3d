// The legacy request (mosaro_grid): every method in the library's float32
// arithmetic, with its directional variograms and its legacy or robust fit.
#include <vector>

#include "bridge.h"

using namespace Rcpp;

namespace {

struct ReportOwner {
    mosaro_report* report = nullptr;
    ~ReportOwner() { mosaro_report_free(report); }
};

std::vector<float> Floats(const NumericVector& values) { return std::vector<float>(values.begin(), values.end()); }

}  // namespace

// extent = c(x_min, y_min, x_max, y_max) and cell as the float32 request
// takes them; models: none, c(nugget, psill, range) or those of x then y.
// Returns the grid node after node from (x_min, y_min), x fastest, the
// variance, the status (a positive warning keeps the grid) with its
// message, and per pass the models of x and y as c(nugget, psill, range).
// [[Rcpp::export(name = ".legacy_grid")]]
List LegacyGrid(NumericVector x, NumericVector y, NumericVector value, List extra_values, NumericVector extent,
                NumericVector cell, IntegerVector nodes, int neighbours, int method, double method_parameter,
                NumericVector thresholds, NumericVector models, int fit, int arithmetic, int threads,
                bool show_progress) {
    const int count = mosaro_r::SampleCount(x, y, value);
    const std::vector<float> fx = Floats(x), fy = Floats(y), fv = Floats(value), ft = Floats(thresholds);
    std::vector<std::vector<float>> extra;
    std::vector<const float*> extra_pointers;
    for (R_xlen_t i = 0; i < extra_values.size(); ++i) {
        extra.push_back(Floats(as<NumericVector>(extra_values[i])));
        if (static_cast<int>(extra.back().size()) != count) stop("every extra value column needs one value per sample");
    }
    for (const auto& column : extra) extra_pointers.push_back(column.data());
    std::vector<mosaro_variogram_model> given;
    for (R_xlen_t m = 0; m + 2 < models.size(); m += 3) {
        const float nugget = static_cast<float>(models[m]), psill = static_cast<float>(models[m + 1]);
        given.push_back({nugget, nugget + psill, static_cast<float>(models[m + 2]), psill});
    }
    const double node_count = static_cast<double>(nodes[0]) * nodes[1];
    if (nodes[0] < 1 || nodes[1] < 1 || node_count > 2147483647.0) stop("the grid's node counts are not usable");
    NumericVector estimate(static_cast<R_xlen_t>(node_count)), variance(static_cast<R_xlen_t>(node_count));
    std::vector<float> grid(static_cast<std::size_t>(node_count)), var(static_cast<std::size_t>(node_count));

    mosaro_request r;
    mosaro_request_init(&r);
    r.x = fx.data();
    r.y = fy.data();
    r.value = fv.data();
    r.sample_count = count;
    r.extra_values = extra_pointers.empty() ? nullptr : extra_pointers.data();
    r.extra_value_count = static_cast<int>(extra_pointers.size());
    r.x_min = static_cast<float>(extent[0]);
    r.y_min = static_cast<float>(extent[1]);
    r.x_max = static_cast<float>(extent[2]);
    r.y_max = static_cast<float>(extent[3]);
    r.cell_size_x = static_cast<float>(cell[0]);
    r.cell_size_y = static_cast<float>(cell[1]);
    r.node_count_x = nodes[0];
    r.node_count_y = nodes[1];
    r.neighbour_count = neighbours;
    r.method = static_cast<mosaro_method>(method);
    r.method_parameter = static_cast<float>(method_parameter);
    r.thresholds = ft.empty() ? nullptr : ft.data();
    r.threshold_count = static_cast<int>(ft.size());
    r.thread_count = threads;
    r.fit = static_cast<mosaro_fit>(fit);
    r.arithmetic = static_cast<mosaro_arithmetic>(arithmetic);
    r.given_models = given.empty() ? nullptr : given.data();
    r.given_model_count = static_cast<int>(given.size());
    r.grid = grid.data();
    r.variance = var.data();
    ReportOwner owner;
    r.report = &owner.report;
    mosaro_r::Progress progress;
    progress.show = show_progress;
    r.progress = &mosaro_r::Progress::Callback;
    r.progress_user_data = &progress;
    const mosaro_status status = mosaro_grid(&r);
    progress.Close();
    if (status < 0) mosaro_r::Fail(status, &progress);
    const std::string message = mosaro_last_message();

    std::copy(grid.begin(), grid.end(), estimate.begin());
    std::copy(var.begin(), var.end(), variance.begin());
    List passes;
    for (int p = 0; p < mosaro_report_pass_count(owner.report); ++p) {
        mosaro_pass_info info{};
        info.struct_size = sizeof info;
        if (mosaro_report_pass_info(owner.report, p, &info) != MOSARO_OK) mosaro_r::Fail(MOSARO_ERROR_INTERNAL);
        NumericMatrix m(2, 3);
        for (int d = 0; d < 2; ++d) {
            m(d, 0) = info.models[d].nugget;
            m(d, 1) = info.models[d].partial_sill;
            m(d, 2) = info.models[d].range;
        }
        rownames(m) = CharacterVector::create("x", "y");
        colnames(m) = CharacterVector::create("nugget", "psill", "range");
        passes.push_back(m);
    }
    return List::create(_["estimate"] = estimate, _["variance"] = variance, _["status"] = static_cast<int>(status),
                        _["message"] = message, _["models"] = passes);
}
