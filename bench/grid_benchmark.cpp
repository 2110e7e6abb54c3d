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
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "BenchmarkRows.h"
#include "Measurement.h"

namespace {

using mosaro_bench::Call;
using mosaro_bench::Outcome;
using mosaro_bench::Row;

// Cost of the plain code, seconds per sample pair of the variograms and per
// node and sample of the sweep (measured on the development machines), used
// only to decide how much of a row the reference path can afford.
constexpr double kReferencePairSeconds = 3e-8, kReferenceNodeSampleSeconds = 1e-8;
// Seconds the reference path may spend on one row's sweep or variograms.
constexpr double kReferenceBudget = 2.0;

std::string Label(const Row& row) {
    char text[96];
    std::snprintf(text, sizeof text, "n=%d %dx%d m=%d method %d threads %d%s", row.samples, row.cells, row.cells,
                  row.neighbours, row.method, row.threads, row.lattice ? " lattice" : "");
    return text;
}

std::string Seconds(double s, bool estimated = false) {
    if (s >= 1e299) return "-";  // not measured
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

constexpr double kNone = 1e300;  // a figure that was not measured

// The reference side of one row: its whole-row seconds (extrapolated when it
// ran reduced calls), the seconds of both paths on the same calls for the
// ratios, and the bit checks made on the way.
struct Comparison {
    double refVario = kNone, refSweep = kNone;
    double varioPair[2] = {kNone, kNone}, sweepPair[2] = {kNone, kNone};  // reference, fast
    bool reduced = false, varioEstimated = false, sweepEstimated = false;
    bool checked = false, same = true;
    std::string where;  // which calls differed

    void Check(const Outcome& fast, const Outcome& reference, const char* what) {
        if (!fast.ok || !reference.ok) return;
        checked = true;
        if (SameBits(fast, reference)) return;
        same = false;
        where += std::string(where.empty() ? "" : ", ") + what;
    }
};

Call ReferenceOf(Call call) {
    call.reference = true;
    call.threads = 1;
    return call;
}

Comparison CompareWhole(const Row& row, const Call& fastCall, const Outcome& fast, const Options& options,
                        std::vector<std::string>& notes) {
    Comparison c;
    const Outcome reference = Launch(row, ReferenceOf(fastCall), options.repeats, row.cells + 1, options.limitSeconds);
    c.Check(fast, reference, "whole grid");
    c.refVario = reference.m.stage[0], c.refSweep = reference.m.stage[2];
    c.varioPair[0] = c.refVario, c.varioPair[1] = fast.m.stage[0];
    c.sweepPair[0] = c.refSweep, c.sweepPair[1] = fast.m.stage[2];
    if (!reference.ok) notes.push_back(Label(row) + ": reference: " + reference.failure);
    return c;
}

// The sweep on the first `bandRows` rows, the variograms on the first
// `subset` samples with one grid row; the fast path runs the same calls.
Comparison CompareReduced(const Row& row, const Call& fastCall, int bandRows, int subset, const Options& options,
                          std::vector<std::string>& notes) {
    Comparison c;
    const int gridRows = row.cells + 1;
    c.reduced = true;
    c.sweepEstimated = bandRows < gridRows;
    c.varioEstimated = subset < row.samples;

    // Both paths get the same models when the engine takes given models, so
    // the band's cost is the sweep's; indicator kriging fits per threshold.
    Call band = fastCall;
    band.cellsY = bandRows - 1;
    Outcome fastBand = Launch(row, band, options.repeats, bandRows, options.limitSeconds);
    if (fastBand.ok && fastBand.m.modelsKnown && row.method != 10) {
        band.givenModels = std::array<TVARIOGRAMMODEL, 2>{fastBand.m.models[0], fastBand.m.models[1]};
        fastBand = Launch(row, band, options.repeats, bandRows, options.limitSeconds);
    }
    // The reference is never faster: when the fast path ran out of time on
    // the band, so would the reference.
    Outcome referenceBand;
    if (fastBand.ok) referenceBand = Launch(row, ReferenceOf(band), options.repeats, bandRows, options.limitSeconds);
    else referenceBand.failure = "not run: the fast path ran out of time";
    c.Check(fastBand, referenceBand, "band");
    c.refSweep = referenceBand.m.stage[2] * gridRows / bandRows;
    c.sweepPair[0] = referenceBand.m.stage[2], c.sweepPair[1] = fastBand.m.stage[2];

    Call sub = fastCall;
    sub.samples = subset;
    sub.cellsY = 0;
    const Outcome fastSub = Launch(row, sub, options.repeats, 1, options.limitSeconds);
    const Outcome referenceSub = Launch(row, ReferenceOf(sub), options.repeats, 1, options.limitSeconds);
    c.Check(fastSub, referenceSub, "subset");
    const double scale = static_cast<double>(row.samples) / subset;
    c.refVario = referenceSub.m.stage[0] * scale * scale;
    c.varioPair[0] = referenceSub.m.stage[0], c.varioPair[1] = fastSub.m.stage[0];

    for (const Outcome* o : std::initializer_list<const Outcome*>{&fastBand, &referenceBand, &fastSub, &referenceSub})
        if (!o->ok) notes.push_back(Label(row) + ": reduced call: " + o->failure);
    notes.push_back(Label(row) + ": reference on " + std::to_string(bandRows) + " of " + std::to_string(gridRows) +
                    " rows, variograms on " + std::to_string(subset) + " samples");
    return c;
}

void NoteTargets(const Row& row, const Outcome& fast, double nodes, std::vector<std::string>& notes) {
    char note[160];
    if (row.targetSeconds > 0.0) {
        std::snprintf(note, sizeof note, ": whole call %s s, target < %g s: %s", Seconds(fast.m.whole).c_str(),
                      row.targetSeconds, fast.ok && fast.m.whole < row.targetSeconds ? "met" : "NOT MET");
        notes.push_back("target " + Label(row) + note);
    }
    if (row.memoryTarget) {
        // Sized without building the input: the parent stays small, or every
        // later child would inherit its pages.
        const double input = static_cast<double>(row.samples) * (row.method == 11 ? 4 : 3) * sizeof(float);
        const double limit = 2.0 * (input + nodes * sizeof(float)) / (1024.0 * 1024.0) + 64.0;
        std::snprintf(note, sizeof note, ": peak memory %.1f MiB, limit 2 x (input + output) + 64 MiB = %.1f MiB: %s",
                      fast.peakMiB, limit, fast.ok && fast.peakMiB < limit ? "met" : "NOT MET");
        notes.push_back("target " + Label(row) + note);
    }
}

// Measures one row, prints its line, and returns false on a bit mismatch.
bool RunRow(const Row& row, const Options& options, std::vector<std::string>& notes) {
    // How much of the row the reference path can afford.
    const int passes = row.method == 10 ? 3 : 1;
    const double samples = static_cast<double>(row.samples) * (row.method == 11 ? 2.0 : 1.0);
    const int gridRows = row.cells + 1;
    const double nodes = static_cast<double>(row.cells + 1) * gridRows;
    const double rowCost = passes * kReferenceNodeSampleSeconds * (row.cells + 1) * samples;
    const double varioCost = passes * kReferencePairSeconds * samples * samples / 2.0;
    const int bandRows = std::clamp(static_cast<int>(kReferenceBudget / rowCost), 1, gridRows);
    const int subset = std::min(row.samples, static_cast<int>(row.samples * std::sqrt(kReferenceBudget / varioCost)));

    Call fastCall;
    fastCall.threads = row.threads;
    fastCall.samples = row.samples;
    fastCall.cellsY = row.cells;
    const Outcome fast = Launch(row, fastCall, options.repeats, bandRows, options.limitSeconds);
    if (!fast.ok) notes.push_back(Label(row) + ": fast path: " + fast.failure);
    const Comparison c = bandRows == gridRows && subset == row.samples
                             ? CompareWhole(row, fastCall, fast, options, notes)
                             : CompareReduced(row, fastCall, bandRows, subset, options, notes);

    const std::string bits = !c.checked ? "-" : c.same ? (c.reduced ? "same~" : "same") : "DIFF";
    std::printf("%-8s %7d %5d %3d %4d %3d %2s | %8s %9s %7s | %8s %9s %7s | %7s %9s %8s %8.1f %6s\n",
                row.effect.c_str(), row.samples, row.cells, row.neighbours, row.method, row.threads,
                row.lattice ? "L" : "", Seconds(fast.m.stage[0]).c_str(), Seconds(c.refVario, c.varioEstimated).c_str(),
                Ratio(c.varioPair[0], c.varioPair[1]).c_str(), Seconds(fast.m.stage[2]).c_str(),
                Seconds(c.refSweep, c.sweepEstimated).c_str(), Ratio(c.sweepPair[0], c.sweepPair[1]).c_str(),
                Seconds(fast.m.stage[1] * 1e3).c_str(),
                fast.ok && fast.m.stage[2] > 0 ? Seconds(nodes * passes / fast.m.stage[2] / 1e6).c_str() : "-",
                Seconds(fast.m.whole).c_str(), fast.peakMiB, bits.c_str());
    std::fflush(stdout);
    if (!c.same)
        std::fprintf(stderr, "\n*** BIT MISMATCH between the fast and the reference path: %s: %s ***\n\n",
                     Label(row).c_str(), c.where.c_str());
    NoteTargets(row, fast, nodes, notes);
    return c.same;
}

// The accurate sweep at the targets' sizes with the given model: systems one
// at a time and several at once (LaneLu), side by side, their grids compared.
void RunAccurateStages(const Options& options) {
    std::printf("\naccurate arithmetic, given model\n%7s %5s %3s %3s %5s | %7s %7s %7s %5s\n", "n", "cells", "m", "thr",
                "lanes", "sweep s", "Mnode/s", "whole s", "bits");
    for (const Row& base : mosaro_bench::RowsOf(mosaro_bench::Mode::kTargets)) {
        std::uint64_t single = 0;
        for (const mosaro::SolverLanes lanes : {mosaro::SolverLanes::kScalar, mosaro::SolverLanes::kBest}) {
            Row row = base;
            row.threads = 2;
            Call call;
            call.threads = 2;
            call.samples = row.samples;
            call.cellsY = row.cells;
            call.lanes = lanes;
            call.arithmetic = mosaro::Arithmetic::kAccurate;
            const float range = 0.2f * static_cast<float>(row.cells);
            call.givenModels =
                std::array<TVARIOGRAMMODEL, 2>{{{1.0f, 11.0f, range, 10.0f}, {1.0f, 11.0f, range, 10.0f}}};
            const Outcome o = Launch(row, call, options.repeats, 1, options.limitSeconds);
            if (lanes == mosaro::SolverLanes::kScalar) single = o.m.gridHash;
            const double nodes = static_cast<double>(row.cells + 1) * (row.cells + 1);
            std::printf("%7d %5d %3d %3d %5d | %7s %7s %7s %5s\n", row.samples, row.cells, row.neighbours, 2,
                        mosaro::SolverLaneCount(lanes), Seconds(o.m.stage[2]).c_str(),
                        o.ok && o.m.stage[2] > 0 ? Seconds(nodes / o.m.stage[2] / 1e6).c_str() : "-",
                        Seconds(o.m.whole).c_str(),
                        !o.ok                    ? "-"
                        : o.m.gridHash == single ? "same"
                                                 : "DIFF");
            if (!o.ok) std::printf("  failed: %s\n", o.failure.c_str());
            std::fflush(stdout);
        }
    }
}

// Where the fast legacy sweep spends its time, part by part, at the sizes of
// the targets: one thread and two, the solver one system at a time and
// several at once. The fit finds no model for these seeded inputs (its
// sill is NaN, so is every estimate), so each size also runs with a given
// spherical model, whose systems are those of a usable grid.
void RunStages(const Options& options) {
    std::printf("%7s %5s %3s %5s %3s %5s | %7s %7s | %8s %8s %8s %8s %8s | %7s %7s %7s\n", "n", "cells", "m", "model",
                "thr", "lanes", "vario s", "fit ms", "chain s", "starts s", "assemb s", "solve s", "estim s", "sweep s",
                "Mnode/s", "whole s");
    struct Variant {
        bool given;
        int threads;
        mosaro::SolverLanes lanes;
    };
    const Variant variants[] = {{false, 1, mosaro::SolverLanes::kScalar}, {false, 1, mosaro::SolverLanes::kBest},
                                {false, 2, mosaro::SolverLanes::kScalar}, {false, 2, mosaro::SolverLanes::kBest},
                                {true, 2, mosaro::SolverLanes::kScalar},  {true, 2, mosaro::SolverLanes::kBest}};
    for (const Row& base : mosaro_bench::RowsOf(mosaro_bench::Mode::kTargets)) {
        for (const Variant& v : variants) {
            Row row = base;
            row.threads = v.threads;
            Call call;
            call.threads = v.threads;
            call.samples = row.samples;
            call.cellsY = row.cells;
            call.lanes = v.lanes;
            call.timeParts = true;
            const float range = 0.2f * static_cast<float>(row.cells);
            if (v.given)
                call.givenModels =
                    std::array<TVARIOGRAMMODEL, 2>{{{1.0f, 11.0f, range, 10.0f}, {1.0f, 11.0f, range, 10.0f}}};
            const Outcome o = Launch(row, call, options.repeats, 1, options.limitSeconds);
            const double nodes = static_cast<double>(row.cells + 1) * (row.cells + 1);
            std::printf("%7d %5d %3d %5s %3d %5d | %7s %7s | %8s %8s %8s %8s %8s | %7s %7s %7s\n", row.samples,
                        row.cells, row.neighbours, v.given ? "given" : "fit", v.threads,
                        mosaro::SolverLaneCount(v.lanes), Seconds(o.m.stage[0]).c_str(),
                        Seconds(o.m.stage[1] * 1e3).c_str(), Seconds(o.m.parts[0]).c_str(),
                        Seconds(o.m.parts[1]).c_str(), Seconds(o.m.parts[2]).c_str(), Seconds(o.m.parts[3]).c_str(),
                        Seconds(o.m.parts[4]).c_str(), Seconds(o.m.stage[2]).c_str(),
                        o.ok && o.m.stage[2] > 0 ? Seconds(nodes / o.m.stage[2] / 1e6).c_str() : "-",
                        Seconds(o.m.whole).c_str());
            if (!o.ok) std::printf("  failed: %s\n", o.failure.c_str());
            std::fflush(stdout);
        }
    }
    std::printf(
        "\nbest of %d calls each; chain: interior nodes, starts: the first node of each row (both on the\n"
        "calling thread); assembly, solve, estimate: seconds summed over the threads; sweep: wall seconds;\n"
        "given: nugget 1, sill 11, range 0.2 x cells in both directions (no variograms, no fit).\n",
        options.repeats);
    RunAccurateStages(options);
}

int Usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [--quick | --full | --targets | --stages] [--repeats N] [--limit SECONDS]\n"
                 "  --quick    a few small rows (seconds; for CI)\n"
                 "  --full     every size at the largest scale as well\n"
                 "  --targets  only the rows with time and memory targets\n"
                 "  --stages   the fast sweep part by part at the targets' sizes\n"
                 "  --repeats  calls per measurement, best taken (default 3)\n"
                 "  --limit    wall-time limit of one measurement (default 120 s)\n",
                 program);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool stages = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") options.mode = mosaro_bench::Mode::kQuick;
        else if (arg == "--full") options.mode = mosaro_bench::Mode::kFull;
        else if (arg == "--targets") options.mode = mosaro_bench::Mode::kTargets;
        else if (arg == "--stages") stages = true;
        else if (arg == "--repeats" && i + 1 < argc) options.repeats = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--limit" && i + 1 < argc) options.limitSeconds = std::max(1, std::atoi(argv[++i]));
        else return Usage(argv[0]);
    }
    if (stages) {
        RunStages(options);
        return 0;
    }

    std::printf("%-8s %7s %5s %3s %4s %3s %2s | %8s %9s %7s | %8s %9s %7s | %7s %9s %8s %8s %6s\n", "row", "n", "cells",
                "m", "meth", "thr", "", "vario s", "ref s", "ref/fst", "sweep s", "ref s", "ref/fst", "fit ms",
                "Mnode/s", "whole s", "peak MiB", "bits");
    std::vector<std::string> notes;
    bool allSame = true;
    for (const Row& row : mosaro_bench::RowsOf(options.mode)) allSame = RunRow(row, options, notes) && allSame;

    std::printf(
        "\ncells: (cells + 1)^2 nodes; L: lattice samples (ties at every node); times are the best of %d calls,\n"
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
