#!/usr/bin/env python3
"""Grids the zinc samples of the demo data by lognormal kriging on a 40 m grid
and draws the estimate, its kriging variance and the fitted variograms into
one PNG.

usage: /usr/bin/python3 examples/zinc_map.py [--data data/meuse.csv] [-o zinc.png]
(with the package importable, e.g. PYTHONPATH=build/python)
"""

import argparse
import os

import matplotlib

matplotlib.use("Agg")  # a file, not a window: runs the same without a display
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import mosaro  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def spherical(h, model):
    """The spherical model's semivariance at lag h (the nugget from h > 0)."""
    a = model["range"]
    shape = np.where(h < a, 1.5 * h / a - 0.5 * (h / a) ** 3, 1.0)
    return np.where(h > 0, model["nugget"] + model["partial_sill"] * shape, 0.0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=os.path.join(HERE, "..", "data", "meuse.csv"))
    parser.add_argument("-o", "--output", default="zinc.png")
    args = parser.parse_args()

    samples = np.genfromtxt(args.data, delimiter=",", names=True)
    x, y, zinc = samples["x"], samples["y"], samples["zinc"]

    result = mosaro.grid(x, y, zinc, method="lognormal", cell=40, variance=True)
    fit = mosaro.variogram(x, y, zinc, method="lognormal", cell=40)["passes"][0]
    print(result)
    for axis in ("x", "y"):
        m = fit[axis]["model"]
        print("%s direction: nugget %g, partial sill %g, range %g (%s)"
              % (axis, m["nugget"], m["partial_sill"], m["range"], fit[axis]["branch"]))

    figure, (estimate, variance, variogram) = plt.subplots(1, 3, figsize=(16, 5.5))
    for panel, array, title, colours in ((estimate, result.estimate, "zinc (mg/kg), lognormal kriging", "viridis"),
                                         (variance, result.variance, "kriging variance of ln(zinc)", "magma")):
        # Row 0 of the library's grid is the southern edge.
        image = panel.imshow(result.north_up(array), extent=result.image_extent, cmap=colours)
        panel.plot(x, y, "k.", markersize=2)
        panel.set_title(title)
        panel.set_aspect("equal")
        panel.tick_params(labelsize=7)
        figure.colorbar(image, ax=panel, shrink=0.8)
    for axis, colour in (("x", "tab:blue"), ("y", "tab:orange")):
        table, model = fit[axis]["pruned"], fit[axis]["model"]
        variogram.plot(table["lag"], table["semivariance"], "o", color=colour, label="%s direction" % axis)
        lags = np.linspace(0, table["lag"].max() * 1.05, 200)
        variogram.plot(lags, spherical(lags, model), "-", color=colour, label="fitted model (%s)" % axis)
    variogram.set_xlabel("lag (m)")
    variogram.set_ylabel("semivariance of ln(zinc)")
    variogram.set_title("directional variograms")
    variogram.legend()
    figure.tight_layout()
    figure.savefig(args.output, dpi=90)
    print("wrote", args.output)


if __name__ == "__main__":
    main()
