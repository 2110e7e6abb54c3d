// Quadrants and octants around a target, for a search that takes at most so
// many samples from each direction.
//
// Sectors run counter-clockwise from the +x axis: quadrant q covers the
// angles [90q, 90(q+1)) degrees, octant k the angles [45k, 45(k+1)). A
// sample at the target itself belongs to sector 0.
#pragma once

#include <cmath>

namespace mosaro {

// The sector (of `sectors`, 4 or 8) of a sample at offset (dx, dy) from
// the target: half-open wedges, so a sample on a boundary ray belongs to
// the sector that ray opens. Inline: the sector search asks it of every
// sample it meets.
inline int SectorOf(double dx, double dy, int sectors) {
    if (dx == 0.0 && dy == 0.0) return 0;
    int quadrant;
    if (dy > 0.0) quadrant = dx > 0.0 ? 0 : 1;
    else if (dy < 0.0) quadrant = dx < 0.0 ? 2 : 3;
    else quadrant = dx < 0.0 ? 2 : 0;
    if (sectors != 8) return quadrant;
    // The second half of a quadrant starts on its diagonal.
    const bool second = quadrant % 2 == 0 ? std::fabs(dy) >= std::fabs(dx) : std::fabs(dx) >= std::fabs(dy);
    return 2 * quadrant + (second ? 1 : 0);
}

// An axis-aligned box that holds every sample.
struct SampleBox {
    double xMin, yMin, xMax, yMax;
};

// The largest squared distance from the target (x, y) to a point of the box
// within the closed wedge of `sector`: no sample of that sector lies
// farther. -1 when the wedge misses the box.
double FarthestInSector(const SampleBox& box, double x, double y, int sector, int sectors);

}  // namespace mosaro
