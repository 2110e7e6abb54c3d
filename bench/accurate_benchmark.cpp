// The accurate arithmetic and cross-validation against the legacy
// arithmetic, side by side in one run: nodes per second of whole grid calls
// with a given model (so that only the sweeps differ), and the seconds of a
// leave-one-out cross-validation. Each figure is the best of a few repeats;
// compare the figures of one run only, the machines are shared and noisy.
//
// usage: mosaro_accurate_bench [--quick] [--repeats N]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "mosaro.h"

namespace {

struct Samples {
    std::vector<float> x, y, value;
};

// A smooth field with noise over [0, 1000)^2, as the main benchmark's.
Samples Make(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> position(0.0f, 1000.0f), noise(-1.0f, 1.0f);
    Samples s;
    for (int i = 0; i < count; ++i) {
        const float x = position(random), y = position(random);
        s.x.push_back(x);
        s.y.push_back(y);
        s.value.push_back(50.0f + 20.0f * std::sin(x / 90.0f) * std::cos(y / 130.0f) + noise(random));
    }
    return s;
}

mosaro_request Request(int nodes, int method, mosaro_arithmetic arithmetic, const mosaro_variogram_model* model) {
    mosaro_request r;
    mosaro_request_init(&r);
    r.x_min = r.y_min = 0.0f;
    r.x_max = r.y_max = 1000.0f;
    r.cell_size_x = r.cell_size_y = 1000.0f / static_cast<float>(nodes - 1);
    r.node_count_x = r.node_count_y = nodes;
    r.neighbour_count = 16;
    r.method = static_cast<mosaro_method>(method);
    r.arithmetic = arithmetic;
    r.given_models = model;
    r.given_model_count = model != nullptr ? 1 : 0;
    r.fit = MOSARO_FIT_ROBUST;
    return r;
}

template <class Call>
double BestSeconds(int repeats, Call&& call) {
    double best = 1e300;
    for (int k = 0; k < repeats; ++k) {
        const auto start = std::chrono::steady_clock::now();
        if (!call()) return -1.0;
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    int repeats = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) quick = true;
        else if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc) repeats = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: %s [--quick] [--repeats N]\n", argv[0]);
            return 2;
        }
    }
    const mosaro_variogram_model model{1.0f, 0.0f, 250.0f, 200.0f};

    std::printf(
        "| sweep | method | legacy Mnode/s | accurate Mnode/s | accurate / legacy | no-data | ill-conditioned |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    struct SweepRow {
        int samples, nodes, method;
    };
    const std::vector<SweepRow> sweeps =
        quick ? std::vector<SweepRow>{{10000, 201, 1}, {10000, 201, 7}}
              : std::vector<SweepRow>{{10000, 301, 1}, {10000, 301, 7}, {100000, 1001, 1}};
    for (const SweepRow& row : sweeps) {
        const Samples s = Make(row.samples, 17);
        mosaro_samples* samples = nullptr;
        if (mosaro_samples_create(s.x.data(), s.y.data(), s.value.data(), row.samples, nullptr, 0, &samples) !=
            MOSARO_OK)
            return 1;
        std::vector<float> grid(static_cast<std::size_t>(row.nodes) * static_cast<std::size_t>(row.nodes));
        double seconds[2];
        mosaro_node_summary nodes{};
        nodes.struct_size = sizeof nodes;
        for (int a = 0; a < 2; ++a) {
            mosaro_request r = Request(row.nodes, row.method, static_cast<mosaro_arithmetic>(a), &model);
            r.grid = grid.data();
            seconds[a] = BestSeconds(repeats, [&] { return mosaro_grid_samples(samples, &r) >= 0; });
            if (a == 1) {
                mosaro_report* report = nullptr;
                r.report = &report;
                mosaro_grid_samples(samples, &r);
                mosaro_report_nodes(report, 0, &nodes);
                mosaro_report_free(report);
            }
        }
        const double count = static_cast<double>(row.nodes) * static_cast<double>(row.nodes);
        std::printf("| n=%d %dx%d m=16 | %d | %.3f | %.3f | %.2f | %lld | %lld |\n", row.samples, row.nodes, row.nodes,
                    row.method, count / seconds[0] / 1e6, count / seconds[1] / 1e6, seconds[0] / seconds[1],
                    nodes.no_data_count, nodes.ill_conditioned_count);
        mosaro_samples_free(samples);
    }

    std::printf("\n| leave-one-out | method | legacy s | accurate s | RMSE (accurate) |\n|---|---|---|---|---|\n");
    const int count = quick ? 2000 : 10000;
    const Samples s = Make(count, 23);
    mosaro_samples* samples = nullptr;
    if (mosaro_samples_create(s.x.data(), s.y.data(), s.value.data(), count, nullptr, 0, &samples) != MOSARO_OK)
        return 1;
    for (int method : {1, 7}) {
        double seconds[2];
        mosaro_validation_summary summary{};
        summary.struct_size = sizeof summary;
        for (int a = 0; a < 2; ++a) {
            // The whole call: variograms and the robust fit included.
            // Lag classes of 10 units, as a 101 x 101 grid would have them.
            const mosaro_request r = Request(101, method, static_cast<mosaro_arithmetic>(a), nullptr);
            mosaro_validation v{};
            v.struct_size = sizeof v;
            seconds[a] = BestSeconds(repeats, [&] { return mosaro_cross_validate(samples, &r, &v, &summary) >= 0; });
            if (seconds[a] < 0.0) std::fprintf(stderr, "cross-validation: %s\n", mosaro_last_message());
        }
        std::printf("| n=%d m=16 | %d | %.3f | %.3f | %.4g |\n", count, method, seconds[0], seconds[1],
                    summary.root_mean_square_error);
    }
    mosaro_samples_free(samples);
    return 0;
}
