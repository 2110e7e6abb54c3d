// The tool's pictures, read back through cairo: the map is north up and
// east right, the colours follow the data's range, the degenerate grids
// still draw, and failures say which file they concern.
#include "Picture.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "AxisTicks.h"
#include "ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;
using namespace mosaro::tool;
using Colour = std::array<int, 3>;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
// The ends and the middle of the viridis ramp.
constexpr Colour kLow = {0x44, 0x01, 0x54};
constexpr Colour kMiddle = {0x21, 0x90, 0x8C};
constexpr Colour kHigh = {0xFD, 0xE7, 0x25};

class PngFile {
public:
    explicit PngFile(const std::string& path) : surface_(cairo_image_surface_create_from_png(path.c_str())) {}
    ~PngFile() { cairo_surface_destroy(surface_); }
    PngFile(const PngFile&) = delete;
    PngFile& operator=(const PngFile&) = delete;

    bool Readable() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
    int Width() const { return cairo_image_surface_get_width(surface_); }
    int Height() const { return cairo_image_surface_get_height(surface_); }
    // The pixel that contains the point (x, y) of the picture.
    Colour At(double x, double y) const {
        const unsigned char* row =
            cairo_image_surface_get_data(surface_) +
            static_cast<std::ptrdiff_t>(std::floor(y)) * cairo_image_surface_get_stride(surface_);
        std::uint32_t pixel;
        std::memcpy(&pixel, row + 4 * static_cast<std::ptrdiff_t>(std::floor(x)), sizeof pixel);
        return {static_cast<int>(pixel >> 16 & 0xFF), static_cast<int>(pixel >> 8 & 0xFF),
                static_cast<int>(pixel & 0xFF)};
    }
    bool Contains(const Colour& colour) const {
        for (int y = 0; y < Height(); ++y)
            for (int x = 0; x < Width(); ++x)
                if (At(x, y) == colour) return true;
        return false;
    }

private:
    cairo_surface_t* surface_;
};

class PictureTest : public mosaro_test::ScratchDirectoryTest {
protected:

    // The value i + 10 j puts the minimum in the south-west and the maximum
    // in the north-east, so any flip of the map shows at its corners.
    static std::vector<float> Asymmetric() {
        std::vector<float> values;
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 5; ++i) values.push_back(static_cast<float>(i + 10 * j));
        return values;
    }
    // 5 x 3 nodes (unless told otherwise) over negative coordinates, with
    // cells taller than wide.
    RasterPicture Field(std::vector<float> values = Asymmetric(), int count_x = 5, int count_y = 3) {
        RasterPicture picture;
        picture.nodes = kept_.emplace_back(std::move(values)).data();
        picture.node_count_x = count_x;
        picture.node_count_y = count_y;
        picture.x_min = -250;
        picture.y_min = -100;
        picture.cell_x = 50;
        picture.cell_y = 80;
        picture.title = "zinc, ordinary kriging";
        picture.value_label = "estimate";
        return picture;
    }
    static Colour NodeColour(const PngFile& png, const RasterPicture& picture, int i, int j) {
        const PlotFrame map = ComputeRasterLayout(picture).map;
        return png.At(map.PixelX(picture.x_min + i * picture.cell_x), map.PixelY(picture.y_min + j * picture.cell_y));
    }
    static VariogramSeries Series(const std::string& label, std::vector<VariogramModelCurve> models) {
        return {label, {100, 200, 300, 400, 500}, {40, 120, 180, 150, 90}, {0.2f, 0.45f, 0.6f, 0.66f, 0.7f}, models};
    }

    std::deque<std::vector<float>> kept_;  // the nodes of every picture made, at fixed addresses
};

// Frees the font caches at the end, so the sanitizer build's leak check
// sees only what the pictures themselves fail to release.
class FontCacheRelease : public ::testing::Environment {
public:
    void TearDown() override { ReleasePictureCaches(); }
};
const auto* const kFontCacheRelease = ::testing::AddGlobalTestEnvironment(new FontCacheRelease);

TEST(PictureTicksTest, StepsAreOneTwoOrFiveTimesAPowerOfTenAndCoverTheRange) {
    for (const auto& [lo, hi] :
         {std::pair{0.0, 1.0}, {-275.0, 125.0}, {181000.0, 181037.0}, {1e-7, 3e-7}, {0.0, 4e30}}) {
        const AxisTicks ticks = NiceTicks(lo, hi, 5);
        const double mantissa = ticks.step / std::pow(10.0, std::floor(std::log10(ticks.step)));
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 || std::fabs(mantissa - 5) < 1e-9)
            << lo << ".." << hi << " step " << ticks.step;
        ASSERT_GE(ticks.values.size(), 3u) << lo << ".." << hi;
        EXPECT_LE(ticks.values.size(), 13u) << lo << ".." << hi;
        // Inside the range, and no room for another tick at either end.
        EXPECT_GE(ticks.values.front(), lo);
        EXPECT_LE(ticks.values.back(), hi * (1 + 1e-12));
        EXPECT_LT(ticks.values.front() - ticks.step, lo);
        EXPECT_GT(ticks.values.back() + ticks.step, hi);
    }
    EXPECT_EQ(NiceTicks(0, 1, 5).values, (std::vector<double>{0, 0.2, 0.4, 0.6000000000000001, 0.8, 1}));
    EXPECT_EQ(NiceTicks(-1, 1, 4).values[2], 0.0);  // exactly zero, not a rounding residue
    EXPECT_EQ(NiceTicks(3, 3, 5).values, std::vector<double>{3});
    EXPECT_TRUE(NiceTicks(0, std::numeric_limits<double>::infinity(), 5).values.empty());
}

TEST(PictureTicksTest, LabelsCarryTheDigitsTheStepNeeds) {
    EXPECT_EQ(TickLabel(0.6000000000000001, 0.2), "0.6");
    EXPECT_EQ(TickLabel(-250, 50), "-250");
    EXPECT_EQ(TickLabel(5600000, 200000), "5600000");
    EXPECT_EQ(TickLabel(181020, 10), "181020");
    EXPECT_EQ(TickLabel(1.2e-7, 2e-8), "1.2e-07");
    EXPECT_EQ(TickLabel(3e30, 1e30), "3e+30");
    EXPECT_EQ(TickLabel(1.0000002e9, 2e2), "1.0000002e+09");  // neighbours stay apart
    EXPECT_EQ(ValueLabel(1234.5678), "1234.6");
}

TEST_F(PictureTest, PngIsNorthUpAndEastRightWithTheRampFromMinimumToMaximum) {
    RasterPicture picture = Field();
    DrawRaster(picture, PictureFormat::Png, Path("field.png"));
    PngFile png(Path("field.png"));
    ASSERT_TRUE(png.Readable());
    const RasterLayout layout = ComputeRasterLayout(picture);
    EXPECT_EQ(png.Width(), layout.width);
    EXPECT_EQ(png.Height(), layout.height);
    EXPECT_GE(std::max(layout.map.width, layout.map.height), 600);
    EXPECT_LE(std::max(layout.map.width, layout.map.height), 800);
    // One scale for x and y: 250 by 240 map units make a nearly square map.
    EXPECT_NEAR(layout.map.width / layout.map.height, 250.0 / 240.0, 0.01);

    EXPECT_EQ(NodeColour(png, picture, 0, 0), kLow);   // south-west
    EXPECT_EQ(NodeColour(png, picture, 4, 2), kHigh);  // north-east
    EXPECT_NE(NodeColour(png, picture, 0, 2), kLow);   // north-west
    EXPECT_NE(NodeColour(png, picture, 0, 2), kHigh);
    EXPECT_NE(NodeColour(png, picture, 4, 0), kLow);  // south-east
    EXPECT_NE(NodeColour(png, picture, 4, 0), kHigh);
    // Whole cells, not just their centres: the corner of the map is the
    // south-west cell's colour.
    EXPECT_EQ(png.At(layout.map.left + 1, layout.map.top + layout.map.height - 2), kLow);
}

TEST_F(PictureTest, SamplesAreMarkedWhereTheyLie) {
    RasterPicture picture = Field();
    picture.sample_x = {-250, -50};
    picture.sample_y = {-100, 60};
    DrawRaster(picture, PictureFormat::Png, Path("samples.png"));
    PngFile png(Path("samples.png"));
    ASSERT_TRUE(png.Readable());
    const PlotFrame map = ComputeRasterLayout(picture).map;
    const Colour cell_under[] = {kLow, kHigh};  // the samples sit on the south-west and north-east nodes
    for (std::size_t k = 0; k < 2; ++k) {
        const double x = map.PixelX(picture.sample_x[k]);
        const double y = map.PixelY(picture.sample_y[k]);
        const Colour mark = png.At(x, y);
        EXPECT_GT(mark[0] + mark[1] + mark[2], 3 * 230) << "sample " << k;
        // A few pixels away the cell shows again.
        EXPECT_EQ(png.At(x + 8, y), cell_under[k]) << "sample " << k;
    }
    DrawRaster(picture, PictureFormat::Svg, Path("samples.svg"));
    std::stringstream svg;
    svg << std::ifstream(Path("samples.svg")).rdbuf();
    EXPECT_NE(svg.str().find("<svg"), std::string::npos);
}

TEST_F(PictureTest, NodesWithoutValueAreGreyAndStayOutOfTheColourScale) {
    std::vector<float> values = Asymmetric();
    values[0] = -9999;  // south-west
    values[1] = kNaN;
    values[14] = std::numeric_limits<float>::infinity();  // north-east
    RasterPicture picture = Field(values);
    picture.no_data = -9999.0f;
    DrawRaster(picture, PictureFormat::Png, Path("holes.png"));
    PngFile png(Path("holes.png"));
    ASSERT_TRUE(png.Readable());
    for (const auto& [i, j] : {std::pair{0, 0}, {1, 0}, {4, 2}}) {
        const Colour grey = NodeColour(png, picture, i, j);
        EXPECT_TRUE(grey[0] == grey[1] && grey[1] == grey[2]) << "node " << i << "," << j;
    }
    // The scale runs over what is left: 2 in the south, 23 in the north.
    EXPECT_EQ(NodeColour(png, picture, 2, 0), kLow);
    EXPECT_EQ(NodeColour(png, picture, 3, 2), kHigh);
}

TEST_F(PictureTest, DegenerateGridsStillDraw) {
    // Values, node counts, and the colours of the first and last nodes (a
    // single value is neither low nor high; nothing of the ramp without values).
    const std::optional<Colour> none;
    const struct {
        std::vector<float> values;
        int nx, ny;
        std::optional<Colour> first, last;
    } cases[] = {
        {{3}, 1, 1, kMiddle, kMiddle},
        {std::vector<float>(15, 7.5f), 5, 3, kMiddle, kMiddle},
        {std::vector<float>(15, kNaN), 5, 3, none, none},
        {{-3e38f, 1e-30f, 3e38f}, 3, 1, kLow, kHigh},  // a single row of extreme values
    };
    for (const auto& c : cases) {
        RasterPicture picture = Field(c.values, c.nx, c.ny);
        DrawRaster(picture, PictureFormat::Png, Path("degenerate.png"));
        PngFile png(Path("degenerate.png"));
        ASSERT_TRUE(png.Readable()) << c.nx << " x " << c.ny;
        EXPECT_GE(ComputeRasterLayout(picture).map.height, 100);  // a drawable height
        if (c.first) {
            EXPECT_EQ(NodeColour(png, picture, 0, 0), *c.first);
            EXPECT_EQ(NodeColour(png, picture, c.nx - 1, c.ny - 1), *c.last);
        } else {
            EXPECT_FALSE(png.Contains(kLow));
        }
    }
}

TEST_F(PictureTest, FailuresNameTheirCause) {
    RasterPicture picture = Field();
    const std::string unwritable = Path("no-such-directory/field.png");
    try {
        DrawRaster(picture, PictureFormat::Png, unwritable);
        FAIL() << "wrote to a missing directory";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(unwritable), std::string::npos) << error.what();
    }
    EXPECT_THROW(DrawVariograms({}, "", PictureFormat::Svg, unwritable), std::runtime_error);

    // Wider than cairo's largest image: refused, not drawn grey.
    EXPECT_THROW(DrawRaster(Field(std::vector<float>(40000, 1.0f), 40000, 1), PictureFormat::Png, Path("wide.png")),
                 std::runtime_error);
    picture.cell_y = 0;
    EXPECT_THROW(DrawRaster(picture, PictureFormat::Png, Path("flat-cells.png")), std::runtime_error);
    picture = Field();
    picture.sample_x = {0};
    EXPECT_THROW(DrawRaster(picture, PictureFormat::Png, Path("half-samples.png")), std::runtime_error);
    VariogramSeries short_pairs = Series("x direction", {});
    short_pairs.pairs.pop_back();
    EXPECT_THROW(DrawVariograms({short_pairs}, "", PictureFormat::Png, Path("short.png")), std::runtime_error);
    EXPECT_TRUE(fs::is_empty(dir_));  // nothing half-written
}

TEST_F(PictureTest, ValidationColoursResidualsBySignAndPlotsObservedAlongX) {
    // Three samples on a line: too low (red), exact (white), too high (blue),
    // and one not estimated (a grey cross, left out of the scatter).
    ValidationPicture p;
    p.x = {0, 500, 1000, 1500};
    p.y = {0, 250, 500, 750};
    p.observed = {10, 20, 30, 40};
    p.estimate = {4, 20, 36, NAN};
    p.residual = {6, 0, -6, NAN};
    p.value_name = "zinc";
    DrawValidation(p, PictureFormat::Png, Path("cv.png"));
    PngFile png(Path("cv.png"));
    ASSERT_TRUE(png.Readable());
    const ValidationLayout layout = ComputeValidationLayout(p);
    const auto mapAt = [&](std::size_t i) { return png.At(layout.map.PixelX(p.x[i]), layout.map.PixelY(p.y[i])); };
    EXPECT_EQ(mapAt(0), (Colour{0xB2, 0x18, 0x2B}));  // the ends of the scale: the largest residual
    EXPECT_EQ(mapAt(1), (Colour{0xF7, 0xF7, 0xF7}));
    EXPECT_EQ(mapAt(2), (Colour{0x21, 0x66, 0xAC}));
    const Colour cross = mapAt(3);
    EXPECT_EQ(cross[0], cross[1]);
    EXPECT_EQ(cross[1], cross[2]);
    // Observed 10 along x, estimated 4 along y: below the diagonal, where
    // the other reading (4, 10) would lie above it and stay white.
    const PlotFrame& s = layout.scatter;
    EXPECT_EQ(s.x_min, s.y_min);
    EXPECT_EQ(s.x_max, s.y_max);
    const Colour point = png.At(s.PixelX(10), s.PixelY(4));
    EXPECT_LT(point[0], 200) << "no point at (observed, estimated)";
    EXPECT_EQ(png.At(s.PixelX(4), s.PixelY(10)), (Colour{0xFF, 0xFF, 0xFF}));
    EXPECT_LT(s.x_max, 40);  // the unestimated sample's observed value sets no range

    p.residual.pop_back();
    EXPECT_THROW(DrawValidation(p, PictureFormat::Png, Path("short.png")), std::runtime_error);
    EXPECT_FALSE(fs::exists(Path("short.png")));
}

TEST_F(PictureTest, VariogramsDrawFiniteModelsAndSkipTheOthers) {
    // The first model's colour (the legend line and the curve) appears only
    // when the model can be drawn.
    const Colour first_model = {31, 120, 181};
    const std::vector<VariogramSeries> fitted = {
        Series("x direction", {{"legacy fit", 0.1f, 0.55f, 350}, {"robust fit", 0.05f, 0.6f, 420}}),
        Series("y direction", {{"legacy fit", 0.1f, 0.5f, 300}})};
    DrawVariograms(fitted, "zinc, x and y", PictureFormat::Png, Path("fitted.png"));
    PngFile fitted_png(Path("fitted.png"));
    ASSERT_TRUE(fitted_png.Readable());
    EXPECT_TRUE(fitted_png.Contains(first_model));

    const float nan = kNaN;
    DrawVariograms({Series("omnidirectional", {{"legacy fit", nan, nan, nan}})}, "zinc", PictureFormat::Png,
                   Path("unfitted.png"));
    PngFile unfitted_png(Path("unfitted.png"));
    ASSERT_TRUE(unfitted_png.Readable());
    EXPECT_EQ(unfitted_png.Width(), fitted_png.Width());
    EXPECT_FALSE(unfitted_png.Contains(first_model));

    // Nothing to show but an empty frame: still a picture.
    DrawVariograms({VariogramSeries{"omnidirectional", {}, {}, {}, {}}}, "", PictureFormat::Png, Path("empty.png"));
    EXPECT_TRUE(PngFile(Path("empty.png")).Readable());
}

}  // namespace
