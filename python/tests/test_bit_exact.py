"""legacy=True: the module's grids are the C API's legacy grids, bit for bit,
for every method."""

import numpy as np
import pytest

import c_api
import mosaro
from conftest import smooth_samples

# Method code -> the keyword arguments that method reads.
CASES = {
    1: {}, 2: {}, 3: {}, 4: {}, 5: {}, 6: {}, 7: {},
    8: {}, 9: {"shift": 7.5},
    10: {"thresholds": [40.0, 50.0, 60.0]},
    11: {"extra": True},
}


def same_bits(a, b):
    return a.shape == b.shape and a.dtype == b.dtype and np.array_equal(a.view(np.uint32), b.view(np.uint32))


def both(lib, x, y, values, second, code, kwargs, **grid_args):
    extra = [second] if kwargs.get("extra") else None
    r = mosaro.grid(x, y, values, method=code, shift=kwargs.get("shift"), thresholds=kwargs.get("thresholds"),
                    extra_values=extra, variance=True, legacy=True, **grid_args)
    status, message, estimate, variance = c_api.grid(
        lib, x, y, values, r.extent, r.cell, r.size, method=code, neighbours=grid_args.get("neighbours", 16),
        shift=kwargs.get("shift", 0.0), thresholds=kwargs.get("thresholds"), extra_values=extra or (),
        models=mosaro._models.legacy_models(grid_args.get("model")), variance=True, threads=grid_args.get("threads", 0))
    assert status == r.status
    return r, estimate, variance


# Seeds and cells where the legacy fit finds a finite model for every
# method (on most generated layouts some lag class is too thin for it).
@pytest.mark.parametrize("code", sorted(CASES))
@pytest.mark.parametrize("seed, cell", [(7, 100), (15, (60, 60.5)), (31, 80)])
def test_every_method_matches_the_c_api(lib, code, seed, cell):
    x, y, values, second = smooth_samples(seed, 200)
    r, estimate, variance = both(lib, x, y, values, second, code, CASES[code], cell=cell, neighbours=12)
    assert r.status == 0, r.message  # a grid of zeros would prove little
    assert np.count_nonzero(r.estimate) > r.estimate.size // 2
    assert same_bits(r.estimate, estimate)
    assert same_bits(r.variance, variance) or (code == 10 and np.isnan(r.variance).all() and np.isnan(variance).all())


@pytest.mark.parametrize("code", [1, 4, 8, 11])
def test_given_models_and_odd_grids_match_the_c_api(lib, code):
    x, y, values, second = smooth_samples(7, 120, extent=500.0)
    # Two directional models, a larger extent than the samples, one row only.
    r, estimate, variance = both(lib, x, y, values, second, code, CASES[code],
                                 model=[(1.0, 80.0, 300.0), (2.0, 60.0, 150.0)],
                                 extent=(-50, -20, 560, 530), size=(37, 1), neighbours=200, threads=1)
    assert r.estimate.shape == (1, 37)
    assert same_bits(r.estimate, estimate) and same_bits(r.variance, variance)


def test_the_reported_model_given_back_reproduces_the_grid(meuse):
    x, y, zinc, _ = meuse
    fitted = mosaro.grid(x, y, zinc, method="lognormal", cell=40, legacy=True)
    given = mosaro.grid(x, y, zinc, method="lognormal", cell=40, model=fitted.report[0], legacy=True)
    assert given.report[0]["x"]["branch"] == "given"
    assert same_bits(fitted.estimate, given.estimate)


@pytest.mark.parametrize("code, parameter, array, column", [
    (1, 0.0, None, 2), (7, 0.0, None, 2), (9, 3.0, None, 2),
    (10, 2.0, [45.0, 55.0], 2), (11, 2.0, [2.0, 3.0], 0),
    # The legacy call's silent cases: the value column outside the row grids
    # nothing; an unknown method code likewise.
    (1, 0.0, None, 7), (12, 0.0, None, 2),
])
def test_legacy_grid_matches_the_legacy_entry_point(lib, code, parameter, array, column):
    x, y, values, second = smooth_samples(3, 150, extent=600.0)
    table = np.column_stack([x, y, values, second])
    args = (column, (0.0, 0.0, 600.0, 600.0), 30.0, 30.0, 20, 20, 10, code, parameter, array)
    out = mosaro.legacy_grid(table, *args)
    assert out.shape == (21, 21)
    assert same_bits(out, c_api.legacy_grid(lib, table, *args))
    if column == 7 or code == 12:
        assert not out.any()


def test_the_robust_fit_grids_where_the_legacy_fit_gave_zeros(lib, meuse):
    x, y, zinc, _ = meuse
    with pytest.warns(mosaro.NoFiniteModelWarning):
        legacy = mosaro.grid(x, y, zinc, method="lognormal", cell=100, legacy=True, allow_empty=True)
    robust = mosaro.grid(x, y, zinc, method="lognormal", cell=100, fit="robust", legacy=True)
    assert not legacy.estimate.any() and robust.status == 0 and robust.estimate.min() > 100
    status, _, estimate, _ = c_api.grid(lib, x, y, zinc, robust.extent, robust.cell, robust.size, method=8, fit=1)
    assert status == 0 and same_bits(robust.estimate, estimate)
    x_fit = robust.report[0]["x"]
    assert x_fit["branch"] == "robust" and "weighted least squares" in x_fit["reason"]
    assert np.isnan(x_fit["legacy_model"]["sill"]) or x_fit["legacy_model"] != x_fit["model"]
    tables = mosaro.variogram(x, y, zinc, method="lognormal", cell=100, fit="robust", legacy=True)["passes"][0]
    assert len(tables["omnidirectional"]["experimental"]["lag"]) > 0
