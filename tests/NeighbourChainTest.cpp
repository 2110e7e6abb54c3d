// Neighbour chain: the carried neighbour order computed from candidates
// only must equal the plain exchange passes over the whole array, entry for
// entry at every position, node after node.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "neighbours/CellIndex.h"
#include "neighbours/ExchangeSort.h"
#include "neighbours/NeighbourChain.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
using Nodes = std::vector<std::pair<float, float>>;

// Coordinates drawn from a few lattice values, so that distances tie at
// almost every node; optionally one in ten not finite.
struct Trial {
    std::vector<float> x, y;
    Trial(std::mt19937& random, int n, int lattice, bool notFinite) {
        std::uniform_int_distribution<int> cell(0, lattice), oneIn(0, 9);
        for (int e = 0; e < n; ++e) {
            float px = static_cast<float>(cell(random)), py = static_cast<float>(cell(random));
            if (notFinite && oneIn(random) == 0) (oneIn(random) < 5 ? px : py) = oneIn(random) < 3 ? kNaN : -kInf;
            x.push_back(px);
            y.push_back(py);
        }
    }
};

// Walks the chain, with its sorted lanes and without, and the plain passes
// (on a working copy whose values are the load indices) with the same
// layout over the same nodes and compares every position after every node.
void ExpectSameOrder(const Trial& t, const Nodes& nodes, const mosaro::NeighbourLayout& layout,
                     mosaro::NeighbourChainCounts& counts) {
    for (mosaro::ChainPasses passes : {mosaro::ChainPasses::kBest, mosaro::ChainPasses::kPlain}) {
        const int n = static_cast<int>(t.x.size());
        mosaro::WorkingSamples plain;
        plain.x = t.x;
        plain.y = t.y;
        plain.distance.assign(t.x.size(), 0.0f);
        for (int e = 0; e < n; ++e) plain.value.push_back(static_cast<float>(e));
        mosaro::NeighbourChain chain(t.x.data(), t.y.data(), n, layout, passes);
        for (std::size_t k = 0; k < nodes.size(); ++k) {
            plain.MeasureFrom(nodes[k].first, nodes[k].second);
            mosaro::SortNearestInBlocks(plain, layout);
            chain.Advance(nodes[k].first, nodes[k].second);
            for (int p = 0; p < n; ++p)
                ASSERT_EQ(chain.EntryAt(p), static_cast<int>(plain.value[static_cast<std::size_t>(p)]))
                    << "node " << k << " position " << p << " of " << n << ", passes " << layout.passes
                    << (passes == mosaro::ChainPasses::kBest ? ", lanes" : "");
        }
        counts.narrow += chain.Counts().narrow;
        counts.wide += chain.Counts().wide;
        counts.plain += chain.Counts().plain;
        counts.lanes += chain.Counts().lanes;
        counts.cellQueries += chain.Counts().cellQueries;
        counts.treeQueries += chain.Counts().treeQueries;
    }
}

// Raster walk like the sweep's: rows upward, x fastest, so every row starts
// far from where the previous one ended.
Nodes Raster(float x0, float y0, float step, int columns, int rows) {
    Nodes nodes;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j)
            nodes.emplace_back(x0 + step * static_cast<float>(j), y0 + step * static_cast<float>(i));
    return nodes;
}

// Every method but co-kriging: m + 1 passes over the whole copy.
mosaro::NeighbourLayout Ordinary(int n, int m) { return mosaro::NeighbourLayout{1, n, m + 1}; }

}  // namespace

TEST(NeighbourChain, FollowsThePlainPassesThroughHeavyTies) {
    std::mt19937 random(20261206);
    mosaro::NeighbourChainCounts counts;
    for (int trial = 0; trial < 400; ++trial) {
        const int n = 1 + static_cast<int>(random() % 90);
        const int mChoices[] = {0, 1, 2, n - 1, n, n + 3, static_cast<int>(random() % 12)};
        const int m = std::max(0, mChoices[random() % 7]);
        ExpectSameOrder(Trial(random, n, 1 + static_cast<int>(random() % 8), false), Raster(-1.0f, -1.0f, 0.5f, 12, 5),
                        Ordinary(n, m), counts);
    }
    EXPECT_GT(counts.narrow, 0u);
    // Many candidates take the wide passes: long rows, each starting with
    // most of the array nearer than the entries the previous row left in
    // front; nodes far outside the samples, which see nearly the whole array.
    for (int trial = 0; trial < 30; ++trial) {
        const Trial t(random, 300 + static_cast<int>(random() % 400), 30, false);
        const int m = static_cast<int>(random() % 24);
        const int n = static_cast<int>(t.x.size());
        ExpectSameOrder(t, Raster(-5.0f, 0.0f, 1.5f, 27, 4), Ordinary(n, m), counts);
        ExpectSameOrder(t, Raster(500.0f, -300.0f, 40.0f, 5, 3), Ordinary(n, m), counts);
    }
    EXPECT_GT(counts.wide, 0u);
}

TEST(NeighbourChain, NodesReuseTheEntriesKeptNearAnEarlierOneOnlyWhileTheyCoverIt) {
    // Distinct float coordinates: a node's candidates are a small part of the
    // array, so the entries kept near one node serve the next few and must
    // be found again once a node leaves their cover: along rows, and
    // jumping back and forth by up to a few reaches.
    std::mt19937 random(41);
    std::uniform_real_distribution<float> place(0.0f, 100.0f), jump(-12.0f, 12.0f);
    Trial t(random, 0, 1, false);
    for (int e = 0; e < 1500; ++e) t.x.push_back(place(random)), t.y.push_back(place(random));
    Nodes jumps{{50.0f, 50.0f}};
    for (int k = 0; k < 150; ++k)
        jumps.emplace_back(jumps.back().first + jump(random), jumps.back().second + jump(random));
    mosaro::NeighbourChainCounts counts;
    for (int m : {4, 16}) {
        ExpectSameOrder(t, Raster(3.0f, 20.0f, 0.7f, 90, 2), Ordinary(1500, m), counts);
        ExpectSameOrder(t, jumps, Ordinary(1500, m), counts);
    }
    EXPECT_GT(counts.narrow, 500u);
    if (mosaro::SortedLanesAvailable()) {
        EXPECT_GT(counts.lanes, 500u);
    }
    // Evenly spread samples: the cells answer nearly every query (the tree
    // those of nodes that jumped far outside the samples).
    EXPECT_GT(counts.cellQueries, 5 * counts.treeQueries) << counts.cellQueries << " " << counts.treeQueries;
}

TEST(NeighbourChain, QueriesInAClusterAskTheTree) {
    // Most samples in a patch a few cells wide: a query there would read the
    // whole patch, so the kd-tree answers it; queries outside it still read
    // the cells.
    std::mt19937 random(43);
    std::uniform_real_distribution<float> place(0.0f, 100.0f), patch(49.8f, 50.2f);
    Trial t(random, 0, 1, false);
    for (int e = 0; e < 1400; ++e) t.x.push_back(patch(random)), t.y.push_back(patch(random));
    for (int e = 0; e < 100; ++e) t.x.push_back(place(random)), t.y.push_back(place(random));
    mosaro::NeighbourChainCounts counts;
    for (int m : {4, 16}) {
        ExpectSameOrder(t, Raster(49.7f, 49.9f, 0.01f, 60, 2), Ordinary(1500, m), counts);
        ExpectSameOrder(t, Raster(5.0f, 10.0f, 0.9f, 90, 2), Ordinary(1500, m), counts);
    }
    EXPECT_GT(counts.narrow, 200u);
    EXPECT_GT(counts.treeQueries, 0u);
    EXPECT_GT(counts.cellQueries, 0u);
}

TEST(NeighbourChain, DistancesThatAreNotNumbersFallBackToThePlainPasses) {
    std::mt19937 random(11);
    mosaro::NeighbourChainCounts counts, fast;
    for (int trial = 0; trial < 150; ++trial) {
        Nodes nodes = Raster(0.0f, 0.0f, 1.0f, 6, 3);
        nodes.insert(nodes.begin() + 4, {kNaN, 1.0f});  // node not a number
        nodes.insert(nodes.begin() + 9, {2.0f, kInf});  // node infinitely far
        const int n = 1 + static_cast<int>(random() % 40);
        ExpectSameOrder(Trial(random, n, 5, true), nodes, Ordinary(n, static_cast<int>(random() % 6)), counts);
    }
    EXPECT_GT(counts.plain, 0u);
    // Infinite sample coordinates alone keep the fast ways open.
    Trial t(random, 50, 6, false);
    t.x[7] = kInf;
    t.y[30] = -kInf;
    ExpectSameOrder(t, Raster(0.0f, 0.0f, 0.7f, 10, 3), Ordinary(50, 3), fast);
    EXPECT_EQ(fast.plain, 0u);
}

TEST(NeighbourChain, CoKrigingBlocksMoveTogether) {
    std::mt19937 random(3);
    mosaro::NeighbourChainCounts counts;
    for (int trial = 0; trial < 150; ++trial) {
        const int variables = 1 + static_cast<int>(random() % 3), perBlock = 1 + static_cast<int>(random() % 40);
        const int spare = static_cast<int>(random() % 3);  // entries beyond the blocks
        const int nearest = static_cast<int>(random() % (perBlock + 1));
        const Trial t(random, variables * perBlock + spare, 6, trial % 5 == 0);
        ExpectSameOrder(t, Raster(-0.5f, 0.5f, 0.9f, 8, 4), mosaro::NeighbourLayout{variables, perBlock, nearest},
                        counts);
    }
}

namespace {

// The points within the radius by brute force, with the index's own test.
std::vector<int> WithinByBruteForce(const std::vector<float>& x, const std::vector<float>& y, double atX, double atY,
                                    double radius) {
    std::vector<int> found;
    for (std::size_t e = 0; e < x.size(); ++e) {
        const double dx = static_cast<double>(x[e]) - atX, dy = static_cast<double>(y[e]) - atY;
        if (dx * dx + dy * dy < radius * radius) found.push_back(static_cast<int>(e));
    }
    return found;
}

}  // namespace

TEST(CellIndex, FindsEveryPointWithinARadiusOrSaysWhyNot) {
    std::mt19937 random(44);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    struct Layout {
        const char* name;
        std::vector<float> x, y;
    };
    std::vector<Layout> layouts;
    auto add = [&](const char* name, auto place) {
        Layout l{name, {}, {}};
        for (int e = 0; e < 800; ++e) {
            const std::pair<float, float> p = place(e);
            l.x.push_back(p.first), l.y.push_back(p.second);
        }
        layouts.push_back(l);
    };
    add("spread", [&](int) { return std::make_pair(100.0f * unit(random), 100.0f * unit(random)); });
    add("on a row", [&](int) { return std::make_pair(100.0f * unit(random), 7.0f); });
    add("on a column", [&](int) { return std::make_pair(-3.0f, 100.0f * unit(random)); });
    add("one place", [&](int) { return std::make_pair(2.0f, 2.0f); });
    add("a patch and a few", [&](int e) {
        const float s = e < 700 ? 0.01f : 100.0f;
        return std::make_pair(50.0f + s * unit(random), 50.0f + s * unit(random));
    });
    // Neighbouring floats far from the origin, and a spread wider than any
    // float difference.
    add("last bits", [&](int e) {
        return std::make_pair(std::nextafter(1e6f, 2e6f) + static_cast<float>(e % 7) * 0.0625f,
                              1e6f + static_cast<float>(e / 7) * 0.0625f);
    });
    add("huge", [&](int) { return std::make_pair(3e38f * (unit(random) - 0.5f), 3e38f * (unit(random) - 0.5f)); });

    for (const Layout& l : layouts) {
        mosaro::FinitePoints points;
        for (int e = 0; e < static_cast<int>(l.x.size()); ++e) {
            points.x.push_back(static_cast<double>(l.x[static_cast<std::size_t>(e)]));
            points.y.push_back(static_cast<double>(l.y[static_cast<std::size_t>(e)]));
            points.index.push_back(e);
        }
        const mosaro::CellIndex cells(points, l.x.data(), l.y.data());
        const std::size_t n = l.x.size();
        // Points all in one place leave no cells to read: the tree answers.
        const bool noCells = std::string(l.name) == "one place";
        std::vector<int> entry(n + 1);
        std::vector<float> x(n + 1), y(n + 1);
        for (int q = 0; q < 200; ++q) {
            // Places among the points and beside them, radii from a sliver to
            // beyond the spread.
            const std::size_t near = random() % n;
            const double atX = static_cast<double>(l.x[near]) + (q % 3 == 0 ? 0.0 : 40.0 * (unit(random) - 0.5f));
            const double atY = static_cast<double>(l.y[near]) + (q % 5 == 0 ? 0.0 : 40.0 * (unit(random) - 0.5f));
            const double radius =
                std::ldexp(static_cast<double>(unit(random)) + 0.01, static_cast<int>(random() % 40) - 20);
            const std::vector<int> expected = WithinByBruteForce(l.x, l.y, atX, atY, radius);
            std::size_t count = 99;

            const mosaro::CellIndex::Outcome outcome =
                cells.Within(atX, atY, radius, n, n, entry.data(), x.data(), y.data(), count);
            if (noCells) {
                ASSERT_EQ(outcome, mosaro::CellIndex::Outcome::kTooCostly);
                ASSERT_EQ(count, 0u);
                continue;
            }
            ASSERT_EQ(outcome, mosaro::CellIndex::Outcome::kFound) << l.name;
            std::vector<int> found(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(count));
            for (std::size_t k = 0; k < count; ++k) {
                ASSERT_EQ(x[k], l.x[static_cast<std::size_t>(entry[k])]) << l.name;
                ASSERT_EQ(y[k], l.y[static_cast<std::size_t>(entry[k])]) << l.name;
            }
            std::sort(found.begin(), found.end());
            ASSERT_EQ(found, expected) << l.name << " at " << atX << ", " << atY << " radius " << radius;

            if (!expected.empty()) {
                EXPECT_EQ(
                    cells.Within(atX, atY, radius, expected.size() - 1, n, entry.data(), x.data(), y.data(), count),
                    mosaro::CellIndex::Outcome::kOverflowed)
                    << l.name;
            }
            const mosaro::CellIndex::Outcome unread =
                cells.Within(atX, atY, radius, n, 0, entry.data(), x.data(), y.data(), count);
            EXPECT_TRUE(unread == mosaro::CellIndex::Outcome::kTooCostly ? count == 0 : expected.empty()) << l.name;
        }
    }
}
