// Quadrants and octants around a target, for a search that takes at most so
// many samples from each direction.
//
// Sectors run counter-clockwise from the +x axis: quadrant q covers the
// angles [90q, 90(q+1)) degrees, octant k the angles [45k, 45(k+1)). A
// sample at the target itself belongs to sector 0.
#pragma once

namespace mosaro {

// The sector (of `sectors`, 4 or 8) of a sample at offset (dx, dy) from
// the target.
int SectorOf(double dx, double dy, int sectors);

// An axis-aligned box that holds every sample.
struct SampleBox {
    double xMin, yMin, xMax, yMax;
};

// The largest squared distance from the target (x, y) to a point of the box
// within the closed wedge of `sector`: no sample of that sector lies
// farther. -1 when the wedge misses the box.
double FarthestInSector(const SampleBox& box, double x, double y, int sector, int sectors);

}  // namespace mosaro
