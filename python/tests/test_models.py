"""Variogram models: the notation, dicts and Model objects round trip to the
library's struct bit for bit, the semivariance is the library's (whose
closed forms tests/VariogramModelTest.cpp checks against gstat), and a bad
model is refused naming model."""

import ctypes
import math

import numpy as np
import pytest

import c_api
import mosaro
from conftest import smooth_samples
from test_bit_exact import same_bits

TEXTS = [
    "0.05 Nug + 0.59 Sph(897)",
    "1.2 Mat(300, kappa=1.5)",
    "0.6 Exp(500, azimuth=45, ratio=0.4)",
    "0.3 Pow(1.5)",
    "0.2 Lin(0)",
    "0.1 Nug + 0.5 Gau(200) + 0.3 Exc(900, kappa=0.7) + 2 Hol(50)",
    "2 Nug",
    "0.1 Nug + 1e-300 Cir(1e300, azimuth=359.5, ratio=0.01)",
    # Numbers that need all seventeen digits to read back.
    "0.1234567890123456 Nug + 0.30000000000000004 Ste(0.1, kappa=2.5)",
]


@pytest.mark.parametrize("text", TEXTS)
def test_strings_and_dicts_round_trip_to_the_library_struct(double_lib, text):
    model = mosaro.Model(text)
    reference = c_api.parse_model(double_lib, text)
    # The same struct as the library's own parse, and printed as it prints it.
    nugget, structures = c_api.model_fields(reference)
    assert model._parts[0] == nugget and len(model._parts[1]) == len(structures)
    for mine, theirs in zip(model._parts[1], structures):
        assert np.array_equal(np.array(mine), np.array(theirs), equal_nan=True)
    assert str(model) == c_api.format_model(double_lib, reference)
    for again in (mosaro.Model(str(model)), mosaro.Model(model.to_dicts()), mosaro.Model(model)):
        assert again == model and str(again) == str(model) and hash(again) == hash(model)


def test_the_forms_of_one_model_are_one_model():
    model = mosaro.Model("0.05 Nug + 0.59 Sph(897)")
    gstat_table = [{"family": "Nug", "psill": 0.05, "range": 0.0}, {"family": "sph", "psill": 0.59, "range": 897}]
    for other in (gstat_table, (0.05, 0.59, 897), {"nugget": 0.05, "partial_sill": 0.59, "range": 897.0},
                  [{"family": "Sph", "psill": 0.59, "range": 897.0, "azimuth": 0, "ratio": 1},
                   {"family": "NUG", "psill": 0.05}]):
        assert mosaro.Model(other) == model, other
    assert model != mosaro.Model("0.05 Nug + 0.59 Sph(898)")
    assert model.nugget == 0.05 and model.sill == pytest.approx(0.64)
    (sph,) = model.structures
    assert sph == mosaro.Structure("Sph", 0.59, 897.0, sph.kappa, 0.0, 1.0) and math.isnan(sph.kappa)
    assert model.to_dicts() == [{"family": "Nug", "psill": 0.05},
                                {"family": "Sph", "psill": 0.59, "range": 897.0, "azimuth": 0.0, "ratio": 1.0}]
    # Pow's exponent is its kappa, also under the notation's other name.
    assert mosaro.Model([{"family": "Pow", "psill": 0.3, "exponent": 1.5}]) == mosaro.Model("0.3 Pow(1.5)")
    assert mosaro.Model("1.2 Mat(300, kappa=1.5)").to_dicts()[0]["kappa"] == 1.5
    assert repr(model) == "mosaro.Model('0.05 Nug + 0.59 Sph(897)')"


def test_the_families_are_the_headers_in_code_order():
    # mosaro.h: MOSARO_FAMILY_SPHERICAL = 1 ... MOSARO_FAMILY_POWER = 13.
    assert mosaro.FAMILIES == ("Sph", "Exp", "Gau", "Exc", "Mat", "Ste", "Bes", "Cir", "Pen", "Lin", "Wav", "Hol",
                               "Pow")


def test_semivariance_broadcasts_and_is_the_library_s(double_lib):
    text = "0.1 Nug + 1.2 Mat(300, kappa=1.5) + 0.6 Exp(500, azimuth=45, ratio=0.4)"
    model, reference = mosaro.Model(text), c_api.parse_model(double_lib, text)
    h = np.array([[0.0], [10.0], [250.0]])
    azimuth = np.array([0.0, 45.0, 90.0, 200.0])
    gamma = model.semivariance(h, azimuth)
    assert gamma.shape == (3, 4) and isinstance(model.semivariance(100.0), float)
    radians = np.deg2rad(azimuth)
    for i in range(3):
        for j in range(4):
            dx, dy = h[i, 0] * np.sin(radians[j]), h[i, 0] * np.cos(radians[j])
            assert gamma[i, j] == double_lib.mosaro_model_semivariance(ctypes.byref(reference), dx, dy)


# The notation's own refusals are ModelNotationTest's; one shows they arrive
# naming model. The other forms are the package's.
BAD = [
    ("0.5 Foo(3)", "unknown family 'Foo'; known: Nug, "),
    ([{"family": "Sph", "psill": 1}], "range"),
    ([{"family": "Sph", "range": 10}], "entry 0 has no 'psill'"),
    ([{"family": "Sph", "psill": 1, "range": 10, "sill": 3}], "unknown keys 'sill'"),
    ([{"family": "Nug", "psill": 1}, {"family": "Nug", "psill": 2}], "a second Nug entry"),
    ([{"family": "Nug", "psill": 1, "range": 5}], "the Nug entry takes only a psill"),
    ([{"family": "Foo", "psill": 1}], "unknown family 'Foo' in entry 0; known: Nug, Sph, Exp"),
    ([{"family": "Sph", "psill": "much", "range": 10}], "entry 0's psill must be a number"),
    ([{"family": "Exp", "psill": 1, "range": r} for r in range(1, 10)], "at most 8 structures"),
    (5, "model must be a Model, a string"),
    ({"x": {"model": {}}, "y": {"model": {}}}, "only the legacy request reads (legacy=True)"),
]


@pytest.mark.parametrize("form, text", BAD, ids=[str(i) for i in range(len(BAD))])
def test_bad_models_are_refused_naming_model(form, text):
    x, y, values, _ = smooth_samples(5, 40, extent=500.0)
    for call in (lambda: mosaro.Model(form),
                 lambda: mosaro.grid(x, y, values, model=form, cell=100),
                 lambda: mosaro.predict(x, y, values, [1.0], [2.0], model=form)):
        with pytest.raises(ValueError) as raised:
            call()
        assert str(raised.value).startswith("model") and text in str(raised.value)


@pytest.mark.parametrize("model, legacy_form", [
    ("0.5 Nug + 60 Sph(400)", [(0.5, 60.0, 400.0)]),
    ([{"family": "Nug", "psill": 0.5}, {"family": "Sph", "psill": 60, "range": 400}], [(0.5, 60.0, 400.0)]),
    # The major axis along x (azimuth 90), then along y (azimuth 0).
    ("0.5 Nug + 60 Sph(400, azimuth=90, ratio=0.5)", [(0.5, 60.0, 400.0), (0.5, 60.0, 200.0)]),
    ("0.5 Nug + 60 Sph(400, azimuth=180, ratio=0.25)", [(0.5, 60.0, 100.0), (0.5, 60.0, 400.0)]),
    (("1 Nug + 60 Sph(300)", (2.0, 60.0, 150.0)), [(1.0, 60.0, 300.0), (2.0, 60.0, 150.0)]),
])
def test_the_legacy_request_takes_spherical_models_in_every_form(lib, model, legacy_form):
    x, y, values, _ = smooth_samples(7, 120, extent=500.0)
    r = mosaro.grid(x, y, values, model=model, cell=50, legacy=True, variance=True)
    status, message, estimate, variance = c_api.grid(lib, x, y, values, r.extent, r.cell, r.size, models=legacy_form,
                                                     variance=True)
    assert status == 0, message
    assert same_bits(r.estimate, estimate) and same_bits(r.variance, variance)
    assert mosaro._models.legacy_models(model) == legacy_form
