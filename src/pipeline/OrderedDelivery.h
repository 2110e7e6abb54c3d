// Hands the realisations of a simulation on in their order, whichever
// worker made them, and keeps the summaries over them (the E-type mean and
// variance, the shares above thresholds), which depend on that order.
//
// A realisation finished before its turn is kept, up to `ahead` of them,
// and its worker goes on to the next: a worker that waited for the one
// before would run in step with the slowest. Past that it waits.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

#include "pipeline/Simulation.h"

namespace mosaro {

class OrderedDelivery {
public:
    OrderedDelivery(const SimulationOutputs& outputs, long long nodes, std::size_t ahead);

    // Hands realisation r on in its turn, with the kept ones that follow
    // it; false when the run should stop (a hand-over refused, or Stop()).
    // Keeping r returns at once.
    bool Deliver(int r, const std::vector<double>& values);

    void Stop();

    // The realisations handed on.
    int Delivered() const;

    // Writes the summaries over the realisations handed on (NaN for none).
    void Finish() const;

private:
    // Hands realisation r (next_'s) on and adds it to the summaries.
    bool Add(int r, const std::vector<double>& values);

    const SimulationOutputs& outputs_;
    long long nodes_;
    std::size_t ahead_;
    mutable std::mutex mutex_;
    std::condition_variable turn_;
    int next_ = 0;
    bool stopped_ = false;
    std::map<int, std::vector<double>> kept_;  // finished before their turn
    std::vector<double> sum_, squares_, above_;
};

}  // namespace mosaro
