// The neighbour chain's exchange passes, run as insertions into a sorted
// list kept in AVX-512 registers (chosen at run time).
//
// Run position after position, the passes hold one entry each, and every
// entry a pass holds is at least as near as the one the pass before it
// holds (what a pass lets through is never nearer than what it keeps). An
// entry visiting the passes is therefore exchanged exactly with the held
// entries strictly farther than it, each taking the place of the one before
// it: the entry is inserted into the sorted list, and the farthest one falls
// out to the visited position. While no two held distances are equal that
// shift is the exchanges' whole effect, so one compare and two blends per
// vector do the work of up to 31 compare-and-exchange steps whose branches
// are as good as random. A visitor whose distance equals a held one (the
// exchanges then depend on where equal entries sit) or is not finite stops
// the lanes; the plain passes take over from there.
#pragma once

#include <cstddef>

namespace mosaro {

// A candidate of a node: its working position and the entry there.
struct ChainCandidate {
    // Left unset when made without values: the chain's buffers grow with
    // every node and are written before they are read, and zeroing them
    // first showed in its profile.
    ChainCandidate() {}  // not "= default", which a resize would zero
    ChainCandidate(int atPosition, int atEntry, float atDistance)
        : position(atPosition), entry(atEntry), distance(atDistance) {}
    int position;
    int entry;
    float distance;
};

// The entry a pass holds, with its coordinates, so that placing it reads
// nothing at random.
struct ChainHeld {
    float distance;
    int entry;
    float x, y;
};

// Most passes the lanes hold (one lane stays free for the entry falling out).
constexpr std::size_t kMaxLanePasses = 31;

// Whether this processor runs the lanes.
bool SortedLanesAvailable();

// The passes 0 .. passes - 1 over `count` candidates in position order, the
// first `passes` of them at positions 0 .. passes - 1: the same entries and
// distances, position for position, as the exchange passes leave. `fallen`
// has room for `count` candidates. False, with the candidates untouched,
// when a tie or a distance that is not finite stops the lanes.
bool PassCandidatesInLanes(ChainCandidate* candidates, std::size_t count, std::size_t passes, ChainCandidate* fallen);

// The working array by position: the entry, its coordinates and its
// distance from the node.
struct ChainPositions {
    const float* distance;
    int* order;  // position -> entry
    int* where;  // entry -> position
    float* x;
    float* y;
    std::size_t count;
};

// Runs the passes position by position over `positions` from `from` on, as
// the exchange passes over the whole array would, visiting in blocks of 16
// only the positions nearer than the farthest held entry, and leaves the
// held entries in held[0 .. passes - 1] (not yet placed at positions 0 ..
// passes - 1). The passes started before `from` hold held[0 .. min(from,
// passes) - 1], all at different distances. Returns the position the lanes
// reached: `count` when done; otherwise the plain passes go on from there
// with `held` (before position `passes`, held[0 .. reached - 1] are the
// passes started so far).
std::size_t PassPositionsInLanes(const ChainPositions& positions, std::size_t passes, ChainHeld* held,
                                 std::size_t from);

}  // namespace mosaro
