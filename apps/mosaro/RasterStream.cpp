#include "RasterStream.h"

#include <cpl_string.h>

#include <cmath>
#include <limits>

#include "ToolError.h"

namespace mosaro::tool {

bool IsGeoTiff(const std::string& path) { return RasterDriverFor(path) == "GTiff"; }

GeoTiffStream::GeoTiffStream(const std::string& target, const std::string& path, int nodes_x, int nodes_y, int bands,
                             const Georeference& where, int tile)
    : target_(target), nodes_y_(nodes_y) {
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (driver == nullptr) throw ToolError("cannot write '" + target + "': this GDAL has no GTiff driver");
    CPLStringList options;
    options.SetNameValue("COMPRESS", "DEFLATE");
    options.SetNameValue("PREDICTOR", "1");
    // Band after band, so that a realisation is written once and left.
    options.SetNameValue("INTERLEAVE", "BAND");
    // Compressed doubles of a large grid can pass 4 GiB, which only a
    // BigTIFF holds; GDAL's default looks at the uncompressed size only
    // when nothing is compressed.
    options.SetNameValue("BIGTIFF", "IF_SAFER");
    if (tile > 0) {
        options.SetNameValue("TILED", "YES");
        options.SetNameValue("BLOCKXSIZE", std::to_string(tile).c_str());
        options.SetNameValue("BLOCKYSIZE", std::to_string(tile).c_str());
    }
    CPLErrorReset();
    dataset_.reset(driver->Create(path.c_str(), nodes_x, nodes_y, bands, GDT_Float64, options.List()));
    if (!dataset_) throw ToolError("cannot write '" + target + "': " + CPLGetLastErrorMsg());
    // Pixel centres on the nodes, north-up (as WriteRaster).
    double transform[6] = {where.x_min - where.cell_x / 2,
                           where.cell_x,
                           0,
                           where.y_min + (nodes_y - 1 + 0.5) * where.cell_y,
                           0,
                           -where.cell_y};
    dataset_->SetGeoTransform(transform);
    if (!where.crs_wkt.empty()) dataset_->SetProjection(where.crs_wkt.c_str());
    if (where.nan_is_no_data)
        for (int b = 1; b <= bands; ++b)
            dataset_->GetRasterBand(b)->SetNoDataValue(std::numeric_limits<double>::quiet_NaN());
}

void GeoTiffStream::Write(int band, int column, int row, int columns, int rows, const double* values) {
    GDALRasterBand* out = dataset_->GetRasterBand(band + 1);
    for (int r = 0; r < rows; ++r) {
        // The library's row `row + r` is the raster's line counted from the north.
        const int line = nodes_y_ - 1 - (row + r);
        double* source = const_cast<double*>(values) + static_cast<std::size_t>(r) * static_cast<std::size_t>(columns);
        if (out->RasterIO(GF_Write, column, line, columns, 1, source, columns, 1, GDT_Float64, 0, 0, nullptr) !=
            CE_None)
            throw ToolError("cannot write '" + target_ + "': " + CPLGetLastErrorMsg());
    }
}

void GeoTiffStream::SetBandName(int band, const std::string& name) {
    dataset_->GetRasterBand(band + 1)->SetDescription(name.c_str());
}

void GeoTiffStream::Flush() {
    CPLErrorReset();
    dataset_->FlushCache();
    if (CPLGetLastErrorType() >= CE_Failure) throw ToolError("cannot write '" + target_ + "': " + CPLGetLastErrorMsg());
}

void GeoTiffStream::Close() {
    Flush();
    dataset_.reset();
    if (CPLGetLastErrorType() >= CE_Failure) throw ToolError("cannot write '" + target_ + "': " + CPLGetLastErrorMsg());
}

}  // namespace mosaro::tool
