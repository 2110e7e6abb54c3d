// A covariate of kriging with an external drift, known everywhere as a
// raster read through GDAL (band 1) and sampled at the targets.
//
// Sampling is bilinear between the four pixel centres around a point, as
// the drift should vary smoothly between nodes; within half a pixel of the
// raster's edge the edge pixels stand in for the missing neighbours. A point
// outside the raster, or one whose interpolation would take a no-data pixel,
// is not covered: the run refuses it, naming the covariate and the target,
// rather than extrapolate a drift nobody measured.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mosaro::tool {

class CovariateRaster {
public:
    // Reads the whole band; throws ToolError naming the option and the file.
    CovariateRaster(const std::string& name, const std::string& path);

    // The value at (x, y), or nullopt where the raster does not cover it.
    std::optional<double> At(double x, double y) const;

    const std::string& Name() const { return name_; }
    const std::string& Path() const { return path_; }

private:
    bool Usable(double value) const;
    std::string name_;
    std::string path_;
    int columns_ = 0;
    int rows_ = 0;
    double transform_[6] = {};
    std::optional<double> no_data_;
    std::vector<double> pixels_;  // row 0 the raster's first (usually northern) row
};

// "NAME=RASTER" split at the first '='; RASTER empty for a bare NAME.
// Throws ToolError for an empty name.
std::pair<std::string, std::string> SplitCovariate(const std::string& text);

}  // namespace mosaro::tool
