"""What grid and predict return: the arrays, what the run met, and for grids
their georeferencing (transform, CRS) with the ways out to xarray and
rasterio."""

import numpy as np

# Output arrays in the order they are listed and written.
_ARRAYS = ("estimate", "variance", "log_estimate", "log_variance", "reciprocal_condition")
_DESCRIPTIONS = {
    "estimate": "kriging estimate",
    "variance": "kriging variance",
    "log_estimate": "kriged logarithm ln(value + shift)",
    "log_variance": "kriging variance of the logarithm",
    "reciprocal_condition": "reciprocal condition estimate of the node's system",
}
# What WKT begins with, in either version.
_WKT_KEYWORDS = ("PROJCS", "GEOGCS", "GEOCCS", "COMPD_CS", "VERT_CS", "LOCAL_CS", "PROJCRS", "GEOGCRS", "GEODCRS",
                 "COMPOUNDCRS", "VERTCRS", "ENGCRS", "BOUNDCRS", "PROJECTEDCRS", "GEOGRAPHICCRS")


def crs_wkt(crs):
    """The WKT of a CRS given as WKT, an EPSG code ("EPSG:28992" or 28992),
    anything rasterio or pyproj read, or an object with to_wkt(); None for
    None. ValueError names crs when it is not one."""
    if crs is None:
        return None
    if hasattr(crs, "to_wkt"):
        return crs.to_wkt()
    for reader in (_rasterio_wkt, _pyproj_wkt):
        try:
            return reader(crs)
        except ImportError:
            continue
        except Exception as e:  # each library has its own CRS error
            raise ValueError("crs %r is not a coordinate reference system: %s" % (crs, e)) from None
    if isinstance(crs, str) and crs.lstrip().upper().startswith(_WKT_KEYWORDS):
        return crs
    raise ValueError("crs %r: without rasterio or pyproj only WKT is understood" % (crs,))


def _rasterio_wkt(crs):
    from rasterio.crs import CRS
    return CRS.from_user_input(crs).to_wkt()


def _pyproj_wkt(crs):
    from pyproj import CRS
    return CRS.from_user_input(crs).to_wkt()


class GridResult:
    """The outcome of mosaro.grid.

    estimate   2-D array (nodes_y, nodes_x); row 0 is the southern edge
               (y = y_min) and x runs along each row, as in the library.
               north_up() gives the image orientation. float64 from the
               prediction (NaN where a node has no estimate); float32 from
               the legacy request.
    variance   the kriging variance in the same layout (variance=True), else
               None; NaN everywhere for indicator kriging.
    log_estimate, log_variance   lognormal prediction: the kriged logarithm
               ln(value + shift) and (variance=True) its variance; else None.
    x, y       the node coordinates along each axis (float64).
    extent     (x_min, y_min, x_max, y_max); cell (cell_x, cell_y); size
               (nodes_x, nodes_y): the layout as the library received it.
    crs        the CRS as given (crs=), or None; crs_wkt its WKT.
    engine     "prediction" (double precision) or "legacy request".
    model      the prediction's model (a mosaro.Model, fitted or given);
               None from the legacy request.
    report     the prediction's counts, a dict: samples_used,
               samples_left_out (NaN values), targets, no_data,
               too_few_neighbours, ill_conditioned, minimum_norm,
               smallest_reciprocal_condition, model_fitted,
               weighted_squared_error (of the fit; NaN for a given model).
               From the legacy request: one dict per pass (per threshold of
               indicator kriging) with the directional models "x" and "y"
               and the sweep's constants; a pass given back as model=
               reproduces the grid.
    samples_left_out   samples whose value is NaN, left out of the run.
    nodes, reciprocal_condition, status, message   the legacy request's
               node counts (accurate arithmetic), per-node condition
               (condition=True), status (0, or 1 when the legacy fit gave no
               finite model) and the library's message.
    """

    def __init__(self, arrays, extent, cell, size, *, engine, report, model=None, crs=None, wkt=None, status=0,
                 message="", samples_left_out=0):
        for name in _ARRAYS:
            setattr(self, name, arrays.get(name))
        self.extent = tuple(extent)
        self.cell = tuple(cell)
        self.size = tuple(size)
        self.engine = engine
        self.report = report
        self.model = model
        self.crs = crs
        self.crs_wkt = wkt
        self.status = status
        self.message = message
        self.samples_left_out = samples_left_out
        self.nodes = report[0]["nodes"] if isinstance(report, list) and report else None
        self.x = self.extent[0] + np.arange(self.size[0]) * self.cell[0]
        self.y = self.extent[1] + np.arange(self.size[1]) * self.cell[1]

    @property
    def arrays(self):
        """The output arrays this result holds, by name, in the library's layout."""
        return {name: getattr(self, name) for name in _ARRAYS if getattr(self, name) is not None}

    def north_up(self, array=None):
        """The estimate (or the given array of this grid) with row 0 at the
        northern edge, as images and rasters have it: a view, not a copy."""
        return (self.estimate if array is None else array)[::-1]

    @property
    def image_extent(self):
        """(left, right, bottom, top) of the cells centred on the nodes, for
        matplotlib's imshow(north_up(), extent=...)."""
        half_x, half_y = self.cell[0] / 2, self.cell[1] / 2
        return (self.x[0] - half_x, self.x[-1] + half_x, self.y[0] - half_y, self.y[-1] + half_y)

    def transform(self, north_up=True):
        """The affine transform in GDAL's order (x_origin, cell_x, 0, y_origin,
        0, +-cell_y) of the cells centred on the nodes: pixel (column, row)
        covers x_origin + [column, column + 1) cell_x. north_up=True: row 0
        the northern edge (north_up(), rasters, GeoTIFF); False: row 0 the
        southern edge, as estimate is stored."""
        left = self.x[0] - self.cell[0] / 2
        if north_up:
            return (left, self.cell[0], 0.0, self.y[-1] + self.cell[1] / 2, 0.0, -self.cell[1])
        return (left, self.cell[0], 0.0, self.y[0] - self.cell[1] / 2, 0.0, self.cell[1])

    def _array(self, name):
        arrays = self.arrays
        if name not in arrays:
            raise ValueError("name %r: this result holds %s" % (name, ", ".join(arrays)))
        return arrays[name]

    def coordinates(self, north_up=True):
        """The grid's coordinates as xarray takes them: x, y (descending when
        north_up) and the scalar spatial_ref holding GeoTransform and, with
        a CRS, crs_wkt and spatial_ref, as rioxarray writes them."""
        spatial_ref = {"GeoTransform": " ".join(repr(float(v)) for v in self.transform(north_up))}
        if self.crs_wkt is not None:
            spatial_ref["crs_wkt"] = spatial_ref["spatial_ref"] = self.crs_wkt
        return {
            "x": ("x", self.x, {"axis": "X", "long_name": "x coordinate of projection",
                                "standard_name": "projection_x_coordinate"}),
            "y": ("y", self.y[::-1] if north_up else self.y, {"axis": "Y", "long_name": "y coordinate of projection",
                                                               "standard_name": "projection_y_coordinate"}),
            "spatial_ref": ((), 0, spatial_ref),
        }

    def to_xarray(self, name=None, *, north_up=True):
        """An xarray.Dataset of every output array (name=None), or the
        DataArray of one, with coordinates x and y (y descending when
        north_up) and the georeferencing as rioxarray writes it: a
        spatial_ref coordinate holding GeoTransform and, with a CRS,
        crs_wkt and spatial_ref, named by each variable's grid_mapping."""
        try:
            import xarray
        except ImportError as e:
            raise ImportError("to_xarray needs xarray (Debian: python3-xarray)") from e
        if name is not None:
            self._array(name)
        flip = (lambda a: a[::-1]) if north_up else (lambda a: a)
        variables = {n: (("y", "x"), flip(a), {"grid_mapping": "spatial_ref", "long_name": _DESCRIPTIONS[n]})
                     for n, a in self.arrays.items()}
        coords = self.coordinates(north_up)
        attrs = {"engine": self.engine}
        if self.model is not None:
            attrs["model"] = str(self.model)
        dataset = xarray.Dataset(variables, coords=coords, attrs=attrs)
        return dataset if name is None else dataset[name]

    def to_raster(self, path, name="estimate", *, driver="GTiff", **options):
        """Writes the array `name` (or several names, one band each) through
        rasterio, north-up, with the transform, the CRS and NaN as no-data;
        options go to rasterio.open (e.g. compress="deflate")."""
        try:
            import rasterio
            from rasterio.transform import Affine
        except ImportError as e:
            raise ImportError("to_raster needs rasterio (Debian: python3-rasterio)") from e
        names = [name] if isinstance(name, str) else list(name)
        bands = [self._array(n) for n in names]
        dtype = np.result_type(*bands)
        profile = dict(driver=driver, width=self.size[0], height=self.size[1], count=len(bands), dtype=dtype,
                       transform=Affine.from_gdal(*self.transform(north_up=True)), nodata=np.nan)
        if self.crs_wkt is not None:
            profile["crs"] = self.crs_wkt
        profile.update(options)
        with rasterio.open(path, "w", **profile) as raster:
            for index, (band_name, band) in enumerate(zip(names, bands), start=1):
                raster.write(np.ascontiguousarray(self.north_up(band), dtype=dtype), index)
                raster.set_band_description(index, band_name)

    def __repr__(self):
        return "<mosaro.GridResult %d x %d nodes, cell %g x %g, first node (%g, %g)>" % (
            self.size[0], self.size[1], self.cell[0], self.cell[1], self.extent[0], self.extent[1])


class PointResult:
    """The outcome of mosaro.predict, one entry per target in the order given.

    x, y           the targets (float64).
    estimate       float64; NaN where a target has no estimate.
    variance, log_estimate, log_variance   as in GridResult, or None.
    model, report, samples_left_out         as in GridResult.
    """

    def __init__(self, x, y, arrays, *, report, model):
        self.x = x
        self.y = y
        for name in _ARRAYS[:4]:
            setattr(self, name, arrays.get(name))
        self.report = report
        self.model = model
        self.samples_left_out = report["samples_left_out"]

    def to_dict(self):
        """{"x": ..., "y": ..., "estimate": ..., ...}: the arrays this result holds."""
        out = {"x": self.x, "y": self.y}
        out.update((n, getattr(self, n)) for n in _ARRAYS[:4] if getattr(self, n) is not None)
        return out

    def to_records(self):
        """A numpy structured array, one record per target, of the fields of to_dict()."""
        columns = self.to_dict()
        records = np.empty(len(self.x), dtype=[(n, np.float64) for n in columns])
        for n, column in columns.items():
            records[n] = column
        return records

    def __len__(self):
        return len(self.x)

    def __repr__(self):
        return "<mosaro.PointResult %d targets, %d without an estimate>" % (len(self.x), self.report["no_data"])
