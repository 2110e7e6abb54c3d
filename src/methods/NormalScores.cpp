#include "methods/NormalScores.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "platform/Random.h"

namespace mosaro {

NormalScores::NormalScores(const std::vector<double>& values, double lower, double upper) : scores_(values.size()) {
    const std::size_t n = values.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    for (std::size_t first = 0; first < n;) {
        std::size_t last = first + 1;
        while (last < n && values[order[last]] == values[order[first]]) ++last;
        // Ties share the mean of their ranks' probabilities.
        const double probability = (0.5 * static_cast<double>(first + last - 1) + 0.5) / static_cast<double>(n);
        const double score = InverseNormal(probability);
        value_.push_back(values[order[first]]);
        score_.push_back(score);
        for (std::size_t k = first; k < last; ++k) scores_[order[k]] = score;
        first = last;
    }
    lower_ = std::isnan(lower) ? value_.front() : lower;
    upper_ = std::isnan(upper) ? value_.back() : upper;
    firstProbability_ = NormalDistribution(score_.front());
    lastProbability_ = NormalDistribution(score_.back());
    // About four slices a score, so that a search walks a step or two where
    // a binary search would take a mispredicted branch at each of its
    // halvings.
    const std::size_t slices = 4 * score_.size();
    const double width = score_.back() - score_.front();
    if (score_.size() > 1 && width > 0.0) {
        sliceScale_ = static_cast<double>(slices) / width;
        sliceStart_.resize(slices);
        std::size_t k = 0;
        for (std::size_t slice = 0; slice < slices; ++slice) {
            const double edge = score_.front() + static_cast<double>(slice) / sliceScale_;
            while (k < score_.size() && score_[k] < edge) ++k;
            sliceStart_[slice] = k;
        }
    }
}

double NormalScores::Back(double score) const {
    if (std::isnan(score)) return score;
    if (score <= score_.front()) {
        const double p = NormalDistribution(score), first = firstProbability_;
        return first > 0.0 ? lower_ + (value_.front() - lower_) * (p / first) : value_.front();
    }
    if (score >= score_.back()) {
        const double p = NormalDistribution(score), last = lastProbability_;
        return last < 1.0 ? value_.back() + (upper_ - value_.back()) * ((p - last) / (1.0 - last)) : value_.back();
    }
    // The first score not below this one, found from its slice; the walks
    // make it exact whatever the slice's rounding. Here front < score <
    // back, so there are at least two scores and 0 < k < their count.
    const double position = (score - score_.front()) * sliceScale_;
    std::size_t k = sliceStart_[std::min(static_cast<std::size_t>(position), sliceStart_.size() - 1)];
    k = std::clamp<std::size_t>(k, 1, score_.size() - 1);
    while (score_[k - 1] >= score) --k;
    while (score_[k] < score) ++k;
    // A score of the data gives its value exactly (a realisation honours
    // the samples).
    if (score_[k] == score) return value_[k];
    const double t = (score - score_[k - 1]) / (score_[k] - score_[k - 1]);
    return value_[k - 1] + t * (value_[k] - value_[k - 1]);
}

}  // namespace mosaro
