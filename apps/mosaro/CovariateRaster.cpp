#include "CovariateRaster.h"

#include <gdal_priv.h>

#include <cmath>
#include <filesystem>

#include "GdalSupport.h"
#include "ToolError.h"

namespace mosaro::tool {

CovariateRaster::CovariateRaster(const std::string& name, const std::string& path) : name_(name), path_(path) {
    const std::string option = "--covariate " + name + "=" + path;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) throw ToolError(option + ": no such file");
    GDALAllRegister();
    CPLErrorReset();
    DatasetPtr dataset(static_cast<GDALDataset*>(
        GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
    if (!dataset || dataset->GetRasterCount() < 1) throw ToolError(option + ": not a raster GDAL reads");
    if (dataset->GetGeoTransform(transform_) != CE_None)
        throw ToolError(option + ": the raster has no georeference, so its pixels have no place on the map");
    // A rotated raster would need its inverse transform at every target;
    // gridded covariates are north-up in practice, so it is refused.
    if (transform_[2] != 0 || transform_[4] != 0 || transform_[1] == 0 || transform_[5] == 0)
        throw ToolError(option + ": a rotated or sheared raster is not supported (warp it north-up first)");
    columns_ = dataset->GetRasterXSize();
    rows_ = dataset->GetRasterYSize();
    GDALRasterBand* band = dataset->GetRasterBand(1);
    int hasNoData = 0;
    const double noData = band->GetNoDataValue(&hasNoData);
    if (hasNoData) no_data_ = noData;
    pixels_.resize(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_));
    if (band->RasterIO(GF_Read, 0, 0, columns_, rows_, pixels_.data(), columns_, rows_, GDT_Float64, 0, 0, nullptr) !=
        CE_None)
        throw ToolError(option + ": cannot read the raster (" + CPLGetLastErrorMsg() + ")");
}

bool CovariateRaster::Usable(double value) const {
    if (!std::isfinite(value)) return false;
    // A float raster's no-data value compares as the float it is stored as.
    return !no_data_ || (value != *no_data_ && static_cast<float>(value) != static_cast<float>(*no_data_));
}

std::optional<double> CovariateRaster::At(double x, double y) const {
    // Pixel coordinates of the point, with pixel centres at whole numbers.
    const double column = (x - transform_[0]) / transform_[1];
    const double row = (y - transform_[3]) / transform_[5];
    if (!(column >= 0 && column <= columns_ && row >= 0 && row <= rows_)) return std::nullopt;
    const auto clamp = [](double v, int count) { return std::min(std::max(v - 0.5, 0.0), count - 1.0); };
    const double u = clamp(column, columns_), v = clamp(row, rows_);
    const int i0 = static_cast<int>(std::floor(u)), j0 = static_cast<int>(std::floor(v));
    const int i1 = std::min(i0 + 1, columns_ - 1), j1 = std::min(j0 + 1, rows_ - 1);
    const double fu = u - i0, fv = v - j0;
    const auto pixel = [this](int i, int j) {
        return pixels_[static_cast<std::size_t>(j) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(i)];
    };
    double sum = 0;
    const int is[2] = {i0, i1}, js[2] = {j0, j1};
    const double wu[2] = {1 - fu, fu}, wv[2] = {1 - fv, fv};
    for (int b = 0; b < 2; ++b)
        for (int a = 0; a < 2; ++a) {
            const double weight = wu[a] * wv[b];
            if (weight == 0) continue;
            const double value = pixel(is[a], js[b]);
            if (!Usable(value)) return std::nullopt;
            sum += weight * value;
        }
    return sum;
}

std::pair<std::string, std::string> SplitCovariate(const std::string& text) {
    const std::size_t equals = text.find('=');
    std::string name = text.substr(0, equals);
    std::string path = equals == std::string::npos ? "" : text.substr(equals + 1);
    if (name.empty()) throw ToolError("--covariate '" + text + "': give it as NAME=RASTER (NAME a sample column)");
    if (equals != std::string::npos && path.empty()) throw ToolError("--covariate '" + text + "': no raster after '='");
    return {name, path};
}

}  // namespace mosaro::tool
