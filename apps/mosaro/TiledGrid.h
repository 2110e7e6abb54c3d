// `mosaro grid --tile N`: the grid computed window by window, each window
// handed only the samples mosaro_tile_samples names, and written into a
// tiled GeoTIFF as it comes (flushed tile by tile), so that memory holds
// one tile, not the grid nor a row of tiles. The windows share the whole
// samples' frame and one model (a fitted one is fitted once, from every
// sample), which gives the grid of one piece bit for bit.
#pragma once

#include "GridGeometry.h"
#include "ModernRun.h"
#include "RasterStream.h"

namespace mosaro::tool {

// The smallest tile, and what a tile size must be a multiple of: GeoTIFF
// tiles are multiples of 16 pixels.
constexpr int kTileMultiple = 16;

// Runs `prediction` (every field but the targets and outputs, as
// PrepareModernRun left it) over `grid` in tiles of `tile` nodes, writing
// estimates to band 0 of `estimate` and variances to `variance` when
// given. The report adds up the tiles'. Throws ToolError as Predict.
PredictionResult PredictTiles(const ModernRun& run, mosaro_prediction prediction, const GridGeometry& grid, int tile,
                              GeoTiffStream& estimate, GeoTiffStream* variance, bool quiet);

}  // namespace mosaro::tool
