// The nearest few of a short list of candidates, found by counting rather
// than sorting: for each candidate, how many lie nearer is its place. A
// sort of twenty entries mispredicts a branch at nearly every other
// comparison; the counts take none, four comparisons to a vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace mosaro {

// Lists longer than this are left to a sort (the counts grow as its square).
constexpr std::size_t kRankedAtMost = 64;

// Moves the `capacity` nearest of `count` candidates (squared distance,
// place) to the front, nearest first: the order a sort by distance, then
// place, gives. Returns false, moving nothing, when two distances are equal
// (counting distances alone cannot place them), when a distance is not a
// number, or when there are more than kRankedAtMost candidates.
bool TakeNearestByRank(std::pair<double, std::uint32_t>* candidates, std::size_t count, std::size_t capacity);

}  // namespace mosaro
