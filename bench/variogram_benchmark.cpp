// Times the experimental variogram of seeded samples (uniform in a square,
// a smooth field plus noise) at the default cutoff and width, and prints the
// seconds with the pair count, so that a change in speed shows and a change
// in the result does too.
//
//   mosaro_variogram_bench [SAMPLES [THREADS [DIRECTIONS]]]   (100000, all, 0)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "platform/WorkerPool.h"
#include "variogram/EmpiricalVariogram.h"

int main(int argc, char** argv) {
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    const int threads = argc > 2 ? std::atoi(argv[2]) : mosaro::ProcessorThreads();
    const int directions = argc > 3 ? std::atoi(argv[3]) : 0;
    std::mt19937_64 random(2026);
    std::vector<double> x(count), y(count), value(count);
    for (std::size_t i = 0; i < count; ++i) {
        x[i] = static_cast<double>(random() >> 11) * 0x1p-53 * 10000.0;
        y[i] = static_cast<double>(random() >> 11) * 0x1p-53 * 10000.0;
        value[i] =
            std::sin(x[i] / 900.0) + std::cos(y[i] / 1300.0) + 0.3 * static_cast<double>(random() >> 11) * 0x1p-53;
    }
    mosaro::EmpiricalOptions options;
    options.threads = threads;
    for (int d = 0; d < directions; ++d) options.directions.push_back({180.0 * d / directions});
    const auto start = std::chrono::steady_clock::now();
    const mosaro::EmpiricalVariogram v =
        mosaro::ComputeEmpiricalVariogram({x.data(), y.data(), value.data(), count}, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    unsigned long long pairs = 0;
    double checksum = 0.0;
    for (const mosaro::DirectionalVariogram& d : v.directions)
        for (const mosaro::LagClass& c : d.classes) {
            pairs += c.pairs;
            if (c.pairs) checksum += c.gamma;
        }
    std::printf("%zu samples, %d threads, %zu directions: %.3f s, %llu pairs, sum of gammas %.17g\n", count, threads,
                v.directions.size(), seconds, pairs, checksum);
    return 0;
}
