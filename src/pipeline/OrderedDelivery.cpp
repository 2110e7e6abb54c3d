#include "pipeline/OrderedDelivery.h"

#include <cmath>

namespace mosaro {

OrderedDelivery::OrderedDelivery(const SimulationOutputs& outputs, long long nodes, std::size_t ahead)
    : outputs_(outputs), nodes_(nodes), ahead_(ahead) {
    if (outputs.mean != nullptr || outputs.variance != nullptr) {
        sum_.assign(static_cast<std::size_t>(nodes), 0.0);
        squares_.assign(static_cast<std::size_t>(nodes), 0.0);
    }
    if (outputs.exceedance != nullptr)
        above_.assign(static_cast<std::size_t>(nodes) * static_cast<std::size_t>(outputs.thresholdCount), 0.0);
}

bool OrderedDelivery::Deliver(int r, const std::vector<double>& values) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopped_) return false;
    if (next_ != r && kept_.size() < ahead_) {
        kept_.emplace(r, values);
        return true;
    }
    turn_.wait(lock, [&] { return next_ == r || stopped_; });
    if (stopped_) return false;
    bool goOn = Add(r, values);
    for (auto k = kept_.find(next_); goOn && k != kept_.end(); k = kept_.find(next_)) {
        goOn = Add(k->first, k->second);
        kept_.erase(k);
    }
    turn_.notify_all();
    return goOn;
}

void OrderedDelivery::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    turn_.notify_all();
}

int OrderedDelivery::Delivered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return next_;
}

void OrderedDelivery::Finish() const {
    const double n = Delivered();
    for (std::size_t k = 0; k < sum_.size(); ++k) {
        if (outputs_.mean != nullptr) outputs_.mean[k] = n > 0 ? sum_[k] : std::nan("");
        if (outputs_.variance != nullptr) outputs_.variance[k] = n > 0 ? squares_[k] / n : std::nan("");
    }
    for (std::size_t k = 0; k < above_.size(); ++k) outputs_.exceedance[k] = n > 0 ? above_[k] / n : std::nan("");
}

bool OrderedDelivery::Add(int r, const std::vector<double>& values) {
    bool goOn = true;
    if (outputs_.deliver) goOn = outputs_.deliver(r, values);
    // Welford's running mean and sum of squared deviations, in realisation
    // order.
    if (!sum_.empty()) {
        const double count = r + 1.0;
        for (std::size_t k = 0; k < sum_.size(); ++k) {
            const double delta = values[k] - sum_[k];
            sum_[k] += delta / count;
            squares_[k] += delta * (values[k] - sum_[k]);
        }
    }
    for (int t = 0; t < outputs_.thresholdCount && !above_.empty(); ++t)
        for (std::size_t k = 0; k < static_cast<std::size_t>(nodes_); ++k)
            if (values[k] > outputs_.thresholds[t]) above_[static_cast<std::size_t>(t) * values.size() + k] += 1.0;
    ++next_;
    if (!goOn) stopped_ = true;
    return goOn;
}

}  // namespace mosaro
