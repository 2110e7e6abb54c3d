#include "systems/PairCovarianceCache.h"

#include <utility>

#include "platform/WideKernels.h"
#include "systems/NodeCovariances.h"
#ifdef MOSARO_WIDE_KERNELS
#include <immintrin.h>
#endif

namespace mosaro {
namespace {

// out[a * m + b] = previous[from[a] * m + from[b]] for a, b < m.
void CopyPermuted(const float* previous, const std::uint32_t* from, std::size_t m, float* out) {
    for (std::size_t a = 0; a < m; ++a) {
        const float* row = previous + from[a] * m;
        for (std::size_t b = 0; b < m; ++b) out[a * m + b] = row[from[b]];
    }
}

#ifdef MOSARO_WIDE_KERNELS
#include "platform/Avx512RegionBegin.inc"
namespace avx512 {

// The same for m <= 16: a row is one vector, its columns put in place by
// one permutation.
void CopyPermuted(const float* previous, const std::uint32_t* from, std::size_t m, float* out) {
    const __mmask16 used = static_cast<__mmask16>((1u << m) - 1u);
    const __m512i columns = _mm512_maskz_loadu_epi32(used, from);
    for (std::size_t a = 0; a < m; ++a) {
        const __m512 row = _mm512_maskz_loadu_ps(used, previous + from[a] * m);
        _mm512_mask_storeu_ps(out + a * m, used, _mm512_permutexvar_ps(columns, row));
    }
}

}  // namespace avx512
#include "platform/Avx512RegionEnd.inc"
#endif

}  // namespace

PairCovarianceCache::PairCovarianceCache(int m, std::size_t entries, bool lanes)
    : lanes_(lanes),
      m_(static_cast<std::size_t>(m)),
      previousIds_(m_),
      previous_(m_ * m_),
      current_(m_ * m_),
      from_(m_),
      fresh_(m_),
      column_(m_),
      slotOf_(entries, -1) {}

void PairCovarianceCache::Reset() {
    for (std::size_t a = 0; a < previousCount_; ++a) slotOf_[static_cast<std::size_t>(previousIds_[a])] = -1;
    previousCount_ = 0;
}

void PairCovarianceCache::Fill(const int* ids, const float* x, const float* y, const KrigingConstants& c) {
    std::size_t fresh = 0;
    for (std::size_t a = 0; a < m_; ++a) {
        const int slot = slotOf_[static_cast<std::size_t>(ids[a])];
        if (slot < 0) fresh_[fresh++] = a;
        // A new column reads any slot: its row and column are written again
        // below.
        from_[a] = slot < 0 ? 0u : static_cast<std::uint32_t>(slot);
    }
    if (fresh < m_) {
#ifdef MOSARO_WIDE_KERNELS
        if (lanes_ && m_ <= 16 && ProcessorHasAvx512())
            avx512::CopyPermuted(previous_.data(), from_.data(), m_, current_.data());
        else
#endif
            CopyPermuted(previous_.data(), from_.data(), m_, current_.data());
    }
    for (std::size_t k = 0; k < fresh; ++k) {
        const std::size_t a = fresh_[k];
        CovariancesToNode(c, x, y, m_, x[a], y[a], column_.data(), lanes_);
        for (std::size_t b = 0; b < m_; ++b) current_[a * m_ + b] = current_[b * m_ + a] = column_[b];
    }
    Reset();
    std::swap(previous_, current_);
    for (std::size_t a = 0; a < m_; ++a) {
        previousIds_[a] = ids[a];
        slotOf_[static_cast<std::size_t>(ids[a])] = static_cast<int>(a);
    }
    previousCount_ = m_;
}

}  // namespace mosaro
