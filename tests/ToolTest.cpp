// The command-line tool, run as users run it: the real binary on real files.
// Every raster it writes is read back (GDAL, or the library's reader for
// .grd) and compared bit for bit with the library's grid for the same
// arguments; every mistake must give its message, a non-zero exit status
// and no file.
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

#include "Progress.h"
#include "TestSupport.h"
#include "ToolError.h"
#include "ToolRun.h"
#include "mosaro.h"

namespace {

using namespace mosaro_tool_test;

// A demo-data run small enough to repeat: lognormal kriging of zinc on a
// 15 x 21 node grid, extent given so that the test can rebuild the request.
// --legacy is the default of earlier versions, so these runs must give
// the legacy request's default grid bit for bit.
const char* const kDemoArguments =
    "--value zinc --method lognormal --extent 178600 329700 181400 333700 --size 15 21 --legacy -q";

class ToolTest : public ToolRunTest {};

// Every row after the header, split at commas; an empty field stays empty.
std::vector<std::vector<std::string>> ReadCsvRows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream row(line);
        for (std::string field; std::getline(row, field, ',');) fields.push_back(field);
        if (!line.empty() && line.back() == ',') fields.emplace_back();
        rows.push_back(fields);
    }
    return rows;
}

// The demo data as the legacy request takes it (whole numbers: exact as floats).
struct DemoSamples {
    std::vector<float> x, y, zinc;
};

const DemoSamples& Demo() {
    static const Meuse m = ReadMeuse();
    static const DemoSamples s{{m.x.begin(), m.x.end()}, {m.y.begin(), m.y.end()}, {m.zinc.begin(), m.zinc.end()}};
    return s;
}

// The request kDemoArguments make, outputs unset.
mosaro_request DemoRequest() {
    const DemoSamples& samples = Demo();
    mosaro_request r;
    mosaro_request_init(&r);
    r.x = samples.x.data(), r.y = samples.y.data(), r.value = samples.zinc.data();
    r.sample_count = static_cast<int>(samples.x.size());
    r.x_min = 178600, r.y_min = 329700, r.x_max = 181400, r.y_max = 333700;
    r.cell_size_x = r.cell_size_y = 200;
    r.node_count_x = 15, r.node_count_y = 21;
    r.neighbour_count = 16;
    r.method = MOSARO_METHOD_LOGNORMAL;
    return r;
}

// The library's grid (and variance) for kDemoArguments, widened to compare with what GDAL reads.
std::vector<double> LibraryDemoGrid(std::vector<double>* variance = nullptr) {
    mosaro_request r = DemoRequest();
    std::vector<float> grid(15 * 21), v(grid.size());
    r.grid = grid.data();
    r.variance = v.data();
    EXPECT_EQ(mosaro_grid(&r), MOSARO_OK) << mosaro_last_message();
    if (variance != nullptr) variance->assign(v.begin(), v.end());
    return {grid.begin(), grid.end()};
}

// The authority code of a raster's CRS.
std::string CrsCode(const std::string& path) {
    std::unique_ptr<GDALDataset> dataset(static_cast<GDALDataset*>(GDALOpen(path.c_str(), GA_ReadOnly)));
    const OGRSpatialReference* crs = dataset ? dataset->GetSpatialRef() : nullptr;
    return crs != nullptr ? crs->GetAuthorityCode(nullptr) : "";
}

TEST_F(ToolTest, EveryOutputFormatHoldsTheLibraryGridBitForBit) {
    std::vector<double> variance;
    const std::vector<double> expected = LibraryDemoGrid(&variance);
    for (const char* name : {"g.tif", "g.asc", "g.nc", "g.img"}) {
        const Outcome run = Run(std::string("grid ") + MOSARO_DATA_DIR + "/meuse.csv " + kDemoArguments + " -o " +
                                Path(name) + " --variance " + Path(std::string("v-") + name));
        ASSERT_EQ(run.status, 0) << name << ": " << run.err;
        EXPECT_EQ(FirstBitDifference(expected, ReadRasterBack(Path(name)).nodes), "") << name;
        EXPECT_EQ(FirstBitDifference(variance, ReadRasterBack(Path(std::string("v-") + name)).nodes), "") << name;
    }
    ASSERT_EQ(
        Run(std::string("grid ") + MOSARO_DATA_DIR + "/meuse.csv " + kDemoArguments + " -o " + Path("g.grd")).status,
        0);
    mosaro_grid_file* file = nullptr;
    ASSERT_EQ(mosaro_grid_file_read(Path("g.grd").c_str(), &file), MOSARO_OK);
    EXPECT_EQ(FirstBitDifference(expected, std::vector<double>(file->nodes, file->nodes + 15 * 21)), "");
    mosaro_grid_file_free(file);

    // info reads it back; convert places it on the map like a direct run.
    const Outcome info = Run("info " + Path("g.grd"));
    EXPECT_NE(info.out.find("nodes: 15 x 21"), std::string::npos) << info.out;
    ASSERT_EQ(Run("convert " + Path("g.grd") + " " + Path("c.tif") + " --origin 178600 329700 --crs EPSG:28992").status,
              0);
    EXPECT_EQ(FirstBitDifference(expected, ReadRasterBack(Path("c.tif")).nodes), "");
    EXPECT_EQ(CrsCode(Path("c.tif")), "28992");
}

TEST_F(ToolTest, RasterIsNorthUpWithPixelCentresOnTheNodes) {
    // A plane rising to the north-east, gridded by linear-drift kriging,
    // which reproduces it: every node read back at its map coordinate.
    std::ofstream(Path("plane.csv")) << [] {
        std::string text = "x,y,v\n";
        for (int i = 0; i < 60; ++i) {
            const double x = 10 + (i * 37) % 100, y = 5 + (i * 53) % 80;
            text += std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(x + 10 * y) + "\n";
        }
        return text;
    }();
    const std::string plane =
        "grid " + Path("plane.csv") + " --method universal-xy --model 0 1000 200 --extent 0 0 120 90 --cell 10 15 -q";
    ASSERT_EQ(Run(plane + " -o " + Path("p.tif") + " --crs EPSG:32631").status, 0);
    // A CRS given once must not cling to a later grid of that name through
    // the side file the first run left.
    for (const char* crs : {" --crs EPSG:32631", ""}) ASSERT_EQ(Run(plane + " -o " + Path("p.asc") + crs).status, 0);
    EXPECT_FALSE(fs::exists(Path("p.prj")));
    const RasterBack raster = ReadRasterBack(Path("p.tif"));
    ASSERT_EQ(raster.nodes.size(), 13u * 7u);
    EXPECT_DOUBLE_EQ(raster.transform[0], -5.0);      // half a cell west of the first node
    EXPECT_DOUBLE_EQ(raster.transform[3], 90 + 7.5);  // half a cell north of the last row
    EXPECT_EQ(CrsCode(Path("p.tif")), "32631");
    std::unique_ptr<GDALDataset> dataset(static_cast<GDALDataset*>(GDALOpen(Path("p.tif").c_str(), GA_ReadOnly)));
    for (const auto& [i, j] : {std::pair{3, 1}, std::pair{12, 6}, std::pair{0, 0}}) {
        const double x = 0 + i * 10.0, y = 0 + j * 15.0;
        const int column = static_cast<int>((x - raster.transform[0]) / raster.transform[1]);
        const int row = static_cast<int>((y - raster.transform[3]) / raster.transform[5]);
        float value = 0;
        ASSERT_EQ(
            dataset->GetRasterBand(1)->RasterIO(GF_Read, column, row, 1, 1, &value, 1, 1, GDT_Float32, 0, 0, nullptr),
            CE_None);
        EXPECT_NEAR(value, x + 10 * y, 1e-2 * (x + 10 * y) + 1e-9) << i << "," << j;  // 0 at the origin
    }
}

TEST_F(ToolTest, GeoPackagePointsGridLikeTheTableAndKeepTheirCrs) {
    const DemoSamples& samples = Demo();
    {
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
        std::unique_ptr<GDALDataset> dataset(driver->Create(Path("meuse.gpkg").c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        OGRSpatialReference rd;
        rd.importFromEPSG(28992);
        OGRLayer* layer = dataset->CreateLayer("samples", &rd, wkbPoint, nullptr);
        // The coordinates kept as a column too, ahead of the value: never
        // the default value column.
        OGRFieldDefn easting("x", OFTReal), zinc("zinc", OFTReal);
        layer->CreateField(&easting);
        layer->CreateField(&zinc);
        for (std::size_t i = 0; i < samples.x.size(); ++i) {
            OGRFeature feature(layer->GetLayerDefn());
            feature.SetField("x", static_cast<double>(samples.x[i]));
            feature.SetField("zinc", static_cast<double>(samples.zinc[i]));
            OGRPoint point(samples.x[i], samples.y[i]);
            feature.SetGeometry(&point);
            ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
        }
    }
    const std::string withoutValue = std::string(kDemoArguments).substr(std::string("--value zinc ").size());
    const Outcome run = Run("grid " + Path("meuse.gpkg") + " " + withoutValue + " -o " + Path("g.tif"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(FirstBitDifference(LibraryDemoGrid(), ReadRasterBack(Path("g.tif")).nodes), "");
    EXPECT_EQ(CrsCode(Path("g.tif")), "28992");
}

TEST_F(ToolTest, ReportPictureAndVariogramForPeopleWhoLook) {
    const Outcome run = Run(std::string("grid ") + MOSARO_DATA_DIR +
                            "/meuse.csv --value zinc --method lognormal --cell 100 --legacy -o " + Path("g.tif") +
                            " --png " + Path("g.png"));
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* part : {"155 samples read", "x direction: nugget", "y direction: nugget", "anisotropy used",
                             "28 x 39 nodes", "wrote"})
        EXPECT_NE(run.out.find(part), std::string::npos) << part << " missing in:\n" << run.out;
    EXPECT_NE(run.err.find("no finite variogram model"), std::string::npos)
        << run.err;  // this cell defeats the legacy fit

    const Outcome robust =
        Run(std::string("grid ") + MOSARO_DATA_DIR +
            "/meuse.csv --value zinc --method lognormal --cell 100 --legacy --fit robust -o " + Path("r.tif"));
    ASSERT_EQ(robust.status, 0) << robust.err;
    EXPECT_EQ(robust.err, "");
    EXPECT_NE(robust.out.find("model (robust fit)"), std::string::npos) << robust.out;
    const std::vector<double> nodes = ReadRasterBack(Path("r.tif")).nodes;
    EXPECT_GT(*std::min_element(nodes.begin(), nodes.end()), 100.0);  // zinc is above 100 mg/kg everywhere

    const std::string png = Slurp(Path("g.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    const Outcome variogram = Run(std::string("variogram ") + MOSARO_DATA_DIR +
                                  "/meuse.csv --value zinc --cell 100 --legacy --plot " + Path("v.svg"));
    ASSERT_EQ(variogram.status, 0) << variogram.err;
    for (const char* part : {"x direction", "after pruning", "semivariance", "legacy fit: nugget", "robust fit: nugget",
                             "omnidirectional"})
        EXPECT_NE(variogram.out.find(part), std::string::npos) << part;
    EXPECT_NE(Slurp(Path("v.svg")).find("<svg"), std::string::npos);
}

TEST_F(ToolTest, EveryMistakeGivesOneLineAStatusAndNoFile) {
    // A skipped row ahead of the negative value: messages name file rows, not samples.
    std::ofstream(Path("t.csv")) << "x,y,v,name\n0,0,1,a\n10,10,abc,d\n10,0,2,b\n0,10,-3,c\n5,5,,e\n";
    std::ofstream(Path("one.csv")) << "x,y,v\n0,0,1\n1e39,0,2\n";
    const std::string meuse = std::string(MOSARO_DATA_DIR) + "/meuse.csv";
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"grid " + Path("none.csv") + " -o " + Path("o.tif"), "none.csv: no such file"},
        {"grid " + Path("t.csv") + " --value w -o " + Path("o.tif"), "no column 'w' (columns: x, y, v, name)"},
        {"grid " + Path("t.csv") + " --value name -o " + Path("o.tif"), "usable samples"},
        {"grid " + Path("one.csv") + " --legacy -o " + Path("o.tif"),
         "1 usable sample (at least 2 are needed); first left out: row 2: coordinate (1e+39, 0) is not a finite float"},
        {"grid " + Path("t.csv") + " --value v --method lognormal -o " + Path("o.tif"),
         "row 4 has v = -3, which lognormal"},
        // The shift as the library receives it: 3.00000001 is 3 as a float.
        {"grid " + Path("t.csv") + " --value v --method lognormal3 --shift 3.00000001 --legacy -o " + Path("o.tif"),
         "row 4 has v = -3"},
        {"grid " + Path("t.csv") + " --value v --method kriging -o " + Path("o.tif"), "unknown method 'kriging'"},
        {"grid " + Path("t.csv") + " --value v --extent 10 0 0 10 -o " + Path("o.tif"), "is inverted"},
        {"grid " + Path("t.csv") + " --value v --cell 1e-6 -o " + Path("o.tif"), "is too large"},
        {"grid " + Path("t.csv") + " --value v -o " + Path("o.xyz"), "unknown output format"},
        {"grid " + Path("t.csv") + " --value v -o " + Path("missing/o.tif"), "no such folder"},
        {"grid " + meuse + " --value zinc --png " + Path("o.bmp") + " -o " + Path("o.tif"), "unknown picture format"},
        {"grid " + Path("t.csv") + " --value v --method indicator -o " + Path("o.tif"), "needs --thresholds"},
        {"grid " + Path("t.csv") + " --value v --method indicator --thresholds 1 -o " + Path("o.tif") + " --variance " +
             Path("v.tif"),
         "indicator kriging gives no kriging variance"},
        // Checked before the samples are read, and before the run.
        {"grid " + Path("none.csv") + " --crs EPSG:0 -o " + Path("o.tif"), "--crs 'EPSG:0' is not"},
        {"grid " + Path("t.csv") + " --value v --size 40000 2 --png " + Path("o.png") + " -o " + Path("o.tif"),
         "too large to draw"},
        {"info " + Path("t.csv"), "not a valid grid file"},
        {"grid " + Path("t.csv") + " --value v -o " + Path("o.tif") + " --variance " + Path("o.tif"),
         "named as two outputs"},
        {"grid " + Path("t.csv") + " --value v -o " + Path("o.tif") + " --variance " +
             (dir_ / ".." / dir_.filename() / "o.tif").string(),
         "named as two outputs"},
        {"grid " + Path("t.csv") + " --value v --arithmetic fast -o " + Path("o.tif"), "unknown arithmetic 'fast'"},
        {"grid " + Path("t.csv") + " --value v -o " + Path("o.tif") + " --condition-mask " + Path("m.tif"),
         "--condition-mask needs --arithmetic accurate"},
        {"cv " + Path("t.csv") + " --value v --method ordinary,universal-x -o " + Path("r.csv"),
         "-o and --plot show one method's residuals"},
        {"cv " + Path("t.csv") + " --value v --method ordinary,indicator", "cannot be cross-validated"},
        {"cv " + Path("t.csv") + " --value v --method ordinary,,lognormal", "has an empty name"},
        {"cv " + Path("t.csv") + " --value v --folds 1", "--folds must be 0 (leave-one-out) or at least 2"},
        {"cv " + Path("t.csv") + " --value v -n 3 --folds 9 -o " + Path("r.csv"), "validation->folds must be 0"},
        // The second method's refusal comes before the first one's run.
        {"cv " + Path("t.csv") + " --value v --method ordinary,lognormal --plot " + Path("r.png"),
         "-o and --plot show one method's residuals"},
        {"cv " + Path("t.csv") + " --value v --method ordinary,lognormal", "row 4 has v = -3, which lognormal"},
        {"cv " + Path("t.csv") + " --value v --plot " + Path("r.gif"), "unknown picture format"},
    };
    for (const auto& c : cases) {
        const Outcome run = Run(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(Entries(), (std::vector<std::string>{"one.csv", "t.csv"}));
    EXPECT_EQ(Run("grid " + Path("t.csv")).status, 2);  // no -o: a usage error
    const Outcome origin = Run("convert a.grd b.tif --origin abc 3");
    EXPECT_EQ(origin.status, 2);
    EXPECT_NE(origin.err.find("--origin"), std::string::npos) << origin.err;
}

// A field read back from the residuals CSV: empty is NaN.
float CsvFloat(const std::string& field) { return field.empty() ? NAN : std::stof(field); }

TEST_F(ToolTest, CrossValidationRowsAreTheLibrarysAndEachMethodGetsASummaryRow) {
    const std::string demo =
        std::string("cv ") + MOSARO_DATA_DIR +
        "/meuse.csv --value zinc --extent 178600 329700 181400 333700 --cell 200 --folds 5 --seed 3";
    const Outcome run = Run(demo + " --method lognormal -o " + Path("cv.csv") + " --plot " + Path("cv.png") + " -q");
    ASSERT_EQ(run.status, 0) << run.err;

    const mosaro_request request = DemoRequest();
    mosaro_samples* samples = nullptr;
    ASSERT_EQ(mosaro_samples_create(request.x, request.y, request.value, request.sample_count, nullptr, 0, &samples),
              MOSARO_OK);
    const std::size_t n = static_cast<std::size_t>(request.sample_count);
    std::vector<float> estimate(n), variance(n), residual(n), standardised(n);
    std::vector<int> fold(n);
    mosaro_validation v{sizeof v,   5, 3, estimate.data(), variance.data(), residual.data(), standardised.data(),
                        fold.data()};
    mosaro_validation_summary summary{};
    summary.struct_size = sizeof summary;
    ASSERT_EQ(mosaro_cross_validate(samples, &request, &v, &summary), MOSARO_OK) << mosaro_last_message();
    mosaro_samples_free(samples);

    const auto rows = ReadCsvRows(Path("cv.csv"));
    ASSERT_EQ(rows.size(), n);
    std::vector<float> columns[5];
    for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(rows[i].size(), 8u) << i;
        EXPECT_EQ(CsvFloat(rows[i][0]), request.x[i]);
        EXPECT_EQ(CsvFloat(rows[i][2]), request.value[i]);
        for (int c = 0; c < 4; ++c) columns[c].push_back(CsvFloat(rows[i][3 + c]));
        EXPECT_EQ(std::stoi(rows[i][7]), fold[i]) << i;
    }
    EXPECT_EQ(mosaro_test::FirstDifference(estimate, columns[0]), "");
    EXPECT_EQ(mosaro_test::FirstDifference(variance, columns[1]), "");
    EXPECT_EQ(mosaro_test::FirstDifference(residual, columns[2]), "");
    EXPECT_EQ(mosaro_test::FirstDifference(standardised, columns[3]), "");

    const std::string png = Slurp(Path("cv.png"));
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_GT(png.size(), 20000u);  // two panels of points, axes and a scale; a blank picture is far smaller

    // One row per method, the lognormal one with the numbers above.
    const Outcome several = Run(demo + " --method ordinary,universal-xy,lognormal");
    ASSERT_EQ(several.status, 0) << several.err;
    char expected[160];
    std::snprintf(expected, sizeof expected, "%-12s %9d %13d %12.5g %12.5g %12.5g", "lognormal", summary.estimated,
                  summary.not_estimated, summary.mean_error, summary.mean_absolute_error,
                  summary.root_mean_square_error);
    EXPECT_NE(several.out.find(expected), std::string::npos) << expected << "\n" << several.out;
    for (const char* row : {"\nordinary ", "\nuniversal-xy ", "\nlognormal "})
        EXPECT_NE(several.out.find(row), std::string::npos) << row << "\n" << several.out;
    EXPECT_NE(several.out.find("5-fold cross-validation (seed 3)"), std::string::npos) << several.out;
}

TEST_F(ToolTest, AccurateGridKeepsNegativeEstimatesAndMarksWhatItCannotTrust) {
    // Negative values, and two samples at one place: a singular system.
    std::vector<float> x, y, v;
    std::string text = "x,y,v\n";
    for (int i = 0; i < 30; ++i) {
        x.push_back(static_cast<float>((i * 37) % 100));
        y.push_back(static_cast<float>((i * 53) % 80));
        v.push_back(static_cast<float>(-50 + (i * 29) % 40));
    }
    x.push_back(x[0]), y.push_back(y[0]), v.push_back(v[0] + 5);
    for (std::size_t i = 0; i < x.size(); ++i)
        text += std::to_string(x[i]) + "," + std::to_string(y[i]) + "," + std::to_string(v[i]) + "\n";
    std::ofstream(Path("neg.csv")) << text;
    const std::string common = "grid " + Path("neg.csv") + " --model 0 100 60 --extent 0 0 100 80 --cell 10 -n 8";
    const Outcome accurate =
        Run(common + " --arithmetic accurate -o " + Path("a.tif") + " --condition-mask " + Path("m.tif"));
    ASSERT_EQ(accurate.status, 0) << accurate.err;
    EXPECT_NE(accurate.out.find("99 nodes: 0 no data"), std::string::npos) << accurate.out;

    mosaro_request r;
    mosaro_request_init(&r);
    r.x = x.data(), r.y = y.data(), r.value = v.data(), r.sample_count = static_cast<int>(x.size());
    r.x_max = 100, r.y_max = 80, r.cell_size_x = r.cell_size_y = 10, r.node_count_x = 11, r.node_count_y = 9;
    r.neighbour_count = 8;
    const mosaro_variogram_model model{0, 100, 60, 100};
    r.given_models = &model, r.given_model_count = 1, r.arithmetic = MOSARO_ARITHMETIC_ACCURATE;
    std::vector<float> grid(99), condition(99);
    r.grid = grid.data(), r.reciprocal_condition = condition.data();
    ASSERT_EQ(mosaro_grid(&r), MOSARO_OK) << mosaro_last_message();

    const RasterBack written = ReadRasterBack(Path("a.tif"));
    EXPECT_EQ(FirstBitDifference({grid.begin(), grid.end()}, written.nodes), "");
    ASSERT_TRUE(written.no_data.has_value());
    EXPECT_TRUE(std::isnan(*written.no_data));
    // No 0.01 cut-off (the legacy arithmetic's, AccurateArithmeticTest's to tell apart).
    EXPECT_LT(*std::max_element(written.nodes.begin(), written.nodes.end()), 0.0);

    const RasterBack mask = ReadRasterBack(Path("m.tif"));
    ASSERT_EQ(mask.nodes.size(), 99u);
    int flagged = 0;
    for (std::size_t k = 0; k < 99; ++k) {
        EXPECT_EQ(mask.nodes[k], condition[k] < 1e-10f ? 1.0f : 0.0f) << k;
        flagged += mask.nodes[k] == 1.0f;
    }
    EXPECT_GT(flagged, 0);  // the duplicate location's nodes
    EXPECT_LT(flagged, 99);

    // No finite model: every node no-data, all of it masked.
    const Outcome none =
        Run(std::string("grid ") + MOSARO_DATA_DIR + "/meuse.csv --value zinc --method lognormal --cell 100 " +
            "--arithmetic accurate --fit legacy -o " + Path("z.asc") + " --condition-mask " + Path("zm.asc"));
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_NE(none.out.find("1092 nodes: 1092 no data"), std::string::npos) << none.out;
    EXPECT_NE(none.err.find("every node is no-data"), std::string::npos) << none.err;
    // GDAL reads an ASCII grid's "nan" as 0, so there no-data is a number.
    const RasterBack nodata = ReadRasterBack(Path("z.asc"));  // declared no-data numbers read as NaN
    ASSERT_TRUE(nodata.no_data.has_value());
    EXPECT_TRUE(std::all_of(nodata.nodes.begin(), nodata.nodes.end(), [](double f) { return std::isnan(f); }));
    const RasterBack allMasked = ReadRasterBack(Path("zm.asc"));
    EXPECT_TRUE(std::all_of(allMasked.nodes.begin(), allMasked.nodes.end(), [](double f) { return f == 1.0; }));
    EXPECT_FALSE(allMasked.no_data.has_value());
}

TEST_F(ToolTest, SkippedRowsAndBlanksAreReported) {
    // Beyond float's range is not finite; NaN is a blank, as in the library.
    std::ofstream(Path("t.csv"))
        << "x,y,v\n0,0,1\n10,0,2\n0,10,abc\n10,10,\n5,5,4\n,3,5\n3,3,1e39\n4,4,nan\n2,8,-inf\n";
    const Outcome run = Run("grid " + Path("t.csv") + " --cell 5 --legacy -o " + Path("o.grd"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("5 samples read"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("4 rows skipped (first: row 3: 'abc' in 'v' is not a number)"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("2 blank values"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("--neighbours 16 is more than the 5 samples"), std::string::npos) << run.err;
}

// A run killed at any moment, computing or writing, leaves the old output
// or a complete new one where the target stood, never a partial file.
TEST_F(ToolTest, KilledRunLeavesTheOldOutputOrACompleteNewOne) {
    std::ofstream samples(Path("t.csv"));
    samples << "x,y,v\n";
    for (int i = 0; i < 200; ++i)
        samples << (i * 37) % 997 << "," << (i * 91) % 983 << "," << 10 + (i * 13) % 50 << "\n";
    samples.close();
    const std::vector<std::string> arguments = {
        MOSARO_TOOL_PATH, "grid", Path("t.csv"), "--size", "600", "600", "-n", "4", "-q", "-o"};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Run("grid " + Path("t.csv") + " --size 600 600 -n 4 -q -o " + Path("complete.asc")).status, 0);
    const auto took =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    const std::string complete = Slurp(Path("complete.asc")), old = "an older grid\n";
    const std::string target = Path("g.asc");
    std::ofstream(target) << old;
    int replaced = 0;
    for (int round = 0; round < 12; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::vector<std::string> own = arguments;
            own.push_back(target);
            std::vector<char*> argv;
            for (std::string& a : own) argv.push_back(a.data());
            argv.push_back(nullptr);
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        // Spread over the whole run: loading, sweeping, writing; the last
        // round runs to the end however loaded the machine is.
        ::usleep(static_cast<useconds_t>(took * (round + 1) / 10));
        if (round < 11) ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::string now = Slurp(target);
        ASSERT_TRUE(now == old || now == complete) << "round " << round << ": " << now.size() << " bytes";
        replaced += now == complete;
    }
    EXPECT_GT(replaced, 0);
}

extern "C" void IgnoreInterrupt(int) {}

TEST(ToolProgressTest, CtrlCStopsTheRunAtTheNextCallbackAndTheHandlerFoundIsRestored) {
    using mosaro::tool::ProgressReporter;
    std::signal(SIGINT, SIG_IGN);
    {
        const mosaro::tool::InterruptCatcher catcher;  // a background job's ignored SIGINT stays ignored
        EXPECT_EQ(std::signal(SIGINT, SIG_IGN), SIG_IGN);
    }
    std::signal(SIGINT, IgnoreInterrupt);
    {
        const mosaro::tool::InterruptCatcher catcher;
        ProgressReporter reporter(true);
        EXPECT_EQ(ProgressReporter::Callback(&reporter, MOSARO_STAGE_SWEEP, 0, 0.5), 1);
        EXPECT_NO_THROW(mosaro::tool::ThrowIfInterrupted());
        std::raise(SIGINT);
        EXPECT_TRUE(ProgressReporter::Interrupted());
        EXPECT_EQ(ProgressReporter::Callback(&reporter, MOSARO_STAGE_SWEEP, 0, 0.6), 0);
        EXPECT_THROW(mosaro::tool::ThrowIfInterrupted(), mosaro::tool::ToolError);
    }
    EXPECT_EQ(std::signal(SIGINT, SIG_DFL), &IgnoreInterrupt);
}

}  // namespace
