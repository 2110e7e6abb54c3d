#include "variogram/VariogramPairLoops.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "variogram/PairCone.h"
#include "variogram/SampleRunBoxes.h"
#include "platform/WorkerPool.h"

namespace mosaro {
namespace {

// Candidates of one row examined at a time (they stay in the nearest cache).
constexpr std::size_t kBatch = 512;

void AddPair(DirectionClasses& direction, float distance, double valueDifference) {
    const int index = direction.classifier.ClassOf(distance);
    if (index < 0) return;
    direction.sums[static_cast<std::size_t>(index)].Add(distance, PairContribution(valueDifference, distance));
}

// The pairs of one block that join a class, in pair order. The storage
// only grows (it is reused wave after wave); `used` counts the pairs of the
// current block.
struct BlockRecords {
    std::vector<std::int32_t> classIds;
    std::vector<float> distances;
    std::vector<double> contributions;
    std::size_t used = 0;

    // Room for `more` pairs after the used ones (and the slack of a batch).
    AcceptedPairs Reserve(std::size_t more) {
        const std::size_t needed = used + more + kCandidateSlack;
        if (classIds.size() < needed) {
            const std::size_t size = std::max(2 * classIds.size(), needed);
            classIds.resize(size), distances.resize(size), contributions.resize(size);
        }
        return {classIds.data() + used, distances.data() + used, contributions.data() + used};
    }
};

// A block: the pairs (i, j) with firstRow <= i < endRow, j > i and
// firstColumn <= j < endColumn (whole rows, or a piece of one row); the
// blocks in order hold every pair once, in pair order. `pairsBefore` counts
// the pairs of the blocks before it.
struct RowBlock {
    int firstRow;
    int endRow;
    std::size_t firstColumn;
    std::size_t endColumn;
    double pairsBefore;
};

// Whole rows are grouped up to blockPairs pairs; a longer row is cut into
// pieces of blockPairs, so that no block holds more pairs than that.
std::vector<RowBlock> SplitRows(int count, std::size_t blockPairs) {
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    std::vector<RowBlock> blocks;
    double pairsBefore = 0.0;
    std::size_t pending = 0;  // pairs of the whole rows not yet in a block
    int firstRow = 0;
    const auto close = [&](int endRow) {
        if (pending == 0) return;
        blocks.push_back({firstRow, endRow, 0, n, pairsBefore});
        pairsBefore += static_cast<double>(pending);
        pending = 0;
    };
    for (int row = 0; row + 1 < count; ++row) {
        const std::size_t i = static_cast<std::size_t>(row);
        const std::size_t pairs = n - 1 - i;
        if (pending + pairs > blockPairs) {
            close(row);
            firstRow = row;
        }
        if (pairs <= blockPairs) {
            pending += pairs;
            continue;
        }
        for (std::size_t column = i + 1; column < n; column += blockPairs) {
            const std::size_t end = std::min(n, column + blockPairs);
            blocks.push_back({row, row + 1, column, end, pairsBefore});
            pairsBefore += static_cast<double>(end - column);
        }
        firstRow = row + 1;
    }
    close(count - 1);
    return blocks;
}

// Runs of consecutive samples tested before the filter sees them: the
// batches (kBatch samples, aligned), then their runs of kRun samples.
constexpr std::size_t kRun = 64;

class BlockedCollector {
public:
    BlockedCollector(const PairSamples& samples, const LagClassifier& alongX, const LagClassifier& alongY,
                     const PairKernelPath& kernels, RunSkipping runSkipping)
        : samples_(samples),
          kernels_(kernels),
          bounds_(MakePairFilterBounds(GetConeThresholds(), alongX, alongY)),
          constants_(MakeClassifyConstants(GetConeThresholds(), alongX, alongY)),
          xClassCount_(static_cast<std::size_t>(alongX.ClassCount())),
          chains_(xClassCount_ + static_cast<std::size_t>(alongY.ClassCount())) {
        if (runSkipping == RunSkipping::kNever) return;
        const std::size_t n = static_cast<std::size_t>(samples.count);
        runs_ = std::make_unique<SampleRunBoxes>(samples.x, samples.y, n, kRun);
        if (runSkipping == RunSkipping::kWhenCompact && !runs_->Compact()) {
            runs_.reset();
            return;
        }
        batches_ = std::make_unique<SampleRunBoxes>(samples.x, samples.y, n, kBatch);
    }

    // Filters and classifies the pairs of the rows of `block` into `records`,
    // in pair order. Batches end at multiples of kBatch, so that each lies in
    // one batch box.
    void Classify(const RowBlock& block, BlockRecords& records) const {
        records.used = 0;
        std::uint32_t index[kBatch + kCandidateSlack];
        float ax[kBatch + kCandidateSlack], ay[kBatch + kCandidateSlack];
        const Candidates candidates{index, ax, ay};
        const std::size_t n = static_cast<std::size_t>(samples_.count);
        for (int row = block.firstRow; row < block.endRow; ++row) {
            const std::size_t i = static_cast<std::size_t>(row);
            const float xi = samples_.x[i], yi = samples_.y[i];
            const bool skipping = runs_ != nullptr && std::isfinite(xi) && std::isfinite(yi);
            const std::size_t rowEnd = std::min(n, block.endColumn);
            for (std::size_t start = std::max(i + 1, block.firstColumn), end = 0; start < rowEnd; start = end) {
                end = std::min(rowEnd, (start / kBatch + 1) * kBatch);
                const std::size_t count =
                    skipping ? FilterLiveRuns(xi, yi, start, end, candidates)
                             : kernels_.filter(xi, yi, samples_.x, samples_.y, start, end, bounds_, candidates);
                if (count == 0) continue;
                records.used += kernels_.classify(candidates, count, samples_.values[i], samples_.values, constants_,
                                                  records.Reserve(count));
            }
        }
    }

    // Adds the records of each block in block order.
    void Add(const BlockRecords* blocks, std::size_t blockCount) {
        for (std::size_t b = 0; b < blockCount; ++b) {
            const BlockRecords& records = blocks[b];
            for (std::size_t r = 0; r < records.used; ++r) {
                chains_[static_cast<std::size_t>(records.classIds[r])].Add(records.distances[r],
                                                                           records.contributions[r]);
            }
        }
    }

    // Hands the chains over to the directions' sums.
    void MoveTo(ClassSums& sumsX, ClassSums& sumsY) const {
        for (std::size_t c = 0; c < chains_.size(); ++c) {
            if (c < xClassCount_) {
                sumsX[c] = chains_[c];
            } else {
                sumsY[c - xClassCount_] = chains_[c];
            }
        }
    }

private:
    const PairSamples& samples_;
    const PairKernelPath& kernels_;
    PairFilterBounds bounds_;
    ClassifyConstants constants_;
    std::size_t xClassCount_;
    // The chains of the x classes, then of the y classes: one array, so that
    // adding a record needs no branch on its direction.
    std::vector<ClassChains> chains_;
    // Present when runs are skipped.
    std::unique_ptr<SampleRunBoxes> runs_, batches_;

    // The filter over the runs of [start, end) (within one batch) that may
    // hold a passing pair; adjacent ones in one call. The candidates come
    // out as from one call over the whole range.
    std::size_t FilterLiveRuns(float xi, float yi, std::size_t start, std::size_t end, const Candidates& out) const {
        if (!batches_->MayPass(start / kBatch, xi, yi, bounds_)) return 0;
        std::size_t count = 0;
        std::size_t liveFrom = start, liveTo = start;
        const auto flush = [&] {
            if (liveTo == liveFrom) return;
            count += kernels_.filter(xi, yi, samples_.x, samples_.y, liveFrom, liveTo, bounds_,
                                     {out.index + count, out.ax + count, out.ay + count});
        };
        for (std::size_t from = start; from < end;) {
            const std::size_t to = std::min(end, (from / kRun + 1) * kRun);
            if (runs_->MayPass(from / kRun, xi, yi, bounds_)) {
                liveTo = to;
            } else {
                flush();
                liveFrom = liveTo = to;
            }
            from = to;
        }
        flush();
        return count;
    }
};

}  // namespace

void CollectPairsInOrder(const PairSamples& samples, DirectionClasses alongX, DirectionClasses alongY,
                         const Execution& execution) {
    const int n = samples.count;
    const double pairs = 0.5 * static_cast<double>(n) * static_cast<double>(n - 1);
    double pairsDone = 0.0;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            const float ax = Separation(samples.x[i], samples.x[j]);
            const float ay = Separation(samples.y[i], samples.y[j]);
            const float distance = PairDistance(ax, ay);
            const PairCone cone = ConeByAngle(ax, ay);
            if (cone == PairCone::kX) {
                AddPair(alongX, distance, samples.values[i] - samples.values[j]);
            } else if (cone == PairCone::kY) {
                AddPair(alongY, distance, samples.values[i] - samples.values[j]);
            }
        }
        pairsDone += static_cast<double>(n - 1 - i);
        if (pairs > 0.0) execution.Report(Stage::kVariograms, pairsDone / pairs);
    }
}

void CollectPairsBlocked(const PairSamples& samples, DirectionClasses alongX, DirectionClasses alongY,
                         const PairKernelPath& kernels, const Execution& execution, PairBlocking blocking) {
    const std::size_t blockPairs = std::max<std::size_t>(blocking.blockPairs, 1);
    const std::size_t waveBlocks = std::max<std::size_t>(blocking.waveBlocks, 1);
    const std::vector<RowBlock> blocks = SplitRows(samples.count, blockPairs);
    if (blocks.empty()) return;
    const double pairs = 0.5 * static_cast<double>(samples.count) * static_cast<double>(samples.count - 1);
    BlockedCollector collector(samples, alongX.classifier, alongY.classifier, kernels, blocking.runSkipping);

    // Wave w is classified into one buffer while wave w - 1, in the other,
    // is added up by one task; a wave is added only after the one before it,
    // and block by block, so every class sees its pairs in pair order. The
    // adding is the only serial part; it overlaps the classifying.
    std::vector<BlockRecords> buffers[2] = {std::vector<BlockRecords>(waveBlocks),
                                            std::vector<BlockRecords>(waveBlocks)};
    const std::size_t waves = (blocks.size() + waveBlocks - 1) / waveBlocks;
    std::size_t readyBlocks = 0;
    WorkerPool pool(execution.workers);
    for (std::size_t wave = 0; wave <= waves; ++wave) {
        const std::size_t firstBlock = wave * waveBlocks;
        const std::size_t freshBlocks = wave < waves ? std::min(waveBlocks, blocks.size() - firstBlock) : 0;
        const std::size_t addTasks = readyBlocks > 0 ? 1 : 0;
        BlockRecords* fresh = buffers[wave % 2].data();
        const BlockRecords* ready = buffers[(wave + 1) % 2].data();
        pool.For(addTasks + freshBlocks, 1, [&](std::size_t first, std::size_t last, int) {
            for (std::size_t task = first; task != last; ++task) {
                if (task < addTasks) {
                    collector.Add(ready, readyBlocks);
                } else {
                    const std::size_t b = task - addTasks;
                    collector.Classify(blocks[firstBlock + b], fresh[b]);
                }
            }
        });
        readyBlocks = freshBlocks;
        const double pairsAdded = wave == 0 ? 0.0 : (wave < waves ? blocks[firstBlock].pairsBefore : pairs);
        execution.Report(Stage::kVariograms, pairsAdded / pairs);
    }
    collector.MoveTo(alongX.sums, alongY.sums);
}

}  // namespace mosaro
