#include "SampleLoader.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "GdalSupport.h"
#include "Progress.h"
#include "ToolError.h"

namespace mosaro::tool {
namespace {

bool EqualsIgnoringCase(const std::string& a, const char* b) { return EQUAL(a.c_str(), b); }

std::string FieldList(OGRFeatureDefn& definition) {
    std::string list;
    for (int i = 0; i < definition.GetFieldCount(); ++i)
        list += std::string(i ? ", " : "") + definition.GetFieldDefn(i)->GetNameRef();
    return list.empty() ? "none" : list;
}

// The names people give coordinate columns.
const std::initializer_list<const char*> kXNames = {"x", "easting", "lon", "longitude"};
const std::initializer_list<const char*> kYNames = {"y", "northing", "lat", "latitude"};

// A coordinate column under one of those names.
int FindCoordinateField(OGRFeatureDefn& definition, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const int index = definition.GetFieldIndex(name);
        if (index >= 0) return index;
    }
    return -1;
}

bool IsNumericType(OGRFieldType type) { return type == OFTInteger || type == OFTInteger64 || type == OFTReal; }

GDALDataset* OpenVector(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) throw ToolError(path + ": no such file");
    // CSV columns are text unless typed from their content; typing them lets
    // the default value column be the first numeric one.
    const char* csvOptions[] = {"AUTODETECT_TYPE=YES", "KEEP_SOURCE_COLUMNS=NO", nullptr};
    const std::string extension = std::filesystem::path(path).extension().string();
    const bool csv = EqualsIgnoringCase(extension, ".csv") || EqualsIgnoringCase(extension, ".txt");
    CPLErrorReset();
    auto* dataset = static_cast<GDALDataset*>(
        GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, csv ? csvOptions : nullptr, nullptr));
    if (dataset == nullptr) {
        const std::string why = CPLGetLastErrorMsg();
        throw ToolError(path + ": not a readable table or vector file" + (why.empty() ? "" : " (" + why + ")"));
    }
    return dataset;
}

}  // namespace

std::optional<double> ParseNumber(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    if (*text == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    while (*end == ' ' || *end == '\t' || *end == '\r') ++end;
    if (*end != '\0' || end == text) return std::nullopt;
    return value;
}

int RequireField(OGRFeatureDefn& definition, const std::string& path, const std::string& name) {
    const int index = definition.GetFieldIndex(name.c_str());
    if (index < 0) throw ToolError(path + ": no column '" + name + "' (columns: " + FieldList(definition) + ")");
    return index;
}

PointLayer OpenPointLayer(const std::string& path, const SampleColumns& columns) {
    GDALAllRegister();
    PointLayer points;
    points.dataset.reset(OpenVector(path));
    if (points.dataset->GetLayerCount() < 1) throw ToolError(path + ": holds no table or layer");
    points.layer = points.dataset->GetLayer(0);
    OGRLayer& layer = *points.layer;
    OGRFeatureDefn& definition = *layer.GetLayerDefn();
    if (const OGRSpatialReference* crs = layer.GetSpatialRef()) {
        char* wkt = nullptr;
        if (crs->exportToWkt(&wkt) == OGRERR_NONE && wkt != nullptr) points.crs_wkt = wkt;
        CPLFree(wkt);
    }
    // Coordinates: named columns, else point geometries, else the usual names.
    if (!columns.x.empty() || !columns.y.empty()) {
        points.x_field = RequireField(definition, path, columns.x.empty() ? "x" : columns.x);
        points.y_field = RequireField(definition, path, columns.y.empty() ? "y" : columns.y);
    } else if (wkbFlatten(layer.GetGeomType()) == wkbPoint || definition.GetFieldCount() == 0) {
        // geometry
    } else {
        points.x_field = FindCoordinateField(definition, kXNames);
        points.y_field = FindCoordinateField(definition, kYNames);
        if (points.x_field < 0 || points.y_field < 0)
            throw ToolError(path +
                            ": no x and y columns and no point geometries (name them with "
                            "--x and --y; columns: " +
                            FieldList(definition) + ")");
    }
    points.coordinates_from = points.x_field < 0
                                  ? "point geometries"
                                  : std::string("columns '") + definition.GetFieldDefn(points.x_field)->GetNameRef() +
                                        "', '" + definition.GetFieldDefn(points.y_field)->GetNameRef() + "'";
    return points;
}

std::optional<std::pair<double, double>> FeaturePoint(const PointLayer& points, OGRFeature& feature, std::string& why) {
    if (points.x_field >= 0) {
        const auto x = ParseNumber(feature.GetFieldAsString(points.x_field));
        const auto y = ParseNumber(feature.GetFieldAsString(points.y_field));
        if (!x || !y) {
            why = "no numeric coordinate";
            return std::nullopt;
        }
        return std::pair{*x, *y};
    }
    const OGRGeometry* geometry = feature.GetGeometryRef();
    if (geometry == nullptr || wkbFlatten(geometry->getGeometryType()) != wkbPoint || geometry->IsEmpty()) {
        why = "not a point geometry";
        return std::nullopt;
    }
    return std::pair{geometry->toPoint()->getX(), geometry->toPoint()->getY()};
}

SampleTable LoadSamples(const std::string& path, const SampleColumns& columns, const MissingValues& missing,
                        const std::vector<std::string>& extra) {
    const PointLayer points = OpenPointLayer(path, columns);
    OGRLayer& layer = *points.layer;
    OGRFeatureDefn& definition = *layer.GetLayerDefn();

    SampleTable table;
    table.crs_wkt = points.crs_wkt;
    table.coordinates_from = points.coordinates_from;

    // A layer with point geometries often keeps its coordinates as columns
    // too; those are never the default value.
    const int xColumn = points.x_field >= 0 ? points.x_field : FindCoordinateField(definition, kXNames);
    const int yColumn = points.y_field >= 0 ? points.y_field : FindCoordinateField(definition, kYNames);
    std::vector<int> valueFields;
    for (const std::string& name : columns.values) valueFields.push_back(RequireField(definition, path, name));
    std::vector<int> extraFields;
    for (const std::string& name : extra) extraFields.push_back(RequireField(definition, path, name));
    if (valueFields.empty()) {
        const auto taken = [&](int i) {
            return i == xColumn || i == yColumn ||
                   std::find(extraFields.begin(), extraFields.end(), i) != extraFields.end();
        };
        for (int i = 0; i < definition.GetFieldCount() && valueFields.empty(); ++i)
            if (!taken(i) && IsNumericType(definition.GetFieldDefn(i)->GetType())) valueFields.push_back(i);
        // No column typed numeric (a CSV column with a stray text cell is
        // typed text): the first other column, its text rows then skipped.
        for (int i = 0; i < definition.GetFieldCount() && valueFields.empty(); ++i)
            if (!taken(i)) valueFields.push_back(i);
        if (valueFields.empty())
            throw ToolError(
                path + ": no numeric column to grid (name one with --value; columns: " + FieldList(definition) + ")");
    }
    for (int field : valueFields) table.value_names.emplace_back(definition.GetFieldDefn(field)->GetNameRef());
    table.values.resize(valueFields.size());
    table.exact.resize(valueFields.size());
    table.extra.resize(extraFields.size());

    // The legacy request takes floats: there a number beyond float's range
    // is as unusable as an infinite one.
    const bool legacy = missing.legacy_blanks;
    const auto usable = [legacy](double v) { return legacy ? std::isfinite(static_cast<float>(v)) : std::isfinite(v); };
    const std::string finiteWord = legacy ? " is not a finite float" : " is not finite";
    // What a missing value becomes: the library's blank, or NaN.
    const double none = legacy ? static_cast<double>(kBlank) : NAN;

    std::vector<double> rowValues(valueFields.size()), rowExtra(extraFields.size());
    layer.ResetReading();
    for (std::unique_ptr<OGRFeature> feature(layer.GetNextFeature()); feature; feature.reset(layer.GetNextFeature())) {
        // A large table takes a while: Ctrl-C stops reading it.
        ThrowIfInterrupted();
        ++table.rows;
        const std::string where = "row " + std::to_string(table.rows);
        auto skip = [&](const std::string& why) {
            if (table.skipped++ == 0) table.first_skipped = where + ": " + why;
        };
        std::string why;
        const auto point = FeaturePoint(points, *feature, why);
        if (!point) {
            skip(why);
            continue;
        }
        const auto [x, y] = *point;
        if (!usable(x) || !usable(y)) {
            skip("coordinate (" + MessageNumber(x) + ", " + MessageNumber(y) + ")" + finiteWord);
            continue;
        }

        bool keep = true;
        long long rowBlanks = 0;
        for (std::size_t v = 0; v < valueFields.size() && keep; ++v) {
            const int field = valueFields[v];
            const char* text = feature->IsFieldSetAndNotNull(field) ? feature->GetFieldAsString(field) : "";
            const auto parsed = ParseNumber(text);
            if (!parsed) {
                // An empty cell is missing; any other text is not a number.
                if (*text == '\0' || std::string(text).find_first_not_of(" \t\r") == std::string::npos) {
                    rowValues[v] = none;
                    ++rowBlanks;
                    continue;
                }
                skip("'" + std::string(text) + "' in '" + table.value_names[v] + "' is not a number");
                keep = false;
                continue;
            }
            const double value = *parsed;
            // NaN and -1e38 (the library's blank, as a float) mean "no value"
            // in either rule.
            if (std::isnan(value) || static_cast<float>(value) == kBlank ||
                (missing.marker && value == *missing.marker)) {
                rowValues[v] = legacy && std::isnan(value) ? value : none;
                ++rowBlanks;
            } else if (!usable(value)) {
                skip("'" + std::string(text) + "' in '" + table.value_names[v] + "'" + finiteWord);
                keep = false;
            } else {
                rowValues[v] = value;
            }
        }
        for (std::size_t c = 0; c < extraFields.size() && keep; ++c) {
            const int field = extraFields[c];
            const auto parsed =
                ParseNumber(feature->IsFieldSetAndNotNull(field) ? feature->GetFieldAsString(field) : "");
            if (!parsed || !std::isfinite(*parsed)) {
                skip("no number in '" + extra[c] + "'");
                keep = false;
                continue;
            }
            rowExtra[c] = *parsed;
        }
        if (!keep) continue;
        table.blanks += rowBlanks;
        table.x.push_back(x);
        table.y.push_back(y);
        table.row.push_back(table.rows);
        for (std::size_t v = 0; v < valueFields.size(); ++v) {
            table.exact[v].push_back(rowValues[v]);
            table.values[v].push_back(static_cast<float>(rowValues[v]));
        }
        for (std::size_t c = 0; c < extraFields.size(); ++c) table.extra[c].push_back(rowExtra[c]);
    }
    return table;
}

}  // namespace mosaro::tool
