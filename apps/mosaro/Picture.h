// Pictures of a kriged grid and of fitted variograms, written as PNG or SVG.
//
// The pictures are for a person checking a run: is the field where the
// samples are, does the model follow the experimental points. They are drawn
// entirely through cairo, so the PNG and the SVG of one picture agree.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mosaro::tool {

enum class PictureFormat { Png, Svg };

// The format a file name asks for by its extension (.png or .svg, in any
// case); nullopt for any other name, so the caller can say what it accepts.
std::optional<PictureFormat> PictureFormatForPath(const std::string& path);

// A grid of node values over a map.
struct RasterPicture {
    const float* nodes = nullptr;  // node_count_x * node_count_y, row 0 = southern row, x fastest
    int node_count_x = 0;
    int node_count_y = 0;
    double x_min = 0;  // map coordinates of node (0,0)
    double y_min = 0;
    double cell_x = 1;  // node spacing in map units, > 0
    double cell_y = 1;
    std::vector<double> sample_x;  // sample locations, drawn as small marks
    std::vector<double> sample_y;
    std::string title;        // e.g. "zinc, lognormal kriging"
    std::string value_label;  // legend label, e.g. "estimate" or "kriging variance"
    // Nodes equal to this value, and nodes that are NaN or infinite, have no
    // value: they are left grey and kept out of the colour scale.
    std::optional<float> no_data;
};

// A rectangle of the picture, in pixels from the top-left corner (points in
// an SVG), that shows the data range [x_min, x_max] x [y_min, y_max] with y
// growing upwards.
struct PlotFrame {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    double x_min = 0;
    double x_max = 1;
    double y_min = 0;
    double y_max = 1;

    double PixelX(double x) const { return left + (x - x_min) / (x_max - x_min) * width; }
    double PixelY(double y) const { return top + (y_max - y) / (y_max - y_min) * height; }
};

// Where DrawRaster puts things: the picture's size and the frame of the map,
// whose data range reaches the outer edges of the border cells (each node is
// the centre of its cell).
struct RasterLayout {
    int width = 0;
    int height = 0;
    PlotFrame map;
};

// Throws std::runtime_error for a picture that cannot be drawn (no nodes,
// more than 32767 along a side, a non-positive or non-finite spacing, sample
// lists of unequal length).
RasterLayout ComputeRasterLayout(const RasterPicture& picture);

// Writes the picture to `path` in `format`. Throws std::runtime_error as
// ComputeRasterLayout does, and naming the path when the file cannot be
// written; a failed write leaves no file behind.
void DrawRaster(const RasterPicture& picture, PictureFormat format, const std::string& path);

// A spherical model: gamma(h) = nugget + partial_sill * (1.5 h/a - 0.5 (h/a)^3)
// for 0 < h <= a = range, nugget + partial_sill beyond, 0 at h = 0. Or any
// model: `semivariance` set, drawn out to at least `reach` (where it is
// close to its sill) and up to `top` (its largest value there).
struct VariogramModelCurve {
    std::string label;  // e.g. "legacy fit", "robust fit"
    float nugget = 0;
    float partial_sill = 0;
    float range = 0;
    std::function<double(double)> semivariance = nullptr;
    double reach = 0;
    double top = 0;
};

// One direction's experimental variogram with the models fitted to it.
struct VariogramSeries {
    std::string label;  // "x direction", "y direction", "omnidirectional"
    std::vector<float> lag;
    std::vector<float> pairs;  // pair count per lag class; may be empty
    std::vector<float> semivariance;
    // A model with a non-finite parameter is not drawn; the legend says
    // "(no finite model)" after its label.
    std::vector<VariogramModelCurve> models;
};

// Throws std::runtime_error when a series' lag, semivariance and (if given)
// pairs differ in length, and as DrawRaster does when writing fails.
void DrawVariograms(const std::vector<VariogramSeries>& series, const std::string& title, PictureFormat format,
                    const std::string& path);

// The cross-validation of one method, per sample; an estimate or residual
// that is NaN marks a sample that could not be estimated.
struct ValidationPicture {
    std::vector<double> x, y;  // sample locations
    std::vector<double> observed, estimate, residual;
    std::string title;
    std::string value_name;  // e.g. "zinc"
};

// Where DrawValidation puts things: the scatter's frame (observed along x,
// estimated along y, one range on both) and the map's.
struct ValidationLayout {
    PlotFrame scatter;
    PlotFrame map;
};
ValidationLayout ComputeValidationLayout(const ValidationPicture& picture);

// Two panels: observed against estimated with the 1:1 line, and the samples
// on the map coloured by residual (blue: estimated too high, red: too low),
// with the colour scale beside. Throws std::runtime_error for lists of
// unequal length, and as DrawRaster does when writing fails.
void DrawValidation(const ValidationPicture& picture, PictureFormat format, const std::string& path);

// Frees the font caches that cairo and fontconfig keep for the life of the
// process, so a leak checker at exit reports only real leaks. Call it once,
// after the last picture; drawing afterwards is not supported.
void ReleasePictureCaches();

}  // namespace mosaro::tool
