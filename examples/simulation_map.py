#!/usr/bin/env python3
"""Simulates meuse zinc 100 times on a 40 m grid (sequential Gaussian
simulation of the normal scores, back-transformed to mg/kg) and draws four
realisations beside the E-type mean of all of them and the kriging map of
the same samples: the realisations keep the data's variability, their mean
is as smooth as kriging.

usage: /usr/bin/python3 examples/simulation_map.py [--data data/meuse.csv] [-o simulations.png]
(with the package installed, or importable through PYTHONPATH=build/python)
"""

import argparse
import csv
import os

import matplotlib

matplotlib.use("Agg")  # a file, not a window
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import mosaro  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=os.path.join(HERE, "..", "data", "meuse.csv"))
    parser.add_argument("-o", "--output", default="simulations.png")
    parser.add_argument("--realisations", type=int, default=100)
    args = parser.parse_args()
    with open(args.data, newline="") as f:
        rows = list(csv.DictReader(f))
    x, y, zinc = (np.array([float(r[k]) for r in rows]) for k in ("x", "y", "zinc"))

    sims = mosaro.simulate(x, y, zinc, cell=40, realisations=args.realisations, seed=2026)
    mean, _ = mosaro.etype(sims)
    kriged = mosaro.grid(x, y, zinc, cell=40, method="lognormal")
    print("model of the normal scores:", sims.model)

    panels = [(sims[k], "realisation %d" % (k + 1)) for k in range(4)]
    panels += [(mean, "E-type mean of %d" % args.realisations), (kriged.estimate, "lognormal kriging")]
    figure, axes = plt.subplots(1, len(panels), figsize=(3.2 * len(panels), 4.2), constrained_layout=True)
    for axis, (values, title) in zip(axes, panels):
        # Row 0 is the southern edge.
        image = axis.imshow(np.asarray(values), origin="lower", extent=sims.image_extent, cmap="viridis",
                            vmin=100, vmax=1800)
        axis.plot(x, y, ".", color="white", markersize=2)
        axis.set_xlim(sims.image_extent[:2])  # the points must not widen the frame beyond the map
        axis.set_ylim(sims.image_extent[2:])
        axis.set_title(title)
        axis.set_xticks([])
        axis.set_yticks([])
    figure.colorbar(image, ax=axes, shrink=0.8, label="zinc (mg/kg)")
    figure.savefig(args.output, dpi=80)
    print("wrote", args.output)


if __name__ == "__main__":
    main()
