// `mosaro simulate` and `mosaro grid --tile`, run as users run them: the
// realisations read back band by band (the data at their nodes, the same
// bits for a seed, the E-type and exceedance maps made of the bands), the
// refusals (one line, no file), and a tiled grid equal to the grid of one
// piece bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ToolRun.h"

namespace {

using namespace mosaro_tool_test;

// Band `band` (1-based) of a raster in the library's order (row 0 south).
std::vector<double> ReadBand(const std::string& path, int band, int* bands = nullptr) {
    std::unique_ptr<GDALDataset> dataset(static_cast<GDALDataset*>(GDALOpen(path.c_str(), GA_ReadOnly)));
    if (!dataset) {
        ADD_FAILURE() << "GDAL cannot open " << path;
        return {};
    }
    if (bands != nullptr) *bands = dataset->GetRasterCount();
    const int nx = dataset->GetRasterXSize(), ny = dataset->GetRasterYSize();
    std::vector<double> northUp(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny)), nodes;
    EXPECT_EQ(dataset->GetRasterBand(band)->RasterIO(GF_Read, 0, 0, nx, ny, northUp.data(), nx, ny, GDT_Float64, 0, 0,
                                                     nullptr),
              CE_None);
    for (int row = ny - 1; row >= 0; --row)
        nodes.insert(nodes.end(), northUp.begin() + static_cast<std::ptrdiff_t>(row) * nx,
                     northUp.begin() + static_cast<std::ptrdiff_t>(row + 1) * nx);
    return nodes;
}

constexpr int kSide = 21;  // nodes per side, cell 1, first node (0, 0)
constexpr int kRealisations = 5;
constexpr double kThreshold = 12.5;

// Samples on nodes of the grid, so that each realisation must give back
// their values there.
struct NodeSample {
    int column, row;
    double value;
};
const std::vector<NodeSample> kSamples = {{0, 0, 10.5},  {20, 0, 14.0}, {0, 20, 9.25}, {20, 20, 16.0}, {10, 10, 12.0},
                                          {3, 15, 11.0}, {17, 4, 13.5}, {8, 2, 10.0},  {12, 18, 15.5}, {5, 9, 12.75}};

class ToolSimulate : public ToolRunTest {
protected:
    void SetUp() override {
        ToolRunTest::SetUp();
        std::ofstream csv(Path("samples.csv"));
        csv << "x,y,v\n";
        for (const NodeSample& s : kSamples) csv << s.column << "," << s.row << "," << s.value << "\n";
    }
    std::string Simulate(const std::string& more) const {
        return "simulate " + Path("samples.csv") + " --value v --extent 0 0 20 20 --cell 1 --model \"1 Exp(6)\" " +
               "--realisations " + std::to_string(kRealisations) + " -q " + more;
    }
};

TEST_F(ToolSimulate, BandsHonourTheDataRepeatForASeedAndMakeTheEtypeAndExceedanceMaps) {
    ASSERT_EQ(Run(Simulate("--seed 7 -o " + Path("a.tif") + " --etype " + Path("e.tif") + " --exceed " +
                           std::to_string(kThreshold) + " " + Path("x.tif")))
                  .status,
              0);
    ASSERT_EQ(Run(Simulate("--seed 7 --threads 1 -o " + Path("b.tif"))).status, 0);
    ASSERT_EQ(Run(Simulate("--seed 8 -o " + Path("c.tif"))).status, 0);
    ASSERT_EQ(Run(Simulate("--seed 7 -o " + Path("r{}.tif"))).status, 0);
    int bands = 0;
    ReadBand(Path("a.tif"), 1, &bands);
    ASSERT_EQ(bands, kRealisations);
    const std::size_t nodes = kSide * kSide;
    std::vector<double> sum(nodes, 0.0), squares(nodes, 0.0), above(nodes, 0.0);
    bool otherSeedDiffers = false;
    for (int b = 1; b <= kRealisations; ++b) {
        const std::vector<double> band = ReadBand(Path("a.tif"), b);
        ASSERT_EQ(band.size(), nodes);
        EXPECT_EQ(FirstBitDifference(band, ReadBand(Path("b.tif"), b)), "") << "band " << b;
        otherSeedDiffers = otherSeedDiffers || !FirstBitDifference(band, ReadBand(Path("c.tif"), b)).empty();
        // One file per realisation: the same values.
        EXPECT_EQ(FirstBitDifference(band, ReadRasterBack(Path("r" + std::to_string(b) + ".tif")).nodes), "")
            << "file " << b;
        for (const NodeSample& s : kSamples)
            EXPECT_EQ(band[static_cast<std::size_t>(s.row * kSide + s.column)], s.value) << "band " << b;
        for (std::size_t k = 0; k < nodes; ++k)
            sum[k] += band[k], squares[k] += band[k] * band[k], above[k] += band[k] > kThreshold;
    }
    EXPECT_TRUE(otherSeedDiffers);
    const std::vector<double> mean = ReadBand(Path("e.tif"), 1), variance = ReadBand(Path("e.tif"), 2);
    const std::vector<double> share = ReadBand(Path("x.tif"), 1);
    for (std::size_t k = 0; k < nodes; ++k) {
        const double m = sum[k] / kRealisations;
        EXPECT_NEAR(mean[k], m, 1e-12 * std::fabs(m)) << k;
        EXPECT_NEAR(variance[k], squares[k] / kRealisations - m * m, 1e-9) << k;
        EXPECT_EQ(share[k], above[k] / kRealisations) << k;
    }
}

// Each mistake: one line, exit status 1, no file but the samples.
TEST_F(ToolSimulate, RefusalsWriteOneLineAndNoFile) {
    {
        std::ofstream blank(Path("blank.csv"));
        blank << "x,y,v\n1,2,\n3,4,\n";
    }
    const std::string samples = Path("samples.csv") + " --value v --cell 1 -o " + Path("out.tif");
    const struct {
        std::string arguments, message;
    } cases[] = {
        {"simulate " + samples + " --realisations 0", "--realisations must be at least 1"},
        {"simulate " + samples + " --realisations 2 --model \"1 Pow(1.5)\"", "power model has no sill"},
        {"simulate --unconditional --extent 0 0 9 9 --realisations 2 -o " + Path("out.tif"), "needs --model"},
        {"simulate " + Path("blank.csv") + " --value v --realisations 2 -o " + Path("out.tif"), "0 usable samples"},
        {"simulate " + samples + " --realisations 2 --etype " + Path("e.asc"), "two bands of a GeoTIFF"},
        {"grid " + samples + " --tile 16 --legacy", "--tile needs the prediction API"},
        {"grid " + samples + " --tile 24", "multiple of 16"},
        {"grid " + samples + " --tile 16 --png " + Path("p.png"), "--png draws the whole grid"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Run(c.arguments);
        EXPECT_EQ(outcome.status, 1) << c.arguments;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.arguments << "\n" << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_EQ(Entries(), (std::vector<std::string>{"blank.csv", "samples.csv"})) << c.arguments;
    }
}

// Tiles of 16 nodes cut the demo data's clusters on a grid of 50 x 37; each
// tile sees only its own samples, the fitted model is fitted once.
TEST_F(ToolSimulate, TiledGridEqualsTheGridOfOnePieceBitForBit) {
    const std::string demo = std::string(MOSARO_DATA_DIR) + "/meuse.csv --value zinc --size 50 37 -q ";
    for (const std::string& more :
         {std::string("--method lognormal"), std::string("--maxdist 250 --nmin 3 --allow-empty")}) {
        ASSERT_EQ(Run("grid " + demo + more + " -o " + Path("one.tif") + " --variance " + Path("one-v.tif")).status, 0);
        const Outcome tiled =
            Run("grid " + demo + more + " --tile 16 -o " + Path("tiled.tif") + " --variance " + Path("tiled-v.tif"));
        ASSERT_EQ(tiled.status, 0) << tiled.err;
        EXPECT_EQ(FirstBitDifference(ReadRasterBack(Path("one.tif")).nodes, ReadRasterBack(Path("tiled.tif")).nodes),
                  "")
            << more;
        EXPECT_EQ(
            FirstBitDifference(ReadRasterBack(Path("one-v.tif")).nodes, ReadRasterBack(Path("tiled-v.tif")).nodes), "")
            << more;
        std::unique_ptr<GDALDataset> dataset(
            static_cast<GDALDataset*>(GDALOpen(Path("tiled.tif").c_str(), GA_ReadOnly)));
        int blockX = 0, blockY = 0;
        dataset->GetRasterBand(1)->GetBlockSize(&blockX, &blockY);
        EXPECT_EQ(blockX, 16);
        EXPECT_EQ(blockY, 16);
    }
}

}  // namespace
