// Fuzz target: the tool's point loader on any text as a CSV file (ragged
// rows, quotes, stray bytes, numbers beyond float, empty cells). It must
// either refuse with the tool's own error or return a table whose columns
// agree in length, whose coordinates are finite floats, and whose every row
// was either kept or counted as skipped.
#include <cpl_error.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "SampleLoader.h"
#include "ToolError.h"

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_point_loader: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        CPLSetErrorHandler(CPLQuietErrorHandler);  // GDAL's warnings are not findings
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/mosaro-fuzz-points-" +
               std::to_string(::getpid()) + ".csv";
    }();
    if (size == 0) return 0;
    // The first byte names the columns, as the tool's options would.
    mosaro::tool::SampleColumns columns;
    switch (data[0] % 4) {
        case 1:
            columns.x = "x";
            columns.y = "y";
            break;
        case 2: columns.values = {"v"}; break;
        case 3: columns.values = {"v", "w"}; break;
        default: break;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data + 1, 1, size - 1, file) != size - 1 || std::fclose(file) != 0)
        Fail("cannot write the input file");

    try {
        const mosaro::tool::SampleTable table = mosaro::tool::LoadSamples(path, columns);
        const std::size_t n = table.x.size();
        if (table.y.size() != n || table.row.size() != n || table.values.size() != table.value_names.size())
            Fail("columns of different lengths");
        for (const std::vector<float>& values : table.values)
            if (values.size() != n) Fail("a value column of another length");
        for (std::size_t i = 0; i < n; ++i)
            if (!std::isfinite(table.x[i]) || !std::isfinite(table.y[i])) Fail("a coordinate not finite");
        if (static_cast<long long>(n) + table.skipped != table.rows) Fail("rows neither kept nor skipped");
    } catch (const mosaro::tool::ToolError&) {
        // a refusal, with its message
    }
    return 0;
}
