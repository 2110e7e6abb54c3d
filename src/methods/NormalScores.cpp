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
}

double NormalScores::Back(double score) const {
    if (std::isnan(score)) return score;
    const std::size_t n = score_.size();
    if (score <= score_.front()) {
        const double p = NormalDistribution(score), first = NormalDistribution(score_.front());
        return first > 0.0 ? lower_ + (value_.front() - lower_) * (p / first) : value_.front();
    }
    if (score >= score_.back()) {
        const double p = NormalDistribution(score), last = NormalDistribution(score_.back());
        return last < 1.0 ? value_.back() + (upper_ - value_.back()) * ((p - last) / (1.0 - last)) : value_.back();
    }
    // A score of the data gives its value exactly (a realisation honours
    // the samples).
    const std::size_t k =
        static_cast<std::size_t>(std::lower_bound(score_.begin(), score_.end(), score) - score_.begin());
    if (score_[k] == score) return value_[k];
    const double t = (score - score_[k - 1]) / (score_[k] - score_[k - 1]);
    (void)n;
    return value_[k - 1] + t * (value_[k] - value_[k - 1]);
}

}  // namespace mosaro
