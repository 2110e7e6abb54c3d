// `mosaro predict`: estimates at the points of a table or vector file,
// written back beside the points' own columns.
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "GdalSupport.h"
#include "ModernRun.h"
#include "Progress.h"
#include "StagedOutput.h"
#include "ToolError.h"

namespace mosaro::tool {
namespace {

std::string LowerExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension.empty() ? extension : extension.substr(1);
}

// The first OGR driver that writes files of this extension.
GDALDriver* VectorDriverFor(const std::string& path) {
    GDALAllRegister();
    const std::string extension = LowerExtension(path);
    GDALDriverManager& drivers = *GetGDALDriverManager();
    for (int d = 0; !extension.empty() && d < drivers.GetDriverCount(); ++d) {
        GDALDriver* driver = drivers.GetDriver(d);
        if (driver->GetMetadataItem(GDAL_DCAP_VECTOR) == nullptr ||
            driver->GetMetadataItem(GDAL_DCAP_CREATE) == nullptr)
            continue;
        const char* list = driver->GetMetadataItem(GDAL_DMD_EXTENSIONS);
        if (list == nullptr) list = driver->GetMetadataItem(GDAL_DMD_EXTENSION);
        if (list == nullptr) continue;
        const CPLStringList extensions(CSLTokenizeString(list));
        for (int e = 0; e < extensions.size(); ++e)
            if (EQUAL(extensions[e], extension.c_str())) return driver;
    }
    throw ToolError("unknown output format '" + path +
                    "' (use .csv, .gpkg, .geojson, .shp, or another extension an OGR driver writes)");
}

// The targets as read: their points and, for covariates taken from their
// own columns, those columns.
struct Targets {
    PointLayer points;
    std::vector<double> x, y;
    std::vector<std::vector<double>> covariates;  // per covariate: empty where a raster gives it
    std::vector<std::string> rows;                // "row 7" for messages
};

Targets ReadTargets(const std::string& path, const SampleColumns& columns, const ModernRun& run) {
    Targets t;
    t.points = OpenPointLayer(path, columns);
    OGRLayer& layer = *t.points.layer;
    OGRFeatureDefn& definition = *layer.GetLayerDefn();
    std::vector<int> fields;
    for (std::size_t c = 0; c < run.covariate_names.size(); ++c)
        fields.push_back(run.covariate_rasters[c] ? -1 : RequireField(definition, path, run.covariate_names[c]));
    t.covariates.resize(fields.size());
    long long row = 0;
    layer.ResetReading();
    for (std::unique_ptr<OGRFeature> feature(layer.GetNextFeature()); feature; feature.reset(layer.GetNextFeature())) {
        ThrowIfInterrupted();
        ++row;
        // Every target is written back, so none may be skipped.
        std::string why;
        const auto point = FeaturePoint(t.points, *feature, why);
        if (!point) throw ToolError(path + ": row " + std::to_string(row) + ": " + why);
        if (!std::isfinite(point->first) || !std::isfinite(point->second))
            throw ToolError(path + ": row " + std::to_string(row) + ": coordinate (" + MessageNumber(point->first) +
                            ", " + MessageNumber(point->second) + ") is not finite");
        t.x.push_back(point->first);
        t.y.push_back(point->second);
        t.rows.push_back("row " + std::to_string(row));
        for (std::size_t c = 0; c < fields.size(); ++c) {
            if (fields[c] < 0) continue;
            const auto value =
                ParseNumber(feature->IsFieldSetAndNotNull(fields[c]) ? feature->GetFieldAsString(fields[c]) : "");
            if (!value || !std::isfinite(*value))
                throw ToolError(path + ": row " + std::to_string(row) + " has no number in '" + run.covariate_names[c] +
                                "', which the drift needs at every target");
            t.covariates[c].push_back(*value);
        }
    }
    if (t.x.empty()) throw ToolError(path + ": holds no target point");
    return t;
}

struct Column {
    const char* name;
    const std::vector<double>* values;
};

// The targets' features with the estimate columns added: the same fields
// and points, in the same order.
void WriteTargets(const Targets& t, const std::vector<Column>& columns, GDALDriver& driver, const std::string& target,
                  const std::string& path) {
    OGRLayer& source = *t.points.layer;
    OGRFeatureDefn& definition = *source.GetLayerDefn();
    for (const Column& c : columns)
        if (definition.GetFieldIndex(c.name) >= 0)
            throw ToolError("the targets already have a column '" + std::string(c.name) +
                            "', which the output would overwrite; rename it first");
    const bool csv = EQUAL(driver.GetDescription(), "CSV");
    const bool hasGeometry = t.points.x_field < 0;
    CPLErrorReset();
    DatasetPtr out(driver.Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!out) throw ToolError("cannot write '" + target + "': " + CPLGetLastErrorMsg());
    // A CSV keeps point geometries as x and y columns; other formats get
    // points, also for targets that had only coordinate columns.
    const char* csvOptions[] = {"STRING_QUOTING=IF_NEEDED", hasGeometry ? "GEOMETRY=AS_XY" : nullptr, nullptr};
    OGRSpatialReference crs;
    const bool hasCrs = !t.points.crs_wkt.empty() && crs.importFromWkt(t.points.crs_wkt.c_str()) == OGRERR_NONE;
    if (hasCrs) crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    const std::string name = std::filesystem::path(target).stem().string();
    OGRLayer* layer = out->CreateLayer(name.c_str(), hasCrs ? &crs : nullptr, csv && !hasGeometry ? wkbNone : wkbPoint,
                                       csv ? const_cast<char**>(csvOptions) : nullptr);
    if (layer == nullptr) throw ToolError("cannot write '" + target + "': " + CPLGetLastErrorMsg());
    for (int f = 0; f < definition.GetFieldCount(); ++f)
        if (layer->CreateField(definition.GetFieldDefn(f)) != OGRERR_NONE)
            throw ToolError("cannot write '" + target + "': " + CPLGetLastErrorMsg());
    // OGR writes a CSV's reals with 15 digits; the estimates go there as
    // text of 17, which gives every double back.
    for (const Column& c : columns) {
        OGRFieldDefn field(c.name, csv ? OFTString : OFTReal);
        if (layer->CreateField(&field) != OGRERR_NONE)
            throw ToolError("cannot write '" + target + "': " + CPLGetLastErrorMsg());
    }
    // Field positions by name: a driver may add or rename none, but may
    // reorder (a GeoPackage's id column).
    std::vector<int> map(static_cast<std::size_t>(definition.GetFieldCount()));
    for (int f = 0; f < definition.GetFieldCount(); ++f)
        map[static_cast<std::size_t>(f)] =
            layer->GetLayerDefn()->GetFieldIndex(definition.GetFieldDefn(f)->GetNameRef());
    std::vector<int> added;
    for (const Column& c : columns) added.push_back(layer->GetLayerDefn()->GetFieldIndex(c.name));
    const bool transaction = out->StartTransaction() == OGRERR_NONE;
    source.ResetReading();
    std::size_t k = 0;
    for (std::unique_ptr<OGRFeature> feature(source.GetNextFeature()); feature && k < t.x.size();
         feature.reset(source.GetNextFeature()), ++k) {
        ThrowIfInterrupted();
        OGRFeature written(layer->GetLayerDefn());
        written.SetFieldsFrom(feature.get(), map.data());
        if (!(csv && !hasGeometry)) {
            OGRPoint point(t.x[k], t.y[k]);
            written.SetGeometry(&point);
        }
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const double value = (*columns[c].values)[k];
            // No estimate: an empty field, which readers take as missing.
            if (std::isnan(value)) {
                written.SetFieldNull(added[c]);
            } else if (csv) {
                char text[32];
                std::snprintf(text, sizeof text, "%.17g", value);
                written.SetField(added[c], text);
            } else {
                written.SetField(added[c], value);
            }
        }
        if (layer->CreateFeature(&written) != OGRERR_NONE)
            throw ToolError("cannot write '" + target + "': " + CPLGetLastErrorMsg());
    }
    if (transaction && out->CommitTransaction() != OGRERR_NONE)
        throw ToolError("cannot write '" + target + "': " + CPLGetLastErrorMsg());
    out.reset();
    if (CPLGetLastErrorType() >= CE_Failure) throw ToolError("cannot write '" + target + "': " + CPLGetLastErrorMsg());
}

}  // namespace

int RunPredictCommand(const RunOptions& options, const PredictOutputs& outputs) {
    const auto start = std::chrono::steady_clock::now();
    if (options.legacy || options.arithmetic || options.fit)
        throw ToolError("predict runs the prediction API only (--legacy, --arithmetic and --fit are for grid)");
    const ModelOption model = ReadModelOption(options.model);
    if (!model.legacy.empty())
        throw ToolError("predict takes --model in the notation, e.g. \"" + MessageNumber(model.legacy[0].nugget) +
                        " Nug + " + MessageNumber(model.legacy[0].partial_sill) + " Sph(" +
                        MessageNumber(model.legacy[0].range) + ")\"");
    GDALDriver& driver = *VectorDriverFor(outputs.output);
    StagedOutputs staged;
    const std::string outputPath = staged.Stage(outputs.output);

    ModernRun run;
    PrepareModernRun(options, run);
    const SampleColumns targetColumns{outputs.columns.x.empty() ? options.columns.x : outputs.columns.x,
                                      outputs.columns.y.empty() ? options.columns.y : outputs.columns.y,
                                      {}};
    Targets targets = ReadTargets(outputs.targets, targetColumns, run);
    const std::vector<std::vector<double>> fromRasters =
        CovariatesAt(run, targets.x, targets.y, [&targets](std::size_t k) { return "target " + targets.rows[k]; });
    std::vector<const double*> targetCovariates;
    for (std::size_t c = 0; c < fromRasters.size(); ++c)
        targetCovariates.push_back(run.covariate_rasters[c] ? fromRasters[c].data() : targets.covariates[c].data());

    const std::size_t count = targets.x.size();
    const bool lognormal = run.prediction.lognormal != 0;
    std::vector<double> estimate(count), variance(count), logEstimate(lognormal ? count : 0),
        logVariance(lognormal ? count : 0);
    mosaro_prediction p = run.prediction;
    p.target = MOSARO_TARGET_POINTS;
    p.target_x = targets.x.data();
    p.target_y = targets.y.data();
    p.target_count = static_cast<long long>(count);
    p.target_covariates = targetCovariates.empty() ? nullptr : targetCovariates.data();
    p.estimate = estimate.data();
    p.variance = variance.data();
    p.log_estimate = lognormal ? logEstimate.data() : nullptr;
    p.log_variance = lognormal ? logVariance.data() : nullptr;
    double* const outputsOf[] = {p.estimate, p.variance, p.log_estimate, p.log_variance};
    const PredictionResult result = Predict(p, p.target_count, outputsOf, 4, run.allow_empty, options.quiet, "targets");
    if (result.no_model || result.report.no_data == result.report.targets)
        std::fprintf(stderr, "mosaro: warning: no target has an estimate; every estimate is empty (--allow-empty)\n");

    std::vector<Column> columns{{"estimate", &estimate}, {"variance", &variance}};
    if (lognormal) {
        columns.push_back({"log_estimate", &logEstimate});
        columns.push_back({"log_variance", &logVariance});
    }
    ThrowIfInterrupted();
    WriteTargets(targets, columns, driver, outputs.output, outputPath);
    ThrowIfInterrupted();
    staged.Commit();

    if (!options.quiet) {
        std::printf("%s\n", DescribeSamples(options, run.samples, false).c_str());
        PrintModelLine(run, result);
        std::printf("targets: %zu points read from %s (%s)\n", count, outputs.targets.c_str(),
                    targets.points.coordinates_from.c_str());
        PrintTargetLine(result, "targets");
        std::printf("%s; prediction API, in %.2f s\n", DescribeKriging(run).c_str(),
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        std::printf("wrote %s\n", outputs.output.c_str());
    }
    return kExitOk;
}

}  // namespace mosaro::tool
