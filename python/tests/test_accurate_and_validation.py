"""The legacy request's accurate arithmetic and cross-validation: the
module's numbers are the C API's, bit for bit; its refusals carry the
library's message."""

import numpy as np
import pytest

import c_api
import mosaro
from conftest import smooth_samples
from test_bit_exact import same_bits

MODEL = (0.5, 60.0, 400.0)


@pytest.mark.parametrize("code, kwargs", [(1, {}), (4, {}), (8, {}), (9, {"shift": 7.5}), (11, {"extra": True})])
@pytest.mark.parametrize("folds, seed, arithmetic", [(0, 0, "legacy"), (5, 11, "legacy"), (7, 2**64 - 1, "accurate")])
def test_cross_validate_matches_the_c_api(lib, code, kwargs, folds, seed, arithmetic):
    x, y, values, second = smooth_samples(7, 150, extent=500.0)
    extra = [second] if kwargs.get("extra") else None
    cv = mosaro.cross_validate(x, y, values, method=code, folds=folds, seed=seed, neighbours=12,
                               extent=(0, 0, 500, 500), cell=50, arithmetic=arithmetic, shift=kwargs.get("shift"), extra_values=extra, model=MODEL)
    status, message, outputs, summary = c_api.cross_validate(
        lib, x, y, values, (0.0, 0.0, 500.0, 500.0), (50.0, 50.0), folds=folds,
        seed=seed, method=code, neighbours=12, shift=kwargs.get("shift", 0.0), extra_values=extra or (),
        models=[MODEL], arithmetic=1 if arithmetic == "accurate" else 0)
    assert status == cv.status == 0, message
    assert summary["estimated"] == cv.summary["estimated"] > 140
    for name in ("estimate", "variance", "residual", "standardised_residual"):
        assert same_bits(getattr(cv, name), outputs[name]), name
    assert np.array_equal(cv.fold, outputs["fold"])
    assert cv.summary == summary


def test_cross_validate_takes_the_extent_from_the_samples_like_grid(lib):
    x, y, values, _ = smooth_samples(3, 120, extent=800.0)
    cv = mosaro.cross_validate(x, y, values, cell=80)
    r = mosaro.grid(x, y, values, cell=80, legacy=True)
    status, message, outputs, summary = c_api.cross_validate(lib, x, y, values, r.extent, r.cell)
    assert status == 0, message
    assert same_bits(cv.estimate, outputs["estimate"]) and cv.summary == summary
    assert np.array_equal(cv.fold, np.arange(120))  # leave-one-out: each sample its own fold


@pytest.mark.parametrize("code", [1, 4, 8])
def test_accurate_grid_matches_the_c_api(lib, code):
    x, y, values, _ = smooth_samples(15, 200)
    values = values - 150  # all negative: the accurate arithmetic has no cut-off
    if code == 8:
        values = values + 300
    r = mosaro.grid(x, y, values, method=code, cell=60, variance=True, arithmetic="accurate", condition=True,
                    model=MODEL, legacy=True)
    status, message, estimate, variance, reciprocal = c_api.grid(
        lib, x, y, values, r.extent, r.cell, r.size, method=code, models=[MODEL], variance=True, arithmetic=1,
        condition=True)
    assert status == 0, message
    assert same_bits(r.estimate, estimate) and same_bits(r.variance, variance)
    assert same_bits(r.reciprocal_condition, reciprocal)
    if code == 1:
        assert r.estimate.max() < 0
    assert r.nodes["node_count"] == r.estimate.size and r.nodes["no_data"] == 0
    assert r.nodes["smallest_reciprocal_condition"] == pytest.approx(float(np.nanmin(reciprocal)), rel=1e-6)
    legacy = mosaro.grid(x, y, values, method=code, cell=60, model=MODEL, legacy=True)
    assert legacy.reciprocal_condition is None and legacy.nodes["ill_conditioned"] == 0


def test_accurate_nodes_count_what_it_cannot_trust():
    # A second sample at the first one's place: the nodes that take both
    # have a singular system, solved by its minimum-norm solution.
    x, y, values, _ = smooth_samples(5, 60, extent=500.0)
    x, y, values = (np.append(a, a[0]) for a in (x, y, values))
    r = mosaro.grid(x, y, values, cell=50, arithmetic="accurate", condition=True, model=MODEL, legacy=True)
    ill = np.count_nonzero(r.reciprocal_condition < 1e-10)
    assert r.nodes["ill_conditioned"] == ill > 0
    assert r.nodes["minimum_norm"] <= ill and r.nodes["no_data"] == np.isnan(r.estimate).sum()


# Each case: keyword arguments, and the C fields of the same refused request
# (the refusals grid shares are test_arguments.py's).
REFUSED = [
    ("one fold", dict(folds=1), dict(folds=1)),
    ("indicator", dict(method="indicator"), dict(method=10)),
]


@pytest.mark.parametrize("name, kwargs, fields", REFUSED, ids=[case[0] for case in REFUSED])
def test_cross_validate_refusals_raise_value_error_with_the_library_message(lib, name, kwargs, fields):
    x, y, values, _ = smooth_samples(5, 150, extent=500.0)
    status, message, _, _ = c_api.cross_validate(lib, x, y, values, (0.0, 0.0, 500.0, 500.0), (50.0, 50.0),
                                                 **fields)
    assert status < 0 and message
    with pytest.raises(ValueError) as raised:
        mosaro.cross_validate(x, y, values, extent=(0, 0, 500, 500), cell=50, **kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize("call, match", [
    (lambda s: mosaro.cross_validate(*s, seed=-1), "seed must be a whole number"),
    (lambda s: mosaro.cross_validate(*s, folds=2.5), "folds must be a whole number"),
    (lambda s: mosaro.cross_validate(*s, arithmetic="fast"), "arithmetic must be 'legacy' or 'accurate'"),
    (lambda s: mosaro.cross_validate(*s, thresholds=[1.0]), "unexpected keyword"),
])
def test_cross_validate_python_side_refusals(call, match):
    x, y, values, _ = smooth_samples(5, 40, extent=500.0)
    with pytest.raises((ValueError, TypeError), match=match):
        call((x, y, values))
