"""Arguments: the library's refusals arrive as Python exceptions with its
message; the grid follows the command-line tool's rules in both engines;
any array layout or dtype gives the same bits."""

import math
import os

import numpy as np
import pytest

import c_api
import mosaro
from conftest import smooth_samples

MODEL = (0.5, 60.0, 400.0)


@pytest.fixture(scope="module")
def samples():
    return smooth_samples(5, 150, extent=500.0)


# Each case: keyword arguments the library refuses, and the same request's
# C fields; the exception must carry the message the C API gives for it.
# One case per status: the messages themselves are ModernApiTest's.
REFUSED = [
    ("neighbours", dict(neighbours=0), dict(neighbours=0)),
    ("method code", dict(method=12), dict(method=12)),
    ("NaN threshold", dict(method="indicator", thresholds=[40.0, math.nan]),
     dict(method=10, thresholds=[40.0, math.nan])),
    ("threads", dict(threads=-1), dict(threads=-1)),
    ("negative nugget", dict(model=(-1.0, 60.0, 400.0)), dict(models=[(-1.0, 60.0, 400.0)])),
    ("NaN shift", dict(method="lognormal3", shift=math.nan), dict(method=9, shift=math.nan)),
]


@pytest.mark.parametrize("name, kwargs, fields", REFUSED, ids=[case[0] for case in REFUSED])
def test_library_refusals_raise_value_error_with_its_message(lib, samples, name, kwargs, fields):
    x, y, values, _ = samples
    extent, cell, size = (0.0, 0.0, 500.0, 500.0), (50.0, 50.0), (11, 11)
    fields.setdefault("neighbours", 16)
    status, message, _, _ = c_api.grid(lib, x, y, values, extent, cell, size, **fields)
    assert status < 0 and message
    with pytest.raises(ValueError) as raised:
        mosaro.grid(x, y, values, extent=extent, cell=cell, legacy=True, **kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize("legacy", [False, True])
def test_sample_refusals_carry_the_library_message(samples, legacy):
    x, y, values, _ = samples
    bad = values.copy()
    bad[3] = -2.0
    with pytest.raises(ValueError, match=r"value\[3\] \+ shift = -2 \+ 0 must be positive"):
        mosaro.grid(x, y, bad, method="lognormal", cell=50, model=MODEL, legacy=legacy)
    nan_x = x.copy()
    nan_x[0] = np.nan
    with pytest.raises(ValueError, match=r"x\[0\] must be finite \(got nan\)"):
        mosaro.grid(nan_x, y, values, extent=(0, 0, 500, 500), cell=50, model=MODEL, legacy=legacy)


# Refused alike by both engines: the layout, the method names and their
# arguments are the library's and the package's, not an engine's.
BOTH = [
    (dict(method="kriging"), "unknown method 'kriging' (use one of ordinary, "),
    (dict(cell=10, size=(5, 5)), "give either a cell size or node counts, not both"),
    (dict(extent=(10, 0, 0, 10)), "extent 10 0 0 10 is inverted"),
    (dict(shift=2.0), "shift is read only by three-parameter lognormal kriging"),
    (dict(thresholds=[1.0]), "thresholds are read only by indicator kriging"),
    (dict(model={"nugget": 0.5, "range": 400.0}), "'partial_sill' is missing"),
    (dict(method=2.5), "method code 2.5 is not a whole number"),
    (dict(neighbours=2**31), "neighbours 2147483648 is outside the range of an int"),
    (dict(size=(50000, 50000)), "a grid of 50000 x 50000 nodes is too large (at most 2^31 - 1 nodes"),
    (dict(cell=1e-3), "nodes is too large (at most 2^31 - 1 nodes"),
    # Coordinates that are not finite, before a default extent.
    (dict(x=[0.0, 1.0, 2.0, math.nan]), "x[3] must be finite (got nan)"),
    (dict(y=[0.0, math.inf, 2.0, 3.0]), "y[1] must be finite (got inf)"),
    (dict(crs="EPSG:99999999"), "crs 'EPSG:99999999' is not a coordinate reference system"),
    (dict(progress="yes"), "progress must be True, False, None or a function"),
]
LEGACY_ONLY = [
    (dict(arithmetic="double"), "arithmetic must be 'legacy' or 'accurate' (got 'double')"),
    (dict(condition=True), "condition=True needs arithmetic='accurate'"),
    (dict(model=(1.0, 2.0)), "a model is (nugget, partial_sill, range)"),
    (dict(model="0.1 Nug + 2 Exp(300)"), "the legacy request takes a nugget and one Sph structure"),
    (dict(model="1 Sph(300, azimuth=30, ratio=0.5)"), "anisotropy along x and y only (azimuth 0 or 90; got 30)"),
    # Coordinates that are not finite as float32.
    (dict(y=[0.0, 1e39, 2.0, 3.0]), "y[1] must be finite (got inf)"),
    (dict(block=10), "block is read by the prediction, not by the legacy request (legacy=True)"),
    (dict(kind="simple", mean=3), "kind is read by the prediction, not by the legacy request"),
    (dict(fit="Nug + Exp"), "fit: the legacy request fits 'legacy' or 'robust'"),
    (dict(nmax=math.inf), "neighbours: the legacy request takes a number of neighbours"),
]


@pytest.mark.parametrize("legacy, kwargs, text", [(False, *c) for c in BOTH] + [(True, *c) for c in BOTH] +
                         [(True, *c) for c in LEGACY_ONLY])
def test_python_side_refusals(samples, legacy, kwargs, text):
    x, y, values, _ = samples
    kwargs = dict(kwargs)
    x, y = kwargs.pop("x", x[:4]), kwargs.pop("y", y[:4])
    with pytest.raises(ValueError) as raised:
        mosaro.grid(x, y, values[:4], legacy=legacy, **kwargs)
    assert text in str(raised.value)


def test_arrays_that_do_not_fit_together_are_refused(samples):
    x, y, values, second = samples
    with pytest.raises(ValueError, match="same length"):
        mosaro.grid(x, y[:-1], values, cell=50, model=MODEL)
    with pytest.raises(ValueError, match="one value per sample"):
        mosaro.grid(x, y, values, method="cokriging", extra_values=[second[:10]], cell=50, model=MODEL)
    with pytest.raises(ValueError, match="one-dimensional"):
        mosaro.grid(np.stack([x, x]), np.stack([y, y]), np.stack([values, values]), extent=(0, 0, 500, 500),
                    model=MODEL)
    with pytest.raises(ValueError, match="method_array holds 1 values"):
        mosaro.legacy_grid(np.stack([x, y, values], axis=1), 2, (0, 0, 500, 500), 50, 50, 10, 10, 8, 10, 3.0, [40.0])


def test_a_grid_too_large_for_memory_raises_memory_error(samples):
    with open("/proc/sys/vm/overcommit_memory") as f:
        if f.read().strip() == "1":
            pytest.skip("this machine promises any allocation")
    # The largest grid the node count allows, with its variance.
    size, grids = (46340, 46340), 2
    if os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE") > 4 * size[0] * size[1] * grids:
        pytest.skip("this machine has memory for the largest grid")
    x, y, values, _ = samples
    with pytest.raises(MemoryError):
        mosaro.grid(x, y, values, size=size, model=MODEL, variance=True, legacy=True)


@pytest.mark.parametrize("legacy", [False, True])
def test_layout_and_dtype_do_not_change_a_bit(samples, legacy):
    x, y, values, _ = samples
    reference = mosaro.grid(x, y, values, cell=25, model=MODEL, variance=True, legacy=legacy)
    table = np.stack([values, y, x], axis=1).astype(np.float64)  # columns: strided, float64
    strided = mosaro.grid(table[:, 2], table[:, 1], table[:, 0], cell=25, model=MODEL, variance=True, legacy=legacy)
    lists = mosaro.grid(x.tolist(), y.tolist(), values.tolist(), cell=25.0, model=MODEL, variance=True,
                        legacy=legacy)
    bits = np.uint32 if legacy else np.uint64
    for other in (strided, lists):
        assert np.array_equal(other.estimate.view(bits), reference.estimate.view(bits))
        assert np.array_equal(other.variance.view(bits), reference.variance.view(bits))
    # Contiguous arrays of the engine's type go to the library as they are.
    assert mosaro._legacy.samples(x) is x
    assert mosaro._prediction.samples(table[:, 2].copy(), x, x)[0].base is None


@pytest.mark.parametrize("legacy", [False, True])
def test_grid_geometry_follows_the_tool(meuse, legacy):
    x, y, zinc, _ = meuse
    # As the tool reports for the demo: cell 40 over the samples' bounding box.
    r = mosaro.grid(x, y, zinc, method="lognormal", cell=40, legacy=legacy)
    assert r.size == (70, 98) and r.cell == (40.0, 40.0) and r.extent[:2] == (178605.0, 329714.0)
    assert r.estimate.shape == (98, 70) and r.x[1] - r.x[0] == 40 and r.y[0] == 329714.0
    # Without cell or size: the longer side gets 100 square cells.
    r = mosaro.grid(x, y, zinc, model=MODEL, legacy=legacy, extent=(0, 0, 2000, 1000))
    assert r.size == (101, 51) and r.cell == (20.0, 20.0)
    # An extent that is a whole number of cells ends on a node; otherwise
    # the last node is the last one inside.
    assert mosaro.grid(x, y, zinc, model=MODEL, legacy=legacy, extent=(0, 0, 0.3, 0.2), cell=0.1).size == (4, 3)
    assert mosaro.grid(x, y, zinc, model=MODEL, legacy=legacy, extent=(0, 0, 100, 50), cell=(30, 20)).size == (4, 3)
    # size divides the extent into nodes - 1 cells; one node takes the extent.
    r = mosaro.grid(x, y, zinc, model=MODEL, legacy=legacy, extent=(0, 0, 100, 50), size=(5, 1))
    assert r.cell == (25.0, 50.0) and r.estimate.shape == (1, 5)


@pytest.mark.parametrize("legacy", [False, True])
def test_north_up_is_a_flipped_view(samples, legacy):
    x, y, values, _ = samples
    r = mosaro.grid(x, y, values, cell=50, model=MODEL, variance=True, legacy=legacy)
    assert np.shares_memory(r.north_up(), r.estimate)
    assert np.array_equal(r.north_up()[0], r.estimate[-1])
    assert np.array_equal(r.north_up(r.variance)[-1], r.variance[0])
    left, right, bottom, top = r.image_extent
    assert (left, bottom) == (r.x[0] - 25, r.y[0] - 25) and (right, top) == (r.x[-1] + 25, r.y[-1] + 25)


def test_no_finite_model_raises_unless_the_empty_grid_is_asked_for():
    x, y, values, _ = smooth_samples(1, 300)
    with pytest.raises(ValueError, match="no finite model.*allow_empty=True returns the grid of zeros"):
        mosaro.grid(x, y, values, cell=50, legacy=True)
    with pytest.warns(mosaro.NoFiniteModelWarning, match="no finite model"):
        r = mosaro.grid(x, y, values, cell=50, legacy=True, allow_empty=True)
    assert r.status == 1 and not r.estimate.any()


def test_variogram_returns_the_tables_the_grid_was_fitted_on(meuse):
    x, y, zinc, _ = meuse
    v = mosaro.variogram(x, y, zinc, method="lognormal", cell=40, legacy=True)
    r = mosaro.grid(x, y, zinc, method="lognormal", cell=40, legacy=True)
    (only,) = v["passes"]
    assert only["x"]["model"] == r.report[0]["x"]["model"] and only["y"]["model"] == r.report[0]["y"]["model"]
    pruned = only["x"]["pruned"]
    assert pruned["lag"].dtype == np.float32 and len(pruned["lag"]) == len(pruned["semivariance"]) > 3
    assert len(only["x"]["experimental"]["lag"]) >= len(pruned["lag"])
    assert v["cell"] == (40.0, 40.0)
    thresholds = mosaro.variogram(x, y, zinc, method="indicator", thresholds=[200, 400, 800], cell=60,
                                  legacy=True)["passes"]
    assert [p["threshold"] for p in thresholds] == [200.0, 400.0, 800.0]
