#include "sweeps/OffsetCovarianceBlock.h"

#include "platform/WideKernels.h"
#ifdef MOSARO_WIDE_KERNELS
#include <immintrin.h>
#endif

namespace mosaro {
namespace {

void FillPortable(const double* centre, const long long* cells, std::size_t count, std::size_t order, std::size_t lanes,
                  double* matrix, double* right) {
    for (std::size_t a = 0; a < count; ++a) {
        const long long* cellsA = cells + a * lanes;
        for (std::size_t l = 0; l < lanes; ++l) right[a * lanes + l] = centre[cellsA[l]];
        double* row = matrix + a * order * lanes;
        for (std::size_t b = a; b < count; ++b)
            for (std::size_t l = 0; l < lanes; ++l) row[b * lanes + l] = centre[cellsA[l] - cells[b * lanes + l]];
    }
}

#ifdef MOSARO_WIDE_KERNELS
#include "platform/Avx2RegionBegin.inc"

// Four lanes: each entry's four reads as one gather, written as one vector
// (scalar stores four apart would bound the loop at a store an entry).
void FillFourLanes(const double* centre, const long long* cells, std::size_t count, std::size_t order, double* matrix,
                   double* right) {
    for (std::size_t a = 0; a < count; ++a) {
        const __m256i cellsA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cells + a * 4));
        _mm256_storeu_pd(right + a * 4, _mm256_i64gather_pd(centre, cellsA, 8));
        double* row = matrix + a * order * 4;
        for (std::size_t b = a; b < count; ++b) {
            const __m256i cellsB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cells + b * 4));
            _mm256_storeu_pd(row + b * 4, _mm256_i64gather_pd(centre, _mm256_sub_epi64(cellsA, cellsB), 8));
        }
    }
}

#include "platform/Avx2RegionEnd.inc"
#endif

}  // namespace

void FillOffsetCovarianceBlock(const double* centre, const long long* cells, std::size_t count, std::size_t order,
                               std::size_t lanes, double* matrix, double* right) {
#ifdef MOSARO_WIDE_KERNELS
    if (lanes == 4 && ProcessorHasAvx2()) return FillFourLanes(centre, cells, count, order, matrix, right);
#endif
    FillPortable(centre, cells, count, order, lanes, matrix, right);
}

}  // namespace mosaro
