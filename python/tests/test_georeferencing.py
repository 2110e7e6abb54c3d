"""Grid results carry their georeferencing: the transform puts each pixel's
centre on its node, to_xarray carries coordinates and the CRS as rioxarray
writes them, and to_raster writes a raster rasterio reads back as it was."""

import numpy as np
import pytest

import mosaro
from conftest import smooth_samples

rasterio = pytest.importorskip("rasterio")
xarray = pytest.importorskip("xarray")

MODEL = "0.5 Nug + 60 Sph(400)"


@pytest.fixture(scope="module", params=[False, True], ids=["prediction", "legacy"])
def result(request):
    x, y, values, _ = smooth_samples(5, 150, extent=500.0)
    x, y = x + 180000, y + 330000
    return mosaro.grid(x, y, values, cell=(25, 20), model=MODEL, variance=True, crs="EPSG:28992",
                       legacy=request.param)


def _centre(transform, column, row):
    """Where GDAL puts the centre of pixel (column, row)."""
    x0, dx, rx, y0, ry, dy = transform
    return x0 + (column + 0.5) * dx + (row + 0.5) * rx, y0 + (column + 0.5) * ry + (row + 0.5) * dy


def test_the_transform_centres_each_pixel_on_its_node(result):
    columns, rows = result.size
    for north_up in (True, False):
        transform = result.transform(north_up)
        image = result.north_up() if north_up else result.estimate
        for column, row in ((0, 0), (columns - 1, 0), (3, rows - 1), (columns - 1, rows - 1)):
            node_row = rows - 1 - row if north_up else row
            assert _centre(transform, column, row) == pytest.approx((result.x[column], result.y[node_row]), abs=1e-6)
            assert image[row, column] == result.estimate[node_row, column]
    assert result.transform()[5] == -20 and result.transform(north_up=False)[5] == 20


def test_to_xarray_carries_coordinates_and_crs(result):
    wkt = rasterio.crs.CRS.from_epsg(28992).to_wkt()
    ds = result.to_xarray()
    assert set(ds.data_vars) == {"estimate", "variance"}
    assert np.array_equal(ds.x.values, result.x) and np.array_equal(ds.y.values, result.y[::-1])
    assert np.array_equal(ds.estimate.values, result.north_up(), equal_nan=True)
    assert ds.estimate.dtype == result.estimate.dtype
    spatial_ref = ds.spatial_ref.attrs
    assert spatial_ref["crs_wkt"] == spatial_ref["spatial_ref"] == result.crs_wkt == wkt
    assert tuple(float(v) for v in spatial_ref["GeoTransform"].split()) == result.transform()
    assert all(ds[name].attrs["grid_mapping"] == "spatial_ref" for name in ds.data_vars)
    assert ds.x.attrs["axis"] == "X" and ds.y.attrs["standard_name"] == "projection_y_coordinate"
    variance = result.to_xarray("variance", north_up=False)
    assert isinstance(variance, xarray.DataArray) and variance.dims == ("y", "x")
    assert np.array_equal(variance.y.values, result.y) and np.array_equal(variance.values, result.variance)
    assert "spatial_ref" in variance.coords
    assert float(variance.sel(x=result.x[2], y=result.y[1])) == result.variance[1, 2]
    with pytest.raises(ValueError, match="name 'log_variance': this result holds estimate, variance"):
        result.to_xarray("log_variance")


def test_to_raster_writes_what_rasterio_reads_back(result, tmp_path):
    path = tmp_path / "grid.tif"
    result.to_raster(path, ("estimate", "variance"), compress="deflate")
    with rasterio.open(path) as raster:
        assert raster.count == 2 and (raster.width, raster.height) == result.size
        assert raster.crs == rasterio.crs.CRS.from_epsg(28992)
        assert raster.transform == rasterio.transform.Affine.from_gdal(*result.transform())
        assert raster.descriptions == ("estimate", "variance") and np.isnan(raster.nodata)
        assert raster.dtypes[0] == str(result.estimate.dtype)
        assert np.array_equal(raster.read(1), result.north_up(), equal_nan=True)
        assert np.array_equal(raster.read(2), result.north_up(result.variance), equal_nan=True)
        # The raster's own georeferencing puts the first node where it is.
        assert raster.xy(raster.height - 1, 0) == pytest.approx((result.x[0], result.y[0]))


def test_every_form_of_a_crs_is_the_same_crs():
    x, y, values, _ = smooth_samples(5, 60, extent=500.0)
    wkt = rasterio.crs.CRS.from_epsg(28992).to_wkt()
    for crs in (28992, "EPSG:28992", "epsg:28992", rasterio.crs.CRS.from_epsg(28992), wkt):
        r = mosaro.grid(x, y, values, cell=100, model=MODEL, crs=crs)
        assert r.crs is crs and r.crs_wkt == wkt
    plain = mosaro.grid(x, y, values, cell=100, model=MODEL)
    assert plain.crs is None and plain.crs_wkt is None
    assert set(plain.to_xarray().spatial_ref.attrs) == {"GeoTransform"}
    with pytest.raises(ValueError, match="crs 'no such CRS' is not a coordinate reference system"):
        mosaro.grid(x, y, values, cell=100, model=MODEL, crs="no such CRS")


def test_lognormal_results_carry_the_logarithms_too(tmp_path):
    x, y, values, _ = smooth_samples(5, 60, extent=500.0)
    r = mosaro.grid(x, y, values, method="lognormal", cell=100, variance=True)
    assert set(r.to_xarray().data_vars) == {"estimate", "variance", "log_estimate", "log_variance"}
    r.to_raster(tmp_path / "log.tif", "log_estimate")
    with rasterio.open(tmp_path / "log.tif") as raster:
        assert np.array_equal(raster.read(1), r.north_up(r.log_estimate))
