// `mosaro info` and `mosaro convert`: the library's binary grid files.
#include <cstdio>
#include <memory>

#include "Commands.h"
#include "Progress.h"
#include "RasterWriter.h"
#include "StagedOutput.h"
#include "ToolError.h"

namespace mosaro::tool {
namespace {

struct GridFileDeleter {
    void operator()(mosaro_grid_file* file) const { mosaro_grid_file_free(file); }
};
using GridFilePtr = std::unique_ptr<mosaro_grid_file, GridFileDeleter>;

// The file and what it holds.
struct ReadFile {
    GridFilePtr handle;
    mosaro_grid_file_info info{};
};

ReadFile ReadGrid(const std::string& path) {
    mosaro_grid_file* file = nullptr;
    if (mosaro_grid_file_read(path.c_str(), &file) != MOSARO_OK) throw ToolError(mosaro_last_message());
    ReadFile read{GridFilePtr(file), {}};
    read.info.struct_size = sizeof read.info;
    if (mosaro_grid_file_info_get(file, &read.info) != MOSARO_OK) throw ToolError(mosaro_last_message());
    return read;
}

}  // namespace

int RunInfoCommand(const std::string& path) {
    const ReadFile read = ReadGrid(path);
    const mosaro_grid_file_info* file = &read.info;
    std::printf("%s: binary grid file\n", path.c_str());
    std::printf("nodes: %d x %d (%lld)\n", file->node_count_x, file->node_count_y,
                static_cast<long long>(file->node_count_x) * file->node_count_y);
    std::printf("cell size: %.9g x %.9g\n", static_cast<double>(file->cell_size_x),
                static_cast<double>(file->cell_size_y));
    std::printf("minimum: %.9g\nmaximum: %.9g\nblank value: %g\n", static_cast<double>(file->minimum),
                static_cast<double>(file->maximum), static_cast<double>(file->blank));
    return kExitOk;
}

int RunConvertCommand(const ConvertOptions& options) {
    RasterDriverFor(options.output);
    StagedOutputs staged;
    const std::string path = staged.Stage(options.output);
    const ReadFile read = ReadGrid(options.input);
    const mosaro_grid_file_info* file = &read.info;
    const Georeference where{options.origin[0], options.origin[1], file->cell_size_x, file->cell_size_y,
                             options.crs.empty() ? "" : CrsToWkt(options.crs)};
    WriteRaster(RasterView{file->nodes, file->node_count_x, file->node_count_y}, where, options.output, path);
    ThrowIfInterrupted();
    staged.Commit();
    return kExitOk;
}

}  // namespace mosaro::tool
