// The raster picture: one coloured cell per node, north up, with the sample
// marks, map axes and a colour legend.
#include "Picture.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "AxisTicks.h"
#include "ColourRamp.h"
#include "PictureCanvas.h"

namespace mosaro::tool {
namespace {

// The map's longer side in pixels: large enough to tell a few hundred
// cells apart, small enough to sit on a screen beside the legend.
constexpr double kLongSide = 640;
// A long thin grid keeps its proportions only down to this; thinner would
// leave no room for the cells or the tick labels.
constexpr double kShortestSide = 160;
constexpr double kMarginLeft = 92;
constexpr double kMarginRight = 170;
constexpr double kMarginTop = 50;
constexpr double kMarginBottom = 60;

// cairo's largest image side; the nodes become one pixel each.
constexpr int kMostNodesAlongASide = 32767;

constexpr double kLegendGap = 28;
constexpr double kBarWidth = 16;
constexpr double kNoDataGrey = 0.82;

struct ValueRange {
    double lo = 0;
    double hi = 0;
    bool any_value = false;
    bool any_missing = false;
};

bool HasValue(float value, const std::optional<float>& no_data) {
    return std::isfinite(value) && !(no_data && value == *no_data);
}

std::size_t NodeCount(const RasterPicture& picture) {
    return static_cast<std::size_t>(picture.node_count_x) * static_cast<std::size_t>(picture.node_count_y);
}

ValueRange ScanValues(const RasterPicture& picture) {
    ValueRange range;
    for (std::size_t k = 0; k < NodeCount(picture); ++k) {
        const float value = picture.nodes[k];
        if (!HasValue(value, picture.no_data)) {
            range.any_missing = true;
        } else if (!range.any_value) {
            range.lo = range.hi = value;
            range.any_value = true;
        } else {
            range.lo = std::min(range.lo, static_cast<double>(value));
            range.hi = std::max(range.hi, static_cast<double>(value));
        }
    }
    return range;
}

// Where a value falls on the ramp; a field of one value takes the middle,
// so it reads as neither low nor high.
double RampPosition(double value, const ValueRange& range) {
    return range.hi > range.lo ? (value - range.lo) / (range.hi - range.lo) : 0.5;
}

std::uint32_t OpaquePixel(const Rgb& colour) {
    const auto byte = [](double channel) { return static_cast<std::uint32_t>(std::lround(channel * 255)); };
    return 0xFF000000u | byte(colour.red) << 16 | byte(colour.green) << 8 | byte(colour.blue);
}

// One pixel per node; rows run from the top as in any image, so the
// southern grid row is the last. Nodes without a value are transparent.
cairo_surface_t* NodeImage(const RasterPicture& picture, const ValueRange& range) {
    const int nx = picture.node_count_x;
    const int ny = picture.node_count_y;
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, nx, ny);
    unsigned char* data = cairo_image_surface_get_data(image);
    if (!data) return image;  // out of memory: in error, for the caller to note
    const int stride = cairo_image_surface_get_stride(image);
    for (int j = 0; j < ny; ++j) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(ny - 1 - j) * stride);
        const float* nodes = picture.nodes + static_cast<std::size_t>(j) * static_cast<std::size_t>(nx);
        for (int i = 0; i < nx; ++i)
            row[i] = HasValue(nodes[i], picture.no_data) ? OpaquePixel(RampColour(RampPosition(nodes[i], range))) : 0u;
    }
    cairo_surface_mark_dirty(image);
    return image;
}

// The node image is enlarged to the map's size with nearest-neighbour
// filtering, so every cell keeps its own flat colour, and then placed pixel
// for pixel. Enlarging here rather than in the picture matters for SVG:
// its viewers smooth an embedded image they scale, blurring the cells.
void DrawCells(PictureCanvas& canvas, const RasterPicture& picture, const PlotFrame& map, const ValueRange& range) {
    cairo_t* cr = canvas.Context();
    canvas.SetColour(kNoDataGrey, kNoDataGrey, kNoDataGrey);  // shows through where a node has no value
    cairo_rectangle(cr, map.left, map.top, map.width, map.height);
    cairo_fill(cr);

    cairo_surface_t* nodes = NodeImage(picture, range);
    cairo_surface_t* cells =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(map.width), static_cast<int>(map.height));
    cairo_t* enlarge = cairo_create(cells);
    cairo_scale(enlarge, map.width / picture.node_count_x, map.height / picture.node_count_y);
    cairo_set_source_surface(enlarge, nodes, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(enlarge), CAIRO_FILTER_NEAREST);
    cairo_paint(enlarge);
    // Out of memory shows here, not on the canvas.
    canvas.Note(cairo_surface_status(nodes));
    canvas.Note(cairo_status(enlarge));
    cairo_destroy(enlarge);
    cairo_surface_destroy(nodes);

    cairo_set_source_surface(cr, cells, map.left, map.top);
    cairo_paint(cr);
    cairo_surface_destroy(cells);
}

// White dots with a dark rim stand out at both ends of the ramp.
void DrawSamples(const PictureCanvas& canvas, const RasterPicture& picture, const PlotFrame& map) {
    cairo_t* cr = canvas.Context();
    cairo_save(cr);
    cairo_rectangle(cr, map.left, map.top, map.width, map.height);
    cairo_clip(cr);
    cairo_set_line_width(cr, 1);
    for (std::size_t k = 0; k < picture.sample_x.size(); ++k) {
        const double x = map.PixelX(picture.sample_x[k]);
        const double y = map.PixelY(picture.sample_y[k]);
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        cairo_new_path(cr);
        cairo_arc(cr, x, y, 2.75, 0, 2 * 3.14159265358979324);
        canvas.SetColour(1, 1, 1);
        cairo_fill_preserve(cr);
        canvas.SetColour(0.1, 0.1, 0.1);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void DrawColourBar(const PictureCanvas& canvas, const PlotFrame& bar, const ValueRange& range) {
    const double bottom = bar.top + bar.height;
    canvas.ColourBar(bar, RampColour);
    canvas.Text("max " + ValueLabel(range.hi), bar.left, bar.top - 7, 11, Align::Start, Align::End);
    canvas.Text("min " + ValueLabel(range.lo), bar.left, bottom + 7, 11, Align::Start, Align::Start);
}

void DrawLegend(const PictureCanvas& canvas, const std::string& value_label, const ValueRange& range,
                const PlotFrame& map) {
    const double left = map.left + map.width + kLegendGap;
    const double bottom = map.top + map.height;
    const double room = canvas.Width() - left - 8;
    canvas.SetColour(0.1, 0.1, 0.1);
    canvas.Text(value_label, left, map.top, 12, Align::Start, Align::Start, true, room);
    if (range.any_value) {
        PlotFrame bar;
        bar.left = left;
        bar.top = map.top + 40;
        bar.width = kBarWidth;
        bar.height = bottom - (range.any_missing ? 44 : 22) - bar.top;
        bar.y_min = range.lo;
        bar.y_max = range.hi;
        DrawColourBar(canvas, bar, range);
    }
    if (range.any_missing) {
        cairo_t* cr = canvas.Context();
        cairo_rectangle(cr, left, bottom - 12, kBarWidth, 12);
        canvas.SetColour(kNoDataGrey, kNoDataGrey, kNoDataGrey);
        cairo_fill_preserve(cr);
        canvas.SetColour(0.2, 0.2, 0.2);
        cairo_stroke(cr);
        canvas.Text("no data", left + kBarWidth + 7, bottom - 6, 11, Align::Start, Align::Middle);
    }
}

}  // namespace

std::optional<PictureFormat> PictureFormatForPath(const std::string& path) {
    const std::size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.') return std::nullopt;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "png") return PictureFormat::Png;
    if (extension == "svg") return PictureFormat::Svg;
    return std::nullopt;
}

RasterLayout ComputeRasterLayout(const RasterPicture& picture) {
    if (!picture.nodes || picture.node_count_x < 1 || picture.node_count_y < 1)
        throw std::runtime_error("raster picture: no nodes to draw");
    if (picture.node_count_x > kMostNodesAlongASide || picture.node_count_y > kMostNodesAlongASide)
        throw std::runtime_error("raster picture: " + std::to_string(picture.node_count_x) + " x " +
                                 std::to_string(picture.node_count_y) + " nodes is too large to draw (at most " +
                                 std::to_string(kMostNodesAlongASide) + " along a side)");
    if (!(picture.cell_x > 0) || !(picture.cell_y > 0) || !std::isfinite(picture.cell_x) ||
        !std::isfinite(picture.cell_y) || !std::isfinite(picture.x_min) || !std::isfinite(picture.y_min))
        throw std::runtime_error("raster picture: node spacing must be positive and the origin finite");
    if (picture.sample_x.size() != picture.sample_y.size())
        throw std::runtime_error("raster picture: sample x and y lists differ in length");

    RasterLayout layout;
    PlotFrame& map = layout.map;
    map.x_min = picture.x_min - picture.cell_x / 2;
    map.y_min = picture.y_min - picture.cell_y / 2;
    const double extent_x = picture.node_count_x * picture.cell_x;
    const double extent_y = picture.node_count_y * picture.cell_y;
    map.x_max = map.x_min + extent_x;
    map.y_max = map.y_min + extent_y;
    if (!std::isfinite(map.x_max) || !std::isfinite(map.y_max))
        throw std::runtime_error("raster picture: the grid's extent overflows");
    // One scale for both directions, so the map keeps its shape; whole
    // pixels, so cell edges fall alike everywhere.
    const double scale = kLongSide / std::max(extent_x, extent_y);
    map.width = std::max(std::round(extent_x * scale), kShortestSide);
    map.height = std::max(std::round(extent_y * scale), kShortestSide);
    map.left = kMarginLeft;
    map.top = kMarginTop;
    layout.width = static_cast<int>(kMarginLeft + map.width + kMarginRight);
    layout.height = static_cast<int>(kMarginTop + map.height + kMarginBottom);
    return layout;
}

void DrawRaster(const RasterPicture& picture, PictureFormat format, const std::string& path) {
    const RasterLayout layout = ComputeRasterLayout(picture);
    const PlotFrame& map = layout.map;
    const ValueRange range = ScanValues(picture);
    PictureCanvas canvas(format, layout.width, layout.height);
    canvas.Title(picture.title);
    DrawCells(canvas, picture, map, range);
    DrawSamples(canvas, picture, map);
    canvas.Axes(map, NiceTicks(map.x_min, map.x_max, TickCountFor(map.width, 100)),
                NiceTicks(map.y_min, map.y_max, TickCountFor(map.height, 60)), "x", "y");
    DrawLegend(canvas, picture.value_label, range, map);
    canvas.Save(path);
}

}  // namespace mosaro::tool
