#!/usr/bin/env python3
"""What the Python binding costs: mosaro.grid against the same request made
straight through the C API (timing the call alone), 10^5 samples onto 1000 x
1000 nodes, best of 3: the legacy request (legacy=True, mosaro_grid) and the
prediction (the default, mosaro_predict).

usage: /usr/bin/python3 python/bench_binding.py [--build build-release] [--samples N] [--nodes N]

A model is given: on 10^5 generated samples the legacy automatic fit finds no
finite model, and the grid would be all zeros.
"""

import argparse
import ctypes
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MODEL = (1.0, 60.0, 150.0)


def best_of(runs, calls):
    """Best time of each call; the calls take turns, so that a burst of load
    from elsewhere on the machine does not fall on one of them only."""
    best = [float("inf")] * len(calls)
    for _ in range(runs):
        for i, call in enumerate(calls):
            start = time.perf_counter()
            call()
            best[i] = min(best[i], time.perf_counter() - start)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build-release"))
    parser.add_argument("--samples", type=int, default=100000)
    parser.add_argument("--nodes", type=int, default=1000)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    os.environ.setdefault("MOSARO_LIBRARY", os.path.join(args.build, "libmosaro.so"))
    sys.path[:0] = [os.path.join(args.build, "python"), os.path.join(HERE, "tests")]
    import numpy as np
    import c_api
    import mosaro
    from conftest import smooth_samples

    x, y, values, _ = smooth_samples(11, args.samples)
    size = (args.nodes, args.nodes)
    extent = (0.0, 0.0, 1000.0, 1000.0)
    kwargs = dict(extent=extent, size=size, model=MODEL, legacy=True)
    reference = mosaro.grid(x, y, values, **kwargs)

    lib = c_api.library()
    out = np.empty((args.nodes, args.nodes), dtype=np.float32)
    request = c_api.Request()
    lib.mosaro_request_init(ctypes.byref(request))
    request.x, request.y, request.value = (a.ctypes.data_as(ctypes.POINTER(ctypes.c_float)) for a in (x, y, values))
    request.sample_count = len(x)
    request.x_min, request.y_min, request.x_max, request.y_max = reference.extent
    request.cell_size_x, request.cell_size_y = reference.cell
    request.node_count_x, request.node_count_y = size
    request.neighbour_count = 16
    model = c_api.Model(MODEL[0], MODEL[0] + MODEL[1], MODEL[2], MODEL[1])
    request.given_models = ctypes.pointer(model)
    request.given_model_count = 1
    request.grid = out.ctypes.data_as(ctypes.POINTER(ctypes.c_float))

    def in_c():
        assert lib.mosaro_grid(ctypes.byref(request)) == 0

    x64, y64, v64 = (a.astype(np.float64) for a in (x, y, values))
    names = ["C API: mosaro_grid (ctypes)", "mosaro.grid, float32 arrays", "mosaro.grid, float64 arrays"]
    times = best_of(args.runs, [in_c, lambda: mosaro.grid(x, y, values, **kwargs),
                                lambda: mosaro.grid(x64, y64, v64, **kwargs)])
    rows = [list(zip(names, times))]
    assert np.array_equal(out.view(np.uint32), reference.estimate.view(np.uint32))

    # The prediction, in double precision, with the same spherical model.
    spherical = "%r Nug + %r Sph(%r)" % MODEL
    modern = dict(extent=extent, size=size, model=spherical, threads=0)
    reference = mosaro.grid(x64, y64, v64, **modern)
    double_lib = c_api.double_library()
    grid = (reference.extent[0], reference.extent[1], reference.cell[0], reference.cell[1], *size)
    answers = []

    def predict_in_c():
        answers.append(c_api.predict(double_lib, x64, y64, v64, grid=grid, model=spherical, variance=False))

    names = ["C API: mosaro_predict (ctypes)", "mosaro.grid, float64 arrays", "mosaro.grid, float32 arrays"]
    times = best_of(args.runs, [predict_in_c, lambda: mosaro.grid(x64, y64, v64, **modern),
                                lambda: mosaro.grid(x, y, values, **modern)])
    rows.append(list(zip(names, times)))
    assert answers[-1][0] == 0 and np.array_equal(answers[-1][2]["estimate"].view(np.uint64),
                                                  reference.estimate.view(np.uint64))

    print("%d samples onto %d x %d nodes, ordinary kriging, 16 neighbours, given model, every core (%d); best of %d, "
          "load average %.1f" % (args.samples, args.nodes, args.nodes, os.cpu_count(), args.runs, os.getloadavg()[0]))
    print("%-30s %10s %10s" % ("call", "seconds", "vs C"))
    for table in rows:
        for name, seconds in table:
            print("%-30s %10.3f %+9.1f%%" % (name, seconds, 100 * (seconds / table[0][1] - 1)))


if __name__ == "__main__":
    main()
