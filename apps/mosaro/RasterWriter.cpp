#include "RasterWriter.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <vector>

#include "GdalSupport.h"
#include "ToolError.h"
#include "mosaro.h"

namespace mosaro::tool {
namespace {

struct Format {
    const char* extension;
    const char* driver;
    const char* options[3];
    // Options of a 64-bit raster, where they differ: an ASCII grid needs 17
    // significant digits to give every double back.
    const char* double_options[3];
    // A text format prints NaN, but GDAL reads "nan" back as 0: there,
    // no-data nodes are written as the library's blank value, -1e38,
    // declared as no-data (the lowest float would print as a number
    // just beyond it, read back as -infinity).
    bool nan_unreadable = false;
};

// Creation options keep every float bit: an ASCII grid prints nine
// significant digits, which round-trip a float; the GeoTIFF is compressed
// without loss.
const Format kFormats[] = {
    {".tif", "GTiff", {"COMPRESS=DEFLATE", "PREDICTOR=1", nullptr}, {"COMPRESS=DEFLATE", "PREDICTOR=1", nullptr}},
    {".tiff", "GTiff", {"COMPRESS=DEFLATE", "PREDICTOR=1", nullptr}, {"COMPRESS=DEFLATE", "PREDICTOR=1", nullptr}},
    {".asc", "AAIGrid", {"SIGNIFICANT_DIGITS=9", nullptr, nullptr}, {"SIGNIFICANT_DIGITS=17", nullptr, nullptr}, true},
    {".nc", "netCDF", {nullptr, nullptr, nullptr}, {nullptr, nullptr, nullptr}},
    {".img", "HFA", {nullptr, nullptr, nullptr}, {nullptr, nullptr, nullptr}},
};

std::string LowerExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

const Format* FormatFor(const std::string& path) {
    const std::string extension = LowerExtension(path);
    for (const Format& format : kFormats)
        if (extension == format.extension) return &format;
    return nullptr;
}

template <class Number>
GDALDataType TypeOf();
template <>
GDALDataType TypeOf<float>() {
    return GDT_Float32;
}
template <>
GDALDataType TypeOf<double>() {
    return GDT_Float64;
}

// North-up: the top pixel row is the library's last (northern) row.
template <class Number>
void WriteRows(GDALRasterBand& band, const Number* nodes, const RasterView& raster, bool substitute, Number noData,
               const std::string& target) {
    std::vector<Number> line(substitute ? static_cast<std::size_t>(raster.nodes_x) : 0);
    for (int row = 0; row < raster.nodes_y; ++row) {
        const Number* source = nodes + static_cast<std::size_t>(raster.nodes_y - 1 - row) * raster.nodes_x;
        if (substitute) {
            for (std::size_t i = 0; i < line.size(); ++i) line[i] = std::isnan(source[i]) ? noData : source[i];
            source = line.data();
        }
        if (band.RasterIO(GF_Write, 0, row, raster.nodes_x, 1, const_cast<Number*>(source), raster.nodes_x, 1,
                          TypeOf<Number>(), 0, 0, nullptr) != CE_None)
            throw ToolError("cannot write '" + target + "': " + CPLGetLastErrorMsg());
    }
}

void WriteGdal(const RasterView& raster, const Georeference& where, const Format& format, const std::string& target,
               const std::string& path) {
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(format.driver);
    if (driver == nullptr)
        throw ToolError("cannot write '" + target + "': this GDAL has no " + format.driver + " driver");
    // Built in memory, then copied: some drivers (the ASCII grid) only copy.
    GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
    const bool doubles = raster.doubles != nullptr;
    DatasetPtr staged(
        memory->Create("", raster.nodes_x, raster.nodes_y, 1, doubles ? GDT_Float64 : GDT_Float32, nullptr));
    if (!staged) throw ToolError("cannot write '" + target + "': out of memory");
    // North-up: the top pixel row is the library's last (northern) row, and
    // the pixel centres sit on the nodes, so the raster's corner lies half a
    // cell outside the first node.
    double transform[6] = {where.x_min - where.cell_x / 2,
                           where.cell_x,
                           0,
                           where.y_min + (raster.nodes_y - 1 + 0.5) * where.cell_y,
                           0,
                           -where.cell_y};
    staged->SetGeoTransform(transform);
    if (!where.crs_wkt.empty()) staged->SetProjection(where.crs_wkt.c_str());
    GDALRasterBand* band = staged->GetRasterBand(1);
    const bool substitute = where.nan_is_no_data && format.nan_unreadable;
    const double noData = substitute ? static_cast<double>(-1e38f) : std::numeric_limits<double>::quiet_NaN();
    if (where.nan_is_no_data) band->SetNoDataValue(noData);
    if (raster.doubles != nullptr) WriteRows(*band, raster.doubles, raster, substitute, noData, target);
    else WriteRows(*band, raster.nodes, raster, substitute, static_cast<float>(noData), target);
    CPLErrorReset();
    DatasetPtr written(driver->CreateCopy(path.c_str(), staged.get(), FALSE,
                                          const_cast<char**>(doubles ? format.double_options : format.options), nullptr,
                                          nullptr));
    if (!written) throw ToolError("cannot write '" + target + "': " + CPLGetLastErrorMsg());
    written->FlushCache();
    written.reset();
    if (CPLGetLastErrorType() >= CE_Failure) throw ToolError("cannot write '" + target + "': " + CPLGetLastErrorMsg());
}

}  // namespace

std::string RasterDriverFor(const std::string& path) {
    if (LowerExtension(path) == ".grd") return "";
    if (const Format* format = FormatFor(path)) return format->driver;
    throw ToolError("unknown output format '" + path + "' (use .grd, .tif, .asc, .nc or .img)");
}

void WriteRaster(const RasterView& raster, const Georeference& where, const std::string& target,
                 const std::string& path) {
    if (RasterDriverFor(target).empty()) {
        std::vector<float> rounded;
        if (raster.doubles != nullptr)
            rounded.assign(raster.doubles, raster.doubles + static_cast<std::size_t>(raster.nodes_x) * raster.nodes_y);
        if (mosaro_grid_file_write(path.c_str(), raster.doubles != nullptr ? rounded.data() : raster.nodes,
                                   raster.nodes_x, raster.nodes_y, static_cast<float>(where.cell_x),
                                   static_cast<float>(where.cell_y)) != MOSARO_OK)
            throw ToolError("cannot write '" + target + "': " + mosaro_last_message());
        return;
    }
    WriteGdal(raster, where, *FormatFor(target), target, path);
}

std::string CrsToWkt(const std::string& definition) {
    OGRSpatialReference crs;
    if (crs.SetFromUserInput(definition.c_str()) != OGRERR_NONE)
        throw ToolError("--crs '" + definition + "' is not a coordinate reference system GDAL knows");
    char* wkt = nullptr;
    crs.exportToWkt(&wkt);
    std::string text = wkt != nullptr ? wkt : "";
    CPLFree(wkt);
    return text;
}

}  // namespace mosaro::tool
