// The library's own random numbers, so that a seed gives the same draws on
// every platform and at any thread count: xoshiro256** seeded through
// splitmix64, one independent stream per (seed, stream index) (a
// realisation of a simulation draws from its own stream, whichever worker
// runs it), uniform doubles from the top 53 bits, and standard normal
// deviates by the inverse of the normal distribution function (no
// rejection, so every draw takes one number of the stream).
#pragma once

#include <cstddef>
#include <cstdint>

namespace mosaro {

class RandomStream {
public:
    RandomStream(std::uint64_t seed, std::uint64_t stream);

    std::uint64_t Next();
    // In (0, 1): never 0 or 1, so that the normal deviate is finite.
    double Uniform();
    double Normal();
    // The next `count` normal deviates, with the bits of as many calls of
    // Normal().
    void Normals(double* out, std::size_t count);
    // An integer in [0, bound), bound >= 1 (multiply-shift, bias below 2^-32
    // for bounds below 2^32).
    std::uint64_t Below(std::uint64_t bound);

private:
    std::uint64_t s_[4];
};

// The standard normal distribution function and its inverse, from IEEE
// operations and the library's own logarithm and exponential.
double NormalDistribution(double x);
double InverseNormal(double p);

}  // namespace mosaro
