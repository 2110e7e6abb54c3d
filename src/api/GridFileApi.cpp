// The grid-file functions of the modern C API: the engine's reader and
// writer behind the API's guard, so a host (or the command-line tool) can
// load and save grids without the C++ classes.
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>
#include <system_error>
#include <type_traits>

#include "api/ApiStatus.h"
#include "formats/GridFile.h"

struct mosaro_grid_file_owner {
    mosaro_grid_file view;  // first member: the handle the host sees
    std::vector<float> nodes;
};
// The handle and its owner share an address only in a standard-layout type.
static_assert(std::is_standard_layout_v<mosaro_grid_file_owner>, "mosaro_grid_file_free casts the handle back");

namespace mosaro {
namespace {

// Both failures of the file layer keep their message; they differ in status.
template <class Body>
mosaro_status FileEntry(Body&& body) {
    return GuardedEntry([&] {
        try {
            return body();
        } catch (const std::system_error& e) {
            Refuse(MOSARO_ERROR_FILE, e.what());
        } catch (const std::runtime_error& e) {
            Refuse(MOSARO_ERROR_FILE_FORMAT, e.what());
        }
    });
}

}  // namespace
}  // namespace mosaro

extern "C" MOSARO_API mosaro_status mosaro_grid_file_write(const char* path, const float* grid, int node_count_x,
                                                           int node_count_y, float cell_size_x, float cell_size_y) {
    using namespace mosaro;
    return FileEntry([&] {
        if (path == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "path is null");
        if (grid == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "grid is null");
        if (node_count_x < 1 || node_count_y < 1)
            Refuse(MOSARO_ERROR_NODE_COUNT,
                   FormatMessage("node counts must be at least 1 (got %d x %d)", node_count_x, node_count_y));
        if (std::int64_t{node_count_x} * node_count_y > std::numeric_limits<std::int32_t>::max())
            Refuse(MOSARO_ERROR_TOO_LARGE,
                   FormatMessage("a grid file holds at most 2^31 - 1 nodes (got %d x %d)", node_count_x, node_count_y));
        WriteGridFile(grid, TGRIDCELLXY{cell_size_x, cell_size_y, node_count_x - 1, node_count_y - 1}, path);
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_grid_file_read(const char* path, mosaro_grid_file** grid_file) {
    using namespace mosaro;
    return FileEntry([&] {
        if (path == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "path is null");
        if (grid_file == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "grid_file is null");
        *grid_file = nullptr;  // what a failure leaves
        GridFile file = ReadGridFile(path);
        auto owner = std::make_unique<mosaro_grid_file_owner>();
        owner->nodes = std::move(file.nodes);
        owner->view = mosaro_grid_file{file.layout.nCellCountX + 1,
                                       file.layout.nCellCountY + 1,
                                       file.layout.fCellSizeX,
                                       file.layout.fCellSizeY,
                                       file.minimum,
                                       file.maximum,
                                       file.blank,
                                       owner->nodes.data()};
        *grid_file = &owner.release()->view;
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API mosaro_status mosaro_grid_file_info_get(const mosaro_grid_file* grid_file,
                                                              mosaro_grid_file_info* info) {
    using namespace mosaro;
    return GuardedEntry([&] {
        if (grid_file == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "grid_file is null");
        if (info == nullptr) Refuse(MOSARO_ERROR_NULL_POINTER, "info is null");
        RequireStructSize("info", "mosaro_grid_file_info", info->struct_size,
                          offsetof(mosaro_grid_file_info, nodes) + sizeof info->nodes, sizeof(mosaro_grid_file_info));
        const mosaro_grid_file& f = *grid_file;
        CopyOut(mosaro_grid_file_info{0, f.node_count_x, f.node_count_y, f.cell_size_x, f.cell_size_y, f.minimum,
                                      f.maximum, f.blank, f.nodes},
                info);
        return MOSARO_OK;
    });
}

extern "C" MOSARO_API void mosaro_grid_file_free(mosaro_grid_file* grid_file) {
    // The view is the owner's first member, so the two addresses are one.
    delete reinterpret_cast<mosaro_grid_file_owner*>(grid_file);
}
