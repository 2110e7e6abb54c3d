// The covariances among the simulated neighbours of several nodes at once,
// read from the table of grid offsets: one node per lane, its systems
// interleaved lane by lane as the Cholesky lanes take them (see Cholesky.h).
// Each lane's neighbours open its system, so that entry (a, b) lies at the
// same place in every lane and one vector of table reads fills all lanes.
#pragma once

#include <cstddef>

namespace mosaro {

// For a <= b < count and every lane l: the system entry (a, b) becomes
// centre[cells[a][l] - cells[b][l]] and the right side's entry a becomes
// centre[cells[a][l]], where cells[a][l] = cells[a * lanes + l] is the table
// step of lane l's a-th neighbour. Where a lane has fewer neighbours its
// cells may hold any steps of offsets (the differences of two stay in the
// table): what they fill is the caller's to overwrite. Entry (a, b) of lane
// l lies at matrix[(a * order + b) * lanes + l], right side entry a at
// right[a * lanes + l].
void FillOffsetCovarianceBlock(const double* centre, const long long* cells, std::size_t count, std::size_t order,
                               std::size_t lanes, double* matrix, double* right);

}  // namespace mosaro
