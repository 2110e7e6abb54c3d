#!/usr/bin/env python3
"""Compare the library's grids with the reference model, bit for bit.

    crosscheck.py --runner PATH --cases DIR [--jobs N] [--timeout SEC]

For every DIR/*.case the model grid is computed in Python and the runner is
started as `PATH case_file`; it must print the grid in the grid format (one
8-digit hex bit pattern per node, index order).  One line per case: OK, or
MISMATCH with the first differing node, or ERROR when the runner fails.
Exits 1 when any case does not match.
"""

import argparse
import concurrent.futures
import glob
import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True   # leave no cache files next to the scripts

import case_io
import kriging_model as km


def model_bits(path):
    case = case_io.read_case(path)
    t0 = time.time()
    grid = km.run_case(case)
    return case, [km.float_bits(v) for v in grid], time.time() - t0


def runner_bits(runner, path, timeout):
    proc = subprocess.run([runner, path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout, text=True)
    if proc.returncode != 0:
        raise RuntimeError("runner exit %d: %s" % (proc.returncode, proc.stderr.strip()[:200]))
    return case_io.parse_grid(proc.stdout)


def check_case(runner, path, timeout):
    """Returns (status, message) for one case file."""
    name = os.path.basename(path)
    try:
        case, mine, secs = model_bits(path)
    except Exception as exc:   # a model failure is reported, not fatal
        return "ERROR", "ERROR     %s: model failed: %r" % (name, exc)
    try:
        theirs = runner_bits(runner, path, timeout)
    except Exception as exc:
        return "ERROR", "ERROR     %s: %s" % (name, exc)
    row_len = case["args"]["n_cell_x"] + 1
    if len(theirs) != len(mine):
        return "MISMATCH", "MISMATCH  %s: runner printed %d nodes, model has %d" % (
            name, len(theirs), len(mine))
    for k, (a, b) in enumerate(zip(mine, theirs)):
        if a != b:
            ndiff = sum(1 for x, y in zip(mine, theirs) if x != y)
            return "MISMATCH", ("MISMATCH  %s: node %d (row %d, col %d): model %08x (%r), "
                                "runner %08x (%r); %d of %d nodes differ" % (
                                    name, k, k // row_len, k % row_len, a,
                                    km.bits_to_float(a), b, km.bits_to_float(b), ndiff,
                                    len(mine)))
    return "OK", "OK        %s (%d nodes, model %.2f s)" % (name, len(mine), secs)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--runner", required=True, help="program printing a case's grid")
    ap.add_argument("--cases", required=True, help="folder of *.case files")
    ap.add_argument("--jobs", type=int, default=1, help="cases checked in parallel")
    ap.add_argument("--timeout", type=float, default=300.0, help="runner time limit, s")
    args = ap.parse_args(argv)

    paths = sorted(glob.glob(os.path.join(args.cases, "*.case")))
    if not paths:
        print("no *.case files in %s" % args.cases)
        return 2
    counts = {"OK": 0, "MISMATCH": 0, "ERROR": 0}
    if args.jobs > 1:
        with concurrent.futures.ProcessPoolExecutor(max_workers=args.jobs) as pool:
            results = pool.map(check_case, [args.runner] * len(paths), paths,
                               [args.timeout] * len(paths))
            for status, message in results:
                counts[status] += 1
                print(message, flush=True)
    else:
        for p in paths:
            status, message = check_case(args.runner, p, args.timeout)
            counts[status] += 1
            print(message, flush=True)
    print("\n%d cases: %d OK, %d MISMATCH, %d ERROR" % (
        len(paths), counts["OK"], counts["MISMATCH"], counts["ERROR"]))
    return 0 if counts["OK"] == len(paths) else 1


if __name__ == "__main__":
    sys.exit(main())
