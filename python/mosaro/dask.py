"""Kriging of sample sets and grids too large for one call, tile by tile on
a Dask cluster (or Dask's local scheduler), with the bits of the one call.

    import mosaro.dask
    ds = mosaro.dask.grid(x, y, v, extent=(0, 0, 1e5, 1e5), cell=10, model="0.1 Nug + Sph(5000)",
                          tile=(2048, 2048), variance=True, crs="EPSG:28992", client=client)
    ds.to_zarr("grid.zarr")      # each tile computed where its samples are

    v = mosaro.dask.variogram(x, y, v, cutoff=20000, width=1000, client=client, sample=200_000, seed=1)

How it is cut up:

- The samples are partitioned by a grid key (the tile, or for a variogram
  the block of at least the cutoff's side, that a sample lies in), once.
- Each tile of the grid is a window of the whole grid. The tiles are planned
  from each partition's count and bounding box: a tile depends only on the
  partitions within a conservative reach of its window (the nmax-th
  neighbour's distance bound plus the window's diagonal), and from those
  the library's mosaro_tile_samples picks the samples the window needs.
  Every tile shares the whole set's frame and one model, so every node has
  the bits mosaro.grid gives with that model.
- A variogram is the sum of the blocks' pair sums (mosaro_variogram_sums):
  a block owns its samples and sees those of its eight neighbours, a pair
  is counted by the block of its later sample, and the sums are added in
  block order in one task, so the result does not depend on the cluster.

The model is fitted once, to the reduced variogram, unless it is given.
The legacy arithmetic is not tiled: see docs/tiles.md.
"""

import math
import numbers
import operator

import numpy as np

from . import _errors, _geometry, _legacy, _models, _prediction, _results, _variograms
from . import _mosaro

__all__ = ["grid", "grid_frame", "predict", "variogram"]

# Keywords of mosaro.grid / mosaro.predict a tile passes on unchanged.
_PASSED = ("kind", "mean", "drift", "block", "block_points", "nmax", "neighbours", "nmin", "maxdist",
           "anisotropic_search", "sectors", "octants", "quadrants", "shift")


def _dask():
    try:
        import dask
        import dask.array  # noqa: F401
    except ImportError as e:
        raise ImportError("mosaro.dask needs dask (Debian: python3-dask)") from e
    return dask


# ---------------------------------------------------------------------------
# The samples as parts: float64 arrays x, y, v and the int64 rank of each
# sample in the whole set (its input order, which breaks the library's ties
# between equally distant samples).

class _Samples:
    # An object, not a tuple: Dask would take a tuple held in a graph for a task.
    __slots__ = ("x", "y", "v", "rank")

    def __init__(self, x, y, v, rank):
        self.x, self.y, self.v, self.rank = x, y, v, rank

    def take(self, index):
        return _Samples(self.x[index], self.y[index], self.v[index], self.rank[index])

    def __getstate__(self):
        return (self.x, self.y, self.v, self.rank)

    def __setstate__(self, state):
        self.x, self.y, self.v, self.rank = state


def _part(x, y, values, offset):
    x, y, values = (np.ascontiguousarray(a, dtype=np.float64).ravel() for a in (x, y, values))
    return _Samples(x, y, values, np.arange(offset, offset + len(x), dtype=np.int64))


def _parts_of_arrays(x, y, values, chunk, client):
    dask = _dask()
    import dask.array as da
    if any(isinstance(a, da.Array) for a in (x, y, values)):
        arrays = [da.asarray(a) for a in (x, y, values)]
        if any(a.ndim != 1 for a in arrays) or len({a.shape for a in arrays}) != 1:
            raise ValueError("x, y and values must be one-dimensional and of one length (got shapes %s)"
                             % ", ".join(str(a.shape) for a in arrays))
        if any(math.isnan(s) for s in arrays[0].shape):
            raise ValueError("x, y and values need known lengths (compute_chunk_sizes())")
        arrays = [a.rechunk(arrays[0].chunks) for a in arrays]
        offsets = np.concatenate([[0], np.cumsum(arrays[0].chunks[0])])
        blocks = zip(*(a.to_delayed().ravel() for a in arrays))
        return [dask.delayed(_part, pure=True)(*b, int(o)) for b, o in zip(blocks, offsets)]
    x, y, values = _prediction.samples(x, y, values)
    if x.ndim != 1 or not x.shape == y.shape == values.shape:
        raise ValueError("x, y and values must be one-dimensional and of one length (got shapes %s, %s, %s)"
                         % (x.shape, y.shape, values.shape))
    parts = [_part(x[s:s + chunk], y[s:s + chunk], values[s:s + chunk], s) for s in range(0, max(len(x), 1), chunk)]
    # Carried in the graph rather than scattered: a part held only by a
    # worker that dies could not be recomputed.
    return [dask.delayed(_same, pure=True)(p) for p in parts]


def _same(part):
    return part


def _frame_part(frame, x, y, value, offset):
    return _part(frame[x].to_numpy(), frame[y].to_numpy(), frame[value].to_numpy(), offset)


def _parts_of_frame(frame, x, y, value):
    dask = _dask()
    missing = [c for c in (x, y, value) if c not in frame.columns]
    if missing:
        raise ValueError("frame has no column %s (columns: %s)" % (", ".join(map(repr, missing)),
                                                                    ", ".join(map(str, frame.columns))))
    frame = frame[[x, y, value]]
    lengths = frame.map_partitions(len).compute()
    offsets = np.concatenate([[0], np.cumsum(lengths)])
    return [dask.delayed(_frame_part, pure=True)(p, x, y, value, int(o))
            for p, o in zip(frame.to_delayed(), offsets)]


# ---------------------------------------------------------------------------
# The grid key: blocks of a regular partition of the plane; samples outside
# it join the nearest edge block (they can still be a node's neighbours).

class _Blocks:
    def __init__(self, x0, y0, side_x, side_y, count_x, count_y):
        self.x0, self.y0, self.side_x, self.side_y = x0, y0, side_x, side_y
        self.count_x, self.count_y = count_x, count_y

    @property
    def count(self):
        return self.count_x * self.count_y

    def key(self, x, y):
        column = np.clip(np.floor((x - self.x0) / self.side_x), 0, self.count_x - 1).astype(np.int64)
        row = np.clip(np.floor((y - self.y0) / self.side_y), 0, self.count_y - 1).astype(np.int64)
        return row * self.count_x + column


def _split(part, blocks):
    """One part cut by the grid key: a list of one (x, y, value, rank) per
    block, samples without a value left out; and their count."""
    keep = ~np.isnan(part.v)
    left_out = int(len(part.v) - np.count_nonzero(keep))
    part = part.take(keep)
    keys = blocks.key(part.x, part.y)
    order = np.argsort(keys, kind="stable")
    bounds = np.searchsorted(keys[order], np.arange(blocks.count + 1))
    return [part.take(order[bounds[b]:bounds[b + 1]]) for b in range(blocks.count)], left_out


def _join(*pieces):
    """A block's samples from every part, in rank order."""
    if not pieces:
        return _Samples(np.zeros(0), np.zeros(0), np.zeros(0), np.zeros(0, dtype=np.int64))
    joined = _Samples(*(np.concatenate([getattr(p, k) for p in pieces]) for k in _Samples.__slots__))
    return joined.take(np.argsort(joined.rank, kind="stable"))


def _summary(block):
    """(count, x_min, y_min, x_max, y_max) of a block's samples."""
    x, y = block.x, block.y
    if len(x) == 0:
        return (0, math.inf, math.inf, -math.inf, -math.inf)
    return (len(x), float(x.min()), float(y.min()), float(x.max()), float(y.max()))


def _persist(client, *collections):
    dask = _dask()
    return client.persist(list(collections)) if client is not None else list(dask.persist(*collections))


def _compute(client, *collections):
    dask = _dask()
    return client.compute(list(collections), sync=True) if client is not None else list(dask.compute(*collections))


def _collect(*items):
    return list(items)


def _partition(parts, blocks, client):
    """The samples partitioned by the grid key, held by the cluster: one
    delayed (x, y, value, rank) per block; with each block's summary and
    the count of samples left out."""
    dask = _dask()
    split = [dask.delayed(_split, pure=True, nout=2)(p, blocks) for p in parts]
    joined = [dask.delayed(_join, pure=True)(*[dask.delayed(operator.getitem)(s[0], b) for s in split])
              for b in range(blocks.count)]
    left_out = dask.delayed(sum)([s[1] for s in split])
    joined = _persist(client, *joined)
    summaries, left = _compute(client, dask.delayed(_collect)(*[dask.delayed(_summary)(b) for b in joined]),
                               left_out)
    return joined, np.array(summaries, dtype=np.float64).reshape(-1, 5), int(left)


# ---------------------------------------------------------------------------
# Tiles.

def _reach_blocks(summaries, centre, half_diagonal, nmax, max_distance, every_sample):
    """The blocks a window centred at `centre` may need: those whose samples'
    bounding box comes within a bound of the library's reach (a bound on
    the nmax-th neighbour's distance from the centre, from blocks lying
    wholly within it, plus the diagonal; or max_distance plus the half
    diagonal). A block wholly inside a disc holds only samples inside it,
    so the bound never falls short of the reach mosaro_tile_samples finds."""
    filled = np.flatnonzero(summaries[:, 0] > 0)
    if every_sample:
        return filled
    s = summaries[filled]
    cx, cy = centre
    near = np.hypot(np.maximum(0.0, np.maximum(s[:, 1] - cx, cx - s[:, 3])),
                    np.maximum(0.0, np.maximum(s[:, 2] - cy, cy - s[:, 4])))
    far = np.hypot(np.maximum(np.abs(s[:, 1] - cx), np.abs(s[:, 3] - cx)),
                   np.maximum(np.abs(s[:, 2] - cy), np.abs(s[:, 4] - cy)))
    reach = math.inf
    if nmax is not None:
        order = np.argsort(far, kind="stable")
        counts = np.cumsum(s[order, 0])
        enough = np.searchsorted(counts, nmax)
        if enough < len(order):
            reach = far[order[enough]] + 2.0 * half_diagonal
    if max_distance is not None:
        reach = min(reach, max_distance + half_diagonal)
    # The library's own margin is 1e-12; a wider one costs nothing.
    return filled[near <= reach * (1.0 + 1e-9) + 1e-300]


def _search_bounds(a):
    """(nmax or None, max_distance or None, every_sample) of a prediction's
    search, as mosaro_tile_samples reads it."""
    nmax = None if a["nmax"] == -1 else (a["nmax"] or _mosaro.DEFAULT_NEIGHBOUR_COUNT)
    max_distance = a["max_distance"] or None
    every = (a["anisotropic_search"] or nmax is None or (a["sectors"] != 0 and max_distance is None))
    return (None if a["sectors"] else nmax), max_distance, every


def _refused(status, message):
    if status != 0:
        _errors.raise_for(status, message)


def _krige_window(a, *blocks):
    """One tile: its blocks' samples, in rank order, cut to those the window
    needs, kriged. Returns (estimate, variance or None)."""
    joined = _join(*blocks)
    x, y, v = joined.x, joined.y, joined.v
    shape = (a["window"][3], a["window"][2]) if a.get("targets_x") is None else a["targets_x"].shape
    if len(x) > 0:
        status, message, needed = _mosaro.tile_samples(x, y, v, a.get("selection", a))
        _refused(status, message)
        x, y, v = x[needed], y[needed], v[needed]
    if len(x) == 0:  # nothing within reach (max_distance): no estimate, as the one call has it
        empty = np.full(shape, np.nan)
        return empty, (empty if a["variance"] else None)
    status, message, outputs, _ = _mosaro.predict_window(x, y, v, a)
    _refused(status, message)
    return outputs["estimate"], outputs.get("variance")


def _arguments(method, model, fit, fit_weights, variogram, covariates, variance, threads, options):
    """The checked prediction dict, as mosaro.grid builds it (its model None
    when it is to be fitted)."""
    code = _legacy.method_code(method)
    if _mosaro.method_prediction(code) is None:
        raise ValueError("method %r: tiles run the prediction's methods (ordinary, universal, lognormal)"
                         % (method,))
    if covariates is not None:
        raise ValueError("covariates: tiles take no external drift (its values at the nodes would have to be "
                         "tiled too); krige with mosaro.grid")
    if code == _legacy._LOGNORMAL3 and options.get("shift") is None:
        raise ValueError("three-parameter lognormal kriging (lognormal3) needs shift=")
    # sample= and seed= are the block variogram's own options.
    options_of_fit = None if variogram is None else {k: v for k, v in dict(variogram).items()
                                                      if k not in ("sample", "seed")}
    a, _ = _prediction.arguments(
        np.zeros(0), np.zeros(0), method, code, targets_at=None, targets_shape=(0,), model=model, fit=fit,
        fit_weights_=fit_weights, variogram=options_of_fit, covariates=None, variance=variance, threads=threads,
        **{k: options.get(k, False if k == "anisotropic_search" else None) for k in _PASSED})
    if a["model"] is None and a["drift_terms"]:
        raise ValueError("model: a drift's residual variogram needs the whole set's drift; give model= with a "
                         "drift")
    return a


def _fit_model(a, parts, client, fit, fit_weights, variogram_options):
    """The model fitted once to the whole set's reduced variogram (of the
    logarithms for lognormal kriging)."""
    shift = a["shift"]
    transform = (lambda v: np.log(v + shift)) if a["lognormal"] else None
    v = _variogram_of_parts(parts, client, fit=fit, fit_weights=fit_weights, transform=transform,
                            **(variogram_options or {}))
    return v.model


def _layout(extent, cell, size):
    if extent is None:
        raise ValueError("extent: tiles need the grid's extent (x_min, y_min, x_max, y_max)")
    return _geometry.choose_double(None, None, extent, cell, size)


def _tile_size(tile):
    columns, rows = _prediction._pair(tile, "tile", lambda v, n: _prediction.whole(v, n, 1))
    return columns, rows


def _grid_of_parts(parts, *, extent, cell, size, tile, client, method, model, fit, fit_weights, variogram,
                   covariates, variance, crs, threads, options):
    dask = _dask()
    import dask.array as da
    wkt = _results.crs_wkt(crs)
    a = _arguments(method, model, fit, fit_weights, variogram, covariates, variance, threads, options)
    bounds, cells, nodes = _layout(extent, cell, size)
    columns, rows = _tile_size(tile)
    if a["model"] is None:
        a["model"] = _fit_model(a, parts, client, fit, fit_weights, variogram)._parts
    tiles_x, tiles_y = -(-nodes[0] // columns), -(-nodes[1] // rows)
    blocks = _Blocks(bounds[0] - 0.5 * cells[0], bounds[1] - 0.5 * cells[1], columns * cells[0], rows * cells[1],
                     tiles_x, tiles_y)
    joined, summaries, left_out = _partition(parts, blocks, client)
    if summaries[:, 0].sum() == 0:
        raise ValueError("values: no sample has a value (every value is NaN)")
    filled = summaries[summaries[:, 0] > 0]
    frame = (filled[:, 1].min(), filled[:, 2].min(), filled[:, 3].max(), filled[:, 4].max())
    a.update(grid=(bounds[0], bounds[1], cells[0], cells[1], nodes[0], nodes[1]), frame=frame,
             variance=bool(variance))
    nmax, max_distance, every = _search_bounds(a)
    names = ["estimate"] + (["variance"] if variance else [])
    rows_of_tiles = {n: [] for n in names}
    # Tile rows are laid from the northern edge, so that north up (as
    # to_xarray and zarr have it) only the last chunk is short.
    for top in range(nodes[1], 0, -rows):
        row0 = max(0, top - rows)
        row_tiles = {n: [] for n in names}
        for column0 in range(0, nodes[0], columns):
            window = (column0, row0, min(columns, nodes[0] - column0), top - row0)
            t = dict(a, window=window)
            half_x, half_y = 0.5 * (window[2] - 1) * cells[0], 0.5 * (window[3] - 1) * cells[1]
            centre = (bounds[0] + column0 * cells[0] + half_x, bounds[1] + row0 * cells[1] + half_y)
            needed = _reach_blocks(summaries, centre, math.hypot(half_x, half_y), nmax, max_distance, every)
            result = dask.delayed(_krige_window, pure=True, nout=2)(t, *[joined[b] for b in needed])
            for k, n in enumerate(names):
                row_tiles[n].append(da.from_delayed(result[k], shape=(window[3], window[2]), dtype=np.float64))
        for n in names:
            rows_of_tiles[n].insert(0, row_tiles[n])
    arrays = {n: da.block(rows_of_tiles[n]) for n in names}
    report = {"samples_left_out": left_out, "tiles": tiles_x * tiles_y}
    result = _results.GridResult(arrays, bounds, cells, nodes, engine="prediction (tiles)", report=report,
                                 model=_models.from_parts(a["model"]), crs=crs, wkt=wkt,
                                 samples_left_out=left_out)
    dataset = result.to_xarray()
    dataset.attrs.update(samples_left_out=left_out, tile=(columns, rows))
    return dataset


def grid(x, y, values, *, extent, cell=None, size=None, model=None, tile=(2048, 2048), client=None,
         method="ordinary", fit=None, fit_weights=None, variogram=None, variance=False, crs=None, threads=1,
         chunk=1_000_000, covariates=None, **options):
    """Kriges the samples onto the grid tile by tile; returns a lazy
    xarray.Dataset (estimate, and variance with variance=True; dask arrays
    chunked by tile, north up, coordinates x and y, the CRS in spatial_ref)
    that to_zarr() or compute() runs.

    x, y, values   numpy or dask arrays (1-D, one length); NaN values left out.
    extent         (x_min, y_min, x_max, y_max) of the grid, required;
                   cell or size as for mosaro.grid.
    model          given, or None: fitted once to the variogram of
                   mosaro.dask.variogram with the options of variogram= (a
                   dict; also sample= and seed=), by the template fit= and
                   the weights fit_weights=.
    tile           (columns, rows) of nodes per tile.
    client         a distributed.Client, or None for Dask's scheduler in
                   this process.
    threads        library threads per tile (1: one per Dask thread).
    chunk          samples per part when x, y, values are numpy arrays;
                   these travel in the task graph (so that a part lost with
                   a worker is sent again), through the scheduler: give a
                   set of many millions as Dask arrays or a dataframe read
                   by the workers.
    method, kind, mean, drift, block, block_points, nmax, neighbours,
    nmin, maxdist, anisotropic_search, sectors, octants, quadrants, shift,
    variance, crs   as for mosaro.grid (no covariates, no legacy request).

    With the same model, every node has the bits of mosaro.grid(x, y,
    values, extent=..., cell=..., model=model, ...).
    """
    _check_options(options)
    return _grid_of_parts(_parts_of_arrays(x, y, values, _chunk(chunk), client), extent=extent, cell=cell, size=size,
                          tile=tile, client=client, method=method, model=model, fit=fit, fit_weights=fit_weights,
                          variogram=variogram, covariates=covariates, variance=variance, crs=crs, threads=threads,
                          options=options)


def grid_frame(frame, *, x="x", y="y", value="value", extent, cell=None, size=None, model=None, tile=(2048, 2048),
               client=None, method="ordinary", fit=None, fit_weights=None, variogram=None, variance=False,
               crs=None, threads=1, covariates=None, **options):
    """grid() of the samples of a dask.dataframe (columns x, y and value).
    The frame is partitioned once by a grid key (the tile a sample lies
    in), and each tile's task loads only the partitions within its reach."""
    _check_options(options)
    return _grid_of_parts(_parts_of_frame(frame, x, y, value), extent=extent, cell=cell, size=size, tile=tile,
                          client=client, method=method, model=model, fit=fit, fit_weights=fit_weights,
                          variogram=variogram, covariates=covariates, variance=variance, crs=crs, threads=threads,
                          options=options)


def _check_options(options):
    unknown = sorted(set(options) - set(_PASSED))
    if unknown:
        raise ValueError("unknown keyword %s; known: %s" % (", ".join(map(repr, unknown)), ", ".join(_PASSED)))


def _chunk(chunk):
    return _prediction.whole(chunk, "chunk", 1)


def _part_bounds(part):
    return _point_bounds(part.x, part.y)


def _point_bounds(tx, ty):
    if len(tx) == 0:
        return (0.0, 0.0, 0.0, 0.0)
    return (float(tx.min()), float(ty.min()), float(tx.max()), float(ty.max()))


def _krige_points(a, tx, ty, *blocks):
    a = dict(a, targets_x=np.ascontiguousarray(tx, dtype=np.float64),
             targets_y=np.ascontiguousarray(ty, dtype=np.float64))
    return _krige_window(a, *blocks)


def predict(x, y, values, targets_x, targets_y, *, model=None, client=None, method="ordinary", fit=None,
            fit_weights=None, variogram=None, variance=False, threads=1, chunk=1_000_000, target_chunk=100_000,
            partition=10_000.0, covariates=None, **options):
    """Kriges at many points (numpy or dask arrays), one task per chunk of
    points; returns a lazy xarray.Dataset (estimate, variance) along
    "point" with coordinates x and y. Keywords as for grid; the samples are
    partitioned into square blocks of side `partition` (in the samples'
    units). A chunk's task loads the blocks within reach of its points'
    bounding box, so targets in spatial order make light tasks. With the
    same model each estimate has the bits of mosaro.predict."""
    dask = _dask()
    import dask.array as da
    import xarray
    _check_options(options)
    a = _arguments(method, model, fit, fit_weights, variogram, covariates, variance, threads, options)
    parts = _parts_of_arrays(x, y, values, _chunk(chunk), client)
    if a["model"] is None:
        a["model"] = _fit_model(a, parts, client, fit, fit_weights, variogram)._parts
    tx, ty = da.asarray(targets_x, chunks=target_chunk), da.asarray(targets_y, chunks=target_chunk)
    if tx.ndim != 1 or tx.shape != ty.shape:
        raise ValueError("targets_x and targets_y must be one-dimensional and of one length (got shapes %s and %s)"
                         % (tx.shape, ty.shape))
    tx, ty = tx.astype(np.float64), ty.rechunk(tx.chunks).astype(np.float64)
    side = _prediction.positive(partition, "partition")
    # Blocks over the samples' own bounding box: a first pass over the parts.
    box = np.array(_compute(client, *[dask.delayed(_part_bounds)(p) for p in parts]))
    x0, y0 = box[:, 0].min(), box[:, 1].min()
    blocks = _Blocks(x0, y0, side, side, max(1, int(math.ceil((box[:, 2].max() - x0) / side))),
                     max(1, int(math.ceil((box[:, 3].max() - y0) / side))))
    joined, summaries, left_out = _partition(parts, blocks, client)
    if summaries[:, 0].sum() == 0:
        raise ValueError("values: no sample has a value (every value is NaN)")
    filled = summaries[summaries[:, 0] > 0]
    a.update(frame=(filled[:, 1].min(), filled[:, 2].min(), filled[:, 3].max(), filled[:, 4].max()),
             variance=bool(variance), grid=None, window=None)
    chunk_boxes = _compute(client, *[dask.delayed(_point_bounds)(cx, cy)
                                     for cx, cy in zip(tx.to_delayed(), ty.to_delayed())])
    nmax, max_distance, every = _search_bounds(a)
    names = ["estimate"] + (["variance"] if variance else [])
    pieces = {n: [] for n in names}
    for (bx0, by0, bx1, by1), cx, cy, n_points in zip(chunk_boxes, tx.to_delayed(), ty.to_delayed(), tx.chunks[0]):
        # The samples of a chunk: those of a two-node window spanning its
        # points' bounding box (any point lies within its half diagonal).
        selection = dict(a, grid=(bx0, by0, (bx1 - bx0) or 1.0, (by1 - by0) or 1.0, 2, 2),
                         window=(0, 0, 2, 2))
        t = dict(a, selection=selection)
        half = 0.5 * math.hypot(bx1 - bx0, by1 - by0)
        needed = _reach_blocks(summaries, (0.5 * (bx0 + bx1), 0.5 * (by0 + by1)), half, nmax, max_distance, every)
        result = dask.delayed(_krige_points, pure=True, nout=2)(t, cx, cy, *[joined[b] for b in needed])
        for k, n in enumerate(names):
            pieces[n].append(da.from_delayed(result[k], shape=(n_points,), dtype=np.float64))
    variables = {n: ("point", da.concatenate(pieces[n])) for n in names}
    return xarray.Dataset(variables, coords={"x": ("point", tx), "y": ("point", ty)},
                          attrs={"model": str(_models.from_parts(a["model"])), "samples_left_out": left_out})


# ---------------------------------------------------------------------------
# Variograms by blocks.

def _bounds_of(part):
    x, y, v = part.x, part.y, part.v
    keep = ~np.isnan(v)
    if not keep.any():
        return (0, math.inf, math.inf, -math.inf, -math.inf)
    return (int(keep.sum()), float(x[keep].min()), float(y[keep].min()), float(x[keep].max()),
            float(y[keep].max()))


def _subsample(part, chosen):
    return part.take(np.isin(part.rank, chosen, assume_unique=True))


def _block_sums(options, owned, *others):
    """One block's pair sums: its own samples first, then its neighbours'."""
    x, y, v, rank = (np.concatenate([getattr(owned, k)] + [getattr(o, k) for o in others]) for k in _Samples.__slots__)
    status, message, pairs, distance, statistic = _mosaro.variogram_sums(x, y, v, rank, len(owned.x), options)
    _refused(status, message)
    return np.stack([pairs, distance, statistic])


def _reduce(*sums):
    """The blocks' sums added in block order: the same bits on any cluster."""
    total = np.zeros_like(sums[0])
    for s in sums:
        total += s
    return total


def _variogram_of_parts(parts, client, *, cutoff=None, width=None, directions=None, tolerance=None, bandwidth=None,
                        estimator=None, fit=None, fit_weights=None, sample=None, seed=0, threads=1, transform=None):
    dask = _dask()
    options = _prediction.variogram_options(cutoff, width, directions, tolerance, bandwidth, estimator, False,
                                            False, _prediction.threads_of(threads))
    fitting = fit is not False
    template = _prediction.fit_template(fit) if fitting else None
    weights = _prediction.fit_weights(fit_weights) if fitting else 0
    if sample is not None:
        sample = _prediction.whole(sample, "sample", 2)
        if isinstance(seed, bool) or not isinstance(seed, numbers.Integral) or not 0 <= seed < 2**64:
            raise ValueError("seed must be a whole number from 0 to 2^64 - 1 (got %r)" % (seed,))
        # Drawn from the ranks of the whole set, so that the subsample does
        # not depend on how the set is cut into parts.
        total = int(sum(_compute(client, *[dask.delayed(_count)(p) for p in parts])))
        if sample < total:
            chosen = np.sort(np.random.default_rng(seed).choice(total, size=sample, replace=False))
            parts = [dask.delayed(_subsample, pure=True)(p, chosen) for p in parts]
    if transform is not None:
        parts = [dask.delayed(_transformed, pure=True)(p, transform) for p in parts]
    box = np.array(_compute(client, *[dask.delayed(_bounds_of)(p) for p in parts]), dtype=np.float64)
    box = box[box[:, 0] > 0]
    if len(box) == 0:
        raise ValueError("values: no sample has a value (every value is NaN)")
    x0, y0, x1, y1 = box[:, 1].min(), box[:, 2].min(), box[:, 3].max(), box[:, 4].max()
    if options["cutoff"] == 0.0:
        # The library's default: a third of the bounding box's diagonal.
        diagonal = math.sqrt((x1 - x0) * (x1 - x0) + (y1 - y0) * (y1 - y0))
        options["cutoff"] = 1.0 if diagonal == 0.0 else diagonal * 0.33333
    if options["width"] == 0.0:
        options["width"] = options["cutoff"] / 15.0
    # Blocks no narrower than the cutoff: a block's pairs reach only its
    # eight neighbours.
    side = max(options["cutoff"], (x1 - x0) / 512, (y1 - y0) / 512) * (1.0 + 1e-9)
    blocks = _Blocks(x0, y0, side, side, max(1, int((x1 - x0) // side) + 1), max(1, int((y1 - y0) // side) + 1))
    joined, summaries, _ = _partition(parts, blocks, client)
    sums = []
    for b in np.flatnonzero(summaries[:, 0] > 0):
        row, column = divmod(int(b), blocks.count_x)
        around = [r * blocks.count_x + c for r in range(row - 1, row + 2) for c in range(column - 1, column + 2)
                  if 0 <= r < blocks.count_y and 0 <= c < blocks.count_x and (r, c) != (row, column)
                  and summaries[r * blocks.count_x + c, 0] > 0]
        sums.append(dask.delayed(_block_sums, pure=True)(options, joined[b], *[joined[o] for o in around]))
    pairs, distance, statistic = _compute(client, dask.delayed(_reduce, pure=True)(*sums))[0]
    status, message, result = _mosaro.variogram_from_sums(options, pairs, distance, statistic, fitting, template,
                                                          weights)
    _refused(status, message)
    return _variograms.finish(result, fitting)


def _transformed(part, transform):
    return _Samples(part.x, part.y, transform(part.v), part.rank)


def _count(part):
    return len(part.x)


def variogram(x, y, values, *, client=None, cutoff=None, width=None, directions=None, tolerance=None, bandwidth=None,
              estimator=None, fit=None, fit_weights=None, sample=None, seed=0, threads=1, chunk=1_000_000):
    """The experimental variogram of mosaro.variogram, computed by spatial
    blocks on the cluster and fitted once; returns a mosaro.Variogram.

    Every pair within the cutoff is counted exactly once and the blocks'
    sums are added in a fixed order: the pair counts are mosaro.variogram's
    and gamma is the same on any cluster (it may differ from the one call's
    in the last bits, which adds in another order).
    sample, seed   a random subsample of `sample` samples (drawn by a
                   generator seeded with seed from the whole set's ranks),
                   for sets whose pairs are too many: see docs/tiles.md for
                   what it costs the fitted model.
    The other keywords are mosaro.variogram's (no cloud or map)."""
    return _variogram_of_parts(_parts_of_arrays(x, y, values, _chunk(chunk), client), client, cutoff=cutoff, width=width,
                               directions=directions, tolerance=tolerance, bandwidth=bandwidth, estimator=estimator,
                               fit=fit, fit_weights=fit_weights, sample=sample, seed=seed, threads=threads)
