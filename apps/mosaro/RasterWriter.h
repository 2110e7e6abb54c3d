// Writes a grid of the library's layout (row 0 the southern row, x fastest)
// to a file chosen by its extension: ".grd" the library's binary grid file,
// anything else a GDAL raster, north-up, with pixel centres on the nodes.
#pragma once

#include <string>

namespace mosaro::tool {

struct Georeference {
    double x_min = 0;  // map coordinates of the first node
    double y_min = 0;
    double cell_x = 1;
    double cell_y = 1;
    std::string crs_wkt;  // empty: none
    // NaN nodes are no-data (the accurate arithmetic's unestimated nodes):
    // declared as the raster's no-data value, NaN (the ASCII grid: -1e38,
    // as GDAL cannot read its "nan" back). The .grd keeps NaN.
    bool nan_is_no_data = false;
};

// Either `nodes` (the legacy request's floats) or `doubles` (the prediction
// API's estimates, written as 64-bit rasters so that every bit survives;
// the .grd holds floats only, so there they are rounded).
struct RasterView {
    const float* nodes = nullptr;
    int nodes_x = 0;
    int nodes_y = 0;
    const double* doubles = nullptr;
};

// The GDAL driver for the extension ("GTiff", "AAIGrid", ...), or "" for the
// binary grid file. Throws ToolError for an extension nothing writes.
std::string RasterDriverFor(const std::string& path);

// Writes to `path` (a staged name; see StagedOutput.h) in the format of
// `target`'s extension. Throws ToolError naming `target`.
void WriteRaster(const RasterView& raster, const Georeference& where, const std::string& target,
                 const std::string& path);

// "EPSG:28992", a WKT text, a PROJ string, ... as WKT; ToolError otherwise.
std::string CrsToWkt(const std::string& definition);

}  // namespace mosaro::tool
