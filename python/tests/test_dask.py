"""mosaro.dask on a real two-process cluster: tiles give the one call's bits,
block variograms count every pair once in a fixed order, and a worker that
dies mid-run changes nothing."""

import os

import numpy as np
import pytest

da = pytest.importorskip("dask.array")
dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")
pytest.importorskip("xarray")

import mosaro  # noqa: E402
import mosaro.dask  # noqa: E402

MODEL = "0.05 Nug + 1.2 Sph(300)"
EXTENT = (0.0, 0.0, 1000.0, 1000.0)


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1, dashboard_address=None,
                                  silence_logs=40) as cluster, distributed.Client(cluster) as c:
        yield c


@pytest.fixture(scope="module")
def samples():
    """Scattered samples with an empty band across the middle, a dense
    cluster that tile edges cut, duplicate locations and a NaN value."""
    rng = np.random.default_rng(7)
    x, y = rng.uniform(0, 1000, 2500), rng.uniform(0, 1000, 2500)
    keep = (y < 420) | (y > 610)
    x = np.concatenate([x[keep], rng.normal(370, 6, 400), [500.0, 500.0]])
    y = np.concatenate([y[keep], rng.normal(650, 6, 400), [100.0, 100.0]])
    v = 3 + np.sin(x / 90) + np.cos(y / 120) + rng.normal(0, 0.1, len(x))
    v[11] = np.nan
    return x, y, v


# (tile, keywords, how the samples are handed over)
CASES = [
    ((37, 50), dict(variance=True), "numpy"),
    ((64, 29), dict(octants=2, maxdist=90.0), "dask arrays"),
    ((50, 50), dict(nmax=6, nmin=4, maxdist=35.0, method="lognormal", variance=True), "frame"),
    ((23, 31), dict(model="0.05 Nug + 1.2 Exp(150, azimuth=30, ratio=0.2)", anisotropic_search=True), "numpy"),
]


@pytest.mark.parametrize("tile, options, source", CASES)
def test_tiles_give_the_one_calls_bits(client, samples, tile, options, source, tmp_path):
    x, y, v = samples
    options = dict(options)
    model = options.pop("model", MODEL)
    common = dict(extent=EXTENT, cell=8.0, model=model, **options)
    if source == "frame":
        frame = dd.from_pandas(__import__("pandas").DataFrame({"e": x, "n": y, "z": v}), npartitions=3)
        ds = mosaro.dask.grid_frame(frame, x="e", y="n", value="z", tile=tile, client=client, **common)
    else:
        if source == "dask arrays":
            x, y, v = (da.from_array(a, chunks=700) for a in (x, y, v))
        ds = mosaro.dask.grid(x, y, v, tile=tile, client=client, chunk=900, **common)
    ds.to_zarr(str(tmp_path / "g.zarr"))
    written = __import__("xarray").open_zarr(str(tmp_path / "g.zarr"))
    one = mosaro.grid(*samples, **common)
    for name in ("estimate", "variance") if options.get("variance") else ("estimate",):
        assert np.array_equal(written[name].values, one.north_up(getattr(one, name)), equal_nan=True), name
    assert np.array_equal(written.y.values, one.y[::-1]) and ds.attrs["samples_left_out"] == 1


def test_points_give_the_one_calls_bits(client, samples):
    rng = np.random.default_rng(1)
    tx, ty = rng.uniform(-50, 1050, 900), rng.uniform(0, 1000, 900)
    got = mosaro.dask.predict(*samples, tx, ty, model=MODEL, client=client, target_chunk=250, partition=150.0,
                              maxdist=60.0, variance=True)
    one = mosaro.predict(*samples, tx, ty, model=MODEL, maxdist=60.0, variance=True, allow_empty=True)
    assert np.array_equal(got.estimate.values, one.estimate, equal_nan=True)
    assert np.array_equal(got.variance.values, one.variance, equal_nan=True)


def test_block_variogram_counts_every_pair_once_in_a_fixed_order(client, samples):
    options = dict(cutoff=240.0, width=20.0, directions=[0, 60], tolerance=30.0)
    spread = mosaro.dask.variogram(*samples, client=client, chunk=600, **options)
    here = mosaro.dask.variogram(*samples, chunk=1100, **options)  # one process, other parts
    one = mosaro.variogram(*samples, **options)
    assert np.array_equal(spread.pairs, one.pairs) and spread.pairs.sum() > 0
    assert np.array_equal(spread.gamma, here.gamma, equal_nan=True) and spread.models == here.models
    np.testing.assert_allclose(spread.gamma, one.gamma, rtol=1e-12)
    # The library's default classes, derived from the blocks' bounding boxes.
    default = mosaro.dask.variogram(*samples, client=client, fit=False)
    assert default.cutoff == mosaro.variogram(*samples, fit=False).cutoff
    assert np.array_equal(default.pairs, mosaro.variogram(*samples, fit=False).pairs)
    # A seeded subsample is the same whatever the parts, and a part of the pairs.
    a = mosaro.dask.variogram(*samples, client=client, sample=800, seed=5, chunk=600, **options)
    b = mosaro.dask.variogram(*samples, sample=800, seed=5, chunk=1300, **options)
    assert np.array_equal(a.gamma, b.gamma, equal_nan=True) and 0 < a.pairs.sum() < one.pairs.sum() / 4


def test_a_worker_killed_mid_run_is_retried_with_the_same_result(client, samples, tmp_path):
    marker = str(tmp_path / "killed")

    def die_once(block):
        if not os.path.exists(marker):
            open(marker, "w").close()
            os._exit(1)  # the worker process, as a crash or an out-of-memory kill ends it
        return block

    ds = mosaro.dask.grid(*samples, extent=EXTENT, cell=8.0, model=MODEL, tile=(50, 50), client=client)
    survived = ds.estimate.data.map_blocks(die_once, meta=np.empty((0, 0))).compute()
    assert os.path.exists(marker)
    assert np.array_equal(survived, mosaro.grid(*samples, extent=EXTENT, cell=8.0, model=MODEL).north_up(),
                          equal_nan=True)
