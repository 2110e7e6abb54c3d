#include "Measurement.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "ChildProcess.h"
#include "api/GridRequest.h"
#include "pipeline/Pipeline.h"

namespace mosaro_bench {
namespace {

// Repeats stop early once they have taken this long: noise no longer matters.
constexpr double kRepeatSeconds = 6.0;

std::uint64_t Fnv1a(const std::vector<float>& grid) {
    std::uint64_t hash = 1469598103934665603ull;
    const auto* bytes = reinterpret_cast<const unsigned char*>(grid.data());
    for (std::size_t k = 0; k < grid.size() * sizeof(float); ++k) hash = (hash ^ bytes[k]) * 1099511628211ull;
    return hash;
}

// Runs in the child: best of `repeats` calls.
std::string Measure(const Row& row, const Call& call, int repeats, int bandRows) {
    const Input input = MakeInput(row);
    const int columns = input.cells + 1;
    std::vector<float> grid(static_cast<std::size_t>(columns) * static_cast<std::size_t>(call.cellsY + 1));
    const float rect[4] = {0.0f, 0.0f, static_cast<float>(input.cells), static_cast<float>(input.cells)};
    const int rows = std::min(call.samples, input.Count());
    Measurement m;
    std::vector<mosaro::PassReport> report;
    double spent = 0.0;
    for (int r = 0; r < repeats && (r < 2 || spent < kRepeatSeconds); ++r) {
        double stage[3] = {0.0, 0.0, 0.0};
        mosaro::RunSettings settings;
        settings.reference = call.reference;
        settings.execution.workers = mosaro::ResolveWorkerCount(call.threads);
        settings.solverLanes = call.lanes;
        settings.arithmetic = call.arithmetic;
        mosaro::PipelineOutputs outputs;
        outputs.stageSeconds = stage;
        mosaro::SweepPartSeconds parts;
        if (call.timeParts) outputs.sweepParts = &parts;
        outputs.report = &report;
        report.clear();
        // The entry point's call, as it runs it, but with the settings and
        // the models of the row.
        const auto start = std::chrono::steady_clock::now();
        mosaro::GridRequest request;
        request.data = input.table.data();
        request.valueColumn = input.valueColumn;
        request.pointCount = rows;
        request.columnCount = input.columns;
        request.rect = TRECTXYMINMAX{rect[0], rect[1], rect[2], rect[3]};
        request.grid = TGRIDCELLXY{1.0f, 1.0f, input.cells, call.cellsY};
        request.neighbourCount = input.neighbours;
        request.method = input.method;
        request.methodParameter = input.parameter;
        request.methodArray = input.methodArray.empty() ? nullptr : input.methodArray.data();
        request.output = grid.data();
        mosaro::Normalise(request);
        const std::optional<mosaro::PreparedRun> prepared = mosaro::Prepare(request);
        if (prepared) {
            mosaro::PipelineRun run = mosaro::PipelineRunOf(request, *prepared);
            if (call.givenModels) run.givenModels = call.givenModels->data();
            outputs.grid = grid.data();
            mosaro::RunPipeline(run, settings, outputs);
        }
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        spent += took;
        m.whole = std::min(m.whole, took);
        for (int s = 0; s < 3; ++s) m.stage[s] = std::min(m.stage[s], stage[s]);
        const double part[5] = {parts.chainInterior, parts.chainRowStarts, parts.assembly, parts.solve, parts.estimate};
        for (int s = 0; s < 5; ++s) m.parts[s] = std::min(m.parts[s], part[s]);
    }
    m.gridHash = Fnv1a(grid);
    if (!report.empty() && !report[0].modelGiven) {
        m.modelsKnown = 1;
        std::copy(report[0].models, report[0].models + 2, m.models);
    }
    m.bandNodes =
        static_cast<std::uint32_t>(std::min<std::size_t>(grid.size(), static_cast<std::size_t>(bandRows) * columns));
    std::string out(reinterpret_cast<const char*>(&m), sizeof m);
    out.append(reinterpret_cast<const char*>(grid.data()), m.bandNodes * sizeof(float));
    return out;
}

}  // namespace

Outcome Launch(const Row& row, const Call& call, int repeats, int bandRows, int limitSeconds) {
    const mosaro_bench::ChildResult child =
        RunInChild([&] { return Measure(row, call, repeats, bandRows); }, limitSeconds);
    Outcome outcome;
    outcome.peakMiB = child.peakMiB;
    outcome.failure = child.failure;
    if (!child.finished || child.output.size() < sizeof(Measurement)) {
        if (outcome.failure.empty()) outcome.failure = "no result";
        return outcome;
    }
    std::memcpy(&outcome.m, child.output.data(), sizeof outcome.m);
    outcome.band.resize(outcome.m.bandNodes);
    if (child.output.size() != sizeof outcome.m + outcome.band.size() * sizeof(float)) {
        outcome.failure = "short result";
        return outcome;
    }
    std::memcpy(outcome.band.data(), child.output.data() + sizeof outcome.m, outcome.band.size() * sizeof(float));
    outcome.ok = true;
    return outcome;
}

bool SameBits(const Outcome& a, const Outcome& b) {
    return a.m.gridHash == b.m.gridHash && a.band.size() == b.band.size() &&
           std::memcmp(a.band.data(), b.band.data(), a.band.size() * sizeof(float)) == 0;
}

}  // namespace mosaro_bench
