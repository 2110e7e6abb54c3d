// Times whole entry-point calls, stage by stage, on the fast path and on the
// plain reference path side by side, and checks that both give the same
// grid bits. Every measurement runs in a child process of its own, so the
// peak memory is the call's, and each figure is the best of a few repeats:
// the machines are shared and noisy, so compare figures of one run only.
//
// Where the reference path would run for minutes, it runs on a band of the
// first grid rows (the same rectangle and cell sizes with fewer rows leave
// everything else identical) for the sweep, and on a leading subset of the
// samples for the variograms (whose pair loop is quadratic in the samples);
// the fast path runs the same reduced calls, so the ratios compare like with
// like, and the reference's whole-call figures are extrapolated ("~").
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "BenchmarkRows.h"
#include "ChildProcess.h"
#include "RunContext.h"
#include "mosaro.h"

namespace {

using mosaro_bench::Input;
using mosaro_bench::Row;

// Cost of the plain code, seconds per sample pair of the variograms and per
// node and sample of the sweep (measured on the development machines), used
// only to decide how much of a row the reference path can afford.
constexpr double kReferencePairSeconds = 3e-8, kReferenceNodeSampleSeconds = 1e-8;
// Seconds the reference path may spend on one row's sweep or variograms.
constexpr double kReferenceBudget = 3.0;
// Repeats stop early once they have taken this long: noise no longer matters.
constexpr double kRepeatSeconds = 6.0;

// What one child measured; sent through the pipe as raw bytes, followed by
// `bandNodes` floats: the first rows of the grid.
struct Measurement {
    double whole = 1e300, stage[3] = {1e300, 1e300, 1e300};
    std::uint64_t gridHash = 0;
    int modelsKnown = 0;
    TVARIOGRAMMODEL models[2]{};
    std::uint32_t bandNodes = 0;
};

// One call: which path, how many samples (a leading subset), how many grid
// rows, and optionally the models to use instead of fitting.
struct Call {
    bool reference = false;
    int threads = 1;
    int samples = 0;
    int cellsY = 0;
    std::optional<std::array<TVARIOGRAMMODEL, 2>> givenModels;
};

std::uint64_t Fnv1a(const std::vector<float>& grid) {
    std::uint64_t hash = 1469598103934665603ull;
    const auto* bytes = reinterpret_cast<const unsigned char*>(grid.data());
    for (std::size_t k = 0; k < grid.size() * sizeof(float); ++k) hash = (hash ^ bytes[k]) * 1099511628211ull;
    return hash;
}

// Runs in the child: best of `repeats` calls.
std::string Measure(const Row& row, const Call& call, int repeats, int bandRows) {
    const Input input = mosaro_bench::MakeInput(row);
    const int columns = input.cells + 1;
    std::vector<float> grid(static_cast<std::size_t>(columns) * static_cast<std::size_t>(call.cellsY + 1));
    const float rect[4] = {0.0f, 0.0f, static_cast<float>(input.cells), static_cast<float>(input.cells)};
    const int rows = std::min(call.samples, input.Count());
    Measurement m;
    std::vector<mosaro::PassReport> report;
    double spent = 0.0;
    for (int r = 0; r < repeats && (r < 2 || spent < kRepeatSeconds); ++r) {
        double stage[3] = {0.0, 0.0, 0.0};
        mosaro::RunContext context;
        context.reference = call.reference;
        context.threads = call.threads;
        context.stageSeconds = stage;
        context.report = &report;
        if (call.givenModels) context.givenModels = call.givenModels->data();
        report.clear();
        mosaro::RunContextScope scope(context);
        const auto start = std::chrono::steady_clock::now();
        KARVO_ScatToGridWithKrig(input.table.data(), input.valueColumn, rows, input.columns, rect, 1.0f, 1.0f,
                                 input.cells, call.cellsY, input.neighbours, input.method, input.parameter,
                                 input.methodArray.empty() ? nullptr : input.methodArray.data(), grid.data());
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        spent += took;
        m.whole = std::min(m.whole, took);
        for (int s = 0; s < 3; ++s) m.stage[s] = std::min(m.stage[s], stage[s]);
    }
    m.gridHash = Fnv1a(grid);
    if (!report.empty() && !report[0].modelGiven) {
        m.modelsKnown = 1;
        std::copy(report[0].models, report[0].models + 2, m.models);
    }
    m.bandNodes = static_cast<std::uint32_t>(std::min<std::size_t>(grid.size(), static_cast<std::size_t>(bandRows) * columns));
    std::string out(reinterpret_cast<const char*>(&m), sizeof m);
    out.append(reinterpret_cast<const char*>(grid.data()), m.bandNodes * sizeof(float));
    return out;
}

struct Outcome {
    bool ok = false;
    std::string failure;
    Measurement m;
    std::vector<float> band;
    double peakMiB = 0.0;
};

Outcome Launch(const Row& row, const Call& call, int repeats, int bandRows, int limitSeconds) {
    const mosaro_bench::ChildResult child =
        mosaro_bench::RunInChild([&] { return Measure(row, call, repeats, bandRows); }, limitSeconds);
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

std::string Seconds(double s, bool estimated = false) {
    if (s >= 1e299) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%s%.3g", estimated ? "~" : "", s);
    return text;
}
std::string Ratio(double reference, double fast) {
    if (reference >= 1e299 || fast >= 1e299 || fast <= 0.0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", reference / fast);
    return text;
}

struct Options {
    mosaro_bench::Mode mode = mosaro_bench::Mode::kDefault;
    int repeats = 3;
    int limitSeconds = 120;
};

// Measures one row, prints its line, and returns false on a bit mismatch.
bool RunRow(const Row& row, const Options& options, std::vector<std::string>& notes) {
    const int passes = row.method == 10 ? 3 : 1;
    const double samples = static_cast<double>(row.samples) * (row.method == 11 ? 2.0 : 1.0);
    const int gridRows = row.cells + 1;
    const double nodes = static_cast<double>(row.cells + 1) * gridRows;
    const double sweepCost = passes * kReferenceNodeSampleSeconds * nodes * samples;
    const double varioCost = passes * kReferencePairSeconds * samples * samples / 2.0;
    const int bandRows = std::clamp(static_cast<int>(kReferenceBudget / (sweepCost / gridRows)), 1, gridRows);
    const int subset = std::min(row.samples, static_cast<int>(row.samples * std::sqrt(kReferenceBudget / varioCost)));

    Call fastCall;
    fastCall.threads = row.threads;
    fastCall.samples = row.samples;
    fastCall.cellsY = row.cells;
    const Outcome fast = Launch(row, fastCall, options.repeats, bandRows, options.limitSeconds);

    // Reference figures: whole, or a band of rows and a subset of samples.
    double refVario = 1e300, refSweep = 1e300, varioRatioRef = 1e300, varioRatioFast = 1e300;
    double sweepRatioRef = 1e300, sweepRatioFast = 1e300;
    bool estimated = false, same = true, checked = false;
    std::string where;
    auto compare = [&](const Outcome& f, const Outcome& r, const char* what) {
        if (!f.ok || !r.ok) return;
        checked = true;
        if (!SameBits(f, r)) {
            same = false;
            where += std::string(where.empty() ? "" : ", ") + what;
        }
    };
    Call referenceCall = fastCall;
    referenceCall.reference = true;
    referenceCall.threads = 1;
    if (bandRows == gridRows && subset == row.samples) {
        const Outcome reference = Launch(row, referenceCall, options.repeats, bandRows, options.limitSeconds);
        compare(fast, reference, "whole grid");
        refVario = reference.m.stage[0], refSweep = reference.m.stage[2];
        varioRatioRef = refVario, sweepRatioRef = refSweep;
        varioRatioFast = fast.m.stage[0], sweepRatioFast = fast.m.stage[2];
        if (!reference.ok) notes.push_back(row.effect + " reference: " + reference.failure);
    } else {
        estimated = true;
        // The sweep on a band of rows; both paths get the same models (when
        // the engine takes given models), so the band's cost is the sweep's.
        Call band = fastCall;
        band.cellsY = bandRows - 1;
        const Outcome fastBand = Launch(row, band, options.repeats, bandRows, options.limitSeconds);
        Call referenceBand = band;
        referenceBand.reference = true;
        referenceBand.threads = 1;
        if (fastBand.ok && fastBand.m.modelsKnown && row.method != 10)  // indicator kriging fits per threshold
            referenceBand.givenModels = std::array<TVARIOGRAMMODEL, 2>{fastBand.m.models[0], fastBand.m.models[1]};
        if (referenceBand.givenModels) band.givenModels = referenceBand.givenModels;
        const Outcome fastBandGiven = referenceBand.givenModels ? Launch(row, band, options.repeats, bandRows, options.limitSeconds) : fastBand;
        const Outcome referenceBandRun = Launch(row, referenceBand, options.repeats, bandRows, options.limitSeconds);
        compare(fastBandGiven, referenceBandRun, "band");
        refSweep = referenceBandRun.m.stage[2] * gridRows / bandRows;
        sweepRatioRef = referenceBandRun.m.stage[2], sweepRatioFast = fastBandGiven.m.stage[2];
        // The variograms on a leading subset of the samples, one grid row.
        Call sub = fastCall;
        sub.samples = subset;
        sub.cellsY = 0;
        Call referenceSub = sub;
        referenceSub.reference = true;
        referenceSub.threads = 1;
        const Outcome fastSub = Launch(row, sub, options.repeats, 1, options.limitSeconds);
        const Outcome referenceSubRun = Launch(row, referenceSub, options.repeats, 1, options.limitSeconds);
        compare(fastSub, referenceSubRun, "subset");
        const double scale = static_cast<double>(row.samples) / subset;
        refVario = referenceSubRun.m.stage[0] * scale * scale;
        varioRatioRef = referenceSubRun.m.stage[0], varioRatioFast = fastSub.m.stage[0];
        for (const Outcome* o : {&fastBandGiven, &referenceBandRun, &fastSub, &referenceSubRun})
            if (!o->ok) notes.push_back(row.effect + " reduced call: " + o->failure);
        char note[160];
        std::snprintf(note, sizeof note, "n=%d %dx%d m=%d method %d: reference on %d of %d rows, variograms on %d samples",
                      row.samples, row.cells, row.cells, row.neighbours, row.method, bandRows, gridRows, subset);
        notes.push_back(note);
    }
    if (!fast.ok) notes.push_back(row.effect + " fast path: " + fast.failure);

    const std::string bits = !checked ? "-" : same ? (estimated ? "same~" : "same") : "DIFF";
    std::printf("%-8s %7d %5d %3d %4d %3d %2s | %8s %9s %7s | %8s %9s %7s | %7s %9s %8s %8.1f %6s\n", row.effect.c_str(),
                row.samples, row.cells, row.neighbours, row.method, row.threads, row.lattice ? "L" : "",
                Seconds(fast.m.stage[0]).c_str(), Seconds(refVario, estimated).c_str(),
                Ratio(varioRatioRef, varioRatioFast).c_str(), Seconds(fast.m.stage[2]).c_str(),
                Seconds(refSweep, estimated).c_str(), Ratio(sweepRatioRef, sweepRatioFast).c_str(),
                Seconds(fast.m.stage[1] * 1e3).c_str(),
                fast.ok && fast.m.stage[2] > 0 ? Seconds(nodes * passes / fast.m.stage[2] / 1e6).c_str() : "-",
                Seconds(fast.m.whole).c_str(), fast.peakMiB, bits.c_str());
    std::fflush(stdout);
    if (!same) std::fprintf(stderr, "\n*** BIT MISMATCH between the fast and the reference path: %s, %s ***\n\n", row.effect.c_str(), where.c_str());

    if (row.targetSeconds > 0.0) {
        char note[200];
        std::snprintf(note, sizeof note, "target: n=%d %dx%d m=%d method %d threads %d: whole call %s s, target < %g s: %s",
                      row.samples, row.cells, row.cells, row.neighbours, row.method, row.threads,
                      Seconds(fast.m.whole).c_str(), row.targetSeconds, fast.ok && fast.m.whole < row.targetSeconds ? "met" : "NOT MET");
        notes.push_back(note);
    }
    if (row.memoryTarget) {
        const Input input = mosaro_bench::MakeInput(row);
        const double limit = 2.0 * (input.Megabytes() + nodes * sizeof(float) / (1024.0 * 1024.0)) + 64.0;
        char note[200];
        std::snprintf(note, sizeof note, "target: peak memory %.1f MiB, limit 2 x (input + output) + 64 MiB = %.1f MiB: %s",
                      fast.peakMiB, limit, fast.ok && fast.peakMiB < limit ? "met" : "NOT MET");
        notes.push_back(note);
    }
    return same;
}

int Usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [--quick | --full | --targets] [--repeats N] [--limit SECONDS]\n"
                 "  --quick    a few small rows (seconds; for CI)\n"
                 "  --full     every size at the largest scale as well\n"
                 "  --targets  only the rows with time and memory targets\n"
                 "  --repeats  calls per measurement, best taken (default 3)\n"
                 "  --limit    wall-time limit of one measurement (default 120 s)\n",
                 program);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") options.mode = mosaro_bench::Mode::kQuick;
        else if (arg == "--full") options.mode = mosaro_bench::Mode::kFull;
        else if (arg == "--targets") options.mode = mosaro_bench::Mode::kTargets;
        else if (arg == "--repeats" && i + 1 < argc) options.repeats = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--limit" && i + 1 < argc) options.limitSeconds = std::max(1, std::atoi(argv[++i]));
        else return Usage(argv[0]);
    }

    std::printf("%-8s %7s %5s %3s %4s %3s %2s | %8s %9s %7s | %8s %9s %7s | %7s %9s %8s %8s %6s\n", "row", "n", "cells", "m",
                "meth", "thr", "", "vario s", "ref s", "ref/fst", "sweep s", "ref s", "ref/fst", "fit ms", "Mnode/s",
                "whole s", "peak MiB", "bits");
    std::vector<std::string> notes;
    bool allSame = true;
    for (const Row& row : mosaro_bench::RowsOf(options.mode)) allSame = RunRow(row, options, notes) && allSame;

    std::printf("\ncells: (cells + 1)^2 nodes; L: lattice samples (ties at every node); times are the best of %d calls,\n"
                "fast path with the row's threads, reference path on one thread; ref/fst compares like with like.\n"
                "~: the reference ran on a band of rows (sweep) and a subset of samples (variograms, scaled by the\n"
                "square of the sample ratio); its whole-row figure is extrapolated, and 'same~' checked those calls.\n",
                options.repeats);
    for (const std::string& note : notes) std::printf("  %s\n", note.c_str());
    if (!allSame) {
        std::fprintf(stderr, "*** the fast and the reference path gave different bits: see the table ***\n");
        return 1;
    }
    return 0;
}
