"""mosaro.variogram: the classes, cloud, map and fits are the C API's bit for
bit (the classes themselves are checked against gstat and brute force in
tests/EmpiricalVariogramTest.cpp), NaN values are left out, and bad options
are refused naming the argument."""

import math

import numpy as np
import pytest

import c_api
import mosaro
from conftest import smooth_samples

CLASS_ARRAYS = ("lower", "upper", "pairs", "distance", "gamma")


def same(a, b):
    return a.shape == b.shape and np.array_equal(a, b, equal_nan=True)


@pytest.fixture(scope="module")
def field():
    x, y, values, _ = smooth_samples(11, 300, extent=1000.0)
    return x.astype(np.float64), y.astype(np.float64), values.astype(np.float64)


@pytest.mark.parametrize("options, c_options", [
    ({}, {}),
    (dict(cutoff=600, width=40), dict(cutoff=600.0, width=40.0)),
    (dict(directions=[0, 45, 90, 135], tolerance=22.5), dict(azimuths=[0, 45, 90, 135], tolerance=22.5)),
    (dict(directions=30, bandwidth=60, estimator="cressie"), dict(azimuths=[30], bandwidth=60.0, estimator=1)),
    (dict(fit="Nug + Exp", fit_weights=2, cloud=True, map=True, cutoff=500, width=50),
     dict(cutoff=500.0, width=50.0, cloud=True, map=True)),
])
def test_classes_cloud_map_and_fit_are_the_c_api_s(double_lib, field, options, c_options):
    v = mosaro.variogram(*field, **options)
    status, message, reference = c_api.variogram(double_lib, *field, fit=options.get("fit", ""),
                                                 weights=options.get("fit_weights", 0), **c_options)
    assert status == 0, message
    assert len(v) == len(reference["directions"]) == len(v.directions)
    for k, (mine, theirs) in enumerate(zip(v, reference["directions"])):
        for name in CLASS_ARRAYS:
            assert same(getattr(mine, name), theirs[name]), name
            assert same(getattr(v, name)[k], theirs[name]), name
        assert (mine.azimuth, mine.tolerance, mine.omnidirectional) == (
            theirs["azimuth"], theirs["tolerance"], theirs["omnidirectional"])
        assert v.azimuth[k] == theirs["azimuth"]
        fitted, fit_message, parts, sse = theirs["fit"]
        assert fitted == 0, fit_message
        assert mine.model == mosaro.Model._from_parts(parts) and mine.weighted_squared_error == sse
    assert (v.cutoff, v.width) == (reference["directions"][0]["cutoff"], reference["directions"][0]["width"])
    assert v.model is v[0].model and v.models == tuple(d.model for d in v)
    for part in ("cloud", "map"):
        assert (getattr(v, part) is None) == (reference[part] is None)
    if v.cloud is not None:
        for name in ("i", "j", "distance", "gamma"):
            assert same(getattr(v.cloud, name), reference["cloud"][name])
    if v.map is not None:
        assert same(v.map.pairs, reference["map"]["pairs"]) and same(v.map.gamma, reference["map"]["gamma"])
        assert v.map.dx[0] == reference["map"]["first"] and v.map.width == reference["map"]["width"]


def test_gstat_s_defaults_and_nan_values_left_out(field):
    x, y, values = field
    v = mosaro.variogram(x, y, values)
    diagonal = math.hypot(np.ptp(x), np.ptp(y))
    assert v.cutoff == pytest.approx(diagonal / 3, rel=1e-4) and v.width == pytest.approx(v.cutoff / 15)
    assert v.gamma.shape == (1, 16) and v[0].omnidirectional and str(v.model).startswith(tuple("0123456789"))
    missing = values.copy()
    missing[::7] = np.nan
    without = mosaro.variogram(x, y, missing)
    subset = mosaro.variogram(x[~np.isnan(missing)], y[~np.isnan(missing)], values[~np.isnan(missing)])
    for name in CLASS_ARRAYS:
        assert same(getattr(without, name), getattr(subset, name))
    assert without.model == subset.model


def test_a_fit_that_gives_no_model_raises_naming_fit():
    x, y, values = [0.0, 1.0, 2.0], [0.0, 0.0, 0.0], [1.0, 2.0, 3.0]
    with pytest.raises(ValueError, match="^fit: .*fit=False gives the classes"):
        mosaro.variogram(x, y, values, cutoff=1.5, width=1.0)
    assert mosaro.variogram(x, y, values, cutoff=1.5, width=1.0, fit=False).pairs[0].sum() == 2


@pytest.mark.parametrize("kwargs, text", [
    (dict(cutoff=0), "cutoff must be a positive finite number (got 0)"),
    (dict(width=-5), "width must be a positive finite number (got -5)"),
    (dict(bandwidth=math.inf), "bandwidth must be a positive finite number"),
    (dict(tolerance=0), "tolerance must be a positive angle"),
    (dict(tolerance=100, directions=[0]), "options->tolerance must lie in (0, 90]"),
    (dict(directions=[]), "directions must hold at least one azimuth"),
    (dict(directions=["north"]), "directions must be azimuths in degrees"),
    (dict(directions=[math.nan]), "options->azimuths[0] must be finite"),
    (dict(estimator="robust"), "estimator must be 'classic' or 'cressie' (got 'robust')"),
    (dict(fit="Nug + Foo"), "fit: fit template: at character 6: unknown family 'Foo'"),
    (dict(fit="robust"), "fit='robust' names a fit of the legacy request"),
    (dict(fit=3), "fit must be a template in gstat's notation"),
    (dict(fit_weights=3), "fit: fit weights must be 1, 2, 6 or 7"),
    (dict(fit_weights=0), "fit_weights must be a whole number of at least 1"),
    (dict(fit=False, fit_weights=2), "fit_weights is read by the fit, but fit=False"),
    (dict(threads=-1), "threads: options->thread_count must be 0"),
    (dict(extent=(0, 0, 1, 1)), "extent is read by the legacy variogram (legacy=True) only"),
    (dict(method="lognormal"), "method is read by the legacy variogram (legacy=True) only"),
    (dict(legacy=True, cutoff=100), "cutoff is read by the variogram in double precision, not with legacy=True"),
    (dict(legacy=True, fit="Nug + Sph"), "fit: the legacy request fits 'legacy' or 'robust'"),
    (dict(values=[1.0, 2.0]), "x, y and values must have the same length"),
    (dict(values=np.full(300, np.nan)), "at least 2 samples with a value (got 0)"),
])
def test_bad_options_are_refused_naming_the_argument(field, kwargs, text):
    x, y, values = field
    kwargs = dict(kwargs)
    values = kwargs.pop("values", values)
    with pytest.raises(ValueError) as raised:
        mosaro.variogram(x, y, values, **kwargs)
    assert text in str(raised.value)
