#include "PictureCanvas.h"

#include <cairo-svg.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace mosaro::tool {
namespace {

constexpr const char* kFontFamily = "sans-serif";
constexpr double kTickLength = 5;
constexpr double kLabelSize = 11;
constexpr double kNameSize = 12;
constexpr double kTitleSize = 15;
constexpr double kQuarterTurn = 1.57079632679489662;

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// The picture is rendered in memory first, so a failure in cairo never
// leaves a truncated file, and one place reports what went wrong on disk.
void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot write picture '" + path + "': " + std::strerror(errno));
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int write_error = errno;
    written = std::fclose(file) == 0 && written;
    if (!written) {
        std::remove(path.c_str());
        throw std::runtime_error("cannot write picture '" + path +
                                 "': " + std::strerror(write_error ? write_error : EIO));
    }
}

void ThrowIfFailed(cairo_status_t status, const std::string& path) {
    if (status != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot draw picture '" + path + "': " + cairo_status_to_string(status));
}

}  // namespace

PictureCanvas::PictureCanvas(PictureFormat format, int width, int height) : format_(format), width_(width) {
    surface_ = format == PictureFormat::Png
                   ? cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)
                   : cairo_svg_surface_create_for_stream(AppendBytes, &svg_bytes_, width, height);
    cr_ = cairo_create(surface_);
    SetColour(1, 1, 1);
    cairo_paint(cr_);
    cairo_select_font_face(cr_, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
}

PictureCanvas::~PictureCanvas() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

void PictureCanvas::SetColour(double red, double green, double blue, double alpha) const {
    cairo_set_source_rgba(cr_, red, green, blue, alpha);
}

void PictureCanvas::Text(const std::string& text, double x, double y, double size, Align horizontal, Align vertical,
                         bool bold, double max_width) const {
    cairo_save(cr_);
    cairo_select_font_face(cr_, kFontFamily, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr_, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr_, text.c_str(), &extents);
    if (max_width > 0 && extents.x_advance > max_width) {
        size *= max_width / extents.x_advance;
        cairo_set_font_size(cr_, size);
        cairo_text_extents(cr_, text.c_str(), &extents);
    }
    // Placing by the capital height rather than each string's own ink keeps
    // a row of labels on one baseline whatever letters they hold.
    const double cap_height = 0.72 * size;
    const double shift_x = horizontal == Align::Start    ? 0
                           : horizontal == Align::Middle ? extents.x_advance / 2
                                                         : extents.x_advance;
    const double shift_y = vertical == Align::Start ? cap_height : vertical == Align::Middle ? cap_height / 2 : 0;
    cairo_move_to(cr_, x - shift_x, y + shift_y);
    cairo_show_text(cr_, text.c_str());
    cairo_restore(cr_);
}

void PictureCanvas::UpwardText(const std::string& text, double x, double y, double size) const {
    cairo_save(cr_);
    cairo_translate(cr_, x, y);
    cairo_rotate(cr_, -kQuarterTurn);
    Text(text, 0, 0, size, Align::Middle, Align::Middle);
    cairo_restore(cr_);
}

void PictureCanvas::Title(const std::string& title) const {
    SetColour(0.1, 0.1, 0.1);
    Text(title, width_ / 2.0, 18, kTitleSize, Align::Middle, Align::Start, true, width_ - 24.0);
}

void PictureCanvas::Axes(const PlotFrame& frame, const AxisTicks& x_ticks, const AxisTicks& y_ticks,
                         const std::string& x_name, const std::string& y_name) const {
    const double right = frame.left + frame.width;
    const double bottom = frame.top + frame.height;
    SetColour(0.2, 0.2, 0.2);
    cairo_set_line_width(cr_, 1);
    cairo_set_dash(cr_, nullptr, 0, 0);
    // Half-pixel offsets put one-pixel lines on whole pixels instead of
    // smearing them over two.
    cairo_rectangle(cr_, std::round(frame.left) - 0.5, std::round(frame.top) - 0.5,
                    std::round(right) - std::round(frame.left) + 1, std::round(bottom) - std::round(frame.top) + 1);
    cairo_stroke(cr_);
    for (const double value : x_ticks.values) {
        const double x = std::round(frame.PixelX(value)) + 0.5;
        cairo_move_to(cr_, x, std::round(bottom) + 0.5);
        cairo_rel_line_to(cr_, 0, kTickLength);
        cairo_stroke(cr_);
        Text(TickLabel(value, x_ticks.step), x, bottom + kTickLength + 4, kLabelSize, Align::Middle, Align::Start);
    }
    for (const double value : y_ticks.values) {
        const double y = std::round(frame.PixelY(value)) + 0.5;
        cairo_move_to(cr_, std::round(frame.left) - 0.5, y);
        cairo_rel_line_to(cr_, -kTickLength, 0);
        cairo_stroke(cr_);
        Text(TickLabel(value, y_ticks.step), frame.left - kTickLength - 4, y, kLabelSize, Align::End, Align::Middle);
    }
    Text(x_name, frame.left + frame.width / 2, bottom + kTickLength + 24, kNameSize, Align::Middle, Align::Start);
    // The y name stands clear of the widest label it could meet.
    UpwardText(y_name, std::max(frame.left - 70, 12.0), frame.top + frame.height / 2, kNameSize);
}

void PictureCanvas::ColourBar(const PlotFrame& bar, Rgb (*colour)(double)) const {
    const bool spread = bar.y_max > bar.y_min;
    const double bottom = bar.top + bar.height;
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, bottom, 0, bar.top);
    // Stops a twentieth apart follow a ramp's bends closely enough.
    const int stops = spread ? 20 : 0;
    for (int k = 0; k <= stops; ++k) {
        const double t = stops ? static_cast<double>(k) / stops : 0.5;
        const Rgb c = colour(t);
        cairo_pattern_add_color_stop_rgb(gradient, t, c.red, c.green, c.blue);
    }
    cairo_rectangle(cr_, bar.left, bar.top, bar.width, bar.height);
    cairo_set_source(cr_, gradient);
    cairo_fill_preserve(cr_);
    cairo_pattern_destroy(gradient);
    SetColour(0.2, 0.2, 0.2);
    cairo_set_line_width(cr_, 1);
    cairo_stroke(cr_);

    const AxisTicks ticks = NiceTicks(bar.y_min, bar.y_max, TickCountFor(bar.height, 40));
    const double right = bar.left + bar.width;
    for (const double value : ticks.values) {
        const double y = spread ? bar.PixelY(value) : bar.top + bar.height / 2;
        cairo_move_to(cr_, right, y);
        cairo_rel_line_to(cr_, 4, 0);
        cairo_stroke(cr_);
        Text(TickLabel(value, ticks.step), right + 7, y, kLabelSize, Align::Start, Align::Middle);
    }
}

void PictureCanvas::Note(cairo_status_t status) {
    if (failure_ == CAIRO_STATUS_SUCCESS) failure_ = status;
}

void PictureCanvas::Save(const std::string& path) {
    ThrowIfFailed(failure_, path);
    ThrowIfFailed(cairo_status(cr_), path);
    std::string bytes;
    if (format_ == PictureFormat::Png) {
        ThrowIfFailed(cairo_surface_write_to_png_stream(surface_, AppendBytes, &bytes), path);
    } else {
        cairo_surface_finish(surface_);
        ThrowIfFailed(cairo_surface_status(surface_), path);
        bytes.swap(svg_bytes_);
    }
    WriteWholeFile(path, bytes);
}

void ReleasePictureCaches() {
    // cairo's caches hold fontconfig patterns, so they go first.
    cairo_debug_reset_static_data();
    FcFini();
}

int TickCountFor(double pixels, double pixels_per_tick) {
    return std::clamp(static_cast<int>(pixels / pixels_per_tick), 2, 8);
}

}  // namespace mosaro::tool
