// Binary grid file: the writer behind CKriging::OutKrigingGridFile and the
// reader other tools use to load what it wrote.
//
// Layout, little-endian, no gaps, N = (nCellCountX + 1) * (nCellCountY + 1):
//   0   32 bytes  identification "#NEMRAGRIDB#DRAVTONEMRA" padded with blanks
//   32  float     422.5 and, at 36, float 425.0 (format marks)
//   40  28 bytes  text field, written empty (zeros); 68: 32-bit word, 0
//   72  uint16    nodes per row, (nCellCountX + 1) & 0xFFFF
//   74  uint16    rows, (nCellCountY + 1) & 0xFFFF
//   76  float     fCellSizeX; 80: fCellSizeY; 84: the blank value -1e38
//   88  float     smallest non-blank node; 92: largest node, blanks included
//   96  int32     N
//   100 N floats  the nodes in grid order (row 0 first, x fastest)
//   then 9 bytes  "#ENDDATA#"
// The grid's origin is not stored. Nodes are copied bit for bit, NaN payloads
// and signed zeros included.
//
// Writing never leaves a partial file: the bytes go to a new temporary file
// beside the target, which is renamed over the target only once it is
// complete and closed. On failure the temporary is removed, an existing
// target is left as it was, and std::system_error (errno, path) is thrown.
// A replaced target is a new file: it takes the permissions of a newly
// created file, and a symbolic link at the path is replaced, not followed.
// Arguments that cannot describe a file (no grid, no name, fewer than one
// node per row or column, N beyond 32 bits) throw std::invalid_argument
// before anything is created.
#pragma once

#include <string>
#include <vector>

#include "mosaro.h"

namespace mosaro {

struct GridFile {
    // Cell sizes and counts as written. The 16-bit count fields drop the
    // high bits of a count of 65536 nodes or more; the reader restores them
    // from N. Where N fits either count having wrapped (the other count is
    // 1), it takes the row length as the wrapped one.
    TGRIDCELLXY layout;
    float minimum;
    float maximum;
    float blank;
    std::vector<float> nodes;
};

// Reads a grid file. Throws std::system_error when the file cannot be read
// and std::runtime_error when its content is not a well-formed grid file
// (identification, format marks, counts against N, exact length, trailer).
// The text field and the word at 68 are not checked: other writers may use
// them.
GridFile ReadGridFile(const std::string& path);

// Writes (nCellCountX + 1) * (nCellCountY + 1) nodes of `grid` to `path`;
// CKriging::OutKrigingGridFile is this function.
void WriteGridFile(const float* grid, TGRIDCELLXY layout, const char* path);

}  // namespace mosaro
