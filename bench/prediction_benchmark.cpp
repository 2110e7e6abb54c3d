// The accurate arithmetic's searches side by side in one run: the same
// prediction (a given model, 16 neighbours) with the plain nearest-neighbour
// search, with quadrants and octants, with an anisotropic search and with a
// distance limit, and how much longer each takes than the plain search. Each
// figure is the best of a few repeats; compare the figures of one run only,
// the machines are shared and noisy. With --threads 1 the figures are
// processor time, which a busy machine does not inflate.
//
// usage: mosaro_prediction_bench [--quick] [--repeats N] [--threads N]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "mosaro.h"

namespace {

struct Samples {
    std::vector<double> x, y, value;
};

// A smooth field with noise over [0, 1000)^2, as the other benchmarks'.
Samples Make(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> position(0.0, 1000.0), noise(-1.0, 1.0);
    Samples s;
    for (int i = 0; i < count; ++i) {
        const double x = position(random), y = position(random);
        s.x.push_back(x);
        s.y.push_back(y);
        s.value.push_back(50.0 + 20.0 * std::sin(x / 90.0) * std::cos(y / 130.0) + noise(random));
    }
    return s;
}

struct Search {
    const char* name;
    int sectors, maxPerSector, anisotropic;
    double maxDistance;
};

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    int repeats = 3;
    int threads = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) quick = true;
        else if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc) repeats = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) threads = std::max(0, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: %s [--quick] [--repeats N] [--threads N]\n", argv[0]);
            return 2;
        }
    }
    mosaro_model model;
    mosaro_model_init(&model);
    // Anisotropic, so that the anisotropic search has something to follow.
    if (mosaro_model_parse("0.1 Nug + 1 Sph(200, azimuth=45, ratio=0.5)", &model) != MOSARO_OK) {
        std::fprintf(stderr, "model: %s\n", mosaro_last_message());
        return 1;
    }

    const Search searches[] = {{"nearest 16", 0, 0, 0, 0.0},
                               {"quadrants 4 x 4", 4, 4, 0, 0.0},
                               {"octants 8 x 2", 8, 2, 0, 0.0},
                               {"nearest 16, anisotropic", 0, 0, 1, 0.0},
                               {"nearest 16 within 100", 0, 0, 0, 100.0}};
    struct Row {
        int samples, nodes;
    };
    const std::vector<Row> rows =
        quick ? std::vector<Row>{{10000, 151}} : std::vector<Row>{{10000, 301}, {100000, 501}};

    std::printf("| samples | nodes | search | seconds | Mnode/s | / nearest |\n|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        const Samples s = Make(row.samples, 29);
        std::vector<double> estimate(static_cast<std::size_t>(row.nodes) * static_cast<std::size_t>(row.nodes));
        std::vector<double> variance(estimate.size());
        double nearest = 0.0;
        for (const Search& search : searches) {
            mosaro_prediction p;
            mosaro_prediction_init(&p);
            p.x = s.x.data();
            p.y = s.y.data();
            p.value = s.value.data();
            p.sample_count = row.samples;
            p.model = &model;
            p.nmax = 16;
            p.sectors = search.sectors;
            p.max_per_sector = search.maxPerSector;
            p.anisotropic_search = search.anisotropic;
            p.max_distance = search.maxDistance;
            p.grid_x = p.grid_y = 0.0;
            p.cell_size_x = p.cell_size_y = 1000.0 / static_cast<double>(row.nodes - 1);
            p.node_count_x = p.node_count_y = row.nodes;
            p.estimate = estimate.data();
            p.variance = variance.data();
            p.thread_count = threads;
            double best = 1e300;
            for (int k = 0; k < repeats; ++k) {
                const auto start = std::chrono::steady_clock::now();
                const std::clock_t processor = std::clock();
                if (mosaro_predict(&p, nullptr) != MOSARO_OK) {
                    std::fprintf(stderr, "%s: %s\n", search.name, mosaro_last_message());
                    return 1;
                }
                const double seconds =
                    threads == 1 ? static_cast<double>(std::clock() - processor) / CLOCKS_PER_SEC
                                 : std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                best = std::min(best, seconds);
            }
            if (search.sectors == 0 && !search.anisotropic && search.maxDistance == 0.0) nearest = best;
            const double count = static_cast<double>(estimate.size());
            std::printf("| %d | %dx%d | %s | %.3f | %.3f | %.2f |\n", row.samples, row.nodes, row.nodes, search.name,
                        best, count / best / 1e6, best / nearest);
            std::fflush(stdout);
        }
    }
    return 0;
}
