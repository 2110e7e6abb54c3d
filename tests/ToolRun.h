// What the tool's tests share: running the real binary in a scratch folder,
// reading back what it wrote.
#pragma once

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "DemoData.h"
#include "ScratchDirectory.h"

namespace mosaro_tool_test {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ToolRunTest : public mosaro_test::ScratchDirectoryTest {
protected:
    void SetUp() override {
        GDALAllRegister();
        ScratchDirectoryTest::SetUp();
    }

    Outcome Run(const std::string& arguments) const {
        const std::string command =
            std::string(MOSARO_TOOL_PATH) + " " + arguments + " >" + Path("stdout.txt") + " 2>" + Path("stderr.txt");
        Outcome outcome;
        const int raw = std::system(command.c_str());
        outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        outcome.out = Slurp(Path("stdout.txt"));
        outcome.err = Slurp(Path("stderr.txt"));
        fs::remove(Path("stdout.txt"));
        fs::remove(Path("stderr.txt"));
        return outcome;
    }

    // Files in the test folder: outputs, and no staging folder left behind.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// A raster read back in the library's order (row 0 south), as doubles.
struct RasterBack {
    std::vector<double> nodes;
    double transform[6] = {};
    std::optional<double> no_data;
    GDALDataType type = GDT_Unknown;
};

inline RasterBack ReadRasterBack(const std::string& path) {
    RasterBack raster;
    std::unique_ptr<GDALDataset> dataset(static_cast<GDALDataset*>(GDALOpen(path.c_str(), GA_ReadOnly)));
    if (!dataset) {
        ADD_FAILURE() << "GDAL cannot open " << path;
        return raster;
    }
    const int nx = dataset->GetRasterXSize(), ny = dataset->GetRasterYSize();
    dataset->GetGeoTransform(raster.transform);
    GDALRasterBand* band = dataset->GetRasterBand(1);
    raster.type = band->GetRasterDataType();
    int hasNoData = 0;
    const double noData = band->GetNoDataValue(&hasNoData);
    if (hasNoData) raster.no_data = noData;
    std::vector<double> northUp(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
    EXPECT_EQ(band->RasterIO(GF_Read, 0, 0, nx, ny, northUp.data(), nx, ny, GDT_Float64, 0, 0, nullptr), CE_None);
    for (int row = ny - 1; row >= 0; --row)
        raster.nodes.insert(raster.nodes.end(), northUp.begin() + static_cast<std::ptrdiff_t>(row) * nx,
                            northUp.begin() + static_cast<std::ptrdiff_t>(row + 1) * nx);
    // A declared no-data number (the ASCII grid's) reads as no value.
    if (raster.no_data && !std::isnan(*raster.no_data))
        for (double& node : raster.nodes)
            if (node == *raster.no_data) node = NAN;
    return raster;
}

// The first difference of two arrays, bit for bit (NaN equals NaN), or "".
inline std::string FirstBitDifference(const std::vector<double>& expected, const std::vector<double>& actual) {
    if (expected.size() != actual.size())
        return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(actual.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const bool same = (std::isnan(expected[i]) && std::isnan(actual[i])) || expected[i] == actual[i];
        if (!same) {
            std::ostringstream text;
            text.precision(17);
            text << "at " << i << ": expected " << expected[i] << ", got " << actual[i];
            return text.str();
        }
    }
    return "";
}

// The demo data (data/meuse.csv) as the prediction API takes it: every
// number of the file in double.
struct Meuse {
    std::vector<double> x, y, zinc, dist;
};

inline Meuse ReadMeuse() {
    const std::vector<std::vector<double>> c = mosaro_test::DemoColumns();
    return Meuse{c[0], c[1], c[5], c[8]};
}

}  // namespace mosaro_tool_test
