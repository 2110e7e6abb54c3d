// The experimental variogram table: three rows of one float per lag class
// (lag distance, pair count, semivariance), each row its own heap block
// behind a table of three row pointers.
#pragma once

#include <cstddef>

namespace mosaro {

enum VariogramRow { kLagRow = 0, kPairCountRow = 1, kSemivarianceRow = 2 };

// Allocates a table of three rows of classCount floats, all zero. All or
// nothing: on failure nothing is left allocated and std::bad_alloc escapes.
float** AllocateVariogramTable(std::size_t classCount);

// Releases the rows, then the row table, and sets the pointer to null.
// Does nothing for a null pointer.
void ReleaseVariogramTable(float**& table);

}  // namespace mosaro
