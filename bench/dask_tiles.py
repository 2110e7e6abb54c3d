#!/usr/bin/python3
"""What mosaro.dask costs: generated samples gridded tile by tile on a local
cluster of 2 worker processes and of 1 (one thread each), against the one
call in this process; and how far a model fitted to a subsampled block
variogram moves from the one fitted to every pair.

    PYTHONPATH=build/python /usr/bin/python3 bench/dask_tiles.py
    PYTHONPATH=build/python /usr/bin/python3 bench/dask_tiles.py --samples 1000000 --nodes 10000 --tile 2048

Prints per run: wall time, the tile tasks' summed time and time per node,
each worker's peak resident memory, the zarr store's size on disk; then the
subsample table. Not a test: numbers depend on the machine and its load.
"""

import argparse
import math
import os
import resource
import shutil
import tempfile
import time

import numpy as np

import distributed
import mosaro
import mosaro.dask

MODEL = "0.1 Nug + 0.9 Sph(6000)"


def field(rng, x, y, length, terms=64):
    """A stationary Gaussian-like field of correlation length `length` (a sum
    of random cosines with a Gaussian spectrum) plus a nugget."""
    w = rng.normal(0.0, 1.0 / length, (terms, 2))
    phase = rng.uniform(0, 2 * np.pi, terms)
    v = np.zeros(len(x))
    for k in range(terms):
        v += np.cos(w[k, 0] * x + w[k, 1] * y + phase[k])
    return v * math.sqrt(2.0 / terms) + rng.normal(0.0, math.sqrt(0.1), len(x))


def peak_rss_mib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


def cpu_seconds():
    return time.process_time()


def store_size(path):
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, files in os.walk(path) for f in files)


def grid_run(workers, x, y, v, extent, cell, tile):
    with distributed.LocalCluster(n_workers=workers, processes=True, threads_per_worker=1, dashboard_address=None,
                                  silence_logs=40, memory_limit="8GiB") as cluster, \
            distributed.Client(cluster) as client:
        store = tempfile.mkdtemp(prefix="mosaro-dask-")
        try:
            cpu_before = client.run(cpu_seconds)
            start = time.perf_counter()
            with distributed.get_task_stream(client) as stream:
                ds = mosaro.dask.grid(x, y, v, extent=extent, cell=cell, model=MODEL, tile=tile, client=client,
                                      variance=True)
                ds.to_zarr(os.path.join(store, "g.zarr"))
            wall = time.perf_counter() - start
            tiles = [t for t in stream.data if t["key"].startswith("_krige_window")]
            busy = [sum(s["stop"] - s["start"] for s in t["startstops"] if s["action"] == "compute") for t in tiles]
            peaks = client.run(peak_rss_mib)
            cpu = sum(c - cpu_before[w] for w, c in client.run(cpu_seconds).items())
            return dict(workers=workers, wall=wall, cpu=cpu, tiles=len(busy), tile_seconds=sum(busy),
                        tile_max=max(busy), peaks=sorted(peaks.values()), bytes=store_size(store),
                        nodes=ds.sizes["x"] * ds.sizes["y"])
        finally:
            shutil.rmtree(store)


def subsample_table(rng, count, extent, length, sizes, seeds, cutoff):
    x, y = rng.uniform(0, extent, count), rng.uniform(0, extent, count)
    v = field(rng, x, y, length)
    options = dict(cutoff=cutoff, width=cutoff / 15, fit="Nug + Gau")
    start = time.perf_counter()
    full = mosaro.dask.variogram(x, y, v, **options)
    rows = [("all %d" % count, time.perf_counter() - start, full.model, 0.0, 0.0, 0.0)]
    f = full.model.structures[0]
    for size in sizes:
        for seed in seeds:
            start = time.perf_counter()
            m = mosaro.dask.variogram(x, y, v, sample=size, seed=seed, **options).model
            s = m.structures[0]
            rows.append(("%d seed %d" % (size, seed), time.perf_counter() - start, m,
                         (s.range - f.range) / f.range, (m.nugget + s.psill - full.model.nugget - f.psill) /
                         (full.model.nugget + f.psill), m.nugget - full.model.nugget))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--samples", type=int, default=200_000)
    parser.add_argument("--nodes", type=int, default=1500, help="nodes along each side of the square grid")
    parser.add_argument("--tile", type=int, default=500)
    parser.add_argument("--workers", type=int, nargs="+", default=[2, 1])
    parser.add_argument("--variogram-samples", type=int, default=40_000)
    parser.add_argument("--skip-one-call", action="store_true",
                        help="no one-call run in this process (it holds the whole grid, twice)")
    parser.add_argument("--skip-variogram", action="store_true", help="no subsample table")
    args = parser.parse_args()

    rng = np.random.default_rng(2026)
    extent = 100_000.0
    x, y = rng.uniform(0, extent, args.samples), rng.uniform(0, extent, args.samples)
    v = field(rng, x, y, 5000.0)
    cell = extent / (args.nodes - 1)
    box = (0.0, 0.0, extent, extent)
    print("%d samples onto %d x %d nodes, tiles of %d x %d, model %s" % (
        args.samples, args.nodes, args.nodes, args.tile, args.tile, MODEL))

    if not args.skip_one_call:
        start, cpu = time.perf_counter(), time.process_time()
        mosaro.grid(x, y, v, extent=box, cell=cell, model=MODEL, variance=True, threads=1)
        one, cpu = time.perf_counter() - start, time.process_time() - cpu
        print("one call, 1 thread, this process: wall %.1f s, CPU %.1f s, %.3f us CPU per node" % (
            one, cpu, 1e6 * cpu / args.nodes ** 2))

    for workers in args.workers:
        r = grid_run(workers, x, y, v, box, cell, (args.tile, args.tile))
        print("%d worker%s: wall %.1f s, workers' CPU %.1f s (%.3f us per node, %.2f s per tile); %d tiles, "
              "%.1f s of tile tasks' wall (longest %.2f s); peak RSS per worker %s MiB; zarr %.1f MiB" % (
                  workers, "" if workers == 1 else "s", r["wall"], r["cpu"], 1e6 * r["cpu"] / r["nodes"],
                  r["cpu"] / r["tiles"], r["tiles"], r["tile_seconds"], r["tile_max"],
                  ", ".join("%.0f" % p for p in r["peaks"]), r["bytes"] / 2**20))

    if args.skip_variogram:
        return
    print("\nsubsampled block variogram, %d samples of a field of correlation length 100 in 1000 x 1000, "
          "cutoff 300, fit Nug + Gau (one process):" % args.variogram_samples)
    print("%-18s %8s  %-28s %9s %9s %9s" % ("variogram of", "seconds", "model", "d range", "d sill", "d nugget"))
    for name, seconds, model, d_range, d_sill, d_nugget in subsample_table(
            rng, args.variogram_samples, 1000.0, 100.0, (2000, 5000, 20000), (1, 2, 3), 300.0):
        s = model.structures[0]
        text = "%.3g Nug + %.3g %s(%.4g)" % (model.nugget, s.psill, s.family, s.range)
        print("%-18s %8.2f  %-28s %+8.1f%% %+8.1f%% %+9.4f" % (name, seconds, text, 100 * d_range, 100 * d_sill,
                                                                  d_nugget))


if __name__ == "__main__":
    main()
