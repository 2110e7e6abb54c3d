// Neighbour chain: the carried neighbour order computed from candidates
// only must equal the plain exchange passes over the whole array, entry for
// entry at every position, node after node.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "CoKriging.h"
#include "Kriging.h"
#include "NeighbourChain.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

struct Trial {
    std::vector<float> x, y;
    mosaro::NeighbourLayout layout;
    int m = 0;  // the neighbour count handed to ChooseNeighbours
};

// Walks the chain and the plain sort (the method's own ChooseNeighbours on a
// working copy whose values are the load indices) over the same nodes and
// compares every position after every node.
void ExpectSameOrder(const Trial& t, const std::vector<std::pair<float, float>>& nodes,
                     const mosaro::NodeMethod& method, mosaro::NeighbourChainCounts* counts = nullptr) {
    const int n = static_cast<int>(t.x.size());
    mosaro::WorkingSamples plain;
    plain.x = t.x;
    plain.y = t.y;
    plain.distance.assign(t.x.size(), 0.0f);
    for (int e = 0; e < n; ++e) plain.value.push_back(static_cast<float>(e));
    mosaro::NeighbourChain chain(t.x.data(), t.y.data(), n, t.layout);
    for (std::size_t k = 0; k < nodes.size(); ++k) {
        plain.MeasureFrom(nodes[k].first, nodes[k].second);
        method.ChooseNeighbours(plain, t.m);
        chain.Advance(nodes[k].first, nodes[k].second);
        for (int p = 0; p < n; ++p) {
            ASSERT_EQ(chain.EntryAt(p), static_cast<int>(plain.value[static_cast<std::size_t>(p)]))
                << "node " << k << " position " << p << " of " << n << ", passes " << t.layout.passes;
        }
    }
    if (counts != nullptr) {
        counts->narrow += chain.Counts().narrow;
        counts->wide += chain.Counts().wide;
        counts->plain += chain.Counts().plain;
    }
}

// Raster walk like the sweep's: rows upward, x fastest, so every row starts
// far from where the previous one ended.
std::vector<std::pair<float, float>> Raster(float x0, float y0, float step, int columns, int rows) {
    std::vector<std::pair<float, float>> nodes;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j)
            nodes.emplace_back(x0 + step * static_cast<float>(j), y0 + step * static_cast<float>(i));
    return nodes;
}

// Coordinates drawn from a few lattice values, so that distances tie at
// almost every node; optionally some coordinates not finite.
Trial LatticeTrial(std::mt19937& random, int n, int m, int lattice, bool notFinite) {
    std::uniform_int_distribution<int> cell(0, lattice);
    std::uniform_int_distribution<int> oneIn(0, 9);
    Trial t;
    for (int e = 0; e < n; ++e) {
        float x = static_cast<float>(cell(random)), y = static_cast<float>(cell(random));
        if (notFinite && oneIn(random) == 0) (oneIn(random) < 5 ? x : y) = oneIn(random) < 3 ? kNaN : -kInf;
        t.x.push_back(x);
        t.y.push_back(y);
    }
    t.m = m;
    t.layout = mosaro::NeighbourLayout{1, n, m + 1};
    return t;
}

}  // namespace

TEST(NeighbourChain, FollowsThePlainPassesThroughHeavyTies) {
    std::mt19937 random(20261206);
    const mosaro::NodeMethod ordinary;
    mosaro::NeighbourChainCounts counts;
    for (int trial = 0; trial < 400; ++trial) {
        const int n = 1 + static_cast<int>(random() % 90);
        const int mChoices[] = {0, 1, 2, n - 1, n, n + 3, static_cast<int>(random() % 12)};
        const int m = std::max(0, mChoices[random() % 7]);
        const Trial t = LatticeTrial(random, n, m, 1 + static_cast<int>(random() % 8), false);
        ExpectSameOrder(t, Raster(-1.0f, -1.0f, 0.5f, 12, 5), ordinary, &counts);
    }
    EXPECT_GT(counts.narrow, 0u);
}

TEST(NeighbourChain, ManyCandidatesTakeTheWidePassesAndStillAgree) {
    std::mt19937 random(7);
    const mosaro::NodeMethod ordinary;
    mosaro::NeighbourChainCounts counts;
    for (int trial = 0; trial < 30; ++trial) {
        const int n = 300 + static_cast<int>(random() % 400);
        const Trial t = LatticeTrial(random, n, static_cast<int>(random() % 5), 30, false);
        // Long rows: each row starts with most of the array nearer than the
        // entries the previous row left in front.
        ExpectSameOrder(t, Raster(-5.0f, 0.0f, 1.5f, 27, 4), ordinary, &counts);
        // Far outside the samples: every node sees nearly the whole array.
        ExpectSameOrder(t, Raster(500.0f, -300.0f, 40.0f, 5, 3), ordinary, &counts);
    }
    EXPECT_GT(counts.wide, 0u);
    EXPECT_GT(counts.narrow, 0u);
}

TEST(NeighbourChain, DistancesThatAreNotNumbersFallBackToThePlainPasses) {
    std::mt19937 random(11);
    const mosaro::NodeMethod ordinary;
    mosaro::NeighbourChainCounts counts;
    for (int trial = 0; trial < 150; ++trial) {
        const int n = 1 + static_cast<int>(random() % 40);
        const Trial t = LatticeTrial(random, n, static_cast<int>(random() % 6), 5, true);
        std::vector<std::pair<float, float>> nodes = Raster(0.0f, 0.0f, 1.0f, 6, 3);
        nodes.insert(nodes.begin() + 4, {kNaN, 1.0f});   // node not a number
        nodes.insert(nodes.begin() + 9, {2.0f, kInf});   // node infinitely far
        ExpectSameOrder(t, nodes, ordinary, &counts);
    }
    EXPECT_GT(counts.plain, 0u);
    // Infinite sample coordinates alone keep the fast ways open.
    Trial t = LatticeTrial(random, 50, 3, 6, false);
    t.x[7] = kInf;
    t.y[30] = -kInf;
    mosaro::NeighbourChainCounts fast;
    ExpectSameOrder(t, Raster(0.0f, 0.0f, 0.7f, 10, 3), ordinary, &fast);
    EXPECT_EQ(fast.plain, 0u);
}

TEST(NeighbourChain, CoKrigingBlocksMoveTogether) {
    std::mt19937 random(3);
    for (int trial = 0; trial < 150; ++trial) {
        const int variables = 1 + static_cast<int>(random() % 3);
        const int perBlock = 1 + static_cast<int>(random() % 40);
        const int spare = static_cast<int>(random() % 3);  // entries beyond the blocks
        const int nearest = static_cast<int>(random() % (perBlock + 1));
        Trial t = LatticeTrial(random, variables * perBlock + spare, 0, 6, trial % 5 == 0);
        t.layout = mosaro::NeighbourLayout{variables, perBlock, nearest};
        const mosaro::CoKrigingMethod method(variables, perBlock, nearest);
        ExpectSameOrder(t, Raster(-0.5f, 0.5f, 0.9f, 8, 4), method);
    }
}
