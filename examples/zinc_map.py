#!/usr/bin/env python3
"""Grids the zinc samples of the demo data by lognormal kriging on a 40 m grid
with the package's defaults (a "Nug + Sph" model fitted to the variogram of
ln(zinc) with gstat's cutoff and width, double precision), prints the fitted
model and draws the estimate, the kriging variance of ln(zinc), the
variogram with its model and the probability of zinc above 500 mg/kg over
sequential Gaussian simulations into one PNG. The grids also go to xarray
(with the CRS as rioxarray keeps it) and, where rasterio is installed, to a
GeoTIFF beside the PNG.

usage: /usr/bin/python3 examples/zinc_map.py [--data data/meuse.csv] [-o zinc.png]
(with the package installed, or importable through PYTHONPATH=build/python)
"""

import argparse
import importlib.util
import os

import matplotlib

matplotlib.use("Agg")  # a file, not a window: runs the same without a display
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import mosaro  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
# The demo data's coordinates: the Dutch national grid. Naming it needs
# rasterio or pyproj to read the code; without either the grids go
# unreferenced.
CRS = "EPSG:28992"
THRESHOLD = 500.0  # mg/kg


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=os.path.join(HERE, "..", "data", "meuse.csv"))
    parser.add_argument("-o", "--output", default="zinc.png")
    parser.add_argument("--realisations", type=int, default=20)
    args = parser.parse_args()

    samples = np.genfromtxt(args.data, delimiter=",", names=True)
    x, y, zinc = samples["x"], samples["y"], samples["zinc"]

    readable = any(importlib.util.find_spec(m) for m in ("rasterio", "pyproj"))
    crs = CRS if readable else None
    result = mosaro.grid(x, y, zinc, method="lognormal", cell=40, variance=True, crs=crs)
    print(result)
    print("fitted model of ln(zinc): %s (weighted squared error %.4g)"
          % (result.model, result.report["weighted_squared_error"]))
    # The classes the model was fitted to: those of ln(zinc), formed as the
    # grid formed them (omnidirectional, gstat's cutoff and width).
    classes = mosaro.variogram(x, y, np.log(zinc), fit=False)
    # Equally likely maps on the same grid; the seed makes them repeatable.
    sims = mosaro.simulate(x, y, zinc, extent=result.extent, cell=40, realisations=args.realisations, seed=2026,
                           crs=crs)
    above = mosaro.exceedance(sims, THRESHOLD)
    print("simulated %d realisations, seed %d; model of the normal scores: %s" % (len(sims), sims.seed, sims.model))

    dataset = result.to_xarray()
    dataset["above_%g" % THRESHOLD] = above.to_xarray()
    print("xarray variables: %s; CRS attribute: %s" % (", ".join(dataset.data_vars),
                                                      "crs_wkt" in dataset["spatial_ref"].attrs))
    if importlib.util.find_spec("rasterio"):
        raster = os.path.splitext(args.output)[0] + ".tif"
        result.to_raster(raster, ("estimate", "variance"), compress="deflate")
        print("wrote", raster)

    figure, ((estimate, variance), (variogram, chance)) = plt.subplots(2, 2, figsize=(13, 11))
    for panel, array, title, colours in (
            (estimate, result.estimate, "zinc (mg/kg), lognormal kriging", "viridis"),
            (variance, result.log_variance, "kriging variance of ln(zinc)", "magma"),
            (chance, above, "share of %d realisations above %g mg/kg" % (len(sims), THRESHOLD), "cividis")):
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
