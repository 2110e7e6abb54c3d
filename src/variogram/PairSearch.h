// Every pair of samples within a reach (a disc, or a square for the
// variogram map), found through a uniform grid of cells an eighth of the reach
// wide (wider when that would make more than about four cells per sample).
// The samples are copied in cell order, row by row from the south, so that
// the cells of one row that a sample's reach touches hold one contiguous run
// of samples. Each pair is met once, from the sample earlier in that order:
// the rest of its own row within reach (its own cell's later samples and the
// cells east of it), and in each row north of it the cells whose nearest
// point lies within the reach. Few pairs beyond the reach are looked at (the
// cells along the disc's rim), and each look is a pass over a run.
//
// The pairs are visited in chunks of consecutive samples fixed by the sample
// count alone, never by the thread count; a caller that sums per chunk and
// then adds the chunks in order gets the same bits on any number of threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace mosaro {

// Samples as arrays of one length; the arrays stay the caller's.
struct SampleView {
    const double* x = nullptr;
    const double* y = nullptr;
    const double* value = nullptr;
    std::size_t count = 0;
};

// Throws std::invalid_argument naming the first sample with a coordinate
// or value that is not finite.
void CheckSamplesAreFinite(const SampleView& samples);

class PairSearch {
public:
    enum class Reach { kDisc, kSquare };

    // reach > 0 (and finite).
    PairSearch(const SampleView& samples, double reach, Reach shape = Reach::kDisc);

    std::size_t Size() const { return x_.size(); }

    // The samples in cell order, and each one's index in the caller's arrays.
    const std::vector<double>& X() const { return x_; }
    const std::vector<double>& Y() const { return y_; }
    const std::vector<double>& Value() const { return value_; }
    const std::vector<std::uint32_t>& Original() const { return original_; }

    // The runs [first, last) of positions after `position` in cell order that
    // hold every partner of the sample there within the reach (and others).
    struct Run {
        std::size_t first;
        std::size_t last;
    };
    static constexpr int kMaxRuns = 12;
    int RunsOf(std::size_t position, Run (&runs)[kMaxRuns]) const;

    // Chunks of `chunkSize` consecutive samples (the last one shorter):
    // body(chunk, first, last) for every chunk, on up to `threads` threads.
    std::size_t ChunkCount(std::size_t chunkSize) const { return (Size() + chunkSize - 1) / chunkSize; }
    void ForEachChunk(int threads, std::size_t chunkSize,
                      const std::function<void(std::size_t, std::size_t, std::size_t)>& body) const;

private:
    std::vector<double> x_, y_, value_;
    std::vector<std::uint32_t> original_;
    std::vector<std::uint32_t> cellOfSample_;  // by position
    std::vector<std::size_t> cellStart_;       // positions of cell c: [cellStart_[c], cellStart_[c+1])
    std::size_t columns_ = 0, rows_ = 0;
    // Columns either side that a row dr rows north reaches (index dr; the
    // first entry: east of the sample's own cell).
    std::vector<std::size_t> span_;
};

}  // namespace mosaro
