#include "variogram/EmpiricalVariogram.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "platform/Counts.h"
#include "platform/PortableMath.h"
#include "variogram/PairMeasure.h"

namespace mosaro {
namespace {

constexpr double kDegree = 3.141592653589793 / 180.0;

// Running sums of one class.
struct ClassSums {
    std::uint64_t pairs = 0;
    double distance = 0.0;
    double statistic = 0.0;  // squared differences, or square roots of absolute ones
};

std::uint64_t ClassCount(double cutoff, double width) {
    const double count = std::floor(cutoff / width) + 1.0;
    if (!(count <= 1048576.0)) throw std::invalid_argument("more than 2^20 lag classes: choose a larger width");
    return static_cast<std::uint64_t>(count);
}

// Samples per chunk of the fixed partition: 256, or more where the chunks'
// sums of `cells` classes (or map cells) would together pass 64 MiB. It
// depends on the sample and class counts only, never on the threads.
std::size_t ChunkSize(std::size_t samples, std::size_t cells) {
    const double chunks = std::max(1.0, (64.0 * 1024 * 1024) / (static_cast<double>(cells) * sizeof(ClassSums)));
    return std::max<std::size_t>(256, static_cast<std::size_t>(std::ceil(static_cast<double>(samples) / chunks)));
}

inline double Statistic(double difference, VariogramEstimator estimator) {
    return estimator == VariogramEstimator::kClassic ? difference * difference : std::sqrt(std::fabs(difference));
}

double Estimate(const ClassSums& s, VariogramEstimator estimator) {
    const double n = CountAsDouble(s.pairs);
    if (estimator == VariogramEstimator::kClassic) return s.statistic / (2.0 * n);
    const double mean = s.statistic / n;
    const double square = mean * mean;
    return 0.5 * (square * square) / (0.457 + 0.494 / n);
}

void CheckLength(double value, const char* name) {
    if (!(value > 0.0 && std::isfinite(value)))
        throw std::invalid_argument(std::string("the ") + name + " must be a finite number > 0, not " +
                                    std::to_string(value));
}

// The sums of one chunk: per direction the four copies of the bins
// (PairSumFunction's layout), the last bin for the pairs that join no class,
// which lets the loops add every pair without a branch. The copies are
// added in a fixed order when the chunk ends; counts are kept in double
// (exact to 2^53) beside the sums.
class ChunkSums {
public:
    ChunkSums(std::size_t directions, std::size_t classes)
        : bins_(classes + 1), direction_(4 * bins_ * 4), storage_(directions * direction_ + 8, 0.0) {
        // Each bin's four doubles on one 32-byte boundary: a vector addition
        // that straddled two cache lines would cost several times one.
        const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(storage_.data());
        sums_ = storage_.data() + ((64 - address % 64) % 64) / sizeof(double);
    }

    ChunkSums(const ChunkSums&) = delete;
    ChunkSums& operator=(const ChunkSums&) = delete;

    std::int32_t Discarded() const { return static_cast<std::int32_t>(bins_ - 1); }
    std::size_t Bins() const { return bins_; }
    double* Direction(std::size_t d) { return sums_ + d * direction_; }

    // The classes of every direction, the copies added in order.
    std::vector<ClassSums> Total(std::size_t directions) const {
        const std::size_t classes = bins_ - 1;
        std::vector<ClassSums> total(directions * classes);
        for (std::size_t d = 0; d < directions; ++d)
            for (std::size_t k = 0; k < classes; ++k) {
                ClassSums& t = total[d * classes + k];
                double count = 0.0;
                for (std::size_t copy = 0; copy < 4; ++copy) {
                    const double* at = sums_ + d * direction_ + (copy * bins_ + k) * 4;
                    count += at[0];
                    t.distance += at[1];
                    t.statistic += at[2];
                }
                t.pairs = static_cast<std::uint64_t>(count);
            }
        return total;
    }

private:
    std::size_t bins_;
    std::size_t direction_;
    std::vector<double> storage_;
    double* sums_;
};

// Direction d's test, its sums still to be pointed at a chunk's.
struct DirectionTest {
    bool all;
    double sine, cosine, cosineTolerance, bandwidth;
};

void SumChunk(const PairSearch& search, std::size_t first, std::size_t last, double cutoff, double width,
              VariogramEstimator estimator, const std::vector<DirectionTest>& tests, bool omnidirectional,
              const PairMeasure& measure, ChunkSums& sums) {
    const double* x = search.X().data();
    const double* y = search.Y().data();
    const double* v = search.Value().data();
    const bool robust = estimator == VariogramEstimator::kRobust;
    const PairSumFunction sumBlock = robust ? measure.sumRobust : measure.sumClassic;
    const PairDirectionalSumFunction sumDirectional = robust ? measure.directionalRobust : measure.directionalClassic;
    std::vector<PairDirection> directions;
    for (std::size_t d = 0; d < tests.size(); ++d) {
        const DirectionTest& t = tests[d];
        directions.push_back({t.all, t.sine, t.cosine, t.cosineTolerance, t.bandwidth, sums.Direction(d)});
    }
    PairMeasureInput in{0.0, 0.0, 0.0, nullptr, nullptr, nullptr, cutoff, width, sums.Discarded()};
    PairSearch::Run runs[PairSearch::kMaxRuns];
    for (std::size_t p = first; p < last; ++p) {
        const int runCount = search.RunsOf(p, runs);
        in.xi = x[p];
        in.yi = y[p];
        in.vi = v[p];
        for (int r = 0; r < runCount; ++r) {
            for (std::size_t begin = runs[r].first; begin < runs[r].last; begin += kPairBlock) {
                const std::size_t count = std::min(kPairBlock, runs[r].last - begin);
                in.x = x + begin;
                in.y = y + begin;
                in.v = v + begin;
                if (omnidirectional) sumBlock(in, count, sums.Direction(0), sums.Bins());
                else sumDirectional(in, count, directions.data(), directions.size(), sums.Bins());
            }
        }
    }
}

}  // namespace

double DefaultCutoff(const SampleView& samples) {
    if (samples.count == 0) return 1.0;
    double xMin = samples.x[0], xMax = samples.x[0], yMin = samples.y[0], yMax = samples.y[0];
    for (std::size_t i = 1; i < samples.count; ++i) {
        xMin = std::min(xMin, samples.x[i]);
        xMax = std::max(xMax, samples.x[i]);
        yMin = std::min(yMin, samples.y[i]);
        yMax = std::max(yMax, samples.y[i]);
    }
    const double dx = xMax - xMin;
    const double dy = yMax - yMin;
    const double diagonal = std::sqrt(dx * dx + dy * dy);
    return diagonal == 0.0 ? 1.0 : diagonal * 0.33333;
}

EmpiricalVariogram ComputeEmpiricalVariogram(const SampleView& samples, const EmpiricalOptions& options) {
    return ComputeEmpiricalVariogramWith(samples, options, PreferredPairMeasure());
}

namespace {

// The variogram's frame (cutoff, width, directions resolved) and the tests
// of its directions.
EmpiricalVariogram Frame(const EmpiricalOptions& options, double cutoff, std::vector<DirectionTest>& tests) {
    EmpiricalVariogram result;
    result.cutoff = cutoff;
    CheckLength(result.cutoff, "cutoff");
    result.width = std::isnan(options.width) ? result.cutoff / 15.0 : options.width;
    CheckLength(result.width, "width");
    result.estimator = options.estimator;
    ClassCount(result.cutoff, result.width);
    if (options.directions.empty()) {
        DirectionalVariogram all;
        all.direction.tolerance = 90.0;
        result.directions.push_back(all);
    }
    for (const LagDirection& asked : options.directions) {
        LagDirection d = asked;
        if (std::isnan(d.tolerance)) d.tolerance = 90.0 / static_cast<double>(options.directions.size());
        if (!(d.tolerance > 0.0 && d.tolerance <= 180.0))
            throw std::invalid_argument("a direction's tolerance must lie in (0, 180] degrees");
        if (!(d.bandwidth > 0.0)) throw std::invalid_argument("a direction's bandwidth must be > 0");
        if (!std::isfinite(d.azimuth)) throw std::invalid_argument("a direction's azimuth must be finite");
        DirectionalVariogram directional;
        directional.omnidirectional = false;
        directional.direction = d;
        result.directions.push_back(directional);
        DirectionTest test;
        test.all = d.tolerance >= 90.0 && std::isinf(d.bandwidth);
        test.sine = Sine(d.azimuth * kDegree);
        test.cosine = Cosine(d.azimuth * kDegree);
        test.cosineTolerance = d.tolerance >= 90.0 ? -1.0 : Cosine(d.tolerance * kDegree);
        test.bandwidth = d.bandwidth;
        tests.push_back(test);
    }
    return result;
}

// The classes of the frame from their sums.
void Finish(EmpiricalVariogram& result, const std::vector<ClassSums>& total) {
    const std::size_t classes = ClassCount(result.cutoff, result.width);
    for (std::size_t d = 0; d < result.directions.size(); ++d) {
        std::vector<LagClass>& out = result.directions[d].classes;
        out.resize(classes);
        for (std::size_t k = 0; k < classes; ++k) {
            LagClass& c = out[k];
            c.lower = static_cast<double>(k) * result.width;
            c.upper = std::min(result.cutoff, static_cast<double>(k + 1) * result.width);
            const ClassSums& s = total[d * classes + k];
            c.pairs = s.pairs;
            if (s.pairs > 0) {
                c.meanDistance = s.distance / CountAsDouble(s.pairs);
                c.gamma = Estimate(s, result.estimator);
            }
        }
    }
}

}  // namespace

EmpiricalVariogram ComputeEmpiricalVariogramWith(const SampleView& samples, const EmpiricalOptions& options,
                                                 const PairMeasure& measure) {
    CheckSamplesAreFinite(samples);
    std::vector<DirectionTest> tests;
    EmpiricalVariogram result =
        Frame(options, std::isnan(options.cutoff) ? DefaultCutoff(samples) : options.cutoff, tests);
    const bool omnidirectional = options.directions.empty();
    const std::size_t classes = ClassCount(result.cutoff, result.width);
    const std::size_t directions = result.directions.size();

    std::vector<ClassSums> total(directions * classes);
    if (samples.count >= 2) {
        const PairSearch search(samples, result.cutoff);
        const std::size_t chunkSize = ChunkSize(samples.count, directions * classes);
        std::vector<std::vector<ClassSums>> perChunk(search.ChunkCount(chunkSize));
        search.ForEachChunk(options.threads, chunkSize, [&](std::size_t chunk, std::size_t first, std::size_t last) {
            ChunkSums sums(directions, classes);
            SumChunk(search, first, last, result.cutoff, result.width, options.estimator, tests, omnidirectional,
                     measure, sums);
            perChunk[chunk] = sums.Total(directions);
        });
        for (const std::vector<ClassSums>& sums : perChunk)
            for (std::size_t c = 0; c < total.size(); ++c) {
                total[c].pairs += sums[c].pairs;
                total[c].distance += sums[c].distance;
                total[c].statistic += sums[c].statistic;
            }
    }
    Finish(result, total);
    return result;
}

VariogramSums SumOwnedPairs(const SampleView& samples, const std::int64_t* rank, std::size_t owned,
                            const EmpiricalOptions& options) {
    CheckSamplesAreFinite(samples);
    if (std::isnan(options.cutoff) || std::isnan(options.width))
        throw std::invalid_argument("sums of a part of a set need the cutoff and the width of the whole set");
    std::vector<DirectionTest> tests;
    const EmpiricalVariogram frame = Frame(options, options.cutoff, tests);
    if (tests.empty()) tests.push_back(DirectionTest{true, 0.0, 1.0, -1.0, INFINITY});
    const std::size_t classes = ClassCount(frame.cutoff, frame.width);
    const std::size_t directions = frame.directions.size();
    VariogramSums out;
    out.directions = directions;
    out.classes = classes;
    out.pairs.assign(directions * classes, 0.0);
    out.distance.assign(out.pairs.size(), 0.0);
    out.statistic.assign(out.pairs.size(), 0.0);
    if (samples.count < 2) return out;

    const PairSearch search(samples, frame.cutoff);
    const PairMeasure& measure = PreferredPairMeasure();
    const PairMeasureFunction measureBlock =
        options.estimator == VariogramEstimator::kRobust ? measure.robust : measure.classic;
    const std::vector<std::uint32_t>& original = search.Original();
    const std::size_t chunkSize = ChunkSize(samples.count, directions * classes);
    std::vector<VariogramSums> perChunk(search.ChunkCount(chunkSize), out);
    search.ForEachChunk(options.threads, chunkSize, [&](std::size_t chunk, std::size_t first, std::size_t last) {
        VariogramSums& sums = perChunk[chunk];
        const double* x = search.X().data();
        const double* y = search.Y().data();
        const double* v = search.Value().data();
        PairMeasureInput in{0.0, 0.0, 0.0, nullptr, nullptr, nullptr, frame.cutoff, frame.width, -1};
        PairSearch::Run runs[PairSearch::kMaxRuns];
        PairBlock block;
        for (std::size_t p = first; p < last; ++p) {
            const int runCount = search.RunsOf(p, runs);
            in.xi = x[p], in.yi = y[p], in.vi = v[p];
            const std::size_t a = original[p];
            for (int r = 0; r < runCount; ++r)
                for (std::size_t begin = runs[r].first; begin < runs[r].last; begin += kPairBlock) {
                    const std::size_t count = std::min(kPairBlock, runs[r].last - begin);
                    in.x = x + begin, in.y = y + begin, in.v = v + begin;
                    measureBlock(in, count, block);
                    for (std::size_t q = 0; q < count; ++q) {
                        if (block.bin[q] < 0) continue;  // beyond the cutoff
                        const std::size_t b = original[begin + q];
                        const std::size_t later = rank[a] > rank[b] ? a : b;
                        if (later >= owned) continue;  // another block's pair
                        for (std::size_t d = 0; d < directions; ++d) {
                            const DirectionTest& t = tests[d];
                            const PairDirection direction{t.all,       t.sine, t.cosine, t.cosineTolerance,
                                                          t.bandwidth, nullptr};
                            if (!PairTakes(direction, block.dx[q], block.dy[q], block.distance[q])) continue;
                            const std::size_t at = d * classes + static_cast<std::size_t>(block.bin[q]);
                            sums.pairs[at] += 1.0;
                            sums.distance[at] += block.distance[q];
                            sums.statistic[at] += block.statistic[q];
                        }
                    }
                }
        }
    });
    for (const VariogramSums& sums : perChunk)
        for (std::size_t c = 0; c < out.pairs.size(); ++c) {
            out.pairs[c] += sums.pairs[c];
            out.distance[c] += sums.distance[c];
            out.statistic[c] += sums.statistic[c];
        }
    return out;
}

EmpiricalVariogram VariogramFromSums(const VariogramSums& sums, const EmpiricalOptions& options) {
    std::vector<DirectionTest> tests;
    EmpiricalVariogram result = Frame(options, options.cutoff, tests);
    const std::size_t classes = ClassCount(result.cutoff, result.width);
    if (sums.directions != result.directions.size() || sums.classes != classes ||
        sums.pairs.size() != classes * sums.directions || sums.distance.size() != sums.pairs.size() ||
        sums.statistic.size() != sums.pairs.size())
        throw std::invalid_argument("the sums do not have the classes and directions of the options");
    std::vector<ClassSums> total(sums.pairs.size());
    for (std::size_t c = 0; c < total.size(); ++c) {
        if (!(sums.pairs[c] >= 0.0 && sums.pairs[c] <= 9007199254740992.0 &&
              sums.pairs[c] == std::floor(sums.pairs[c])))
            throw std::invalid_argument("a pair count is not a whole number of pairs");
        total[c] = ClassSums{static_cast<std::uint64_t>(sums.pairs[c]), sums.distance[c], sums.statistic[c]};
    }
    Finish(result, total);
    return result;
}

std::vector<CloudPair> ComputeVariogramCloud(const SampleView& samples, double cutoff, int threads) {
    CheckSamplesAreFinite(samples);
    if (std::isnan(cutoff)) cutoff = DefaultCutoff(samples);
    CheckLength(cutoff, "cutoff");
    std::vector<CloudPair> cloud;
    if (samples.count < 2) return cloud;
    const PairSearch search(samples, cutoff);
    std::vector<std::vector<CloudPair>> perChunk(search.ChunkCount(256));
    search.ForEachChunk(threads, 256, [&](std::size_t chunk, std::size_t first, std::size_t last) {
        std::vector<CloudPair>& pairs = perChunk[chunk];
        PairSearch::Run runs[PairSearch::kMaxRuns];
        for (std::size_t p = first; p < last; ++p) {
            const int runCount = search.RunsOf(p, runs);
            for (int r = 0; r < runCount; ++r)
                for (std::size_t q = runs[r].first; q < runs[r].last; ++q) {
                    const double dx = search.X()[p] - search.X()[q];
                    const double dy = search.Y()[p] - search.Y()[q];
                    const double distance = std::sqrt(dx * dx + dy * dy);
                    if (!(distance <= cutoff)) continue;
                    const double difference = search.Value()[p] - search.Value()[q];
                    const std::uint32_t a = search.Original()[p], b = search.Original()[q];
                    pairs.push_back({std::max(a, b), std::min(a, b), distance, 0.5 * difference * difference});
                }
        }
    });
    for (const std::vector<CloudPair>& pairs : perChunk) cloud.insert(cloud.end(), pairs.begin(), pairs.end());
    std::sort(cloud.begin(), cloud.end(),
              [](const CloudPair& a, const CloudPair& b) { return a.i != b.i ? a.i < b.i : a.j < b.j; });
    return cloud;
}

VariogramMap ComputeVariogramMap(const SampleView& samples, double cutoff, double width, VariogramEstimator estimator,
                                 int threads) {
    CheckSamplesAreFinite(samples);
    CheckLength(cutoff, "cutoff");
    CheckLength(width, "width");
    VariogramMap map;
    map.cutoff = cutoff;
    map.width = width;
    const double cells = std::floor(2.0 * cutoff / width + 1e-10) + 1.0;  // R's seq(-cutoff, cutoff, width)
    if (!(cells <= 2048.0))
        throw std::invalid_argument("a variogram map of more than 2048^2 cells: choose a larger width");
    map.size = static_cast<int>(cells);
    const std::size_t size = static_cast<std::size_t>(map.size);
    const double left = -cutoff - 0.5 * width;
    const double top = -cutoff + (cells - 0.5) * width;
    const double right = left + cells * width;
    const double bottom = top - cells * width;
    // The cell of a lag vector, or -1 outside the map (gstat's map_xy2rowcol).
    auto cellOf = [&](double dx, double dy) -> std::ptrdiff_t {
        if (dx < left || dx > right || dy > top || dy < bottom) return -1;
        std::size_t fromTop = static_cast<std::size_t>(std::floor((top - dy) / width));
        std::size_t column = static_cast<std::size_t>(std::floor((dx - left) / width));
        if (fromTop == size) --fromTop;
        if (column == size) --column;
        return static_cast<std::ptrdiff_t>((size - 1 - fromTop) * size + column);
    };
    std::vector<ClassSums> total(size * size);
    if (samples.count >= 2) {
        const PairSearch search(samples, std::max(std::fabs(left), right), PairSearch::Reach::kSquare);
        const std::size_t chunkSize = ChunkSize(samples.count, size * size);
        std::vector<std::vector<ClassSums>> perChunk(search.ChunkCount(chunkSize));
        search.ForEachChunk(threads, chunkSize, [&](std::size_t chunk, std::size_t first, std::size_t last) {
            std::vector<ClassSums> sums(size * size);
            PairSearch::Run runs[PairSearch::kMaxRuns];
            for (std::size_t p = first; p < last; ++p) {
                const int runCount = search.RunsOf(p, runs);
                for (int r = 0; r < runCount; ++r)
                    for (std::size_t q = runs[r].first; q < runs[r].last; ++q) {
                        const double dx = search.X()[p] - search.X()[q];
                        const double dy = search.Y()[p] - search.Y()[q];
                        const double statistic = Statistic(search.Value()[p] - search.Value()[q], estimator);
                        for (const std::ptrdiff_t cell : {cellOf(dx, dy), cellOf(-dx, -dy)}) {
                            if (cell < 0) continue;
                            ClassSums& s = sums[static_cast<std::size_t>(cell)];
                            ++s.pairs;
                            s.statistic += statistic;
                        }
                    }
            }
            perChunk[chunk] = std::move(sums);
        });
        for (const std::vector<ClassSums>& sums : perChunk)
            for (std::size_t c = 0; c < total.size(); ++c) {
                total[c].pairs += sums[c].pairs;
                total[c].statistic += sums[c].statistic;
            }
    }
    map.pairs.resize(size * size);
    map.gamma.assign(size * size, std::numeric_limits<double>::quiet_NaN());
    for (std::size_t c = 0; c < total.size(); ++c) {
        map.pairs[c] = total[c].pairs;
        if (total[c].pairs > 0) map.gamma[c] = Estimate(total[c], estimator);
    }
    return map;
}

}  // namespace mosaro
