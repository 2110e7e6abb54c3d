// The engine's math functions and the C library's on a million seeded
// arguments each, as the engine meets them. `write FILE` stores both sets of
// results; `compare FILE` counts how many differ from those of this build,
// per function, and fails when an engine result does: the C library's may
// differ between platforms, the engine's must not.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "platform/PortableMath.h"

namespace {

constexpr int kFunctions = 4;
constexpr int kArguments = 1000000;
const char* const kNames[kFunctions] = {"pow(x, 3)", "atan", "log", "exp"};

// Results in the order function, argument, then C library before engine.
std::vector<double> Results() {
    std::vector<double> results;
    results.reserve(2u * kFunctions * kArguments);
    std::mt19937_64 generator(2026);  // its raw output is the same everywhere
    for (int f = 0; f < kFunctions; ++f) {
        for (int i = 0; i < kArguments; ++i) {
            const double u = static_cast<double>(generator() >> 11) * 0x1p-53;
            const double v = static_cast<double>(generator() >> 11) * 0x1p-53;
            switch (f) {
                case 0:  // h / a of the covariance, in [0, 1)
                    results.push_back(std::pow(u, 3.0));
                    results.push_back(mosaro::Cube(u));
                    break;
                case 1: {  // quotients ay / ax over 80 binades
                    const double x = std::ldexp(u, static_cast<int>(v * 80) - 40);
                    results.push_back(std::atan(x));
                    results.push_back(mosaro::ArcTangent(x));
                    break;
                }
                case 2: {  // positive sample values over 200 binades
                    const double x = std::ldexp(0.5 + u, static_cast<int>(v * 200) - 100);
                    results.push_back(std::log(x));
                    results.push_back(mosaro::NaturalLogarithm(x));
                    break;
                }
                default: {  // float logarithmic estimates in [-40, 40)
                    const double x = static_cast<double>(static_cast<float>((u - 0.5) * 80.0));
                    results.push_back(std::exp(x));
                    results.push_back(mosaro::NaturalExponential(x));
                    break;
                }
            }
        }
    }
    return results;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "write") != 0 && std::strcmp(argv[1], "compare") != 0)) {
        std::fprintf(stderr, "usage: math_sample write|compare FILE\n");
        return 2;
    }
    const std::vector<double> results = Results();
    const std::size_t bytes = results.size() * sizeof(double);
    if (std::strcmp(argv[1], "write") == 0) {
        FILE* file = std::fopen(argv[2], "wb");
        const bool written = file != nullptr && std::fwrite(results.data(), 1, bytes, file) == bytes;
        if (file == nullptr || std::fclose(file) != 0 || !written) {
            std::fprintf(stderr, "math_sample: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    std::vector<double> other(results.size());
    FILE* file = std::fopen(argv[2], "rb");
    const bool read = file != nullptr && std::fread(other.data(), 1, bytes, file) == bytes;
    if (file != nullptr) std::fclose(file);
    if (!read) {
        std::fprintf(stderr, "math_sample: cannot read %s\n", argv[2]);
        return 1;
    }
    bool engineDiffers = false;
    for (int f = 0; f < kFunctions; ++f) {
        long differ[2] = {0, 0};  // C library, engine
        for (std::size_t k = 2u * f * kArguments; k < 2u * (f + 1) * kArguments; ++k)
            if (std::memcmp(&results[k], &other[k], sizeof(double)) != 0) ++differ[k % 2];
        std::printf("%-9s of %d arguments differ: C library %ld, engine %ld\n", kNames[f], kArguments, differ[0],
                    differ[1]);
        engineDiffers = engineDiffers || differ[1] != 0;
    }
    return engineDiffers ? 1 : 0;
}
