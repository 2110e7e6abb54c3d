#include "VariogramPairLoops.h"

#include <tbb/blocked_range.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PairCone.h"
#include "RunContext.h"

namespace mosaro {
namespace {

// Pairs per block of rows: enough to amortise a task, few enough that the
// records of a wave of blocks stay small (16 bytes per accepted pair).
constexpr std::size_t kBlockPairs = std::size_t{1} << 17;
// Blocks filtered together while the previous wave is being added up.
constexpr std::size_t kWaveBlocks = 16;
// The classes are split into this many lanes of consecutive classes; each
// lane adds up its classes on its own (the chains of different classes do
// not depend on each other). Fixed, so that the records do not depend on the
// thread count.
constexpr std::size_t kLanes = 8;
// Candidates of one row examined at a time (stays in the first-level cache).
constexpr std::size_t kCandidateChunk = 1024;

void AddPair(DirectionClasses& direction, float distance, double valueDifference) {
    const int index = direction.classifier.ClassOf(distance);
    if (index >= 0) direction.sums.Add(static_cast<std::size_t>(index), distance, PairContribution(valueDifference, distance));
}

// An accepted pair, as the block that classified it hands it on: the class
// (x classes first, then y classes), the distance and the contribution.
struct PairRecord {
    std::uint32_t classId;
    float distance;
    double contribution;
};

struct BlockRecords {
    std::vector<PairRecord> lanes[kLanes];
};

// Rows [firstRow, endRow) of a block, and the pairs of the rows before it.
struct RowBlock {
    int firstRow;
    int endRow;
    double pairsBefore;
};

std::vector<RowBlock> SplitRows(int count) {
    std::vector<RowBlock> blocks;
    std::size_t pairs = 0;
    double pairsBefore = 0.0;
    int firstRow = 0;
    for (int i = 0; i + 1 < count; ++i) {
        pairs += static_cast<std::size_t>(count - 1 - i);
        if (pairs >= kBlockPairs || i + 2 == count) {
            blocks.push_back({firstRow, i + 1, pairsBefore});
            pairsBefore += static_cast<double>(pairs);
            pairs = 0;
            firstRow = i + 1;
        }
    }
    return blocks;
}

class BlockedCollector {
public:
    BlockedCollector(const PairSamples& samples, DirectionClasses alongX, DirectionClasses alongY,
                     const CandidateFilterPath& filter)
        : samples_(samples),
          alongX_(alongX),
          alongY_(alongY),
          filter_(filter.filter),
          cones_(GetConeThresholds()),
          bounds_(MakePairFilterBounds(cones_, alongX.classifier, alongY.classifier)),
          xClassCount_(static_cast<std::uint32_t>(alongX.classifier.ClassCount())),
          classCount_(static_cast<std::uint64_t>(alongX.classifier.ClassCount()) +
                      static_cast<std::uint64_t>(alongY.classifier.ClassCount())) {}

    // Filters and classifies the pairs of the rows of `block` into `records`.
    void Classify(const RowBlock& block, BlockRecords& records) const {
        for (std::vector<PairRecord>& lane : records.lanes) lane.clear();
        std::uint32_t candidates[kCandidateChunk];
        const std::size_t n = static_cast<std::size_t>(samples_.count);
        for (int row = block.firstRow; row < block.endRow; ++row) {
            const std::size_t i = static_cast<std::size_t>(row);
            for (std::size_t start = i + 1; start < n; start += kCandidateChunk) {
                const std::size_t end = std::min(n, start + kCandidateChunk);
                const std::size_t passed =
                    filter_(samples_.x[i], samples_.y[i], samples_.x, samples_.y, start, end, bounds_, candidates);
                for (std::size_t c = 0; c < passed; ++c) Classify(i, candidates[c], records);
            }
        }
    }

    // Adds the records of `lane` of each block in block order.
    void AddLane(std::size_t lane, const BlockRecords* blocks, std::size_t blockCount) const {
        for (std::size_t b = 0; b < blockCount; ++b) {
            for (const PairRecord& record : blocks[b].lanes[lane]) {
                if (record.classId < xClassCount_) {
                    alongX_.sums.Add(record.classId, record.distance, record.contribution);
                } else {
                    alongY_.sums.Add(record.classId - xClassCount_, record.distance, record.contribution);
                }
            }
        }
    }

private:
    void Classify(std::size_t i, std::size_t j, BlockRecords& records) const {
        const float ax = Separation(samples_.x[i], samples_.x[j]);
        const float ay = Separation(samples_.y[i], samples_.y[j]);
        const PairCone cone = ConeByQuotient(ax, ay, cones_);
        if (cone == PairCone::kNone) return;
        const float distance = PairDistance(ax, ay);
        const bool towardX = cone == PairCone::kX;
        const int index = (towardX ? alongX_ : alongY_).classifier.ClassOf(distance);
        if (index < 0) return;
        const std::uint32_t classId = static_cast<std::uint32_t>(index) + (towardX ? 0 : xClassCount_);
        const std::size_t lane = static_cast<std::size_t>(classId * kLanes / classCount_);
        records.lanes[lane].push_back(
            {classId, distance, PairContribution(samples_.values[i] - samples_.values[j], distance)});
    }

    const PairSamples& samples_;
    DirectionClasses alongX_;
    DirectionClasses alongY_;
    CandidateFilter filter_;
    const ConeThresholds& cones_;
    PairFilterBounds bounds_;
    std::uint32_t xClassCount_;
    std::uint64_t classCount_;
};

}  // namespace

void CollectPairsInOrder(const PairSamples& samples, DirectionClasses alongX, DirectionClasses alongY) {
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
        if (pairs > 0.0) ReportProgress(Stage::kVariograms, pairsDone / pairs);
    }
}

void CollectPairsBlocked(const PairSamples& samples, DirectionClasses alongX, DirectionClasses alongY,
                         const CandidateFilterPath& filter, int threads) {
    const std::vector<RowBlock> blocks = SplitRows(samples.count);
    if (blocks.empty()) return;
    const double pairs = 0.5 * static_cast<double>(samples.count) * static_cast<double>(samples.count - 1);
    const BlockedCollector collector(samples, alongX, alongY, filter);

    // Wave w is classified into one buffer while wave w - 1, in the other,
    // is added up; a wave is added only after the one before it, and within a
    // wave block by block, so every class sees its pairs in pair order.
    std::vector<BlockRecords> buffers[2] = {std::vector<BlockRecords>(kWaveBlocks),
                                            std::vector<BlockRecords>(kWaveBlocks)};
    const std::size_t waves = (blocks.size() + kWaveBlocks - 1) / kWaveBlocks;
    std::size_t readyBlocks = 0;
    // More threads than the processor runs at once would only wait (and
    // make the scheduler warn); the results do not depend on the count.
    tbb::task_arena arena(std::max(1, std::min(threads, tbb::info::default_concurrency())));
    for (std::size_t wave = 0; wave <= waves; ++wave) {
        const std::size_t firstBlock = wave * kWaveBlocks;
        const std::size_t freshBlocks = wave < waves ? std::min(kWaveBlocks, blocks.size() - firstBlock) : 0;
        const std::size_t laneTasks = readyBlocks > 0 ? kLanes : 0;
        BlockRecords* fresh = buffers[wave % 2].data();
        const BlockRecords* ready = buffers[(wave + 1) % 2].data();
        arena.execute([&] {
            tbb::parallel_for(
                tbb::blocked_range<std::size_t>(0, laneTasks + freshBlocks, 1),
                [&](const tbb::blocked_range<std::size_t>& tasks) {
                    for (std::size_t task = tasks.begin(); task != tasks.end(); ++task) {
                        if (task < laneTasks) {
                            collector.AddLane(task, ready, readyBlocks);
                        } else {
                            const std::size_t b = task - laneTasks;
                            collector.Classify(blocks[firstBlock + b], fresh[b]);
                        }
                    }
                },
                tbb::simple_partitioner());
        });
        readyBlocks = freshBlocks;
        const double pairsAdded =
            wave == 0 ? 0.0 : (wave < waves ? blocks[firstBlock].pairsBefore : pairs);
        ReportProgress(Stage::kVariograms, pairsAdded / pairs);
    }
}

}  // namespace mosaro
