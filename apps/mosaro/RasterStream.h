// A GeoTIFF written piece by piece, for outputs too large to hold whole: the
// realisations of a simulation one band at a time, a tiled grid one tile at
// a time. Values are doubles, so every bit of the library's results is
// kept; windows are in the library's layout (row 0 the southern row, x
// fastest) and turned north-up on the way out.
#pragma once

#include <string>

#include "GdalSupport.h"
#include "RasterWriter.h"

namespace mosaro::tool {

class GeoTiffStream {
public:
    // Creates `path` (a staged name; see StagedOutput.h) with `bands` bands
    // of 64-bit floats; `tile` > 0: tiles of tile x tile pixels, else
    // strips. Throws ToolError naming `target`.
    GeoTiffStream(const std::string& target, const std::string& path, int nodes_x, int nodes_y, int bands,
                  const Georeference& where, int tile = 0);

    // Writes `columns` x `rows` values of band `band` (0-based) whose first
    // is the library's node (column, row).
    void Write(int band, int column, int row, int columns, int rows, const double* values);
    void SetBandName(int band, const std::string& name);
    // Hands what GDAL caches to the file, so that memory stays bounded by
    // what was written since the last call.
    void Flush();
    // Finishes the file; throws ToolError if any write failed.
    void Close();

private:
    std::string target_;
    int nodes_y_ = 0;
    DatasetPtr dataset_;
};

// Whether GeoTiffStream writes `path`: a .tif or .tiff name.
bool IsGeoTiff(const std::string& path);

}  // namespace mosaro::tool
