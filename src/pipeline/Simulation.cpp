#include "pipeline/Simulation.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "methods/NormalScores.h"
#include "pipeline/OrderedDelivery.h"
#include "platform/WorkerPool.h"
#include "systems/CovarianceModel.h"

namespace mosaro {
namespace {

// The reach of the neighbour search when none is given: three times the
// largest range (where the exponential and Gaussian models have dropped to
// a few per cent), within the grid's diagonal.
double SearchRadius(const SimulationRequest& r, const VariogramModel& model) {
    const double diagonal = std::hypot(r.dx * std::max(r.columns - 1, 1), r.dy * std::max(r.rows - 1, 1));
    if (r.maxDistance > 0.0) return r.maxDistance;
    double range = 0.0;
    for (const Structure& s : model.Structures()) range = std::max(range, s.range);
    return range > 0.0 ? std::min(3.0 * range, diagonal) : diagonal;
}

}  // namespace

SimulationOutcome RunSimulation(const SimulationRequest& r, const SimulationOutputs& outputs,
                                const Execution& execution) {
    SimulationOutcome outcome;
    // The samples with a value, from the middle of their bounding box.
    std::vector<double> x, y, values;
    double low[2] = {INFINITY, INFINITY}, high[2] = {-INFINITY, -INFINITY};
    for (int i = 0; i < r.count; ++i) {
        if (std::isnan(r.value[i])) {
            ++outcome.samplesLeftOut;
            continue;
        }
        x.push_back(r.x[i]), y.push_back(r.y[i]), values.push_back(r.value[i]);
        low[0] = std::min(low[0], r.x[i]), high[0] = std::max(high[0], r.x[i]);
        low[1] = std::min(low[1], r.y[i]), high[1] = std::max(high[1], r.y[i]);
    }
    outcome.samplesUsed = static_cast<int>(values.size());
    const bool conditional = !values.empty();
    const double originX = conditional ? 0.5 * (low[0] + high[0]) : r.x0;
    const double originY = conditional ? 0.5 * (low[1] + high[1]) : r.y0;
    for (double& v : x) v -= originX;
    for (double& v : y) v -= originY;

    std::optional<NormalScores> scores;
    if (conditional) scores.emplace(values, r.lower, r.upper);
    execution.Report(Stage::kVariograms, 0.0);
    if (r.model) {
        outcome.model = *r.model;
    } else {
        if (!conditional) throw SimulationError("an unconditional simulation (no sample with a value) needs a model");
        EmpiricalOptions options = r.variogram;
        options.threads = execution.workers;
        const EmpiricalVariogram empirical =
            ComputeEmpiricalVariogram(SampleView{x.data(), y.data(), scores->Scores().data(), x.size()}, options);
        execution.Report(Stage::kFit, 0.0);
        const FitResult fit = FitModel(empirical.directions.front().classes, r.fitTemplate, r.fit);
        if (fit.status != FitStatus::kFitted)
            throw SimulationError("the fit of the normal scores failed: " + fit.message);
        outcome.model = fit.model;
        outcome.fitted = true;
    }
    if (!outcome.model.HasCovariance())
        throw SimulationError(
            "simulation needs a model with a sill: a power or unbounded linear model has no covariance");
    const NestedCovariance covariance(outcome.model);

    SimulationGrid grid;
    grid.x0 = r.x0 - originX;
    grid.y0 = r.y0 - originY;
    grid.dx = r.dx;
    grid.dy = r.dy;
    grid.columns = r.columns;
    grid.rows = r.rows;
    SimulationNeighbourhood neighbourhood;
    neighbourhood.samples = r.samples;
    neighbourhood.simulated = r.simulated;
    neighbourhood.combined = r.combined;
    neighbourhood.radius = SearchRadius(r, outcome.model);
    const std::vector<double> noScores;
    const SimulationPlan plan(grid, x, y, conditional ? scores->Scores() : noScores, covariance, neighbourhood,
                              execution.workers);

    const long long nodes = grid.Nodes();
    std::atomic<int> next{0};
    WorkerPool pool(std::min(execution.workers, std::max(r.realisations, 1)));
    execution.Report(Stage::kSweep, 0.0);
    // One loop per worker, each claiming the next realisations in order (as
    // many as its simulator runs at once): the lowest realisation not yet
    // delivered is always being made, so waiting for one's turn never waits
    // for a realisation nobody runs. Fewer realisations than the workers'
    // lanes are spread evenly over the workers rather than filling the
    // first one's lanes, and two or more share a worker's lanes even when
    // some lanes stay idle: a step of four lanes takes about as long as a
    // step of one, whose factorisation waits on every root in turn.
    // Realisations finished ahead of their turn are kept, as many as the
    // workers run at once, so that their workers go on meanwhile.
    const int workers = pool.Size();
    const int batch =
        std::max(1, std::min(SequentialSimulator::LanesFor(plan, 0), (r.realisations + workers - 1) / workers));
    const int lanes = batch > 1 ? 0 : 1;
    // Near the end the claims shrink to an equal share of what is left, so
    // that the workers finish close together: a last claim of four on one
    // worker while the other has nothing left held the run for most of a
    // claim (100 realisations on meuse's grid, two workers: 5 to 20 ms of
    // some 300).
    const auto claim = [&](int& count) {
        int first = next.load();
        while (first < r.realisations) {
            count = std::max(1, std::min(batch, (r.realisations - first + workers - 1) / workers));
            if (next.compare_exchange_weak(first, first + count)) return first;
        }
        return r.realisations;
    };
    OrderedDelivery delivery(outputs, nodes, static_cast<std::size_t>(workers * batch));
    pool.For(static_cast<std::size_t>(workers), 1, [&](std::size_t, std::size_t, int) {
        SequentialSimulator simulator(plan, lanes);
        std::vector<std::vector<double>> fields(static_cast<std::size_t>(batch));
        std::vector<double> back(static_cast<std::size_t>(nodes));
        try {
            int count = 0;
            for (int first = claim(count); first < r.realisations; first = claim(count)) {
                if (execution.CancelRequested()) {
                    delivery.Stop();
                    return;
                }
                simulator.Run(r.seed, static_cast<std::uint64_t>(first), count, fields.data());
                for (int realisation = first; realisation < first + count; ++realisation) {
                    const std::vector<double>& field = fields[static_cast<std::size_t>(realisation - first)];
                    for (std::size_t k = 0; k < field.size(); ++k)
                        back[k] = conditional ? scores->Back(field[k]) : r.mean + field[k];
                    if (!delivery.Deliver(realisation, back)) return;
                    execution.Report(Stage::kSweep, static_cast<double>(delivery.Delivered()) / r.realisations);
                }
            }
        } catch (...) {
            delivery.Stop();
            throw;
        }
    });
    execution.ThrowIfCancelled();
    delivery.Finish();
    outcome.delivered = delivery.Delivered();
    return outcome;
}

}  // namespace mosaro
