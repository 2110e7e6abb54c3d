"""mosaro.simulate: repeatable bits, the samples kept, the refusals."""

import warnings

import numpy as np
import pytest

import mosaro

# Samples on nodes of a 10 m grid (first node (0, 0)), so that each sets its node.
RNG = np.random.default_rng(5)
NODES = RNG.choice(21 * 21, 40, replace=False)
X, Y = (NODES % 21) * 10.0, (NODES // 21) * 10.0
VALUES = 20 + np.sin(X / 40) * 5 + Y / 20 + RNG.normal(0, 0.5, X.size)
GRID = dict(extent=(0, 0, 200, 200), cell=10)
MODEL = "0.1 Nug + 4 Sph(120)"


def run(**options):
    arguments = dict(model=MODEL, realisations=4, seed=11, **GRID)
    arguments.update(options)
    return mosaro.simulate(X, Y, VALUES, **arguments)


def test_a_seed_gives_the_same_bits_at_any_thread_count_and_another_seed_other_maps():
    # The thread count's part is SimulationTest's; here the seed reaches the
    # library, and a seed drawn when none is given is kept.
    one = run(threads=1)
    assert one.shape == (4, 21, 21) and one.dtype == np.float64
    assert one.tobytes() == run(threads=2).tobytes()
    assert not np.array_equal(one, run(seed=12))
    drawn = run(seed=None)
    assert drawn.tobytes() == run(seed=drawn.seed).tobytes()


def test_every_realisation_keeps_the_samples_and_the_summaries_see_them():
    sims = run(realisations=6)
    at_samples = sims[:, (Y / 10).astype(int), (X / 10).astype(int)]
    np.testing.assert_array_equal(at_samples, np.broadcast_to(VALUES, at_samples.shape))
    mean, variance = mosaro.etype(sims)
    np.testing.assert_array_equal(mean[(Y / 10).astype(int), (X / 10).astype(int)], VALUES)
    assert np.all(variance[(Y / 10).astype(int), (X / 10).astype(int)] == 0)
    k = int(np.argmax(VALUES < VALUES.max()))
    shares = mosaro.exceedance(sims, [VALUES[k] - 1e-9, VALUES[k]])
    assert shares[0][int(Y[k] / 10), int(X[k] / 10)] == 1 and shares[1][int(Y[k] / 10), int(X[k] / 10)] == 0
    with pytest.warns(mosaro.ThresholdOutsideWarning):
        mosaro.exceedance(sims, VALUES.max() + 1)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        mosaro.exceedance(sims, float(np.median(VALUES)))


def test_the_realisations_carry_their_grid_north_up_to_xarray():
    sims = run()
    array = sims.to_xarray()
    assert array.dims == ("realisation", "y", "x")
    assert array.y.values[0] == 200 and array.x.values[0] == 0
    np.testing.assert_array_equal(array.values[2, -1], sims[2, 0])
    assert array.spatial_ref.attrs["GeoTransform"].split()[:2] == ["-5.0", "10.0"]
    assert mosaro.etype(sims)[0].to_xarray().dims == ("y", "x")


@pytest.mark.parametrize("options, argument", [
    (dict(seed=-1), "seed"),
    (dict(seed=2**64), "seed"),
    (dict(seed=1.5), "seed"),
    (dict(seed=True), "seed"),
    (dict(realisations=0), "realisations"),
    (dict(nmax=0), "nmax"),
    (dict(nmax_simulated=0), "nmax_simulated"),
    (dict(threads=-1), "threads"),
    (dict(mean=3.0), "mean"),
    (dict(fit="Nug + Exp"), "fit"),
    (dict(model="0.1 Nug + 4 Pow(1.5)"), "sill"),
])
def test_what_cannot_be_run_is_refused_naming_it(options, argument):
    with pytest.raises(ValueError, match=argument):
        run(**options)


@pytest.mark.parametrize("call, argument", [
    (lambda: mosaro.simulate(model=MODEL, cell=10), "extent"),
    (lambda: mosaro.simulate(extent=(0, 0, 100, 100), cell=10), "model"),
    (lambda: mosaro.simulate(X, Y, model=MODEL, **GRID), "values"),
    (lambda: mosaro.exceedance(run(), np.nan), "threshold"),
    (lambda: mosaro.etype(np.zeros((3, 3))), "realisations"),
])
def test_what_the_unconditional_run_and_the_summaries_refuse(call, argument):
    with pytest.raises(ValueError, match=argument):
        call()
