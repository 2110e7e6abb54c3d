// The cross-validation picture: does the method follow the data (observed
// against estimated), and where does it miss (residuals on the map).
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "AxisTicks.h"
#include "ColourRamp.h"
#include "Picture.h"
#include "PictureCanvas.h"

namespace mosaro::tool {
namespace {

constexpr int kWidth = 1120;
constexpr int kHeight = 520;
constexpr double kPanel = 400;  // side of each panel's frame
constexpr double kTop = 62;
constexpr double kScatterLeft = 84;
constexpr double kMapLeft = kScatterLeft + kPanel + 96;
constexpr double kLegendGap = 28;  // between the map and its colour scale
constexpr double kBarWidth = 16;
constexpr double kTwoPi = 6.28318530717958648;

bool Estimated(const ValidationPicture& p, std::size_t i) {
    return std::isfinite(p.estimate[i]) && std::isfinite(p.residual[i]) && std::isfinite(p.observed[i]);
}

// A range with a twentieth of its length added at each end, so marks on
// its edge are drawn whole; a single value gets a unit either side.
void Widen(double& lo, double& hi) {
    const double pad = hi > lo ? (hi - lo) / 20 : std::max(std::fabs(lo), 1.0);
    lo -= pad;
    hi += pad;
}

void Clip(cairo_t* cr, const PlotFrame& frame) {
    cairo_rectangle(cr, frame.left, frame.top, frame.width, frame.height);
    cairo_clip(cr);
}

PlotFrame ScatterFrame(const ValidationPicture& p) {
    double lo = INFINITY, hi = -INFINITY;
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        if (!Estimated(p, i)) continue;
        lo = std::min({lo, p.observed[i], p.estimate[i]});
        hi = std::max({hi, p.observed[i], p.estimate[i]});
    }
    if (!(lo <= hi)) lo = 0, hi = 1;  // nothing estimated: empty axes
    Widen(lo, hi);
    // One range on both axes, so the 1:1 line is the diagonal.
    return PlotFrame{kScatterLeft, kTop, kPanel, kPanel, lo, hi, lo, hi};
}

void DrawScatter(const PictureCanvas& canvas, const ValidationPicture& p, const PlotFrame& frame) {
    const double lo = frame.x_min, hi = frame.x_max;
    cairo_t* cr = canvas.Context();
    cairo_save(cr);
    Clip(cr, frame);
    canvas.SetColour(0.45, 0.45, 0.45);
    const double dashes[] = {6, 4};
    cairo_set_dash(cr, dashes, 2, 0);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, frame.PixelX(lo), frame.PixelY(lo));
    cairo_line_to(cr, frame.PixelX(hi), frame.PixelY(hi));
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        if (!Estimated(p, i)) continue;
        cairo_new_path(cr);
        cairo_arc(cr, frame.PixelX(p.observed[i]), frame.PixelY(p.estimate[i]), 3.5, 0, kTwoPi);
        canvas.SetColour(0.12, 0.30, 0.55, 0.45);  // see-through, so crowds show as darker
        cairo_fill_preserve(cr);
        canvas.SetColour(0.08, 0.2, 0.4);
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    const int ticks = TickCountFor(kPanel, 80);
    canvas.Axes(frame, NiceTicks(lo, hi, ticks), NiceTicks(lo, hi, ticks), "observed " + p.value_name,
                "estimated " + p.value_name);
    canvas.SetColour(0.35, 0.35, 0.35);
    canvas.Text("dashed: 1:1", frame.left + 8, frame.top + 8, 11, Align::Start, Align::Start);
}

// The samples' bounding box at one scale in x and y, inside the panel.
PlotFrame MapFrame(const ValidationPicture& p) {
    double x_lo = INFINITY, x_hi = -INFINITY, y_lo = INFINITY, y_hi = -INFINITY;
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        x_lo = std::min(x_lo, p.x[i]);
        x_hi = std::max(x_hi, p.x[i]);
        y_lo = std::min(y_lo, p.y[i]);
        y_hi = std::max(y_hi, p.y[i]);
    }
    if (!(x_lo <= x_hi)) x_lo = 0, x_hi = 1, y_lo = 0, y_hi = 1;
    Widen(x_lo, x_hi);
    Widen(y_lo, y_hi);
    const double scale = kPanel / std::max(x_hi - x_lo, y_hi - y_lo);
    const double width = std::max(std::round((x_hi - x_lo) * scale), kPanel / 4);
    const double height = std::max(std::round((y_hi - y_lo) * scale), kPanel / 4);
    return PlotFrame{kMapLeft, kTop, width, height, x_lo, x_lo + width / scale, y_lo, y_lo + height / scale};
}

void DrawResidualMap(const PictureCanvas& canvas, const ValidationPicture& p, const PlotFrame& frame, double largest) {
    cairo_t* cr = canvas.Context();
    cairo_save(cr);
    Clip(cr, frame);
    cairo_set_line_width(cr, 0.8);
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        const double x = frame.PixelX(p.x[i]), y = frame.PixelY(p.y[i]);
        if (!Estimated(p, i)) {  // a grey cross: there, but not estimated
            canvas.SetColour(0.5, 0.5, 0.5);
            cairo_move_to(cr, x - 3, y - 3);
            cairo_line_to(cr, x + 3, y + 3);
            cairo_move_to(cr, x + 3, y - 3);
            cairo_line_to(cr, x - 3, y + 3);
            cairo_stroke(cr);
            continue;
        }
        const Rgb colour = DivergingColour(largest > 0 ? 0.5 + p.residual[i] / (2 * largest) : 0.5);
        cairo_new_path(cr);
        cairo_arc(cr, x, y, 4.5, 0, kTwoPi);
        canvas.SetColour(colour.red, colour.green, colour.blue);
        cairo_fill_preserve(cr);
        canvas.SetColour(0.25, 0.25, 0.25);  // the rim keeps near-white marks visible
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    canvas.Axes(frame, NiceTicks(frame.x_min, frame.x_max, TickCountFor(frame.width, 100)),
                NiceTicks(frame.y_min, frame.y_max, TickCountFor(frame.height, 60)), "x", "y");
}

// Symmetric about zero, so white means no error whatever the spread.
void DrawResidualScale(const PictureCanvas& canvas, double left, double largest) {
    const double room = canvas.Width() - left - 8;
    canvas.SetColour(0.1, 0.1, 0.1);
    canvas.Text("residual", left, kTop, 12, Align::Start, Align::Start, true, room);
    canvas.Text("observed - estimate", left, kTop + 18, 10, Align::Start, Align::Start, false, room);
    const double range = largest > 0 ? largest : 1;
    const PlotFrame bar{left, kTop + 62, kBarWidth, kPanel - 86, 0, 1, -range, range};
    canvas.ColourBar(bar, DivergingColour);
    canvas.Text("estimated too high", bar.left, bar.top + bar.height + 8, 10, Align::Start, Align::Start);
    canvas.Text("estimated too low", bar.left, bar.top - 8, 10, Align::Start, Align::End);
}

}  // namespace

ValidationLayout ComputeValidationLayout(const ValidationPicture& p) { return {ScatterFrame(p), MapFrame(p)}; }

void DrawValidation(const ValidationPicture& p, PictureFormat format, const std::string& path) {
    const std::size_t n = p.x.size();
    if (p.y.size() != n || p.observed.size() != n || p.estimate.size() != n || p.residual.size() != n)
        throw std::runtime_error("cross-validation picture: the per-sample lists differ in length");
    double largest = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (Estimated(p, i)) largest = std::max(largest, std::fabs(p.residual[i]));
    PictureCanvas canvas(format, kWidth, kHeight);
    canvas.Title(p.title);
    const ValidationLayout layout = ComputeValidationLayout(p);
    DrawScatter(canvas, p, layout.scatter);
    DrawResidualMap(canvas, p, layout.map, largest);
    DrawResidualScale(canvas, layout.map.left + layout.map.width + kLegendGap, largest);
    canvas.Save(path);
}

}  // namespace mosaro::tool
