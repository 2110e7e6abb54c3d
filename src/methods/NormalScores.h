// The normal-score transform of sequential Gaussian simulation and its
// back-transform.
//
// Forward: the values sorted (ties share the mean of their ranks), the k-th
// of n taking the score Phi^-1((k - 1/2) / n), Phi the standard normal
// distribution function. Back: linear interpolation of the values between
// their scores; beyond the smallest and the largest score (the tails) linear
// in the cumulative probability towards the bounds zmin (at probability 0)
// and zmax (at 1), which default to the smallest and the largest value, so
// that by default a simulated value never leaves the data's range.
#pragma once

#include <cstddef>
#include <vector>

namespace mosaro {

class NormalScores {
public:
    // `values` finite, at least one; lower <= min(values), upper >=
    // max(values) (NaN: the data's own).
    NormalScores(const std::vector<double>& values, double lower, double upper);

    // The score of every value, in the input order.
    const std::vector<double>& Scores() const { return scores_; }
    double Back(double score) const;

private:
    std::vector<double> value_, score_;  // distinct values ascending, their scores
    std::vector<double> scores_;
    double lower_, upper_;
    // The distribution function at the smallest and the largest score.
    double firstProbability_, lastProbability_;
    // Where the scores from each of equal slices of their range on begin:
    // a search starts there and walks the few steps to its place.
    std::vector<std::size_t> sliceStart_;
    double sliceScale_ = 0.0;
};

}  // namespace mosaro
