"""mosaro.variogram: the classes, cloud, map and fits are the C API's bit for
bit, the classes those of a brute-force count over every pair, NaN values
are left out, and bad options are refused naming the argument."""

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


def _brute_force(x, y, values, cutoff, width, azimuth=None, tolerance=None, cressie=False):
    """Every pair within the cutoff counted into the class k with
    k w < d <= (k + 1) w (d = 0 in the first), directions by the angle
    between the pair and the azimuth (clockwise from north)."""
    count = int(math.floor(cutoff / width)) + 1
    i, j = np.triu_indices(len(x), 1)
    dx, dy = x[i] - x[j], y[i] - y[j]
    d = np.hypot(dx, dy)
    keep = d <= cutoff
    if azimuth is not None:
        a = math.radians(azimuth)
        along = np.abs(dx * math.sin(a) + dy * math.cos(a))
        keep &= (d == 0) | (along >= d * math.cos(math.radians(tolerance)) - 1e-12 * d)
    d, difference = d[keep], (values[i] - values[j])[keep]
    k = np.maximum(np.ceil(d / width).astype(int) - 1, 0)
    pairs = np.bincount(k, minlength=count).astype(float)[:count]
    n = np.where(pairs > 0, pairs, np.nan)  # a class without pairs has no distance or gamma
    distance = np.bincount(k, d, minlength=count)[:count] / n
    if cressie:
        gamma = (np.bincount(k, np.sqrt(np.abs(difference)), minlength=count)[:count] / n) ** 4 / (
            2 * (0.457 + 0.494 / n))
    else:
        gamma = np.bincount(k, difference**2, minlength=count)[:count] / (2 * n)
    return pairs, distance, gamma


@pytest.mark.parametrize("options", [
    dict(cutoff=400.0, width=25.0),
    dict(cutoff=400.0, width=30.0, directions=[60.0], tolerance=20.0),
    dict(cutoff=350.0, width=35.0, estimator="cressie"),
])
def test_classes_are_a_brute_force_count_of_every_pair(options):
    x, y, values, _ = smooth_samples(3, 120, extent=500.0)
    x, y, values = (a.astype(np.float64) for a in (x, y, values))
    v = mosaro.variogram(x, y, values, fit=False, **options)
    pairs, distance, gamma = _brute_force(x, y, values, options["cutoff"], options["width"],
                                          (options.get("directions") or [None])[0], options.get("tolerance"),
                                          options.get("estimator") == "cressie")
    (only,) = v
    assert np.array_equal(only.pairs, pairs) and pairs.sum() > 1000
    assert np.allclose(only.distance, distance, rtol=1e-13, equal_nan=True)
    assert np.allclose(only.gamma, gamma, rtol=1e-12, equal_nan=True)
    # The last class ends at the cutoff.
    upper = np.minimum(options["width"] * np.arange(1, len(pairs) + 1), options["cutoff"])
    assert np.allclose(only.upper, upper, rtol=1e-15) and np.array_equal(only.lower[1:], only.upper[:-1])
    assert only.model is None and v.model is None


def test_the_cloud_is_every_pair_within_the_cutoff():
    x, y, values, _ = smooth_samples(4, 60, extent=300.0)
    x, y, values = (a.astype(np.float64) for a in (x, y, values))
    v = mosaro.variogram(x, y, values, cutoff=120.0, cloud=True, fit=False)
    pairs = {(int(a), int(b)) for a, b in zip(v.cloud.i, v.cloud.j)}
    expected = {(a, b) for a in range(60) for b in range(a) if math.hypot(x[a] - x[b], y[a] - y[b]) <= 120.0}
    assert pairs == expected and len(pairs) == len(v.cloud.i)
    assert np.allclose(v.cloud.gamma, 0.5 * (values[v.cloud.i] - values[v.cloud.j]) ** 2, rtol=1e-15)
    assert np.allclose(v.cloud.distance, np.hypot(x[v.cloud.i] - x[v.cloud.j], y[v.cloud.i] - y[v.cloud.j]))


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
