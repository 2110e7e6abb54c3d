#!/usr/bin/python3
"""A small mutation check of the engine: does the test suite notice?

Each mutant is a one-line change to the engine (a comparison flipped, a
constant moved, an order of operations changed, a branch removed). The script
copies the working tree to a scratch folder, builds the engine's test programs
there once (Release), then for each mutant applies it and runs the test
programs, the likeliest for its area first, then fastest first, each rebuilt
just before it runs, and stops at the first failure: the mutant is killed.
A mutant that passes every program survived: a hole in the tests, unless it is
listed as equivalent (no output can change; the reason is given).

Every original text must occur exactly once in its file; the script refuses
to start otherwise, so that a mutant cannot go stale unnoticed when the code
moves.

Not part of CI: about a minute per mutant on 2 cores (less when killed
early); the mutants go round robin over the areas, and the run ends with a
table per area (docs/testing.md holds the last one).

usage: /usr/bin/python3 scripts/mutate.py [--list] [--keep DIR] [--area AREA] [mutant-name...]
"""
import argparse
import collections
import os
import shutil
import subprocess
import sys
import tempfile
import time

# Engine test programs, fastest first (a killed mutant stops at its first
# failing program, so the quick ones go first).
TESTS = ["VariogramFitTest", "SolverTest", "DenseLuTest", "SizeLimitsTest", "ModelNotationTest", "VariogramMathTest",
         "WorkerPoolTest", "GoldenGridTest", "EntryPointTest", "VariogramModelTest", "RobustFitTest",
         "CrossValidationTest", "ExecutionTest", "KrigingMethodsTest", "NeighbourChainTest",
         "AccurateArithmeticTest", "PredictionTest", "NodeProcedureTest", "AllocationFailureTest",
         "PortableMathTest", "ConcurrencyTest", "EmpiricalVariogramTest", "DegenerateMatrixTest",
         "ExperimentalVariogramTest", "SimulationTest", "GridFileTest", "ModelFitTest", "ModernApiTest",
         "FastPathTest"]

# The programs most likely to notice a mutant of each area run first; the
# rest follow in the order above (a survivor runs them all).
FIRST = {
    "fast path": ["FastPathTest", "NeighbourChainTest", "ExperimentalVariogramTest", "NodeProcedureTest"],
    "accurate": ["DenseLuTest", "AccurateArithmeticTest", "PredictionTest", "DegenerateMatrixTest"],
    "robust fit": ["RobustFitTest", "ModernApiTest"],
    "cross-validation": ["CrossValidationTest"],
    "families": ["VariogramModelTest", "ModelFitTest"],
    "prediction": ["PredictionTest"],
    "simulation": ["SimulationTest"],
    "reference": ["GoldenGridTest", "NodeProcedureTest", "KrigingMethodsTest"],
    "legacy fit": ["VariogramFitTest", "GoldenGridTest"],
}

KC = "src/systems/KrigingConstants.cpp"
VF = "src/variogram/VariogramFit.cpp"
CHAIN = "src/neighbours/NeighbourChain.cpp"
LANES = "src/neighbours/SortedLanes.cpp"
TO_NODE = "src/systems/NodeCovariances.cpp"
KERNELS = "src/variogram/PairKernels.cpp"
FAST = "src/sweeps/FastSweep.cpp"
PAIRS = "src/systems/PairCovarianceCache.cpp"
CELLS = "src/neighbours/CellIndex.cpp"
ACC = "src/systems/AccurateNodeSystem.cpp"
STEP = "src/systems/AccurateNodeStep.cpp"
NEAR = "src/neighbours/NearestSamples.cpp"
RANKED = "src/neighbours/RankedNearest.cpp"
LU = "src/systems/DenseLu.cpp"
LANE_LU = "src/systems/LaneLuSteps.inc"
ROBUST = "src/variogram/RobustFit.cpp"
CV = "src/sweeps/CrossValidation.cpp"
FAM = "src/variogram/ModelFamilies.cpp"
PRED = "src/pipeline/Prediction.cpp"
SIM = "src/sweeps/SequentialSimulation.cpp"
OFFSET_BLOCK = "src/sweeps/OffsetCovarianceBlock.cpp"
DELIVERY = "src/pipeline/OrderedDelivery.cpp"
SIM_RUN = "src/pipeline/Simulation.cpp"
SCORES = "src/methods/NormalScores.cpp"
RANDOM = "src/platform/Random.cpp"
RUNS = "src/variogram/SampleRunBoxes.h"
LOOPS = "src/variogram/VariogramPairLoops.cpp"

# name, area, file, original text (must occur once), replacement, equivalent-because (or None)
MUTANTS = [
    # The fast path: neighbour chain, pair kernels (each width), node system, caches.
    ("chain-tree-never-built", "fast path", CHAIN, "        index.buildIndex();\n", "", None),
    ("chain-direct-pass-exchanges-ties", "fast path", CHAIN,
     "if (!(candidates_[b].distance >= candidates_[a].distance)) Exchange(",
     "if (!(candidates_[b].distance > candidates_[a].distance)) Exchange(", None),
    ("chain-wide-pass-exchanges-ties", "fast path", CHAIN,
     "if (!(visitor.distance >= held[a].distance))", "if (!(visitor.distance > held[a].distance))", None),
    ("lanes-candidates-ignore-ties", "fast path", LANES,
     "if (list.Ties(_mm512_castsi512_ps(visitor[0]), Below(k < passes ? k : passes)) != 0) return false;",
     "(void)0;", None),
    ("lanes-infinite-candidate-inserted", "fast path", LANES,
     "if (!(c.distance < infinity)) return false;", "(void)infinity;", None),
    ("lanes-positions-ignore-ties", "fast path", LANES,
     "if (list.Ties(_mm512_castsi512_ps(fields[0]), all) != 0) return false;", "(void)all;", None),
    ("lanes-first-passes-ignore-ties", "fast path", LANES,
     "if (!(p.distance[a] < infinity) || list.Ties(_mm512_castsi512_ps(fields[0]), Below(a)) != 0) {",
     "if (!(p.distance[a] < infinity)) {", None),
    ("lanes-shift-loses-lane-15", "fast path", LANES,
     "static_cast<__mmask16>((fartherHi << 1) | (fartherLo >> 15))", "static_cast<__mmask16>(fartherHi << 1)", None),
    ("lanes-fallen-candidate-kept-in-lane", "fast path", LANES,
     "        list.Clear(passes);\n    }\n    std::int32_t", "    }\n    std::int32_t", None),
    ("chain-lanes-resume-from-first-pass", "fast path", CHAIN,
     "for (std::size_t a = from; a < sorted_; ++a) {", "for (std::size_t a = 0; a < sorted_; ++a) {", None),
    ("chain-lanes-take-over-from-tied-passes", "fast path", CHAIN,
     "if (!(held[a - 1].distance < held[a].distance)) return false;",
     "if (!(held[a - 1].distance <= held[a].distance)) return false;", None),
    ("lanes-take-over-rescans", "fast path", LANES,
     "std::size_t at = from > passes ? from : passes;", "std::size_t at = passes;", None),
    ("lanes-take-over-without-held", "fast path", LANES,
     "SortedList<4> list(held, from < passes ? from : passes);", "SortedList<4> list(held, 0);", None),
    ("chain-lanes-resume-rescans", "fast path", CHAIN,
     "std::size_t at = std::max(from, sorted_);", "std::size_t at = sorted_;", None),
    ("node-lanes-cube-rounded-twice", "fast path", TO_NODE,
     "_mm512_mul_pd(_mm512_set1_pd(0.5), Cube(ratio))",
     "_mm512_mul_pd(_mm512_set1_pd(0.5), _mm512_mul_pd(_mm512_mul_pd(ratio, ratio), ratio))", None),
    ("node-lanes-covariance-beyond-the-range", "fast path", TO_NODE,
     "covariance = _mm512_mask_blend_pd(beyond, covariance, _mm512_setzero_pd());", "(void)beyond;", None),
    ("node-lanes-distance-not-a-number-without-sill", "fast path", TO_NODE,
     "_mm512_cmp_pd_mask(h, _mm512_setzero_pd(), _CMP_EQ_UQ)", "_mm512_cmp_pd_mask(h, _mm512_setzero_pd(), _CMP_EQ_OQ)",
     None),
    ("node-lanes-last-columns-dropped", "fast path", TO_NODE, "    if (a < count) {", "    if (false) {", None),
    ("node-lanes-anisotropy-ignored", "fast path", TO_NODE, "_mm512_set1_pd(k * k)", "_mm512_set1_pd(1.0)", None),
    ("pair-cache-new-column-row-only", "fast path", PAIRS,
     "current_[a * m_ + b] = current_[b * m_ + a] = column_[b];", "current_[a * m_ + b] = column_[b];", None),
    ("pair-cache-nothing-copied-beside-a-new-column", "fast path", PAIRS,
     "if (fresh < m_) {", "if (fresh == 0) {", None),
    ("pair-cache-no-column-new", "fast path", PAIRS,
     "if (slot < 0) fresh_[fresh++] = a;", "if (slot < -1) fresh_[fresh++] = a;", None),
    ("pair-cache-lanes-copy-one-column-short", "fast path", PAIRS,
     "static_cast<__mmask16>((1u << m) - 1u)", "static_cast<__mmask16>((1u << (m - 1)) - 1u)", None),
    ("chain-wide-passes-skip-unaligned-start", "fast path", CHAIN,
     "for (; at < p && at % kBlock != 0; ++at)\n        if (visit(at)) return at + 1;",
     "at = (at + kBlock - 1) / kBlock * kBlock;", None),
    ("chain-wide-passes-skip-block-after-hit", "fast path", CHAIN,
     "mask &= BelowMask(d + at, farthest) & ~((2u << (first - at)) - 1u);", "mask = 0;", None),
    ("chain-block-test-skips-last-four", "fast path", CHAIN,
     "_mm_cmplt_ps(_mm_loadu_ps(d + 12), l)", "_mm_cmplt_ps(_mm_loadu_ps(d + 8), l)", None),
    ("kernel-plain-y-cone-with-x-reach", "fast path", KERNELS,
     "const bool towardY = (ax <= b.yConeSlope * ay) & (ay <= b.yReach);",
     "const bool towardY = (ax <= b.yConeSlope * ay) & (ay <= b.xReach);", None),
    ("kernel-plain-half-cell-pair-dropped", "fast path", KERNELS,
     "(position >= 1.0) &\n", "(position > 1.0) &\n", None),
    ("kernel-avx2-filter-drops-lane-7", "fast path", KERNELS,
     "permutevar8x32_ps(ay, order));\n        count += static_cast<std::size_t>(__builtin_popcount(mask));",
     "permutevar8x32_ps(ay, order));\n        count += static_cast<std::size_t>(__builtin_popcount(mask & 0x7Fu));",
     None),
    ("kernel-avx512-filter-drops-lane-15", "fast path", KERNELS,
     "compress_ps(mask, ay));\n        count += static_cast<std::size_t>(__builtin_popcount(mask));",
     "compress_ps(mask, ay));\n        count += static_cast<std::size_t>(__builtin_popcount(mask & 0x7FFFu));",
     None),
    ("kernel-avx512-classify-tail-last-lost", "fast path", KERNELS,
     "static_cast<__mmask16>((1u << (count - k)) - 1u)", "static_cast<__mmask16>((1u << (count - k - 1)) - 1u)", None),
    ("kernel-avx512-reach-of-x-for-both", "fast path", KERNELS,
     "_mm512_mask_blend_pd(towardX, v.reachY, v.reachX)", "_mm512_mask_blend_pd(towardX, v.reachX, v.reachX)", None),

    ("kernel-avx2-y-classes-offset-lost", "fast path", KERNELS,
     "_mm256_blendv_pd(v.yOffset, v.zero, towardX)", "_mm256_blendv_pd(v.zero, v.zero, towardX)", None),
    ("kernel-avx2-tail-first-pair-lost", "fast path", KERNELS,
     "for (std::size_t r = 0; k + r < count; ++r)", "for (std::size_t r = 1; k + r < count; ++r)", None),
    ("cells-last-row-unread", "fast path", CELLS,
     "for (std::size_t r = w.bottom; r <= w.top; ++r) {\n        const std::size_t end = grid_.End(w, r);\n        for (std::size_t k",
     "for (std::size_t r = w.bottom; r < w.top; ++r) {\n        const std::size_t end = grid_.End(w, r);\n        for (std::size_t k", None),
    ("cells-never-overflow", "fast path", CELLS,
     "if (count > limit) return Outcome::kOverflowed;", "if (count > limit + 1) return Outcome::kOverflowed;", None),
    ("cells-never-too-costly", "fast path", CELLS,
     "if (grid_.Count(w) > readingLimit) return Outcome::kTooCostly;", "", None),
    ("chain-nearby-ignores-node-shift", "fast path", CHAIN,
     "return (radius + std::sqrt(dx * dx + dy * dy)) * (1.0 + 1e-9) <= nearbyRadius_;",
     "return (radius + 0.0 * std::sqrt(dx * dx + dy * dy)) * (1.0 + 1e-9) <= nearbyRadius_;", None),
    ("chain-nearby-first-positions-twice", "fast path", CHAIN,
     "(nearbyDistance_[k] < reach) & (static_cast<std::size_t>(at) >= sorted_)",
     "(nearbyDistance_[k] < reach)", None),
    ("run-box-slope-on-nearest-x", "fast path", RUNS,
     "(nearY <= bounds.xConeSlope * farX)", "(nearY <= bounds.xConeSlope * nearX)", None),
    ("run-box-y-cone-with-x-reach", "fast path", RUNS,
     "(nearY <= bounds.yReach)", "(nearY <= bounds.xReach)", None),
    ("run-box-never-passes-over", "fast path", RUNS,
     "        return towardX | towardY;\n    }", "        return true | towardX | towardY;\n    }", None),
    ("runs-last-live-stretch-dropped", "fast path", LOOPS,
     "        flush();\n        return count;", "        return count;", None),
    ("runs-batch-across-box-boundary", "fast path", LOOPS,
     "end = std::min(rowEnd, (start / kBatch + 1) * kBatch);", "end = std::min(rowEnd, start + kBatch);", None),
    ("pair-count-past-last-exact", "fast path", "src/variogram/VariogramClasses.h",
     "std::min<std::uint64_t>(pairs, kLastCountedPair)", "pairs", None),
    ("node-variance-last-term-lost", "fast path", "src/systems/NodeSystem.cpp",
     "for (int i = 0; i < s.order; ++i)", "for (int i = 0; i + 1 < s.order; ++i)", None),
    ("pair-cache-slots-not-cleared", "fast path", PAIRS,
     "for (std::size_t a = 0; a < previousCount_; ++a) slotOf_[static_cast<std::size_t>(previousIds_[a])] = -1;",
     "", None),

    # The accurate arithmetic: neighbour ties, sector search, LU and solve, condition, sweep.
    ("nearest-tie-by-visit-order", "accurate", NEAR,
     "if (full()) {\n            if (!(entry < kept_.back())) return true;",
     "if (full()) {\n            if (!(entry.first < kept_.back().first)) return true;", None),
    ("nearest-bound-without-slack", "accurate", NEAR,
     "return worst + worst * 1e-9 + std::numeric_limits<double>::denorm_min();", "return worst;", None),
    ("row-search-bound-ignores-step", "accurate", NEAR,
     "const double reach = std::sqrt(*worst) + step;", "const double reach = std::sqrt(*worst) + 0.0 * step;",
     "a bound too tight holds fewer than m samples (the tree adds only points within it) and the search then runs "
     "again without one: slower, never different"),
    ("ranked-ties-counted-nearer", "accurate", RANKED,
     "below += other < own;  // -1 where true", "below += other <= own;  // -1 where true", None),
    ("ranked-padding-nearest", "accurate", RANKED,
     "std::fill(distance + count, distance + padded, std::numeric_limits<double>::infinity());",
     "std::fill(distance + count, distance + padded, 0.0);", None),
    ("ranked-ties-not-refused", "accurate", RANKED, "if (placed[nearer[i]]) return false;", "", None),
    ("ranked-longest-list-refused", "accurate", RANKED, "if (count > kRankedAtMost) return false;",
     "if (count >= kRankedAtMost) return false;", None),
    ("ranked-last-taken-dropped", "accurate", RANKED,
     "std::copy(nearest, nearest + std::min(capacity, count), candidates);",
     "std::copy(nearest, nearest + std::min(capacity, count) - 1, candidates);", None),
    ("spherical-many-range-exclusive", "accurate", "src/systems/CovarianceModel.cpp",
     "out[i] = h == 0.0 ? sill : (h <= range ? inside : 0.0);", "out[i] = h == 0.0 ? sill : (h < range ? inside : 0.0);",
     None),
    ("spherical-many-origin-polynomial", "accurate", "src/systems/CovarianceModel.cpp",
     "out[i] = h == 0.0 ? sill : (h <= range ? inside : 0.0);", "out[i] = h <= range ? inside : 0.0;", None),
    ("spherical-many-stretch-on-x", "accurate", "src/systems/CovarianceModel.cpp",
     "std::sqrt(dx[i] * dx[i] + anisotropy * anisotropy * (dy[i] * dy[i]));",
     "std::sqrt(anisotropy * anisotropy * (dx[i] * dx[i]) + dy[i] * dy[i]);", None),
    ("fresh-pair-lower-half-stale", "accurate", ACC, "freshB_[fresh++] = b * stride + a;",
     "freshB_[fresh++] = a * stride + b;", None),
    ("fresh-pair-not-in-units", "accurate", ACC,
     "for (std::size_t f = 0; f < fresh; ++f) matrix_[freshA_[f]] = matrix_[freshB_[f]] = freshCovariance_[f] / unit_;",
     "for (std::size_t f = 0; f < fresh; ++f) matrix_[freshA_[f]] = matrix_[freshB_[f]] = freshCovariance_[f];", None),
    ("interleave-block-pairs-swapped", "accurate", "src/systems/LaneLu.cpp",
     "const __m512i lowPairs = _mm512_setr_epi64(0, 1, 8, 9, 4, 5, 12, 13);",
     "const __m512i lowPairs = _mm512_setr_epi64(0, 1, 8, 9, 12, 13, 4, 5);", None),
    ("interleave-narrow-halves-swapped", "accurate", "src/systems/LaneLu.cpp",
     "v[2] = V(_mm256_permute2f128_pd(t0, t2, 0x31));", "v[2] = V(_mm256_permute2f128_pd(t0, t2, 0x13));", None),
    ("interleave-block-from-row-start", "accurate", LANE_LU,
     "for (std::size_t l = 0; l < kW; ++l) block[l] = Load(vectors + l * n + i);",
     "for (std::size_t l = 0; l < kW; ++l) block[l] = Load(vectors + l * n);", None),
    ("interleave-tail-one-short", "accurate", LANE_LU, "for (; i < n; ++i) {\n        V v;",
     "for (; i + 1 < n; ++i) {\n        V v;", None),
    ("lane-slot-of-first-system", "accurate", STEP, "std::copy_n(system_.Matrix(), n * n, &matrices_[l * n * n]);",
     "std::copy_n(system_.Matrix(), n * n, &matrices_[0]);", None),
    ("local-ties-by-cell-position", "accurate", NEAR,
     "return a.first < b.first || (!(b.first < a.first) && position_[a.second] < position_[b.second]);",
     "return a.first < b.first || (!(b.first < a.first) && a.second < b.second);", None),
    ("local-fallback-not-renumbered", "accurate", NEAR,
     "for (int& sample : found) sample = tree_->localOf[static_cast<std::size_t>(sample)];", "", None),
    ("local-samples-in-input-order", "accurate", STEP,
     "const std::size_t i = ordered ? static_cast<std::size_t>(order[k]) : k;", "const std::size_t i = k;", None),
    ("target-many-lag-from-x", "accurate", ACC,
     "targetY_[a] = c.y[a] - target.y;", "targetY_[a] = c.y[a] - target.x;", None),
    ("target-many-last-left-out", "accurate", ACC,
     "model_.AtMany(targetX_.data(), targetY_.data(), size, targetCovariance_.data());",
     "model_.AtMany(targetX_.data(), targetY_.data(), size - 1, targetCovariance_.data());", None),
    ("pairs-diagonal-not-in-units", "accurate", ACC, "const double diagonal = model_.Sill() / unit_;",
     "const double diagonal = model_.Sill();", None),
    ("pairs-previous-read-at-new-stride", "accurate", ACC,
     "previousMatrix_[static_cast<std::size_t>(pa) * previousStride + static_cast<std::size_t>(pb)];",
     "previousMatrix_[static_cast<std::size_t>(pa) * stride + static_cast<std::size_t>(pb)];", None),
    ("pairs-block-not-repeated-below", "accurate", ACC, "for (int w = v == 0 ? 1 : 0; w < variables_; ++w)",
     "for (int w = 1; w < variables_; ++w)", None),
    ("local-last-neighbour-stale", "accurate", NEAR,
     "for (std::size_t i = 0; i < capacity; ++i) found[i] = static_cast<int>(kept[i].second);",
     "for (std::size_t i = 0; i + 1 < capacity; ++i) found[i] = static_cast<int>(kept[i].second);", None),
    ("nearest-tree-never-built", "accurate", NEAR, "            index.buildIndex();\n", "", None),
    ("held-substitution-link-below", "accurate", LANE_LU,
     "const V second = (v[low] - Load(at(low, high)) * first) * Load(inverseDiagonal + low * kW);",
     "const V second = (v[low] - Load(at(high, low)) * first) * Load(inverseDiagonal + low * kW);", None),
    ("held-substitution-second-factor-from-first-column", "accurate", LANE_LU,
     "for (std::size_t r = c + 2; r < N; ++r) v[r] = (v[r] - Load(at(r, c)) * first) - Load(at(r, c + 1)) * second;",
     "for (std::size_t r = c + 2; r < N; ++r) v[r] = (v[r] - Load(at(r, c)) * first) - Load(at(r, c)) * second;",
     None),
    ("sector-diagonal-to-first-half", "accurate", "src/neighbours/Sectors.h",
     "quadrant % 2 == 0 ? std::fabs(dy) >= std::fabs(dx)", "quadrant % 2 == 0 ? std::fabs(dy) > std::fabs(dx)",
     None),
    ("sector-negative-axis-to-upper-quadrant", "accurate", "src/neighbours/Sectors.h",
     "else quadrant = dx < 0.0 ? 2 : 0;", "else quadrant = dx < 0.0 ? 1 : 0;", None),
    ("sector-seed-offered-twice", "accurate", NEAR,
     "if (place != list.end() && *place == entry) return;",
     "if (place != list.end() && *place == entry && false) return;", None),
    ("sector-farthest-misses-last-ray", "accurate", "src/neighbours/Sectors.cpp",
     "farthest = std::max(farthest, FarthestOnRay(box, x, y, last));", "", None),
    ("sector-full-list-keeps-dropped", "accurate", NEAR,
     "if (dropped != lists_.taken.end() && *dropped == list.back()) lists_.taken.erase(dropped);", "", None),
    ("lu-elimination-skips-a-column", "accurate", LU,
     "for (std::size_t c = k + 1; c < n; ++c) row[c] -= factor * pivotRow[c];",
     "for (std::size_t c = k + 2; c < n; ++c) row[c] -= factor * pivotRow[c];", None),
    ("lu-solve-exchanges-reversed", "accurate", LU,
     "for (std::size_t k = 0; k < n; ++k) std::swap(b[k], b[pivot[k]]);",
     "for (std::size_t k = n; k-- > 0;) std::swap(b[k], b[pivot[k]]);", None),
    ("condition-without-norm", "accurate", LU,
     "return 1.0 / (norm_ * estimate);", "return 1.0 / estimate;", None),
    ("condition-pivot-ratio-ignored", "accurate", ACC,
     "if (!(reciprocal <= pivotRatio_)) reciprocal = pivotRatio_;", "", None),
    ("minimum-norm-accepts-inconsistent", "accurate", ACC,
     "return residual <= kConsistentResidual * size;", "return true;", None),
    ("pair-covariances-reused-for-new-ids", "accurate", ACC,
     "if (ids_.size() == size && std::equal(ids_.begin(), ids_.end(), c.ids)) return;",
     "if (ids_.size() == size) return;", None),
    ("condition-gate-skips-regardless", "accurate", ACC,
     "if (condition_ >= mark) return condition_;", "return condition_;", None),
    ("condition-gate-ignores-ill-mark", "accurate", ACC,
     "const double mark = std::max(exactBelow, kIllConditioned);", "const double mark = exactBelow;", None),
    ("condition-stale-after-new-matrix", "accurate", ACC,
     "exact_ = floorKnown_ = false;", "floorKnown_ = false;", None),
    ("condition-floor-without-l", "accurate", LU,
     "return (1.0 - 1e-9) / (norm_ * upper * lower);", "return (1.0 - 1e-9) / (norm_ * upper);", None),
    ("condition-floor-exit-without-u", "accurate", LU,
     "if (!(upper * value <= reach)) return 0.0;", "if (!(value <= reach)) return 0.0;", None),
    ("lu-four-lanes-mixed", "accurate", LU,
     "alongside[i] = lanes_[4 * i + 2];", "alongside[i] = lanes_[4 * i + 1];", None),
    ("lane-lu-pivot-not-strict", "accurate", LANE_LU,
     "const M greater = candidate > largest;", "const M greater = candidate >= largest;", None),
    ("lane-lu-exchange-from-diagonal", "accurate", LANE_LU,
     "for (std::size_t c = 0; c < n; ++c) std::swap(at(k, c)[l], at(p, c)[l]);",
     "for (std::size_t c = k; c < n; ++c) std::swap(at(k, c)[l], at(p, c)[l]);", None),
    ("lane-lu-backward-without-inverse", "accurate", LANE_LU,
     "first[i] = Load(b[i] + high * kW) * inverseHigh;", "first[i] = Load(b[i] + high * kW);", None),
    ("lane-lu-next-column-left-for-later", "accurate", LANE_LU,
     "Store(at(r, next), factor == V{} ? entry : entry - factor * Load(at(k, next)));",
     "Store(at(r, next), entry);", None),
    ("lane-lu-pair-steps-swapped", "accurate", LANE_LU,
     "(Load(at(r, c)) - factor * Load(at(k, c))) - factorNext * Load(at(next, c))",
     "(Load(at(r, c)) - factorNext * Load(at(next, c))) - factor * Load(at(k, c))", None),
    ("lane-lu-next-row-pending-product-dropped", "accurate", LANE_LU,
     "update(next, k, Load(at(next, k)), next + 1);", "", None),
    ("lane-lu-odd-order-last-pivot-missed", "accurate", LANE_LU,
     "if (k < n) exchange(k);", "", None),
    ("lane-lu-pair-zero-factor-updates", "accurate", LANE_LU,
     "if (!AnyZero(factor) && !AnyZero(factorNext)) {", "if (true) {", None),
    ("lane-lu-forward-pair-factors-swapped", "accurate", LANE_LU,
     "const V factor = Load(at(r, c)), factor2 = Load(at(r, c + 1));",
     "const V factor = Load(at(r, c + 1)), factor2 = Load(at(r, c));", None),
    ("lane-lu-backward-pair-factors-swapped", "accurate", LANE_LU,
     "const V factor = Load(at(r, high)), factor2 = Load(at(r, low));",
     "const V factor = Load(at(r, low)), factor2 = Load(at(r, high));", None),
    ("lane-lu-forward-last-column-skipped", "accurate", LANE_LU,
     "if (c + 1 < n) {", "if (c + 2 < n) {", None),
    ("lane-lu-odd-order-first-row-unscaled", "accurate", LANE_LU,
     "if (top == 1)\n        for (std::size_t i = 0; i < count; ++i)",
     "if (top == 3)\n        for (std::size_t i = 0; i < count; ++i)", None),
    ("lane-lu-right-side-unsolved", "accurate", LANE_LU,
     "Substitute<3>(lu, exchanges, exchangeCount, inverseDiagonal, n, {x, alternating, solution});",
     "Substitute<2>(lu, exchanges, exchangeCount, inverseDiagonal, n, {x, alternating});", None),
    ("lane-lu-first-corner-not-averaged", "accurate", LANE_LU,
     "iteration == 0 ? total[l] / order :", "iteration == 0 ? total[l] :", None),
    ("lane-lu-alternating-floor-ignored", "accurate", LANE_LU,
     "estimate[l] < floor ? floor : estimate[l];", "estimate[l] < floor ? estimate[l] : estimate[l];", None),
    ("lane-queue-condition-above-pivot-ratio", "accurate", STEP,
     "o.reciprocalCondition <= o.pivotRatio ? o.reciprocalCondition : o.pivotRatio;", "o.reciprocalCondition;",
     None),
    ("lane-queue-irregular-lane-trusted", "accurate", STEP,
     "if (o.regular) reciprocal =", "reciprocal =", None),
    ("target-queue-flushed-only-when-full", "accurate", "src/sweeps/TargetSweep.cpp",
     "if (!step.Full() && index + 1 < end) continue;", "if (!step.Full()) continue;", None),
    ("bucket-reach-short", "accurate", "src/neighbours/CellGrid.cpp",
     "reach * (1.0 + 1e-9) + (", "reach * 0.9 + (", None),
    ("accurate-row-search-starts-bounded", "accurate", "src/sweeps/AccurateSweep.cpp",
     "double previousX = 0.0, worst = -1.0;", "double previousX = 0.0, worst = 0.0;",
     "the first node's search is then bounded by its distance from x = 0, and a bound too tight is searched "
     "again without one: slower, never different"),

    # The robust fit.
    ("robust-weights-pairs-over-lag", "robust fit", ROBUST,
     "f64(rows.pairs[k]) / (h * h)", "f64(rows.pairs[k]) / h", None),
    ("robust-interior-solution-skipped", "robust fit", ROBUST,
     "if (det > 1e-12 * sw * sff) {", "if (det > 1e-12 * sw * sff && false) {", None),
    ("robust-negative-nugget-allowed", "robust fit", ROBUST,
     "if (nugget >= 0.0 && partialSill >= floor) consider", "if (partialSill >= floor) consider", None),
    ("robust-refine-bracket-one-sided", "robust fit", ROBUST,
     "std::min(bestStep + 1, kRangeScan)", "std::min(bestStep, kRangeScan)", None),
    ("omnidirectional-gamma-half-lost", "robust fit", ROBUST,
     "f32(weighted / (2.0 * distance))", "f32(weighted / distance)", None),

    # Cross-validation.
    ("folds-one-is-leave-one-out", "cross-validation", CV,
     "if (folds < 2) return fold;", "if (folds < 1) return fold;",
     "the C API refuses one fold before folds are assigned; zero folds (leave-one-out) still returns early"),
    ("fold-mask-not-cleared", "cross-validation", CV,
     "for (std::size_t e = foldStart; e < i; ++e) excluded[static_cast<std::size_t>(order[e])] = 0;", "", None),
    ("fold-members-before-piece-kept", "cross-validation", CV,
     "while (begin > 0 && run.fold[static_cast<std::size_t>(order[begin - 1])] == fold) --begin;", "", None),

    # The model families.
    ("spherical-cubic-to-square", "families", FAM,
     "x * (1.5 - 0.5 * x * x)", "x * (1.5 - 0.5 * x)", None),
    ("circular-root-argument", "families", FAM,
     "std::sqrt((1.0 - x) * (1.0 + x))", "std::sqrt((1.0 - x) * (1.0 - x))", None),
    ("matern-three-halves-closed-form", "families", FAM,
     "if (c.shape == 1.5) return (1.0 + x) * NaturalExponential(-x);",
     "if (c.shape == 1.5) return (1.0 + 0.5 * x) * NaturalExponential(-x);", None),
    ("stein-scale-factor-lost", "families", FAM,
     "c.steinScale = 2.0 * std::sqrt(c.shape);", "c.steinScale = std::sqrt(c.shape);", None),

    # Prediction kinds and blocks.
    ("block-self-covariance-keeps-nugget", "prediction", PRED,
     "a == b ? covariance.Sill() - covariance.Nugget()", "a == b ? covariance.Sill()", None),
    ("block-twice-as-wide", "prediction", PRED,
     "targets.blockX.push_back(0.5 * r.blockX * alongX.nodes[si]);",
     "targets.blockX.push_back(r.blockX * alongX.nodes[si]);", None),
    ("block-drift-sum-not-mean", "prediction", ACC,
     "terms_[static_cast<std::size_t>(t)] = meanTerms_[static_cast<std::size_t>(t)] / points;",
     "terms_[static_cast<std::size_t>(t)] = meanTerms_[static_cast<std::size_t>(t)];", None),
    ("block-variance-from-point-sill", "prediction", ACC,
     "target.blockPoints > 0 ? target.blockCovariance : model_.Sill();", "model_.Sill();", None),
    ("simple-kriging-mean-lost", "prediction", PRED,
     "? MakeSimpleKriging(r.mean)", "? MakeSimpleKriging(0.0)", None),
    ("drift-variogram-of-raw-values", "prediction", PRED,
     "const Eigen::VectorXd residuals = values - design * coefficients;",
     "const Eigen::VectorXd residuals = values;", None),
    ("lognormal-back-transform-full-variance", "prediction", "src/sweeps/TargetSweep.cpp",
     "NaturalExponential(m + 0.5 * s2)", "NaturalExponential(m + s2)", None),

    # Simulation.
    ("normal-scores-rank-offset", "simulation", SCORES,
     "(0.5 * static_cast<double>(first + last - 1) + 0.5)", "(0.5 * static_cast<double>(first + last - 1) + 1.0)",
     None),
    ("normal-scores-back-steps", "simulation", SCORES,
     "return value_[k - 1] + t * (value_[k] - value_[k - 1]);", "return value_[k - 1];", None),
    ("uniform-loses-a-bit", "simulation", RANDOM,
     "(static_cast<double>(Next() >> 11) + 0.5) * 0x1.0p-53", "(static_cast<double>(Next() >> 12) + 0.5) * 0x1.0p-53",
     None),
    ("below-loses-carry", "simulation", RANDOM,
     "(cross2 >> 32) + (middle >> 32);", "(cross2 >> 32);", None),
    ("inverse-normal-tail-switch", "simulation", RANDOM,
     "if (r <= 5.0) {", "if (r <= 4.0) {", None),
    ("kept-realisation-handed-on-after-a-refusal", "simulation", DELIVERY,
     "goOn && k != kept_.end();", "k != kept_.end();", None),
    ("kept-realisation-handed-on-with-the-values-just-made", "simulation", DELIVERY,
     "goOn = Add(k->first, k->second);", "goOn = Add(k->first, values);", None),
    ("stopped-run-still-keeps-realisations", "simulation", DELIVERY,
     "    if (stopped_) return false;\n    if (next_ != r", "    if (next_ != r", None),
    ("simulation-standard-deviation-as-variance", "simulation", SIM,
     "estimate + std::sqrt(std::max(variance, 0.0)) * deviate",
     "estimate + std::max(variance, 0.0) * deviate", None),
    ("sample-on-first-column-not-fixed", "simulation", SIM,
     "ri >= 0 && rj >= 0 && ri < grid.columns", "ri > 0 && rj >= 0 && ri < grid.columns", None),
    ("simulation-sample-pairs-not-advanced", "simulation", SIM,
     "row[(kn + b) * lanes] = *pair++;", "row[(kn + b) * lanes] = *pair;", None),
    ("simulation-sample-to-node-lag-of-first-node", "simulation", SIM,
     "lagX[a * kn + nb] = sampleX - nodeX[nb];", "lagX[a * kn + nb] = sampleX - nodeX[0];", None),
    ("simulation-node-right-side-shifted", "simulation", OFFSET_BLOCK,
     "_mm256_i64gather_pd(centre, cellsA, 8)", "_mm256_i64gather_pd(centre + 1, cellsA, 8)", None),
    ("simulation-singular-right-side-read-side-by-side", "simulation", SIM,
     "variance -= weights[a] * right[a * lanes];", "variance -= weights[a] * right[a];", None),
    ("simulation-singular-values-side-by-side", "simulation", SIM,
     "estimate += weights[a] * values[a * lanes];", "estimate += weights[a] * values[a];", None),
    ("simulation-estimate-from-first-value", "simulation", SIM,
     "estimate += y * sides_[(size + a) * lanes + l];", "estimate += y * sides_[size * lanes + l];", None),
    ("simulation-variance-reduction-not-squared", "simulation", SIM,
     "variance -= y * y;", "variance -= y * sides_[(size + a) * lanes + l];", None),
    ("simulation-node-values-of-lane-zero", "simulation", SIM,
     "value[na * lanes] = fields[l][lane.neighbourNodes[na]];",
     "value[na * lanes] = fields[0][lane.neighbourNodes[na]];", None),
    ("gaussian-table-a-sixteenth-off", "simulation", RANDOM,
     "return GaussianAtSixteenths(static_cast<int>(sixteenths))",
     "return GaussianAtSixteenths(static_cast<int>(sixteenths) + 1)", None),
    ("simulation-field-step-in-marked-columns", "simulation", SIM,
     "offsetNode_.push_back(static_cast<long long>(o.j) * grid.columns + o.i);",
     "offsetNode_.push_back(static_cast<long long>(o.j) * markedColumns_ + o.i);", None),
    ("simulation-neighbour-row-from-columns", "simulation", SIM,
     "return lane.nj + plan_.offsetJ_[", "return lane.nj + plan_.offsetI_[", None),
    ("simulation-sample-lags-from-node-row", "simulation", SIM,
     "nodeY[nb] = y0 + (nj + offsetJ[hits[nb]]) * dy;", "nodeY[nb] = y0 + nj * dy;", None),
    ("simulation-deviate-block-not-advanced", "simulation", SIM,
     "        ++drawn;\n", "", None),
    ("combined-neighbourhood-tie-to-node", "simulation", SIM,
     "while (k < offsetD2_.size() && offsetD2_[k] < d2) ++k;", "while (k < offsetD2_.size() && offsetD2_[k] <= d2) ++k;",
     None),
    ("simulation-join-bucket-starts-late", "simulation", SIM,
     "(static_cast<double>(b) - 1.0) * joinUnit_", "(static_cast<double>(b) + 1.0) * joinUnit_", None),
    ("simulation-plan-last-sample-covariance-lost", "simulation", SIM,
     "const int n = std::min(kLags, count - first);", "const int n = std::min(kLags - 1, count - first);", None),
    ("simulation-table-row-lags-of-first-column", "simulation", SIM,
     "lagX[static_cast<std::size_t>(i + tableReach_)] = i * grid.dx;",
     "lagX[static_cast<std::size_t>(i + tableReach_)] = -tableReach_ * grid.dx;", None),
    ("combined-sample-joins-one-offset-late", "simulation", SIM,
     "for (; o < stop && found < enough; ++o) visit(o);",
     "for (; o <= stop && o < offsets && found < enough; ++o) visit(o);", None),
    ("combined-one-node-too-many", "simulation", SIM,
     "o < stop && found < enough;", "o < stop && found <= enough;", None),
    ("simulation-node-pair-cell-shifted", "simulation", OFFSET_BLOCK,
     "_mm256_i64gather_pd(centre, _mm256_sub_epi64(cellsA, cellsB), 8)",
     "_mm256_i64gather_pd(centre + 1, _mm256_sub_epi64(cellsA, cellsB), 8)", None),
    ("simulation-table-trusted-beyond-its-reach", "simulation", SIM,
     "tableCoversPairs_ = tableReach_ <= kMaxTableReach;", "tableCoversPairs_ = true;", None),
    ("simulation-lane-padding-not-cleared", "simulation", SIM,
     "for (std::size_t b = from; b < size; ++b) row[b * lanes] = 0.0;", "(void)row, (void)from;", None),
    ("simulation-lane-singular-ignored", "simulation", SIM,
     "if ((singular >> r) & 1u) {", "if (((singular >> r) & 1u) && false) {", None),
    ("simulation-singular-right-side-side-by-side", "simulation", SIM,
     "side[static_cast<std::size_t>(a)] = right[static_cast<std::size_t>(a) * stride];",
     "side[static_cast<std::size_t>(a)] = right[static_cast<std::size_t>(a)];", None),
    ("offset-block-row-starts-past-its-diagonal", "simulation", OFFSET_BLOCK,
     "for (std::size_t b = a; b < count; ++b) {\n            const __m256i",
     "for (std::size_t b = a + 1; b < count; ++b) {\n            const __m256i", None),
    ("offset-block-one-lane-right-side-not-written", "simulation", OFFSET_BLOCK,
     "for (std::size_t l = 0; l < lanes; ++l) right[a * lanes + l] = centre[cellsA[l]];", "", None),
    ("simulation-node-rows-read-the-wrong-sample-covariances", "simulation", SIM,
     "for (std::size_t a = 0; a < ks; ++a, toSamples += kn) {", "for (std::size_t a = 0; a < ks; ++a, toSamples += 1) {",
     None),
    ("simulation-singular-entry-node-to-sample-misplaced", "simulation", SIM,
     "static_cast<std::size_t>(b - kn) * static_cast<std::size_t>(kn) + na];",
     "static_cast<std::size_t>(b - kn) + na];", None),
    ("simulation-plan-samples-beyond-the-radius-kept", "simulation", SIM,
     "return dx * dx + dy * dy > within;", "return dx * dx + dy * dy > 4 * within;", None),
    ("simulation-plan-join-starts-two-offsets-late", "simulation", SIM,
     "joinStart_.push_back(static_cast<int>(at));",
     "joinStart_.push_back(static_cast<int>(std::min(at + 2, offsetD2_.size())));", None),
    ("simulation-singular-pivot-floor-dropped", "simulation", SIM,
     "kSingularPivot * sill);", "0.0);", None),
    ("simulation-path-rows-from-columns", "simulation", SIM,
     "lane.ni = place.i, lane.nj = place.j;", "lane.ni = place.i, lane.nj = place.i % plan_.grid_.rows;", None),
    ("simulation-scan-counts-unsimulated-nodes", "simulation", SIM,
     "found += marks[steps[o]];", "found += 1 | marks[steps[o]];", None),
    ("simulation-batch-beyond-the-lanes", "simulation", SIM_RUN,
     "std::max(1, std::min(SequentialSimulator::LanesFor(plan, 0), (r.realisations + workers - 1) / workers));",
     "std::max(1, (r.realisations + workers - 1) / workers);", None),
    ("simulation-claim-beyond-the-batch", "simulation", SIM_RUN,
     "count = std::max(1, std::min(batch, (r.realisations - first + workers - 1) / workers));",
     "count = std::max(1, (r.realisations - first + workers - 1) / workers);", None),
    ("simulation-claims-never-shrink", "simulation", SIM_RUN,
     "count = std::max(1, std::min(batch, (r.realisations - first + workers - 1) / workers));",
     "count = std::min(batch, r.realisations - first);",
     "a realisation's bits do not depend on the claim it came in: only the time moves"),
    ("simulation-batch-of-one-in-lanes", "simulation", SIM_RUN,
     "const int lanes = batch > 1 ? 0 : 1;", "const int lanes = 0;",
     "a lone realisation in four lanes gets the bits of one run alone: only the time moves"),
    ("simulation-sample-columns-of-the-first-node-only", "simulation", "src/sweeps/SequentialSimulation.cpp",
     "for (std::size_t na = 0; na < kn; ++na) column[na * size * lanes] = toSamples[na];",
     "for (std::size_t na = 0; na < 1 && na < kn; ++na) column[na * size * lanes] = toSamples[na];", None),
    ("simulation-padding-left-one-short", "simulation", "src/sweeps/SequentialSimulation.cpp",
     "if (own < size)\n", "if (own + 1 < size)\n", None),
    ("cholesky-order-16-compiled-as-15", "simulation", "src/systems/Cholesky.cpp",
     "return Project<kCholeskyLanes, 2, 16>(a, n, sides, smallest);",
     "return Project<kCholeskyLanes, 2, 15>(a, n, sides, smallest);", None),
    ("cholesky-order-32-with-one-side", "simulation", "src/systems/Cholesky.cpp",
     "return Project<kCholeskyLanes, 2, 32>(a, n, sides, smallest);",
     "return Project<kCholeskyLanes, 1, 32>(a, n, sides, smallest);", None),
    ("cholesky-lane-failure-flags-lane-zero", "simulation", "src/systems/Cholesky.cpp",
     "failed |= 1u << l;", "failed |= 1u;", None),
    ("cholesky-last-entries-of-a-row-missed", "simulation", "src/systems/Cholesky.cpp",
     "for (; j < n; ++j) RowBlock<L, S, 1>", "for (; j + 1 < n; ++j) RowBlock<L, S, 1>", None),
    ("cholesky-products-in-reverse-order", "simulation", "src/systems/Cholesky.cpp",
     "for (std::size_t k = 0; k < i; ++k) {\n        const double* rowK", "for (std::size_t k = i; k-- > 0;) {\n        const double* rowK",
     None),
    ("cholesky-diagonal-not-updated", "simulation", "src/systems/Cholesky.cpp",
     "const V updated = Load<V>(diagonal) - u * u;", "const V updated = Load<V>(diagonal);", None),
    ("cholesky-next-diagonal-stale-near-the-end", "simulation", "src/systems/Cholesky.cpp",
     "next = RowBlock<L, S, 1>(a, n, i, j, inverse, sides, projected);",
     "RowBlock<L, S, 1>(a, n, i, j, inverse, sides, projected);", None),
    ("cholesky-block-width-boundary", "simulation", "src/systems/Cholesky.cpp",
     "for (; j + 4 <= n; j += 4)", "for (; j + 4 < n; j += 4)",
     "a row's entries take the same operations in a block of four as one at a time: only the grouping moves"),
    ("cholesky-second-side-not-updated", "simulation", "src/systems/Cholesky.cpp",
     "        for (std::size_t s = 0; s < S; ++s) {\n            double* entry = sides + (s * n + column) * L;",
     "        for (std::size_t s = 0; s + 1 < S; ++s) {\n            double* entry = sides + (s * n + column) * L;", None),
    ("normal-deviates-last-tail-without-logarithm", "simulation", RANDOM,
     "NaturalLogarithms(tail, tail, tails);", "NaturalLogarithms(tail, tail, tails > 0 ? tails - 1 : 0);", None),
    ("logarithm-lanes-exponent-not-raised", "simulation", "src/platform/PortableMath.cpp",
     "e = e - high;", "e = e + 0 * high;", None),
    ("logarithm-lanes-take-subnormals", "simulation", "src/platform/PortableMath.cpp",
     "reduced = reduced && group[l] >= 0x1p-1022 &&", "reduced = reduced && group[l] >= 0.0 &&", None),
    ("normal-scores-slice-walk-up-missing", "simulation", SCORES,
     "while (score_[k] < score) ++k;", "", None),
    ("normal-scores-lower-tail-from-upper", "simulation", SCORES,
     "firstProbability_ = NormalDistribution(score_.front());",
     "firstProbability_ = NormalDistribution(score_.back());", None),
    ("covariance-batch-chunk-boundary-lag-lost", "families", "src/variogram/CovarianceBatches.cpp",
     "first += kChunk) {", "first += kChunk + 1) {", None),
    ("covariance-batch-sill-on-an-axis", "families", "src/variogram/CovarianceBatches.cpp",
     "dx[i] == 0.0 && dy[i] == 0.0 ? sill : out[i]", "dx[i] == 0.0 ? sill : out[i]", None),
    ("spherical-pass-sill-on-an-axis", "families", "src/variogram/CovarianceBatches.cpp",
     "dx[i] == 0.0 && dy[i] == 0.0 ? sill : covariance", "dx[i] == 0.0 ? sill : covariance", None),
    ("spherical-pass-second-structure-dropped", "families", "src/variogram/CovarianceBatches.cpp",
     "if (kStructures == 2) covariance +=", "if (false) covariance +=", None),
    ("spherical-pass-second-structure-is-the-first", "families", "src/variogram/CovarianceBatches.cpp",
     "second = s[kStructures - 1];", "second = s[0];", None),
    ("spherical-pass-taken-by-any-family", "families", "src/variogram/CovarianceBatches.cpp",
     "if (p.anisotropic || p.family != ModelFamily::kSpherical) break;", "if (p.anisotropic) break;", None),
    ("spherical-pass-taken-by-anisotropic-models", "families", "src/variogram/CovarianceBatches.cpp",
     "if (p.anisotropic || p.family != ModelFamily::kSpherical) break;",
     "if (p.family != ModelFamily::kSpherical) break;", None),
    ("covariance-batch-structures-summed-without-their-sills", "families", "src/variogram/CovarianceBatches.cpp",
     "sum[i] += partialSill * unit[i];", "sum[i] += unit[i];", None),
    ("covariance-batch-anisotropy-ignored", "families", "src/variogram/CovarianceBatches.cpp",
     "if (p.anisotropic) {", "if (false) {", None),
    ("covariance-batch-spherical-factor", "families", "src/variogram/CovarianceBatches.cpp",
     "(1.0 - v) * (1.0 - v) * (2.0 + v)", "(1.0 - v) * (1.0 - v) * (2.0 - v)", None),
    ("cholesky-side-not-scaled-by-the-root", "simulation", "src/systems/Cholesky.cpp",
     "projected[s] = Load<V>(entry) * inverse;", "projected[s] = Load<V>(entry);", None),

    # The reference path: the legacy arithmetic's constants, covariance, neighbour sort and solve.
    ("anisotropy-reset-range-2-to-3", "reference", KC,
     "f64(ratio) > 5.0 && f64(c.range) < 2.0", "f64(ratio) > 5.0 && f64(c.range) < 3.0", None),
    ("anisotropy-upper-ratio-5-to-4", "reference", KC,
     "f64(ratio) > 5.0 && f64(c.range) < 2.0", "f64(ratio) > 4.0 && f64(c.range) < 2.0", None),
    ("anisotropy-lower-ratio-0.5-to-0.4", "reference", KC,
     "if (f64(ratio) < 0.5 || std::isnan(ratio))", "if (f64(ratio) < 0.4 || std::isnan(ratio))", None),
    ("anisotropy-nan-check-removed", "reference", KC,
     "if (f64(ratio) < 0.5 || std::isnan(ratio))", "if (f64(ratio) < 0.5)", None),
    ("coordinate-scale-strict-to-inclusive", "reference", KC,
     "if (extent > 100.0f) return 100.0f;", "if (extent >= 100.0f) return 100.0f;", None),
    ("covariance-range-inclusive-to-strict", "reference", KC,
     "if (!(h <= range)) return 0.0f;", "if (!(h < range)) return 0.0f;",
     "at h = range the model gives 1.5 - 0.5 = 1 exactly, so gamma rounds to the sill and the "
     "covariance is 0 either way"),
    ("covariance-nan-distance-branch-removed", "reference", KC,
     "if (h == 0.0f || std::isnan(h)) return sill;", "if (h == 0.0f) return sill;", None),
    ("covariance-1.5-to-1.4", "reference", KC,
     "((hd * 1.5) / a - 0.5 * Cube(hd / a))", "((hd * 1.4) / a - 0.5 * Cube(hd / a))", None),
    ("distance-anisotropy-order-changed", "reference", KC,
     "dx * dx + (k * k) * (dy * dy)", "dx * dx + k * (k * (dy * dy))", None),
    ("neighbour-sort-unordered-not-exchanged", "reference", "src/neighbours/ExchangeSort.cpp",
     "if (d[b] >= d[a]) continue;", "if (!(d[b] < d[a])) continue;", None),
    ("node-coordinate-offset-rounding-removed", "reference", "src/sweeps/GridNodes.h",
     "const float position = f32(f64(offset) + f64(origin));",
     "const float position = f32(static_cast<double>(index) * f64(cellSize) + f64(origin));", None),
    ("indicator-at-threshold-counts-above", "reference", "src/methods/Indicator.cpp",
     "return f64(value) - f64(threshold) > 0.0 ? 0.0f : 1.0f;",
     "return f64(value) - f64(threshold) >= 0.0 ? 0.0f : 1.0f;", None),
    ("indicator-empty-divisor-guard-removed", "reference", "src/methods/Indicator.cpp",
     "if (atOrBelow == 0) atOrBelow = 1;", "",
     "with no neighbour at or below the threshold the value sum is 0 as well: 0/0 is NaN, which "
     "the cut-off stores as 0, the node 0/1 gives"),
    ("lognormal-half-variance-to-whole", "reference", "src/methods/Lognormal.cpp",
     "const double halfSill = 0.5 * static_cast<double>(s.sill);",
     "const double halfSill = 1.0 * static_cast<double>(s.sill);", None),
    ("neighbour-count-normalise-below-1-to-below-0", "reference", "src/api/GridRequest.cpp",
     "if (request.neighbourCount < 1) request.neighbourCount = 1;",
     "if (request.neighbourCount < 0) request.neighbourCount = 1;", None),

    # The legacy variogram fit.
    ("lag-halving-threshold-100-to-101", "legacy fit", "src/variogram/LagClasses.cpp",
     "if (nx > 100 || ny > 100) {", "if (nx > 101 || ny > 101) {", None),
    ("prune-keeps-equal-classes-dropped", "legacy fit", VF,
     "if (gamma[last] > gamma[c]) continue;", "if (gamma[last] >= gamma[c]) continue;", None),
    ("scale-divisor-10-to-1000-boundary", "legacy fit", VF,
     "if (lastLag >= 10.0f) scale = 1000.0f;", "if (lastLag > 10.0f) scale = 1000.0f;", None),
    ("straight-line-nugget-clamp-removed", "legacy fit", VF,
     "if (nugget < 0.0f) nugget = 0.0f;  // -0.0 is not negative and stays", "", None),
    ("straight-line-last-class-but-one-to-last", "legacy fit", VF,
     "const int last = c.count - 2;", "const int last = c.count - 1;", None),
    ("fit-branch-spherical-sign-flipped", "legacy fit", VF,
     "} else if (b1b3 < 0.0f) {", "} else if (b1b3 <= 0.0f) {", None),
    # Lanes of several systems at once, window placement, tiles (the later additions).
    ("lanes-pivot-guard-dropped", "fast path", "src/systems/LaneElimination.inc",
     "if (guard) pivot = Lanes::Guard(pivot);", "", None),
    ("lanes-symmetric-phase-ignores-guard", "fast path", "src/systems/LaneElimination.inc",
     "if (Lanes::Any(Lanes::NeedsGuard(pivot))) break;", "if (false) break;", None),
    ("lanes-foreign-nan-test-inverted", "fast path", "src/systems/LaneSolver.cpp",
     "_mm256_andnot_ps(usual, _mm256_cmp_ps(v, v, _CMP_UNORD_Q))", "_mm256_and_ps(usual, _mm256_cmp_ps(v, v, _CMP_UNORD_Q))",
     None),
    ("row-start-first-nearer-of-block", "fast path", CHAIN,
     "if (visit(first)) return first + 1;", "if (visit(at)) return at + 1;", None),
    ("window-nodes-placed-from-window", "prediction", "src/sweeps/TargetSweep.cpp",
     "static_cast<double>(targets.column0 + index % targets.columns)", "static_cast<double>(index % targets.columns)",
     None),
]


def run(command, cwd, timeout=None):
    return subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=timeout, check=False).returncode


def stale_mutants(source, mutants):
    """The mutants whose original text is not found exactly once, with the count."""
    stale = []
    for name, _, path, original, _, _ in mutants:
        try:
            with open(os.path.join(source, path)) as f:
                count = f.read().count(original)
        except OSError:
            count = 0
        if count != 1:
            stale.append((name, path, count))
    return stale


def summary_table(results):
    """Killed / survived / equivalent per area, as a Markdown table."""
    areas = collections.OrderedDict()
    for _, area, _, _, _, _ in MUTANTS:
        areas.setdefault(area, collections.Counter())
    for name, area, outcome, _ in results:
        areas[area][outcome] += 1
    lines = ["| area | killed | survived | equivalent |", "|---|---|---|---|"]
    total = collections.Counter()
    for area, counts in areas.items():
        if sum(counts.values()) == 0:
            continue
        total.update(counts)
        lines.append(f"| {area} | {counts['killed']} | {counts['survived']} | {counts['equivalent']} |")
    lines.append(f"| all | {total['killed']} | {total['survived']} | {total['equivalent']} |")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--keep", help="scratch folder to reuse (kept afterwards)")
    parser.add_argument("--list", action="store_true", help="list the mutants and check their originals, then stop")
    parser.add_argument("--area", action="append", help="only the mutants of this area (repeatable)")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

    unknown = [n for n in args.names if n not in {m[0] for m in MUTANTS}]
    if unknown:
        sys.exit("unknown mutants: " + ", ".join(unknown))
    mutants = [m for m in MUTANTS
               if (not args.names or m[0] in args.names) and (not args.area or m[1] in args.area)]
    # Round robin over the areas, so that a run cut short has touched each.
    rank = collections.Counter()
    order = []
    for m in mutants:
        order.append((rank[m[1]], len(order), m))
        rank[m[1]] += 1
    mutants = [m for _, _, m in sorted(order)]
    assert all(t in TESTS for tests in FIRST.values() for t in tests)
    stale = stale_mutants(source, MUTANTS)
    if args.list:
        for name, area, path, _, _, equivalent in mutants:
            print(f"{area:17} {name:45} {path}" + ("  (equivalent)" if equivalent else ""))
        print(f"{len(mutants)} mutants")
    if stale:
        for name, path, count in stale:
            print(f"STALE {name}: original found {count} times in {path}", file=sys.stderr)
        sys.exit(f"{len(stale)} mutants do not match the code; fix them first")
    if args.list:
        return 0

    work = args.keep or tempfile.mkdtemp(prefix="mosaro-mutate-")
    tree = os.path.join(work, "src-tree")
    build = os.path.join(work, "build")
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=source,
                           stdout=subprocess.PIPE, check=True, text=True).stdout.split()
    for name in files:
        if name.startswith("build"):
            continue
        target = os.path.join(tree, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if os.path.isfile(os.path.join(source, name)):
            shutil.copy2(os.path.join(source, name), target)
    configure = ["cmake", "-S", tree, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DMOSARO_BUILD_TESTS=ON",
                 "-DMOSARO_BUILD_TOOL=OFF", "-DMOSARO_BUILD_PYTHON=OFF"]
    build_tests = ["cmake", "--build", build, "-j2", "--target"] + TESTS
    if run(configure, work) or run(build_tests, work):
        sys.exit("the unmutated tree does not build")

    results = []
    for name, area, path, original, replacement, equivalent in mutants:
        file = os.path.join(tree, path)
        with open(file) as f:
            text = f.read()
        start = time.time()
        with open(file, "w") as f:
            f.write(text.replace(original, replacement))
        try:
            # Each program is linked just before it runs: a mutant killed
            # early spares linking the rest.
            outcome, by = "survived", ""
            first = FIRST.get(area, [])
            for test in first + [t for t in TESTS if t not in first]:
                if run(["cmake", "--build", build, "-j2", "--target", test], work):
                    outcome, by = "killed", "the build"
                    break
                try:
                    failed = run([os.path.join(build, "tests", test), "--gtest_brief=1"], work, 900)
                except subprocess.TimeoutExpired:
                    failed = True
                if failed:
                    outcome, by = "killed", test
                    break
            if outcome == "survived" and equivalent:
                outcome, by = "equivalent", equivalent
        finally:
            with open(file, "w") as f:
                f.write(text)
        results.append((name, area, outcome, by))
        print(f"{name}: {outcome} {by} ({time.time() - start:.0f} s)", flush=True)
    run(build_tests, work)  # leave the scratch build unmutated

    print()
    for outcome in ("killed", "survived", "equivalent"):
        chosen = [r for r in results if r[2] == outcome]
        print(f"{outcome}: {len(chosen)}")
        for name, _, _, by in chosen:
            print(f"  {name}" + (f" ({by})" if by else ""))
    print()
    print(summary_table(results))
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if any(r[2] == "survived" for r in results) else 0


if __name__ == "__main__":
    sys.exit(main())
