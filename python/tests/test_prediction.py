"""The prediction (mosaro.grid's default and mosaro.predict): the grids and
points are mosaro_predict's through the C API bit for bit, NaN values are
left out and counted, and every bad input is refused naming the argument.
What each kind computes is checked against independent solves in
tests/PredictionTest.cpp; here only what the binding adds."""

import math

import numpy as np
import pytest

import c_api
import mosaro
from conftest import smooth_samples

MODEL = "0.5 Nug + 60 Sph(400)"
DRIFT = {"x": 1, "x2": 2, "y": 4, "y2": 8, "xy": 16}  # mosaro.h's MOSARO_DRIFT_*


def same64(a, b):
    return a.shape == b.shape and a.dtype == b.dtype == np.float64 and np.array_equal(a.view(np.uint64),
                                                                                      b.view(np.uint64))


def same_report(a, b):
    return a.keys() == b.keys() and all(a[k] == b[k] or (a[k] != a[k] and b[k] != b[k]) for k in a)


@pytest.fixture(scope="module")
def samples():
    return smooth_samples(21, 250, extent=1000.0)


def _covariate(x, y):
    return 0.002 * x + np.sin(y / 150.0)


# Each case: mosaro.grid's keywords, and the same run's C fields.
CASES = [
    ("fitted defaults", {}, {}),
    ("given model", dict(model=MODEL, nmax=8), dict(model=MODEL, nmax=8)),
    ("universal-xy", dict(method="universal-xy"), dict(drift_terms=DRIFT["x"] | DRIFT["y"])),
    ("drift terms", dict(drift=("x", "x2", "xy"), model=MODEL),
     dict(drift_terms=DRIFT["x"] | DRIFT["x2"] | DRIFT["xy"], model=MODEL)),
    ("lognormal", dict(method="lognormal"), dict(lognormal=True)),
    ("lognormal3", dict(method="lognormal3", shift=7.5, model="0.01 Nug + 0.2 Exp(300)"),
     dict(lognormal=True, shift=7.5, model="0.01 Nug + 0.2 Exp(300)")),
    ("simple", dict(kind="simple", mean=50.0, model=MODEL), dict(kind=1, mean=50.0, model=MODEL)),
    ("block", dict(block=(40, 30), block_points=(3, 5), model=MODEL),
     dict(block=(40.0, 30.0), block_points=(3, 5), model=MODEL)),
    ("octants", dict(octants=2), dict(sectors=8, max_per_sector=2)),
    ("quadrants", dict(sectors=(4, 3), nmax=10), dict(sectors=4, max_per_sector=3, nmax=10)),
    ("global", dict(nmax=math.inf, model=MODEL), dict(nmax=-1, model=MODEL)),
    ("nmin and maxdist", dict(nmin=3, maxdist=60, model=MODEL, allow_empty=True),
     dict(nmin=3, max_distance=60.0, model=MODEL)),
    ("variogram and fit", dict(variogram=dict(cutoff=400, width=25, directions=[30], tolerance=30,
                                              estimator="cressie"), fit="Nug + Exp", fit_weights=1),
     dict(variogram=dict(cutoff=400.0, width=25.0, azimuths=[30.0], tolerance=30.0, estimator=1),
          fit_template="Nug + Exp", fit_weights=1)),
    ("anisotropic search", dict(anisotropic_search=True, model="1 Nug + 50 Exp(300, azimuth=60, ratio=0.5)"),
     dict(anisotropic_search=True, model="1 Nug + 50 Exp(300, azimuth=60, ratio=0.5)")),
    ("one thread", dict(threads=1), {}),
]


@pytest.mark.parametrize("kwargs, fields", [c[1:] for c in CASES] + [
    (dict(covariates={"c": ("second", _covariate)}), "covariates")], ids=[c[0] for c in CASES] + ["covariates"])
def test_the_grid_is_mosaro_predict_s(double_lib, samples, kwargs, fields):
    x, y, values, second = samples
    if fields == "covariates":
        kwargs = dict(covariates={"c": (second, _covariate)})
    r = mosaro.grid(x, y, values, cell=(45, 40), variance=True, **kwargs)
    if fields == "covariates":
        fields = dict(covariates=[(second, _covariate(*np.meshgrid(r.x, r.y)))])
    status, message, outputs, report, used = c_api.predict(
        double_lib, x, y, values, grid=(r.extent[0], r.extent[1], r.cell[0], r.cell[1], r.size[0], r.size[1]),
        **fields)
    assert status == 0, message
    assert r.engine == "prediction" and r.estimate.shape == (r.size[1], r.size[0])
    assert set(r.arrays) == set(outputs)
    for name, array in outputs.items():
        assert same64(getattr(r, name), array), name
    assert same_report(r.report, report) and r.samples_left_out == 0
    assert r.model == mosaro.Model._from_parts(used)
    assert report["model_fitted"] == ("model" not in kwargs)
    if "nmin" in kwargs:
        assert 0 < report["no_data"] == np.isnan(r.estimate).sum() < r.estimate.size
    else:
        assert not np.isnan(r.estimate).any()


def test_points_are_mosaro_predict_s(double_lib, samples):
    x, y, values, second = samples
    rng = np.random.default_rng(3)
    tx, ty = rng.uniform(-50, 1050, 37), rng.uniform(-50, 1050, 37)
    p = mosaro.predict(x, y, values, tx, ty, method="lognormal", variance=True, block=25,
                       covariates={"c": (second, _covariate)})
    status, message, outputs, report, used = c_api.predict(
        double_lib, x, y, values, targets=(tx, ty), lognormal=True, block=(25.0, 25.0),
        covariates=[(second, _covariate(tx, ty))])
    assert status == 0, message
    for name, array in outputs.items():
        assert same64(getattr(p, name), array), name
    assert same_report(p.report, report) and p.model == mosaro.Model._from_parts(used) and len(p) == 37
    records = p.to_records()
    assert records.dtype.names == ("x", "y", "estimate", "variance", "log_estimate", "log_variance")
    assert same64(records["estimate"].copy(), p.estimate) and same64(records["x"].copy(), tx)
    assert set(p.to_dict()) == set(records.dtype.names) and p.to_dict()["y"] is p.y


@pytest.mark.parametrize("method, drift", [
    ("universal-x", ("x",)), ("universal-y", ("y",)), ("universal-xy", ("x", "y")), ("universal-xx", ("x", "x2")),
    ("universal-yy", ("y", "y2")), ("universal-xxyy", ("x", "x2", "y", "y2", "xy")),
])
def test_the_universal_methods_take_the_legacy_request_s_drift(method, drift):
    # The binding's method -> drift table is checked against the library's
    # own universal kriging: the legacy request in its accurate arithmetic,
    # with the same model and neighbours, agrees to float32's precision
    # (any other drift differs by more than a percent).
    x, y, values, _ = smooth_samples(7, 200, extent=500.0)
    legacy = mosaro.grid(x, y, values, method=method, cell=50, extent=(0, 0, 500, 500), model=(0.5, 60, 400),
                         legacy=True, arithmetic="accurate")
    by_method = mosaro.grid(x, y, values, method=method, cell=50, extent=(0, 0, 500, 500), model=(0.5, 60, 400))
    by_drift = mosaro.grid(x, y, values, drift=drift, cell=50, extent=(0, 0, 500, 500), model=(0.5, 60, 400))
    assert same64(by_method.estimate, by_drift.estimate)
    assert np.allclose(by_method.estimate, legacy.estimate, rtol=1e-6)


def test_nan_values_are_left_out_and_counted(samples):
    x, y, values, second = samples
    missing = values.copy()
    missing[[0, 17, 30, 249]] = np.nan
    keep = ~np.isnan(missing)
    extent = (0, 0, 1000, 1000)
    r = mosaro.grid(x, y, missing, cell=50, extent=extent, variance=True)
    subset = mosaro.grid(x[keep], y[keep], values[keep], cell=50, extent=extent, variance=True)
    assert r.report["samples_left_out"] == r.samples_left_out == 4 and r.report["samples_used"] == 246
    assert same64(r.estimate, subset.estimate) and same64(r.variance, subset.variance) and r.model == subset.model
    p = mosaro.predict(x, y, missing, [500.0], [500.0])
    assert p.samples_left_out == 4 and not np.isnan(p.estimate).any()
    # Indicator kriging and co-kriging run on the legacy request: the
    # samples without a value in any variable are left out there too.
    second = second.copy()
    second[5] = np.nan
    for method, extra in (("indicator", {"thresholds": [45.0, 55.0]}), ("cokriging", {"extra_values": [second]})):
        both = keep & ~np.isnan(second) if method == "cokriging" else keep
        r = mosaro.grid(x, y, missing, method=method, cell=50, extent=extent, **extra)
        subset_extra = {"extra_values": [second[both]]} if method == "cokriging" else extra
        s = mosaro.grid(x[both], y[both], values[both], method=method, cell=50, extent=extent, arithmetic="accurate",
                        fit="robust", legacy=True, **subset_extra)
        assert r.samples_left_out == (~both).sum() and r.engine == "legacy request"
        assert np.array_equal(r.estimate, s.estimate, equal_nan=True) and r.report[0]["x"]["branch"] == "robust"


def test_a_run_without_any_estimate_raises_unless_the_empty_result_is_asked_for(samples):
    x, y, values, _ = samples
    far = dict(nmin=5, maxdist=1.0, model=MODEL)
    with pytest.raises(ValueError, match=r"no target could be estimated \(441 targets: 441 with fewer than nmin"):
        mosaro.grid(x, y, values, cell=50, extent=(0, 0, 1000, 1000), **far)
    r = mosaro.grid(x, y, values, cell=50, extent=(0, 0, 1000, 1000), allow_empty=True, **far)
    assert np.isnan(r.estimate).all() and r.report["no_data"] == r.report["too_few_neighbours"] == 441
    with pytest.raises(ValueError, match="no target could be estimated"):
        mosaro.predict(x, y, values, [-5000.0], [0.0], **far)
    assert np.isnan(mosaro.predict(x, y, values, [-5000.0], [0.0], allow_empty=True, **far).estimate).all()
    # No targets asked for: nothing to estimate, nothing refused.
    assert len(mosaro.predict(x, y, values, [], [], model=MODEL)) == 0


# Each case: keywords (of grid and predict alike), and what the message
# must hold: the argument's name. The library's own refusals are
# PredictionTest's; one (nmin) shows they arrive here with their message.
BAD = [
    (dict(kind="simple", mean=math.nan), "mean must be a finite number"),
    (dict(kind="kriging"), "kind must be 'ordinary' or 'simple' (got 'kriging')"),
    (dict(nmin=10, nmax=5), "nmin 10 exceeds nmax 5"),
    (dict(nmax=0), "nmax must be a whole number of at least 1 (got 0)"),
    (dict(nmax=2.5), "nmax must be a whole number of at least 1 (got 2.5)"),
    (dict(neighbours=-1), "neighbours must be a whole number of at least 1 (got -1)"),
    (dict(nmax=8, neighbours=8), "give nmax or neighbours"),
    (dict(nmin=-1), "nmin must be a whole number of at least 0"),
    (dict(maxdist=0), "maxdist must be a positive finite number (got 0)"),
    (dict(maxdist=-10.0), "maxdist must be a positive finite number (got -10.0)"),
    (dict(maxdist=math.inf), "maxdist must be a positive finite number (got inf)"),
    (dict(block=0), "block must be a positive finite number (got 0)"),
    (dict(block=(10, -1)), "block must be a positive finite number (got -1)"),
    (dict(block=(1, 2, 3)), "block takes one value or two"),
    (dict(block=10, block_points=0), "block_points must be a whole number of at least 1 (got 0)"),
    (dict(block=10, block_points=(4, 100)), "block_points_x, block_points_y must lie in [1, 64]"),
    (dict(sectors=8), "sectors must be (4 or 8, samples per sector)"),
    (dict(octants=0), "octants must be a whole number of at least 1 (got 0)"),
    (dict(octants=2, quadrants=2), "give one of sectors, octants and quadrants"),
    (dict(drift="z"), "drift: unknown term 'z'"),
    (dict(method="universal-x", drift="y"), "drift: method 'universal-x' has its own drift"),
    (dict(drift=("x",), x=np.zeros(250)), "the drift (2 terms"),
    (dict(covariates={"c": (np.arange(250.0), None)}), "covariates['c'] has no values at the targets"),
    (dict(covariates={"c": np.arange(250.0)}), "covariates['c'] must be (at_samples, at_targets)"),
    (dict(covariates=[np.arange(250.0)]), "covariates must be a dict"),
    (dict(covariates={"c": (np.arange(10.0), lambda x, y: x)}), "covariates['c'] at the samples must have shape"),
    (dict(covariates={"c": (np.r_[np.nan, np.arange(249.0)], lambda x, y: x)}),
     "covariates (in order: 'c'): sample_covariates[0][0] must be finite"),
    (dict(covariates={"c": (np.arange(250.0), lambda x, y: np.full_like(x, np.inf))}),
     "covariates (in order: 'c'): target_covariates[0][0] must be finite"),
    (dict(fit="robust"), "fit='robust' names a fit of the legacy request"),
    (dict(fit="Nug + Sph", model=MODEL), "fit is read when the model is fitted, but model= is given"),
    (dict(variogram=dict(cutoff=100), model=MODEL), "variogram is read when the model is fitted"),
    (dict(variogram=dict(lag=100)), "variogram: unknown options 'lag'"),
    (dict(variogram=dict(estimator="median")), "estimator must be 'classic' or 'cressie'"),
    (dict(variogram=(100, 10)), "variogram must be a dict"),
    (dict(fit_weights=0), "fit_weights must be a whole number of at least 1"),
    (dict(fit="Nug + Sph(range=-1)"), "fit template"),
    (dict(threads=-2), "threads: thread_count must be 0 (every core) or more (got -2)"),
    (dict(threads=1.5), "threads must be a whole number, 0 for every core (got 1.5)"),
    (dict(method="lognormal3"), "lognormal3) needs shift="),
    (dict(method="lognormal3", shift="some"), "shift must be a number (got 'some')"),
    (dict(shift=1.0), "shift is read only by three-parameter lognormal kriging"),
    (dict(method="lognormal", values=-np.ones(250)), "value[0] + shift = -1 + 0 must be positive"),
    (dict(values=np.full(250, np.nan)), "no sample has a value (every value is NaN)"),
    (dict(values=np.ones(249)), "x, y and values must have the same length"),
    (dict(progress=3), "progress must be True, False, None or a function"),
]


@pytest.mark.parametrize("kwargs, text", BAD, ids=[str(i) for i in range(len(BAD))])
@pytest.mark.parametrize("call", ["grid", "predict"])
def test_bad_inputs_are_refused_naming_the_argument(samples, kwargs, text, call):
    x, y, values, _ = samples
    kwargs = dict(kwargs)
    x, values = kwargs.pop("x", x), kwargs.pop("values", values)
    if call == "predict" and "covariates" in kwargs and isinstance(kwargs["covariates"], dict):
        at = {k: (v[0], v[1]) if isinstance(v, tuple) else v for k, v in kwargs["covariates"].items()}
        kwargs["covariates"] = at
    with pytest.raises(ValueError) as raised:
        if call == "grid":
            mosaro.grid(x, y, values, cell=100, **kwargs)
        else:
            mosaro.predict(x, y, values, [100.0, 200.0], [300.0, 400.0], **kwargs)
    assert text in str(raised.value)


@pytest.mark.parametrize("kwargs, text", [
    (dict(arithmetic="legacy"), "arithmetic='legacy': the prediction runs in double precision"),
    (dict(condition=True), "condition=True is read by the legacy request (legacy=True)"),
    (dict(method="indicator", thresholds=[50.0], block=10),
     "block is read by the prediction, not by the legacy request that runs indicator"),
    (dict(method="cokriging", extra_values=[np.ones(250)], fit="Nug + Sph"),
     "fit: the legacy request fits 'legacy' or 'robust'"),
])
def test_grid_refuses_what_its_engine_does_not_read(samples, kwargs, text):
    x, y, values, _ = samples
    with pytest.raises(ValueError) as raised:
        mosaro.grid(x, y, values, cell=100, **kwargs)
    assert text in str(raised.value)


@pytest.mark.parametrize("targets, text", [
    (([1.0, np.nan], [2.0, 3.0]), "targets_x, targets_y: target 1 must have finite coordinates (got nan, 3)"),
    (([1.0, 2.0], [np.inf, 3.0]), "targets_x, targets_y: target 0 must have finite coordinates (got 1, inf)"),
    (([1.0, 2.0], [2.0]), "targets_x and targets_y must be one-dimensional and of one length"),
    (([[1.0, 2.0]], [[2.0, 3.0]]), "targets_x and targets_y must be one-dimensional and of one length"),
])
def test_predict_refuses_targets_it_cannot_place(samples, targets, text):
    x, y, values, _ = samples
    with pytest.raises(ValueError) as raised:
        mosaro.predict(x, y, values, *targets, model=MODEL)
    assert text in str(raised.value)
    with pytest.raises(ValueError, match="method 'indicator': predict runs ordinary"):
        mosaro.predict(x, y, values, [1.0], [2.0], method="indicator")
