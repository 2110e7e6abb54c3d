// The variogram picture: the experimental semivariances of each direction
// as points, the models fitted to them as curves, and a legend beside.
#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <vector>

#include "AxisTicks.h"
#include "Picture.h"
#include "PictureCanvas.h"

namespace mosaro::tool {
namespace {

constexpr int kWidth = 860;
constexpr double kPlotLeft = 84;
constexpr double kPlotTop = 50;
constexpr double kPlotWidth = 500;
constexpr double kPlotHeight = 380;
constexpr double kMarginBottom = 62;
constexpr double kLegendLeft = kPlotLeft + kPlotWidth + 28;
constexpr double kLegendRow = 19;
constexpr double kCurveSteps = 240;  // enough that the curve's bend at the range shows no facets

// A colour per model (the same label has the same colour in every series),
// chosen to stay apart from each other and from the grey points.
constexpr double kModelColours[][3] = {
    {0.12, 0.47, 0.71}, {0.84, 0.15, 0.16}, {0.17, 0.63, 0.17}, {1.00, 0.50, 0.05}, {0.58, 0.40, 0.74},
};
// A line style and a marker shape per series, so directions stay apart in
// grey print too.
const std::vector<std::vector<double>> kSeriesDashes = {{}, {8, 4}, {2, 3}, {9, 3, 2, 3}};
enum class Marker { Circle, Square, Triangle, Diamond };
constexpr Marker kSeriesMarkers[] = {Marker::Circle, Marker::Square, Marker::Triangle, Marker::Diamond};

bool IsFinite(const VariogramModelCurve& model) {
    if (model.semivariance) return std::isfinite(model.reach) && std::isfinite(model.top);
    return std::isfinite(model.nugget) && std::isfinite(model.partial_sill) && std::isfinite(model.range);
}

double Spherical(const VariogramModelCurve& model, double h) {
    if (model.semivariance) return h <= 0 ? 0 : model.semivariance(h);
    if (h <= 0) return 0;
    if (h >= model.range) return static_cast<double>(model.nugget) + model.partial_sill;
    const double r = h / model.range;
    return model.nugget + model.partial_sill * (1.5 * r - 0.5 * r * r * r);
}

bool HasPoint(const VariogramSeries& series, std::size_t k) {
    return std::isfinite(series.lag[k]) && std::isfinite(series.semivariance[k]) &&
           (series.pairs.empty() || series.pairs[k] > 0);
}

void Validate(const std::vector<VariogramSeries>& all_series) {
    for (const VariogramSeries& series : all_series)
        if (series.semivariance.size() != series.lag.size() ||
            (!series.pairs.empty() && series.pairs.size() != series.lag.size()))
            throw std::runtime_error("variogram picture: lag, semivariance and pair lists of '" + series.label +
                                     "' differ in length");
}

// Both axes start at 0 and end at a round tick past the last point, the
// largest range and the highest sill, so every curve reaches its plateau.
PlotFrame FrameFor(const std::vector<VariogramSeries>& all_series) {
    double lag_end = 0;
    double gamma_end = 0;
    for (const VariogramSeries& series : all_series) {
        for (std::size_t k = 0; k < series.lag.size(); ++k) {
            if (!HasPoint(series, k)) continue;
            lag_end = std::max(lag_end, static_cast<double>(series.lag[k]));
            gamma_end = std::max(gamma_end, static_cast<double>(series.semivariance[k]));
        }
        for (const VariogramModelCurve& model : series.models) {
            if (!IsFinite(model)) continue;
            if (model.semivariance) {
                lag_end = std::max(lag_end, model.reach);
                gamma_end = std::max(gamma_end, model.top);
                continue;
            }
            lag_end = std::max(lag_end, static_cast<double>(model.range));
            gamma_end = std::max(
                {gamma_end, static_cast<double>(model.nugget), static_cast<double>(model.nugget) + model.partial_sill});
        }
    }
    const auto round_end = [](double end) {
        if (!(end > 0)) return 1.0;
        const AxisTicks ticks = NiceTicks(0, end * 1.05, 5);
        return ticks.values.back() >= end * 1.05 ? ticks.values.back() : ticks.values.back() + ticks.step;
    };
    PlotFrame frame;
    frame.left = kPlotLeft;
    frame.top = kPlotTop;
    frame.width = kPlotWidth;
    frame.height = kPlotHeight;
    frame.x_max = round_end(lag_end);
    frame.y_max = round_end(gamma_end);
    return frame;
}

void MarkerPath(cairo_t* cr, Marker marker, double x, double y, double radius) {
    cairo_new_path(cr);
    switch (marker) {
        case Marker::Circle: cairo_arc(cr, x, y, radius, 0, 6.28318530717958648); break;
        case Marker::Square:
            cairo_rectangle(cr, x - radius * 0.89, y - radius * 0.89, radius * 1.78, radius * 1.78);
            break;
        case Marker::Triangle:
            cairo_move_to(cr, x, y - radius * 1.2);
            cairo_line_to(cr, x + radius * 1.05, y + radius * 0.6);
            cairo_line_to(cr, x - radius * 1.05, y + radius * 0.6);
            cairo_close_path(cr);
            break;
        case Marker::Diamond:
            cairo_move_to(cr, x, y - radius * 1.25);
            cairo_line_to(cr, x + radius * 1.25, y);
            cairo_line_to(cr, x, y + radius * 1.25);
            cairo_line_to(cr, x - radius * 1.25, y);
            cairo_close_path(cr);
            break;
    }
}

void DrawMarker(const PictureCanvas& canvas, Marker marker, double x, double y, double radius) {
    cairo_t* cr = canvas.Context();
    MarkerPath(cr, marker, x, y, radius);
    canvas.SetColour(0.25, 0.25, 0.25, 0.55);
    cairo_fill_preserve(cr);
    canvas.SetColour(0.1, 0.1, 0.1);
    cairo_set_line_width(cr, 1);
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_stroke(cr);
}

void SetLineStyle(const PictureCanvas& canvas, std::size_t series_index, int colour_index) {
    const double* colour = kModelColours[colour_index % std::size(kModelColours)];
    canvas.SetColour(colour[0], colour[1], colour[2]);
    const std::vector<double>& dashes = kSeriesDashes[series_index % kSeriesDashes.size()];
    cairo_set_dash(canvas.Context(), dashes.data(), static_cast<int>(dashes.size()), 0);
    cairo_set_line_width(canvas.Context(), 2);
}

// Points grow with the square root of their pairs, so the area of a mark
// follows how much data stands behind it.
void DrawPoints(const PictureCanvas& canvas, const VariogramSeries& series, Marker marker, const PlotFrame& frame) {
    double most_pairs = 0;
    for (const float pairs : series.pairs) most_pairs = std::max(most_pairs, static_cast<double>(pairs));
    for (std::size_t k = 0; k < series.lag.size(); ++k) {
        if (!HasPoint(series, k)) continue;
        const double share =
            most_pairs > 0 && std::isfinite(most_pairs) ? std::sqrt(series.pairs[k] / most_pairs) : 0.5;
        DrawMarker(canvas, marker, frame.PixelX(series.lag[k]), frame.PixelY(series.semivariance[k]), 2.5 + 4 * share);
    }
}

void DrawCurve(const PictureCanvas& canvas, const VariogramModelCurve& model, const PlotFrame& frame) {
    cairo_t* cr = canvas.Context();
    cairo_new_path(cr);
    // The model is 0 at h = 0 and jumps to the nugget just beyond; the
    // curve starts on the nugget, as the eye expects of a fitted model.
    for (int step = 0; step <= kCurveSteps; ++step) {
        const double h = std::max(frame.x_max * step / kCurveSteps, frame.x_max * 1e-9);
        cairo_line_to(cr, frame.PixelX(h), frame.PixelY(Spherical(model, h)));
    }
    cairo_stroke(cr);
}

// One row per series (its marker and name) followed by one indented row per
// model (its line and name).
void DrawLegend(const PictureCanvas& canvas, const std::vector<VariogramSeries>& all_series,
                const std::map<std::string, int>& model_colours) {
    cairo_t* cr = canvas.Context();
    const double room = kWidth - kLegendLeft - 8;
    double y = kPlotTop + kLegendRow / 2;
    for (std::size_t s = 0; s < all_series.size(); ++s) {
        const VariogramSeries& series = all_series[s];
        DrawMarker(canvas, kSeriesMarkers[s % std::size(kSeriesMarkers)], kLegendLeft + 6, y, 4.5);
        canvas.SetColour(0.1, 0.1, 0.1);
        canvas.Text(series.label, kLegendLeft + 18, y, 12, Align::Start, Align::Middle, true, room - 18);
        y += kLegendRow;
        for (const VariogramModelCurve& model : series.models) {
            if (IsFinite(model)) {
                SetLineStyle(canvas, s, model_colours.at(model.label));
                cairo_move_to(cr, kLegendLeft + 12, y);
                cairo_rel_line_to(cr, 28, 0);
                cairo_stroke(cr);
            }
            canvas.SetColour(0.1, 0.1, 0.1);
            const std::string text = IsFinite(model) ? model.label : model.label + " (no finite model)";
            canvas.Text(text, kLegendLeft + 46, y, 11, Align::Start, Align::Middle, false, room - 46);
            y += kLegendRow;
        }
        y += kLegendRow / 2;
    }
}

}  // namespace

void DrawVariograms(const std::vector<VariogramSeries>& all_series, const std::string& title, PictureFormat format,
                    const std::string& path) {
    Validate(all_series);
    std::map<std::string, int> model_colours;
    std::size_t legend_rows = 0;
    for (const VariogramSeries& series : all_series) {
        legend_rows += 1 + series.models.size();
        for (const VariogramModelCurve& model : series.models)
            model_colours.emplace(model.label, static_cast<int>(model_colours.size()));
    }
    // A long legend lengthens the picture rather than running off its foot.
    const double legend_height = (legend_rows + all_series.size() / 2.0 + 1) * kLegendRow;
    const int height = static_cast<int>(kPlotTop + std::max(kPlotHeight + kMarginBottom, legend_height + 12));

    const PlotFrame frame = FrameFor(all_series);
    PictureCanvas canvas(format, kWidth, height);
    canvas.Title(title);
    cairo_t* cr = canvas.Context();
    cairo_save(cr);
    cairo_rectangle(cr, frame.left, frame.top, frame.width, frame.height);
    cairo_clip(cr);
    for (std::size_t s = 0; s < all_series.size(); ++s) {
        for (const VariogramModelCurve& model : all_series[s].models) {
            if (!IsFinite(model)) continue;
            SetLineStyle(canvas, s, model_colours.at(model.label));
            DrawCurve(canvas, model, frame);
        }
    }
    // Points over the curves, so a curve never hides the data it was fitted to.
    for (std::size_t s = 0; s < all_series.size(); ++s)
        DrawPoints(canvas, all_series[s], kSeriesMarkers[s % std::size(kSeriesMarkers)], frame);
    cairo_restore(cr);
    canvas.Axes(frame, NiceTicks(frame.x_min, frame.x_max, 6), NiceTicks(frame.y_min, frame.y_max, 6), "lag distance",
                "semivariance");
    DrawLegend(canvas, all_series, model_colours);
    canvas.Save(path);
}

}  // namespace mosaro::tool
