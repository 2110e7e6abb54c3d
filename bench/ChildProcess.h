// Runs one measurement in a forked child, so that its peak memory is its
// own (the parent never calls the library and stays small) and a run that
// outlives its time limit can be stopped without stopping the benchmark.
#pragma once

#include <functional>
#include <string>

namespace mosaro_bench {

struct ChildResult {
    bool finished = false;  // the work returned; otherwise `failure` says why
    std::string output;     // the bytes the work returned
    double peakMiB = 0.0;   // the child's peak resident set
    std::string failure;
};

// Forks, runs `work` in the child with a limit of `limitSeconds` of wall
// time, and collects what it returned.
ChildResult RunInChild(const std::function<std::string()>& work, int limitSeconds);

}  // namespace mosaro_bench
