// The neighbour order of the sweep, carried from node to node, computed
// without visiting every sample at every node.
//
// The plain sweep measures every sample afresh at each node and runs the
// partial exchange sort over the whole working array, which starts in the
// order the previous node left. Only entries nearer than the farthest of the
// first `passes` entries, or among those first entries, can be moved by the
// passes: the entry at position a is the running minimum of its pass, and an
// exchange needs a strictly nearer entry. So the chain finds those
// candidates with a kd-tree radius query, runs the same passes over their
// positions only, in position order, and updates a position <-> entry map of
// the whole array. The result is the plain passes' order, ties included,
// because every comparison is the plain sort's own on the same float
// distances.
//
// Where that would not pay or not hold, the chain runs the passes another
// way with the same comparisons: over every position, skipping blocks with
// nothing nearer (many candidates, e.g. the first node of a row, whose order
// comes from the far end of the previous row), or the plain passes (a
// distance that is not a number, whose unordered comparisons exchange
// everywhere).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "neighbours/ExchangeSort.h"
#include "neighbours/SortedLanes.h"

namespace mosaro {

// How often each way of running the passes was taken (for tests and tuning).
struct NeighbourChainCounts {
    std::size_t narrow = 0;                        // candidates from the radius query, direct passes
    std::size_t wide = 0;                          // passes over every position
    std::size_t plain = 0;                         // plain passes over every entry
    std::size_t lanes = 0;                         // narrow or wide nodes whose passes the sorted lanes ran through
    std::size_t cellQueries = 0, treeQueries = 0;  // radius queries the cells, or the kd-tree, answered
};

// Whether the chain may run its passes in the sorted lanes (where the
// processor has them); both ways give the same order.
enum class ChainPasses { kBest, kPlain };

class NeighbourChain {
public:
    // `x` and `y` are the scaled coordinates of the `count` working entries
    // in load order (the order the first node starts from).
    NeighbourChain(const float* x, const float* y, int count, NeighbourLayout layout,
                   ChainPasses passes = ChainPasses::kBest);
    ~NeighbourChain();
    NeighbourChain(const NeighbourChain&) = delete;
    NeighbourChain& operator=(const NeighbourChain&) = delete;

    // Reorders the array for the node at (nodeX, nodeY), as the plain sort
    // would after measuring every entry from it.
    void Advance(float nodeX, float nodeY);

    // Load index of the entry now at working position `position`.
    int EntryAt(int position) const {
        if (position >= layout_.blocks * layout_.perBlock) return position;
        const int block = position / layout_.perBlock;
        const int within = position - block * layout_.perBlock;
        return block * layout_.perBlock + order_[static_cast<std::size_t>(within)];
    }

    const NeighbourChainCounts& Counts() const { return counts_; }

private:
    struct Tree;

    float DistanceOf(int entry) const {
        return MeasuredDistance(x_[static_cast<std::size_t>(entry)], y_[static_cast<std::size_t>(entry)], nodeX_,
                                nodeY_);
    }
    std::size_t DirectPassesLimit() const;
    std::size_t NearbyLimit() const;
    bool NearbyCovers(double radius) const;
    bool FindNearby(double radius);
    bool FindWithin(double radius, std::size_t limit);
    void AddCandidate(int entry, float distance, float reach);
    void RunPlainPasses();
    bool GatherCandidates(float reach);
    void GatherEveryPosition();
    void RunDirectPasses();
    void RunWidePasses();
    std::size_t ContinueWidePasses(std::size_t from);
    void StoreCandidates();
    void Place(std::size_t at, const ChainHeld& held);

    NeighbourLayout layout_;
    std::size_t sorted_;            // passes that reach an entry: min(passes, perBlock)
    std::vector<float> x_, y_;      // block 0, load order
    std::vector<int> order_;        // block-0 position -> entry
    std::vector<int> where_;        // entry -> block-0 position
    std::vector<float> atX_, atY_;  // coordinates of the entry at each block-0 position
    bool anyNaN_ = false;           // a coordinate that is not a number: plain passes only
    bool lanes_ = false;            // the sorted lanes may run the passes
    int lanesBackOff_ = 0;          // narrow nodes left to the plain passes after a tie stopped the lanes
    std::unique_ptr<Tree> tree_;
    double nodeX_ = 0.0, nodeY_ = 0.0;

    // Candidates of the current node in position order; the first
    // `sorted_` are positions 0 .. sorted_ - 1.
    using Candidate = ChainCandidate;
    std::vector<Candidate> candidates_;
    std::vector<Candidate> fallen_;  // the sorted lanes' scratch
    // Positions stay where they are; entries and their distances move.
    static void Exchange(Candidate& a, Candidate& b) {
        std::swap(a.entry, b.entry);
        std::swap(a.distance, b.distance);
    }
    std::vector<std::uint32_t> found_;
    // The entries within nearbyRadius_ of (nearbyAtX_, nearbyAtY_), with
    // their coordinates; a radius of 0 when there are none to go by (the
    // list then holds the last direct query's entries). Room for the most
    // a query may write; nearbyCount_ are used.
    std::vector<int> nearby_;
    std::vector<float> nearbyX_, nearbyY_, nearbyDistance_;
    std::size_t nearbyCount_ = 0;
    double nearbyAtX_ = 0.0, nearbyAtY_ = 0.0, nearbyRadius_ = 0.0;
    int nearbyBackOff_ = 0;
    std::vector<float> widePasses_;  // distance by position
    // The entry each wide pass holds, with its distance and coordinates.
    using Held = ChainHeld;
    std::vector<Held> held_;
    NeighbourChainCounts counts_;
};

}  // namespace mosaro
