#!/usr/bin/env python3
"""Grids the zinc samples of the demo data by lognormal kriging on a 40 m grid
with the package's defaults (a "Nug + Sph" model fitted to the variogram of
ln(zinc) with gstat's cutoff and width, double precision), prints the fitted
model and draws the estimate, the kriging variance of ln(zinc) and the
variogram with its model into one PNG.

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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=os.path.join(HERE, "..", "data", "meuse.csv"))
    parser.add_argument("-o", "--output", default="zinc.png")
    args = parser.parse_args()

    samples = np.genfromtxt(args.data, delimiter=",", names=True)
    x, y, zinc = samples["x"], samples["y"], samples["zinc"]

    result = mosaro.grid(x, y, zinc, method="lognormal", cell=40, variance=True)
    print(result)
    print("fitted model of ln(zinc): %s (weighted squared error %.4g)"
          % (result.model, result.report["weighted_squared_error"]))
    # The classes the model was fitted to: those of ln(zinc), formed as the
    # grid formed them (omnidirectional, gstat's cutoff and width).
    classes = mosaro.variogram(x, y, np.log(zinc), fit=False)

    figure, (estimate, variance, variogram) = plt.subplots(1, 3, figsize=(16, 5.5))
    for panel, array, title, colours in (
            (estimate, result.estimate, "zinc (mg/kg), lognormal kriging", "viridis"),
            (variance, result.log_variance, "kriging variance of ln(zinc)", "magma")):
        # Row 0 of the library's grid is the southern edge.
        image = panel.imshow(result.north_up(array), extent=result.image_extent, cmap=colours)
        panel.plot(x, y, "k.", markersize=2)
        panel.set_title(title)
        panel.set_aspect("equal")
        panel.tick_params(labelsize=7)
        figure.colorbar(image, ax=panel, shrink=0.8)
    variogram.plot(classes.distance[0], classes.gamma[0], "o", color="tab:blue", label="ln(zinc)")
    lags = np.linspace(0, classes.cutoff, 200)
    variogram.plot(lags, result.model.semivariance(lags), "-", color="tab:blue", label="fitted model")
    variogram.set_xlabel("lag (m)")
    variogram.set_ylabel("semivariance of ln(zinc)")
    variogram.set_title("omnidirectional variogram and fitted model")
    variogram.legend(fontsize=7)
    figure.tight_layout()
    figure.savefig(args.output, dpi=90)
    print("wrote", args.output)


if __name__ == "__main__":
    main()
