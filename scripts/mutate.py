#!/usr/bin/python3
"""A small mutation check of the engine: does the test suite notice?

Each mutant is a one-line change to the engine (a comparison flipped, a
constant moved, an order of operations changed, a branch removed). The script
copies the working tree to a scratch folder, builds the engine's test programs
there once (Release), then for each mutant applies it, rebuilds, runs the test
programs fastest first and stops at the first failure: the mutant is killed.
A mutant that passes every program survived: a hole in the tests, unless it is
listed as equivalent (no output can change; the reason is given).

Not part of CI: about a minute per mutant on 2 cores.

usage: /usr/bin/python3 scripts/mutate.py [--keep DIR] [mutant-name...]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

# Engine test programs, fastest first.
TESTS = ["GoldenGridTest", "NodeProcedureTest", "VariogramFitTest", "SolverTest", "EntryPointTest", "SizeLimitsTest",
         "DegenerateMatrixTest", "KrigingMethodsTest", "NeighbourChainTest", "ModernApiTest",
         "ExperimentalVariogramTest", "FastPathTest", "RobustFitTest"]

# name, file, original text (must occur once), replacement, equivalent-because (or None)
MUTANTS = [
    ("anisotropy-reset-range-2-to-3", "src/systems/NodeProcedure.cpp",
     "f64(ratio) > 5.0 && f64(c.range) < 2.0", "f64(ratio) > 5.0 && f64(c.range) < 3.0", None),
    ("anisotropy-upper-ratio-5-to-4", "src/systems/NodeProcedure.cpp",
     "f64(ratio) > 5.0 && f64(c.range) < 2.0", "f64(ratio) > 4.0 && f64(c.range) < 2.0", None),
    ("anisotropy-lower-ratio-0.5-to-0.4", "src/systems/NodeProcedure.cpp",
     "if (f64(ratio) < 0.5 || std::isnan(ratio))", "if (f64(ratio) < 0.4 || std::isnan(ratio))", None),
    ("anisotropy-nan-check-removed", "src/systems/NodeProcedure.cpp",
     "if (f64(ratio) < 0.5 || std::isnan(ratio))", "if (f64(ratio) < 0.5)", None),
    ("coordinate-scale-strict-to-inclusive", "src/systems/NodeProcedure.cpp",
     "if (extent > 100.0f) return 100.0f;", "if (extent >= 100.0f) return 100.0f;", None),
    ("cut-off-strict-to-inclusive", "src/systems/NodeProcedure.cpp",
     "if (f64(estimate) < 0.01 || std::isnan(estimate)) return 0.0f;",
     "if (f64(estimate) <= 0.01 || std::isnan(estimate)) return 0.0f;",
     "no float widens to exactly 0.01, so < and <= agree on every estimate"),
    ("covariance-range-inclusive-to-strict", "src/systems/NodeProcedure.cpp",
     "if (!(h <= range)) return 0.0f;", "if (!(h < range)) return 0.0f;",
     "at h = range the model gives 1.5 - 0.5 = 1 exactly, so gamma rounds to the sill and the "
     "covariance is 0 either way"),
    ("covariance-nan-distance-branch-removed", "src/systems/NodeProcedure.cpp",
     "if (h == 0.0f || std::isnan(h)) return sill;", "if (h == 0.0f) return sill;", None),
    ("covariance-1.5-to-1.4", "src/systems/NodeProcedure.cpp",
     "((hd * 1.5) / a - 0.5 * Cube(hd / a))", "((hd * 1.4) / a - 0.5 * Cube(hd / a))", None),
    ("distance-anisotropy-order-changed", "src/systems/NodeProcedure.cpp",
     "dx * dx + (k * k) * (dy * dy)", "dx * dx + k * (k * (dy * dy))", None),
    ("neighbour-sort-unordered-not-exchanged", "src/systems/NodeProcedure.cpp",
     "if (!(d[b] >= d[a])) samples.Swap(a, b);", "if (d[b] < d[a]) samples.Swap(a, b);", None),
    ("node-coordinate-offset-rounding-removed", "src/systems/NodeProcedure.cpp",
     "const float position = f32(f64(offset) + f64(origin));",
     "const float position = f32(static_cast<double>(index) * f64(cellSize) + f64(origin));", None),
    ("lag-halving-threshold-100-to-101", "src/variogram/LagClasses.cpp",
     "if (nx > 100 || ny > 100) {", "if (nx > 101 || ny > 101) {", None),
    ("prune-keeps-equal-classes-dropped", "src/variogram/VariogramFit.cpp",
     "if (gamma[last] > gamma[c]) continue;", "if (gamma[last] >= gamma[c]) continue;", None),
    ("scale-divisor-10-to-1000-boundary", "src/variogram/VariogramFit.cpp",
     "if (lastLag >= 10.0f) scale = 1000.0f;", "if (lastLag > 10.0f) scale = 1000.0f;", None),
    ("straight-line-nugget-clamp-removed", "src/variogram/VariogramFit.cpp",
     "if (nugget < 0.0f) nugget = 0.0f;  // -0.0 is not negative and stays", "", None),
    ("straight-line-last-class-but-one-to-last", "src/variogram/VariogramFit.cpp",
     "const int last = c.count - 2;", "const int last = c.count - 1;", None),
    ("fit-branch-spherical-sign-flipped", "src/variogram/VariogramFit.cpp",
     "} else if (b1b3 < 0.0f) {", "} else if (b1b3 <= 0.0f) {", None),
    ("indicator-at-threshold-counts-above", "src/methods/IndicatorKriging.cpp",
     "return f64(value) - f64(threshold) > 0.0 ? 0.0f : 1.0f;",
     "return f64(value) - f64(threshold) >= 0.0 ? 0.0f : 1.0f;", None),
    ("indicator-empty-divisor-guard-removed", "src/methods/IndicatorKriging.cpp",
     "if (atOrBelow == 0) atOrBelow = 1;", "",
     "with no neighbour at or below the threshold the value sum is 0 as well: 0/0 is NaN, which "
     "the cut-off stores as 0, the node 0/1 gives"),
    ("lognormal-half-variance-to-whole", "src/methods/LogarithmNormalKriging.cpp",
     "const double halfSill = 0.5 * f64(s.constants->sill);",
     "const double halfSill = 1.0 * f64(s.constants->sill);", None),
    ("cokriging-block-cap-removed", "src/methods/CoKriging.cpp",
     "if (nearest > perBlock) nearest = perBlock;", "",
     "the sweep already limits the neighbour count to the samples, and a block holds them all"),
    ("neighbour-count-normalise-below-1-to-below-0", "src/api/GridRequest.cpp",
     "if (request.neighbourCount < 1) request.neighbourCount = 1;",
     "if (request.neighbourCount < 0) request.neighbourCount = 1;", None),
]


def run(command, cwd, timeout=None):
    return subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=timeout, check=False).returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--keep", help="scratch folder to reuse (kept afterwards)")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
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

    mutants = [m for m in MUTANTS if not args.names or m[0] in args.names]
    results = []
    for name, path, original, replacement, equivalent in mutants:
        file = os.path.join(tree, path)
        with open(file) as f:
            text = f.read()
        if text.count(original) != 1:
            results.append((name, "stale", "the original line is not found once in " + path))
            continue
        start = time.time()
        with open(file, "w") as f:
            f.write(text.replace(original, replacement))
        try:
            if run(build_tests, work):
                outcome, by = "killed", "the build"
            else:
                outcome, by = "survived", ""
                for test in TESTS:
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
        results.append((name, outcome, by))
        print(f"{name}: {outcome} {by} ({time.time() - start:.0f} s)", flush=True)
    run(build_tests, work)  # leave the scratch build unmutated

    print()
    for outcome in ("killed", "survived", "equivalent", "stale"):
        chosen = [r for r in results if r[1] == outcome]
        print(f"{outcome}: {len(chosen)}")
        for name, _, by in chosen:
            print(f"  {name}" + (f" ({by})" if by else ""))
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if any(r[1] in ("survived", "stale") for r in results) else 0


if __name__ == "__main__":
    sys.exit(main())
