// The tool's default mode, the prediction API, run as users run it: every
// raster and table it writes is read back and compared bit for bit with
// mosaro_predict (or the variogram calls) made directly with the same
// arguments; every mistake gives one line, exit status 1 and no file.
#include <cpl_json.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <functional>
#include <map>

#include "ToolRun.h"
#include "mosaro.h"

namespace {

using namespace mosaro_tool_test;

// The grid every comparison uses: 15 x 21 nodes of 200 m over the demo data.
const char* const kGrid = " --extent 178600 329700 181400 333700 --size 15 21 -q";

const Meuse& Demo() {
    static const Meuse meuse = ReadMeuse();
    return meuse;
}

// The layout the tool asks for, from the library's own rule.
mosaro_grid_layout DemoLayout() {
    const double extent[4] = {178600, 329700, 181400, 333700};
    mosaro_grid_layout layout{};
    layout.struct_size = sizeof layout;
    EXPECT_EQ(mosaro_grid_layout_choose(extent, nullptr, nullptr, 0, 0, 0, 15, 21, &layout), MOSARO_OK);
    return layout;
}

struct Estimates {
    std::vector<double> estimate, variance;
};

// mosaro_predict on the demo grid: zinc (or log zinc) at every node, with
// `configure` setting what the command line asks for.
Estimates PredictDemo(const std::function<void(mosaro_prediction&)>& configure) {
    const Meuse& m = Demo();
    const mosaro_grid_layout layout = DemoLayout();
    mosaro_prediction p;
    mosaro_prediction_init(&p);
    p.x = m.x.data();
    p.y = m.y.data();
    p.value = m.zinc.data();
    p.sample_count = static_cast<int>(m.x.size());
    p.grid_x = layout.x_min;
    p.grid_y = layout.y_min;
    p.cell_size_x = layout.cell_size_x;
    p.cell_size_y = layout.cell_size_y;
    p.node_count_x = layout.node_count_x;
    p.node_count_y = layout.node_count_y;
    Estimates e;
    e.estimate.resize(15 * 21);
    e.variance.resize(15 * 21);
    p.estimate = e.estimate.data();
    p.variance = e.variance.data();
    configure(p);
    EXPECT_EQ(mosaro_predict(&p, nullptr), MOSARO_OK) << mosaro_last_message();
    return e;
}

mosaro_model Model(const char* text) {
    mosaro_model model;
    mosaro_model_init(&model);
    EXPECT_EQ(mosaro_model_parse(text, &model), MOSARO_OK) << text;
    return model;
}

// A north-up GeoTIFF whose pixel centres are the demo grid's nodes, holding
// 1000 + column + 100 row: sampled at a node, it gives that pixel exactly.
void WriteNodeRaster(const std::string& path, int columns = 15, int rows = 21) {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    std::unique_ptr<GDALDataset> raster(driver->Create(path.c_str(), columns, rows, 1, GDT_Float64, nullptr));
    double transform[6] = {178600 - 100, 200, 0, 329700 + 20 * 200 + 100, 0, -200};
    raster->SetGeoTransform(transform);
    std::vector<double> pixels;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) pixels.push_back(1000 + column + 100.0 * (rows - 1 - row));
    ASSERT_EQ(raster->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, columns, rows, pixels.data(), columns, rows,
                                                 GDT_Float64, 0, 0, nullptr),
              CE_None);
}

class ToolModernTest : public ToolRunTest {};

TEST_F(ToolModernTest, GridEqualsPredictCalledDirectlyBitForBit) {
    const std::string meuse = std::string(MOSARO_DATA_DIR) + "/meuse.csv";
    WriteNodeRaster(Path("node.tif"));
    const mosaro_model given = Model("0.05 Nug + 0.59 Sph(897)");
    const mosaro_model rotated = Model("0.02 Nug + 0.6 Exp(500, azimuth=45, ratio=0.4)");
    const mosaro_model zincModel = Model("25000 Nug + 130000 Sph(900)");
    const struct {
        std::string arguments;
        std::function<void(mosaro_prediction&)> configure;
    } cases[] = {
        {"--method lognormal", [](mosaro_prediction& p) { p.lognormal = 1; }},
        {"--method lognormal --model \"0.05 Nug + 0.59 Sph(897)\" --block 200 200 --block-points 3 3",
         [&](mosaro_prediction& p) {
             p.lognormal = 1, p.model = &given;
             p.block_size_x = p.block_size_y = 200, p.block_points_x = p.block_points_y = 3;
         }},
        {"--method universal-xy --nmax 30",
         [](mosaro_prediction& p) { p.drift_terms = MOSARO_DRIFT_X | MOSARO_DRIFT_Y, p.nmax = 30; }},
        {"--method universal-xx --drift xy",
         [](mosaro_prediction& p) { p.drift_terms = MOSARO_DRIFT_X | MOSARO_DRIFT_XX | MOSARO_DRIFT_XY; }},
        {"--method lognormal --kind simple --mean 6 --model \"0.05 Nug + 0.59 Sph(897)\"",
         [&](mosaro_prediction& p) { p.lognormal = 1, p.kind = MOSARO_KIND_SIMPLE, p.mean = 6, p.model = &given; }},
        {"--method lognormal --model \"0.02 Nug + 0.6 Exp(500, azimuth=45, ratio=0.4)\" --octants 2 "
         "--anisotropic-search --nmin 3 --maxdist 900",
         [&](mosaro_prediction& p) {
             p.lognormal = 1, p.model = &rotated, p.sectors = 8, p.max_per_sector = 2, p.anisotropic_search = 1;
             p.nmin = 3, p.max_distance = 900;
         }},
        {"--method lognormal3 --shift 10 --cutoff 1200 --width 80 --fit-model \"Nug + Exp\" --fit-weights 1 "
         "--estimator cressie",
         [](mosaro_prediction& p) {
             static mosaro_variogram_options o;
             mosaro_variogram_options_init(&o);
             o.cutoff = 1200, o.width = 80, o.estimator = MOSARO_ESTIMATOR_CRESSIE;
             p.lognormal = 1, p.shift = 10, p.variogram = &o, p.fit_template = "Nug + Exp", p.fit_weights = 1;
         }},
        {"--model \"25000 Nug + 130000 Sph(900)\" --covariate dist=" + Path("node.tif"),
         [&](mosaro_prediction& p) {
             static std::vector<double> atNodes;
             static const double* sampleColumn[1];
             static const double* nodeColumn[1];
             atNodes.clear();
             for (int row = 0; row < 21; ++row)
                 for (int column = 0; column < 15; ++column) atNodes.push_back(1000 + column + 100.0 * row);
             sampleColumn[0] = Demo().dist.data();
             nodeColumn[0] = atNodes.data();
             p.model = &zincModel, p.covariate_count = 1, p.sample_covariates = sampleColumn;
             p.target_covariates = nodeColumn;
         }},
    };
    for (const auto& c : cases) {
        const Outcome run = Run("grid " + meuse + " --value zinc " + c.arguments + kGrid + " -o " + Path("g.tif") +
                                " --variance " + Path("v.asc"));
        ASSERT_EQ(run.status, 0) << c.arguments << "\n" << run.err;
        const Estimates expected = PredictDemo(c.configure);
        const RasterBack grid = ReadRasterBack(Path("g.tif"));
        EXPECT_EQ(grid.type, GDT_Float64) << c.arguments;
        EXPECT_EQ(FirstBitDifference(expected.estimate, grid.nodes), "") << c.arguments;
        // The ASCII grid's 17 digits give every double back.
        CPLSetConfigOption("AAIGRID_DATATYPE", "Float64");
        EXPECT_EQ(FirstBitDifference(expected.variance, ReadRasterBack(Path("v.asc")).nodes), "") << c.arguments;
        CPLSetConfigOption("AAIGRID_DATATYPE", nullptr);
        ASSERT_TRUE(grid.no_data.has_value());
        EXPECT_TRUE(std::isnan(*grid.no_data));
    }
}

TEST_F(ToolModernTest, DemoNoLongerOvershootsInTheUnsampledCorner) {
    // The legacy arithmetic reaches 7,384 in the north-west of this grid;
    // gstat's own Nug + Sph fit gives at most about 2,348 there.
    const Outcome modern = Run(std::string("grid ") + MOSARO_DATA_DIR +
                               "/meuse.csv --value zinc --method lognormal --cell 40 -o " + Path("m.tif"));
    ASSERT_EQ(modern.status, 0) << modern.err;
    EXPECT_NE(modern.out.find("0.050660441806065465 Nug + 0.5906058362344286 Sph(897.0064349066342)"),
              std::string::npos)
        << modern.out;
    const Outcome legacy = Run(std::string("grid ") + MOSARO_DATA_DIR +
                               "/meuse.csv --value zinc --method lognormal --cell 40 --legacy -q -o " + Path("l.tif"));
    ASSERT_EQ(legacy.status, 0) << legacy.err;
    const std::vector<double> m = ReadRasterBack(Path("m.tif")).nodes, l = ReadRasterBack(Path("l.tif")).nodes;
    EXPECT_LT(*std::max_element(m.begin(), m.end()), 2400.0);
    EXPECT_GT(*std::max_element(l.begin(), l.end()), 7000.0);
}

TEST_F(ToolModernTest, EveryMistakeGivesOneLineStatusOneAndNoFile) {
    const std::string meuse = std::string(MOSARO_DATA_DIR) + "/meuse.csv --value zinc";
    std::ofstream(Path("few.csv")) << "x,y,v\n0,0,1\n10,0,2\n0,10,3\n";
    std::ofstream(Path("targets.csv")) << "x,y,dist\n179000,330000,0.1\n,330500,0.2\n";
    std::ofstream(Path("nodist.csv")) << "x,y\n179000,330000\n";
    WriteNodeRaster(Path("small.tif"), 5, 5);
    const std::string grid = "grid " + meuse + kGrid + " -o " + Path("o.tif") + " ";
    const std::string variogram = "variogram " + meuse + " ";
    const std::string predict = "predict " + meuse + " " + Path("targets.csv") + " -q -o " + Path("p.csv") + " ";
    // The model notation's own refusals are ModelNotationTest's; one here
    // shows the tool passes them on.
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {grid + "--model \"-0.5 Nug + 1 Sph(100)\"", "the nugget must be >= 0, not -0.5"},
        {grid + "--model \"1 Sph(100\"", "at character 9"},
        {grid + "--model 1 2", "or NUGGET PARTIAL_SILL RANGE"},
        {grid + "--legacy --model \"1 Exp(300)\"", "the legacy request takes a nugget and one isotropic Sph"},
        {variogram + "--cutoff 50 --width 100", "a model needs at least 2"},
        {variogram + "--legacy --json", "--json needs the prediction API's variogram, but --legacy"},
        {grid + "--kind universal", "unknown --kind 'universal'"},
        {grid + "--kind simple", "--kind simple needs --mean"},
        {grid + "--mean 3", "--mean is read by simple kriging only"},
        {grid + "--kind simple --mean 3 --method universal-x", "--kind simple takes no drift"},
        {grid + "--drift x,z", "unknown term 'z'"},
        {grid + "--covariate dist", "grid needs it at every node, from a raster"},
        {grid + "--covariate dist=" + Path("none.tif"), "none.tif: no such file"},
        {grid + "--covariate dist=" + Path("small.tif"),
         "covariate 'dist' (" + Path("small.tif") + ") does not cover node (column 0, row 0)"},
        {grid + "--covariate nothere=" + Path("small.tif"), "no column 'nothere'"},
        {grid + "--octants 2 --quadrants 2", "give one of them"},
        {grid + "--block 0 10", "--block DX DY must be positive"},
        {grid + "--block-points 2 2", "--block-points needs --block"},
        {grid + "--fit-weights 3", "--fit-weights 3"},
        {grid + "--estimator robust", "unknown --estimator"},
        {grid + "--nmin 20", "--nmin 20 is more than --nmax 16"},
        {grid + "--legacy --drift x", "--drift needs the prediction API, but --legacy runs the legacy request"},
        {grid + "--arithmetic accurate --block 10 10", "--block needs the prediction API, but --arithmetic"},
        {grid + "--method lognormal --shift 3", "--shift is read by lognormal3 only"},
        {grid + "--condition-mask " + Path("m.tif"), "--condition-mask needs --arithmetic accurate"},
        // Runs that cannot estimate anything.
        {"grid " + Path("few.csv") + " -o " + Path("o.tif"), "no variogram model could be fitted"},
        {grid + "--maxdist 1 --nmin 1", "none of the 315 nodes got an estimate"},
        {predict + "--model 0 1 100", "predict takes --model in the notation"},
        {"predict " + meuse + " " + Path("targets.csv") + " -o " + Path("p.xyz"), "unknown output format"},
        {predict, "targets.csv: row 2: no numeric coordinate"},
        {"predict " + meuse + " " + Path("nodist.csv") + " -o " + Path("p.csv") + " --covariate dist",
         "no column 'dist'"},
    };
    for (const auto& c : cases) {
        const Outcome run = Run(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.arguments << "\n" << run.err;
        EXPECT_EQ(Entries(), (std::vector<std::string>{"few.csv", "nodist.csv", "small.tif", "targets.csv"}))
            << c.arguments;
    }
}

TEST_F(ToolModernTest, AllowEmptyWritesNoDataNeverZeros) {
    const Outcome run = Run(std::string("grid ") + MOSARO_DATA_DIR + "/meuse.csv --value zinc" + kGrid +
                            " --maxdist 1 --nmin 1 --allow-empty -o " + Path("e.tif") + " --variance " + Path("e.asc"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("no node has an estimate"), std::string::npos) << run.err;
    const RasterBack tif = ReadRasterBack(Path("e.tif"));
    ASSERT_TRUE(tif.no_data && std::isnan(*tif.no_data));
    EXPECT_TRUE(std::all_of(tif.nodes.begin(), tif.nodes.end(), [](double v) { return std::isnan(v); }));
    // The ASCII grid writes its no-data as a declared number.
    const RasterBack asc = ReadRasterBack(Path("e.asc"));
    ASSERT_TRUE(asc.no_data.has_value());
    EXPECT_FALSE(std::isnan(*asc.no_data));
    EXPECT_TRUE(std::all_of(asc.nodes.begin(), asc.nodes.end(), [](double v) { return std::isnan(v); }));
}

TEST_F(ToolModernTest, MissingValuesAreLeftOutAndCounted) {
    // Three ways of saying "no value", each left out, none filled in.
    const Meuse& m = Demo();
    std::ofstream csv(Path("holes.csv"));
    csv.precision(17);
    csv << "x,y,zinc\n";
    std::vector<double> values = m.zinc;
    for (std::size_t i = 0; i < m.x.size(); ++i) {
        csv << m.x[i] << "," << m.y[i] << ",";
        if (i == 3) {
            values[i] = NAN;  // empty cell
        } else if (i == 50) {
            csv << "-1e38";
            values[i] = NAN;
        } else if (i == 100) {
            csv << "-9999";
            values[i] = NAN;
        } else {
            csv << m.zinc[i];
        }
        csv << "\n";
    }
    csv.close();
    const Outcome run = Run("grid " + Path("holes.csv") +
                            " --nodata -9999 --extent 178600 329700 181400 333700 "
                            "--size 15 21 --model \"25000 Nug + 130000 Sph(900)\" -o " +
                            Path("h.tif"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("152 samples read"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("3 samples without a value left out"), std::string::npos) << run.out;
    const mosaro_model model = Model("25000 Nug + 130000 Sph(900)");
    const Estimates expected = PredictDemo([&](mosaro_prediction& p) { p.value = values.data(), p.model = &model; });
    EXPECT_EQ(FirstBitDifference(expected.estimate, ReadRasterBack(Path("h.tif")).nodes), "");

    // The legacy request fills them from the sample before, as it always has.
    const Outcome legacy = Run("grid " + Path("holes.csv") + " --nodata -9999 --cell 200 --legacy -o " + Path("l.tif"));
    ASSERT_EQ(legacy.status, 0) << legacy.err;
    EXPECT_NE(legacy.out.find("3 blank values taken from the sample before"), std::string::npos) << legacy.out;
}

// The features of a vector file: per feature its fields by name (as text)
// and its point.
struct Feature {
    std::map<std::string, std::string> text;
    std::map<std::string, double> number;
    double x = NAN, y = NAN;
};

std::vector<Feature> ReadFeatures(const std::string& path) {
    std::vector<Feature> features;
    std::unique_ptr<GDALDataset> dataset(
        static_cast<GDALDataset*>(GDALOpenEx(path.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr)));
    if (!dataset) {
        ADD_FAILURE() << "cannot open " << path;
        return features;
    }
    OGRLayer* layer = dataset->GetLayer(0);
    for (auto& feature : *layer) {
        Feature f;
        for (int i = 0; i < feature->GetFieldCount(); ++i) {
            const std::string name = feature->GetFieldDefnRef(i)->GetNameRef();
            f.text[name] = feature->IsFieldSetAndNotNull(i) ? feature->GetFieldAsString(i) : "";
            // An empty CSV field is a value left empty: no number.
            f.number[name] = f.text[name].empty() ? NAN : std::strtod(f.text[name].c_str(), nullptr);
            if (feature->GetFieldDefnRef(i)->GetType() == OFTReal && feature->IsFieldSetAndNotNull(i))
                f.number[name] = feature->GetFieldAsDouble(i);
        }
        if (const OGRGeometry* g = feature->GetGeometryRef()) {
            f.x = g->toPoint()->getX();
            f.y = g->toPoint()->getY();
        }
        features.push_back(f);
    }
    return features;
}

TEST_F(ToolModernTest, PredictWritesEveryTargetBackWithTheLibrarysEstimates) {
    // Targets between the samples, one far outside (no sample within
    // --maxdist: an empty estimate), an id column kept as it is.
    const std::vector<double> tx = {179100.5, 180000.25, 180700, 185000}, ty = {330600, 331500.75, 332300, 330000};
    std::ofstream csv(Path("targets.csv"));
    csv.precision(17);
    csv << "id,x,y,dist\n";
    for (std::size_t k = 0; k < tx.size(); ++k)
        csv << "site " << k << "," << tx[k] << "," << ty[k] << "," << 0.1 * k << "\n";
    csv.close();

    std::vector<double> estimate(4), variance(4), logEstimate(4), logVariance(4);
    PredictDemo([&](mosaro_prediction& p) {
        p.lognormal = 1, p.max_distance = 1500;
        p.target = MOSARO_TARGET_POINTS, p.target_x = tx.data(), p.target_y = ty.data(), p.target_count = 4;
        p.estimate = estimate.data(), p.variance = variance.data();
        p.log_estimate = logEstimate.data(), p.log_variance = logVariance.data();
    });
    ASSERT_TRUE(std::isnan(estimate[3]));

    for (const char* name : {"out.csv", "out.gpkg"}) {
        const Outcome run = Run(std::string("predict ") + MOSARO_DATA_DIR + "/meuse.csv " + Path("targets.csv") +
                                " --value zinc --method lognormal --maxdist 1500 -o " + Path(name));
        ASSERT_EQ(run.status, 0) << name << ": " << run.err;
        EXPECT_NE(run.out.find("4 targets: 1 without an estimate"), std::string::npos) << run.out;
        const std::vector<Feature> back = ReadFeatures(Path(name));
        ASSERT_EQ(back.size(), 4u) << name;
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(back[k].text.at("id"), "site " + std::to_string(k)) << name;
            EXPECT_EQ(back[k].number.at("x"), tx[k]) << name;
            const std::vector<std::pair<const char*, double>> expected = {{"estimate", estimate[k]},
                                                                          {"variance", variance[k]},
                                                                          {"log_estimate", logEstimate[k]},
                                                                          {"log_variance", logVariance[k]}};
            for (const auto& [column, value] : expected) {
                const double got = back[k].number.at(column);
                EXPECT_TRUE((std::isnan(value) && std::isnan(got)) || got == value)
                    << name << " " << column << " " << k << ": " << got << " vs " << value;
            }
        }
        // A GeoPackage gets points, also from targets given as columns.
        if (std::string(name) == "out.gpkg") {
            EXPECT_EQ(back[1].x, tx[1]);
        }
    }
}

TEST_F(ToolModernTest, VariogramJsonHoldsTheLibrarysClassesAndFits) {
    const Outcome run = Run(std::string("variogram ") + MOSARO_DATA_DIR +
                            "/meuse.csv --value zinc --method lognormal --direction 0,90 --cutoff 1200 --width 100 "
                            "--fit-model \"Nug + Sph + Exp\" --json --cloud " +
                            Path("cloud.csv") + " --map " + Path("map.tif") + " --plot " + Path("v.png"));
    ASSERT_EQ(run.status, 0) << run.err;
    CPLJSONDocument document;
    ASSERT_TRUE(document.LoadMemory(run.out)) << run.out;
    const CPLJSONObject json = document.GetRoot();

    const Meuse& m = Demo();
    std::vector<double> logs;
    for (double z : m.zinc) logs.push_back(std::log(z));
    const double azimuths[2] = {0, 90};
    mosaro_variogram_options o;
    mosaro_variogram_options_init(&o);
    o.cutoff = 1200, o.width = 100, o.azimuths = azimuths, o.direction_count = 2, o.cloud = 1, o.map = 1;
    mosaro_variogram* v = nullptr;
    ASSERT_EQ(mosaro_variogram_compute(m.x.data(), m.y.data(), logs.data(), static_cast<int>(logs.size()), &o, &v),
              MOSARO_OK);
    EXPECT_EQ(json.GetString("value"), "log(zinc)");
    ASSERT_EQ(json.GetArray("directions").Size(), 2);
    for (int d = 0; d < 2; ++d) {
        const CPLJSONObject direction = json.GetArray("directions")[d];
        mosaro_lag_classes c{};
        c.struct_size = sizeof c;
        ASSERT_EQ(mosaro_variogram_classes(v, d, &c), MOSARO_OK);
        EXPECT_EQ(direction.GetDouble("azimuth"), azimuths[d]);
        ASSERT_EQ(direction.GetArray("classes").Size(), c.class_count);
        for (int k = 0; k < c.class_count; ++k) {
            const CPLJSONObject row = direction.GetArray("classes")[k];
            const std::vector<std::pair<const char*, double>> fields = {{"lower", c.lower[k]},
                                                                        {"upper", c.upper[k]},
                                                                        {"pairs", c.pairs[k]},
                                                                        {"distance", c.distance[k]},
                                                                        {"gamma", c.gamma[k]}};
            for (const auto& [name, value] : fields)  // null, no number, for a class without pairs
                EXPECT_TRUE((std::isnan(value) && std::isnan(row.GetDouble(name, NAN))) || row.GetDouble(name) == value)
                    << d << " " << k << " " << name;
        }
        mosaro_model fitted;
        mosaro_model_init(&fitted);
        double sse = 0;
        ASSERT_EQ(mosaro_variogram_fit(v, d, "Nug + Sph + Exp", 0, &fitted, &sse), MOSARO_OK);
        char text[512];
        ASSERT_EQ(mosaro_model_format(&fitted, text, sizeof text), MOSARO_OK);
        const CPLJSONObject model = direction.GetObj("model");
        EXPECT_EQ(model.GetString("notation"), text);
        EXPECT_EQ(model.GetDouble("weighted_squared_error"), sse);
        EXPECT_EQ(model.GetDouble("nugget"), fitted.nugget);
        const CPLJSONArray structures = model.GetArray("structures");
        ASSERT_EQ(structures.Size(), 2);
        EXPECT_EQ(structures[0].GetString("family"), "Sph");
        EXPECT_EQ(structures[1].GetString("family"), "Exp");
        EXPECT_EQ(structures[1].GetDouble("range"), fitted.structures[1].range);
    }

    long long pairs = 0;
    const int *i = nullptr, *j = nullptr;
    const double *distance = nullptr, *gamma = nullptr;
    ASSERT_EQ(mosaro_variogram_cloud(v, &pairs, &i, &j, &distance, &gamma), MOSARO_OK);
    const std::string cloud = Slurp(Path("cloud.csv"));
    EXPECT_EQ(std::count(cloud.begin(), cloud.end(), '\n'), pairs + 1);
    int size = 0;
    double first = 0, width = 0;
    const double *mapPairs = nullptr, *mapGamma = nullptr;
    ASSERT_EQ(mosaro_variogram_map(v, &size, &first, &width, &mapPairs, &mapGamma), MOSARO_OK);
    const RasterBack map = ReadRasterBack(Path("map.tif"));
    EXPECT_EQ(FirstBitDifference(std::vector<double>(mapGamma, mapGamma + size * size), map.nodes), "");
    EXPECT_EQ(map.transform[0], first - width / 2);
    EXPECT_EQ(Slurp(Path("v.png")).substr(1, 3), "PNG");
    mosaro_variogram_free(v);
}

}  // namespace
