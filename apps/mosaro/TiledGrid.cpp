#include "TiledGrid.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "Progress.h"
#include "ToolError.h"

namespace mosaro::tool {
namespace {

// The model every tile shares: the given one, or the one fitted once to
// every sample, as the run of one piece fits it (a prediction at one
// sample, for its model_used).
PredictionResult SharedModel(const ModernRun& run, const mosaro_prediction& p, bool quiet) {
    if (run.model_given) {
        PredictionResult given;
        given.model = run.model;
        given.report.weighted_squared_error = NAN;
        return given;
    }
    std::size_t first = 0;
    while (std::isnan(p.value[first])) ++first;  // PrepareModernRun found two with a value
    mosaro_prediction q = p;
    q.target = MOSARO_TARGET_POINTS;
    q.target_x = &p.x[first];
    q.target_y = &p.y[first];
    q.target_count = 1;
    std::vector<double> covariates;
    for (int c = 0; c < p.covariate_count; ++c) covariates.push_back(p.sample_covariates[c][first]);
    std::vector<const double*> at;
    for (const double& value : covariates) at.push_back(&value);
    q.target_covariates = at.empty() ? nullptr : at.data();
    double estimate = 0;
    q.estimate = &estimate;
    double* const outputs[] = {&estimate};
    PredictionResult fit = Predict(q, 1, outputs, 1, true, quiet, "nodes");
    if (fit.no_model && !run.allow_empty) throw NoModelError(fit.no_model_why);
    return fit;
}

void AddUp(mosaro_prediction_report& total, const mosaro_prediction_report& tile) {
    total.targets += tile.targets;
    total.no_data += tile.no_data;
    total.too_few_neighbours += tile.too_few_neighbours;
    total.ill_conditioned += tile.ill_conditioned;
    total.minimum_norm += tile.minimum_norm;
    if (!(total.smallest_reciprocal_condition <= tile.smallest_reciprocal_condition))
        total.smallest_reciprocal_condition = tile.smallest_reciprocal_condition;
}

}  // namespace

PredictionResult PredictTiles(const ModernRun& run, mosaro_prediction p, const GridGeometry& grid, int tile,
                              GeoTiffStream& estimate, GeoTiffStream* variance, bool quiet) {
    // The frame the run of one piece takes by default: the bounding box of
    // the samples with a value.
    double frame[4] = {INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (int i = 0; i < p.sample_count; ++i)
        if (!std::isnan(p.value[i])) {
            frame[0] = std::min(frame[0], p.x[i]), frame[1] = std::min(frame[1], p.y[i]);
            frame[2] = std::max(frame[2], p.x[i]), frame[3] = std::max(frame[3], p.y[i]);
        }
    p.frame = frame;
    TargetGrid(grid, p);
    PredictionResult result = SharedModel(run, p, quiet);
    p.model = &result.model;
    result.report.targets = result.report.no_data = result.report.too_few_neighbours = 0;
    result.report.ill_conditioned = result.report.minimum_norm = 0;
    result.report.smallest_reciprocal_condition = NAN;

    const std::size_t room = static_cast<std::size_t>(std::min(tile, grid.nodes_x)) * std::min(tile, grid.nodes_y);
    std::vector<double> values(room), variances(variance != nullptr ? room : 0);
    std::vector<long long> needed(static_cast<std::size_t>(p.sample_count));
    std::vector<double> x, y, value, nodeX, nodeY;
    std::vector<std::vector<double>> covariates(static_cast<std::size_t>(p.covariate_count));
    std::vector<const double*> sampleCovariates(covariates.size()), targetCovariates;
    // Rows of tiles from the north, as the GeoTIFF lays its tiles out, so
    // that each write fills whole tiles.
    for (int top = grid.nodes_y; top > 0; top -= tile) {
        const int rows = std::min(tile, top), row = top - rows;
        for (int column = 0; column < grid.nodes_x; column += tile) {
            const int columns = std::min(tile, grid.nodes_x - column);
            const long long count = static_cast<long long>(columns) * rows;
            mosaro_prediction q = p;
            q.window_column = column, q.window_row = row, q.window_columns = columns, q.window_rows = rows;
            long long handed = 0;
            if (!result.no_model && mosaro_tile_samples(&q, needed.data(), &handed) != MOSARO_OK)
                throw ToolError(mosaro_last_message());
            if (handed == 0) {  // no model, or no sample within --maxdist: no node of the tile has an estimate
                std::fill(values.begin(), values.end(), std::numeric_limits<double>::quiet_NaN());
                std::fill(variances.begin(), variances.end(), std::numeric_limits<double>::quiet_NaN());
                result.report.targets += count, result.report.no_data += count;
                if (p.nmin > 0 && !result.no_model) result.report.too_few_neighbours += count;
            } else {
                x.clear(), y.clear(), value.clear();
                for (auto& c : covariates) c.clear();
                for (long long k = 0; k < handed; ++k) {
                    const std::size_t i = static_cast<std::size_t>(needed[static_cast<std::size_t>(k)]);
                    x.push_back(p.x[i]), y.push_back(p.y[i]), value.push_back(p.value[i]);
                    for (std::size_t c = 0; c < covariates.size(); ++c)
                        covariates[c].push_back(p.sample_covariates[c][i]);
                }
                for (std::size_t c = 0; c < covariates.size(); ++c) sampleCovariates[c] = covariates[c].data();
                q.x = x.data(), q.y = y.data(), q.value = value.data(), q.sample_count = static_cast<int>(handed);
                q.sample_covariates = sampleCovariates.empty() ? nullptr : sampleCovariates.data();
                std::vector<std::vector<double>> atNodes;
                if (!run.covariate_names.empty()) {
                    // Each node's coordinates as the grid of one piece computes them.
                    nodeX.resize(static_cast<std::size_t>(count)), nodeY.resize(static_cast<std::size_t>(count));
                    for (long long k = 0; k < count; ++k) {
                        nodeX[static_cast<std::size_t>(k)] =
                            grid.x_min + static_cast<double>(column + k % columns) * grid.cell_x;
                        nodeY[static_cast<std::size_t>(k)] =
                            grid.y_min + static_cast<double>(row + k / columns) * grid.cell_y;
                    }
                    atNodes = CovariatesAt(run, nodeX, nodeY, [&](std::size_t k) {
                        return "node (column " + std::to_string(column + static_cast<int>(k) % columns) + ", row " +
                               std::to_string(row + static_cast<int>(k) / columns) + ")";
                    });
                    targetCovariates.clear();
                    for (const std::vector<double>& c : atNodes) targetCovariates.push_back(c.data());
                    q.target_covariates = targetCovariates.data();
                }
                q.estimate = values.data();
                q.variance = variances.empty() ? nullptr : variances.data();
                double* const outputs[] = {q.estimate, q.variance};
                AddUp(result.report, Predict(q, count, outputs, 2, true, true, "nodes").report);
            }
            estimate.Write(0, column, row, columns, rows, values.data());
            if (variance != nullptr) variance->Write(0, column, row, columns, rows, variances.data());
            // The tile is complete: out of GDAL's cache into the file, so
            // that memory holds one tile however wide the grid.
            estimate.Flush();
            if (variance != nullptr) variance->Flush();
            ThrowIfInterrupted();
        }
    }
    return result;
}

}  // namespace mosaro::tool
