// What the raster and the variogram pictures share: a cairo surface of the
// chosen format, text, framed axes with ticks, and the final write.
#pragma once

#include <cairo.h>

#include <string>

#include "AxisTicks.h"
#include "ColourRamp.h"
#include "Picture.h"

namespace mosaro::tool {

enum class Align { Start, Middle, End };

class PictureCanvas {
public:
    // A white picture of width x height pixels (points in an SVG).
    PictureCanvas(PictureFormat format, int width, int height);
    ~PictureCanvas();
    // The SVG stream callback holds this object's address.
    PictureCanvas(const PictureCanvas&) = delete;
    PictureCanvas& operator=(const PictureCanvas&) = delete;

    cairo_t* Context() const { return cr_; }
    int Width() const { return width_; }

    void SetColour(double red, double green, double blue, double alpha = 1) const;

    // Text at (x, y): horizontal is where x falls along the text, vertical
    // where y falls on its capital height (Start = top). Text wider than
    // max_width, when given, is set smaller to fit.
    void Text(const std::string& text, double x, double y, double size, Align horizontal, Align vertical,
              bool bold = false, double max_width = 0) const;
    // Text turned a quarter to the left, reading upwards, centred on (x, y).
    void UpwardText(const std::string& text, double x, double y, double size) const;
    void Title(const std::string& title) const;

    // The frame around the plot, outward ticks with labels on the left and
    // bottom edges, and the axis names.
    void Axes(const PlotFrame& frame, const AxisTicks& x_ticks, const AxisTicks& y_ticks, const std::string& x_name,
              const std::string& y_name) const;

    // A vertical colour scale filling `bar`, whose y range is the values':
    // value v has colour(t) at t = (v - y_min) / (y_max - y_min); framed,
    // with ticks and labels on its right. A scale of one value
    // (y_min == y_max) takes colour(0.5), its one tick in the middle.
    void ColourBar(const PlotFrame& bar, Rgb (*colour)(double)) const;

    // Keeps the first failure of drawing done off the canvas (on an image
    // built for it, say), for Save to report.
    void Note(cairo_status_t status);

    // Renders and writes the whole file; throws std::runtime_error naming the
    // path if cairo failed or the file cannot be written.
    void Save(const std::string& path);

private:
    PictureFormat format_;
    int width_;
    std::string svg_bytes_;
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
    cairo_status_t failure_ = CAIRO_STATUS_SUCCESS;
};

// How many ticks to aim for along an axis of this many pixels, so that the
// labels keep apart.
int TickCountFor(double pixels, double pixels_per_tick);

}  // namespace mosaro::tool
