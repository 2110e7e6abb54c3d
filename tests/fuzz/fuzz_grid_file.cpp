// Fuzz target: the binary grid-file reader on any bytes (truncated files,
// lying headers, counts that wrap or overflow, lengths that disagree). The
// reader must refuse with a file-format status or return a grid whose
// every node it promises can be read and is the file's own bits; a grid it
// accepts must survive a write and a read back unchanged.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mosaro.h"

namespace {

void Fail(const char* what, int status) {
    std::fprintf(stderr, "fuzz_grid_file: %s (status %d: %s)\n", what, status, mosaro_last_message());
    std::abort();
}

std::string TempPath(const char* suffix) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/mosaro-fuzz-grid-" +
           std::to_string(::getpid()) + suffix;
}

bool WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

// The input is rewritten for every case and removed when the run exits.
struct InputFile {
    std::string path;
    ~InputFile() { std::remove(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const InputFile input{TempPath(".grd")};
    static const std::string copy = TempPath("-copy.grd");
    if (!WriteBytes(input.path, data, size)) Fail("cannot write the input file", 0);

    mosaro_grid_file* grid = reinterpret_cast<mosaro_grid_file*>(&size);  // a failure must clear it
    const int status = mosaro_grid_file_read(input.path.c_str(), &grid);
    if (status != MOSARO_OK) {
        if (status != MOSARO_ERROR_FILE_FORMAT) Fail("a malformed file gave another status", status);
        if (grid != nullptr) Fail("a failed read left a handle", status);
        return 0;
    }
    const long long nodes = static_cast<long long>(grid->node_count_x) * grid->node_count_y;
    if (grid->node_count_x < 1 || grid->node_count_y < 1 || 100 + 4 * nodes + 9 != static_cast<long long>(size))
        Fail("accepted counts that do not match the file's length", status);
    if (std::memcmp(grid->nodes, data + 100, static_cast<std::size_t>(4 * nodes)) != 0)
        Fail("nodes differ from the file's bytes", status);

    if (mosaro_grid_file_write(copy.c_str(), grid->nodes, grid->node_count_x, grid->node_count_y, grid->cell_size_x,
                               grid->cell_size_y) != MOSARO_OK)
        Fail("cannot write back a grid that was read", status);
    mosaro_grid_file* again = nullptr;
    const int reread = mosaro_grid_file_read(copy.c_str(), &again);
    if (reread != MOSARO_OK) Fail("cannot read back a grid that was written", reread);
    if (again->node_count_x != grid->node_count_x || again->node_count_y != grid->node_count_y ||
        std::memcmp(again->nodes, grid->nodes, static_cast<std::size_t>(4 * nodes)) != 0)
        Fail("a grid changed on its way through a file", reread);
    mosaro_grid_file_free(again);
    mosaro_grid_file_free(grid);
    std::remove(copy.c_str());
    return 0;
}
