// Times the node sweep alone (a fixed model, no variograms) on seeded
// samples: the fast path on 1 and 2 threads against the plain reference,
// whose time on large grids is taken on a band of rows (same extent and
// cell size, fewer rows) and scaled to the whole grid. Checks that both
// paths give the same bits on the rows they share.
//
// usage: mosaro_sweep_timing [samples cells reference-rows repeats]...
// default: the three sizes the sweep is tuned for.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "Kriging.h"

namespace {

struct Size {
    int samples, cells, referenceRows, repeats;
};

struct Samples {
    std::vector<float> x, y, value;
    explicit Samples(int n) : x(static_cast<std::size_t>(n)), y(x), value(x) {
        std::mt19937 random(20261206);
        std::uniform_real_distribution<float> u(0.0f, 10000.0f), noise(-4.0f, 4.0f);
        for (std::size_t i = 0; i < x.size(); ++i) {
            x[i] = u(random);
            y[i] = u(random);
            value[i] = 50.0f + 25.0f * std::sin(x[i] / 950.0f) * std::cos(y[i] / 1150.0f) + noise(random);
        }
    }
};

// Best time of `repeats` sweeps of the first `rows` rows of a cells x cells
// grid over [0, 10000]^2.
double TimeSweep(Samples& s, int cells, int rows, bool reference, int threads, int repeats,
                 std::vector<float>& grid) {
    const float cell = 10000.0f / static_cast<float>(cells - 1);
    CKriging estimator(static_cast<int>(s.x.size()), 16, 0.0f, TGRIDCELLXY{cell, cell, cells - 1, rows - 1},
                       TRECTXYMINMAX{0, 0, 10000, 10000});
    estimator.m_VariogramModel[0] = TVARIOGRAMMODEL{2.0f, 300.0f, 2500.0f, 298.0f};
    estimator.m_VariogramModel[1] = TVARIOGRAMMODEL{3.0f, 320.0f, 2200.0f, 317.0f};
    float* points[3] = {s.x.data(), s.y.data(), s.value.data()};
    grid.assign(static_cast<std::size_t>(cells) * static_cast<std::size_t>(rows), 0.0f);
    mosaro::RunContext context;
    context.reference = reference;
    context.threads = threads;
    mosaro::RunContextScope scope(context);
    const mosaro::NodeMethod ordinary;
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) {
        const auto start = std::chrono::steady_clock::now();
        mosaro::RunNodeSweep(estimator, points, grid.data(), ordinary);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Size> sizes = {{10000, 100, 100, 5}, {10000, 300, 30, 3}, {100000, 1000, 4, 1}};
    if (argc > 1) {
        sizes.clear();
        for (int a = 1; a + 3 < argc; a += 4)
            sizes.push_back({std::atoi(argv[a]), std::atoi(argv[a + 1]), std::atoi(argv[a + 2]), std::atoi(argv[a + 3])});
    }
    std::printf("%8s %9s %10s %10s %12s %14s %9s %6s\n", "samples", "nodes", "1 thread", "2 threads", "reference",
                "nodes/s (2)", "speed-up", "bits");
    for (const Size& z : sizes) {
        Samples samples(z.samples);
        std::vector<float> one, two, reference;
        const double t1 = TimeSweep(samples, z.cells, z.cells, false, 1, z.repeats, one);
        const double t2 = TimeSweep(samples, z.cells, z.cells, false, 2, z.repeats, two);
        const double band = TimeSweep(samples, z.cells, z.referenceRows, true, 1, 1, reference);
        const double scaled = band * static_cast<double>(z.cells) / static_cast<double>(z.referenceRows);
        const bool same = one == two && std::memcmp(reference.data(), one.data(), reference.size() * sizeof(float)) == 0;
        const double nodes = static_cast<double>(z.cells) * static_cast<double>(z.cells);
        std::printf("%8d %9.0f %9.3fs %9.3fs %11.3fs%s %14.0f %8.0fx %6s\n", z.samples, nodes, t1, t2, scaled,
                    z.referenceRows < z.cells ? "*" : " ", nodes / t2, scaled / std::min(t1, t2), same ? "same" : "DIFFER");
    }
    std::printf("* reference timed on a band of rows and scaled to the whole grid\n");
    return 0;
}
