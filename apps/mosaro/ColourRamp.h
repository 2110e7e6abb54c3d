// The colour scale of the raster pictures.
#pragma once

namespace mosaro::tool {

struct Rgb {
    double red = 0;  // each in [0, 1]
    double green = 0;
    double blue = 0;
};

// Viridis, from dark purple at 0 through blue and green to yellow at 1. Its
// lightness rises evenly, so equal value steps look equal, the order reads
// in grey print, and most colour-blind readers see it as others do.
// t outside [0, 1] is clamped.
Rgb RampColour(double t);

// For values on both sides of zero (residuals): blue below, near-white at
// t = 0.5, red above. t outside [0, 1] is clamped.
Rgb DivergingColour(double t);

}  // namespace mosaro::tool
