#include "neighbours/MeasuredDistances.h"

#include "neighbours/ExchangeSort.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace mosaro {
namespace {

void MeasurePlain(const float* x, const float* y, std::size_t count, double nodeX, double nodeY, float* out) {
    for (std::size_t k = 0; k < count; ++k) out[k] = MeasuredDistance(x[k], y[k], nodeX, nodeY);
}

#if defined(__x86_64__) && defined(__GNUC__)
// The plain loop is not vectorised by the compiler: std::sqrt may set errno.
__attribute__((target("avx2"))) void MeasureWide(const float* x, const float* y, std::size_t count, double nodeX,
                                                 double nodeY, float* out) {
    const __m256d nx = _mm256_set1_pd(nodeX), ny = _mm256_set1_pd(nodeY);
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m256d dx = _mm256_sub_pd(_mm256_cvtps_pd(_mm_loadu_ps(x + k)), nx);
        const __m256d dy = _mm256_sub_pd(_mm256_cvtps_pd(_mm_loadu_ps(y + k)), ny);
        const __m256d sum = _mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy));
        _mm_storeu_ps(out + k, _mm256_cvtpd_ps(_mm256_sqrt_pd(sum)));
    }
    MeasurePlain(x + k, y + k, count - k, nodeX, nodeY, out + k);
}

using Measure = void (*)(const float*, const float*, std::size_t, double, double, float*);

Measure BestMeasure() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? MeasureWide : MeasurePlain;
}
const Measure kBestMeasure = BestMeasure();
#else
constexpr auto kBestMeasure = MeasurePlain;
#endif

}  // namespace

void MeasureDistances(const float* x, const float* y, std::size_t count, double nodeX, double nodeY, float* out) {
    kBestMeasure(x, y, count, nodeX, nodeY, out);
}

}  // namespace mosaro
