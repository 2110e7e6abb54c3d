#include "SampleLoader.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

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

// Text to number: the whole field (surrounding blanks aside) must be read.
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

std::string FieldList(OGRFeatureDefn& definition) {
    std::string list;
    for (int i = 0; i < definition.GetFieldCount(); ++i)
        list += std::string(i ? ", " : "") + definition.GetFieldDefn(i)->GetNameRef();
    return list.empty() ? "none" : list;
}

int RequireField(OGRFeatureDefn& definition, const std::string& path, const std::string& name) {
    const int index = definition.GetFieldIndex(name.c_str());
    if (index < 0) throw ToolError(path + ": no column '" + name + "' (columns: " + FieldList(definition) + ")");
    return index;
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

SampleTable LoadSamples(const std::string& path, const SampleColumns& columns) {
    GDALAllRegister();
    DatasetPtr dataset(OpenVector(path));
    if (dataset->GetLayerCount() < 1) throw ToolError(path + ": holds no table or layer");
    OGRLayer& layer = *dataset->GetLayer(0);
    OGRFeatureDefn& definition = *layer.GetLayerDefn();

    SampleTable table;
    if (const OGRSpatialReference* crs = layer.GetSpatialRef()) {
        char* wkt = nullptr;
        if (crs->exportToWkt(&wkt) == OGRERR_NONE && wkt != nullptr) table.crs_wkt = wkt;
        CPLFree(wkt);
    }

    // Coordinates: named columns, else point geometries, else the usual names.
    int xField = -1, yField = -1;
    if (!columns.x.empty() || !columns.y.empty()) {
        xField = RequireField(definition, path, columns.x.empty() ? "x" : columns.x);
        yField = RequireField(definition, path, columns.y.empty() ? "y" : columns.y);
    } else if (wkbFlatten(layer.GetGeomType()) == wkbPoint || definition.GetFieldCount() == 0) {
        // geometry
    } else {
        xField = FindCoordinateField(definition, kXNames);
        yField = FindCoordinateField(definition, kYNames);
        if (xField < 0 || yField < 0)
            throw ToolError(path +
                            ": no x and y columns and no point geometries (name them with "
                            "--x and --y; columns: " +
                            FieldList(definition) + ")");
    }
    table.coordinates_from = xField < 0 ? "point geometries"
                                        : std::string("columns '") + definition.GetFieldDefn(xField)->GetNameRef() +
                                              "', '" + definition.GetFieldDefn(yField)->GetNameRef() + "'";

    // A layer with point geometries often keeps its coordinates as columns
    // too; those are never the default value.
    const int xColumn = xField >= 0 ? xField : FindCoordinateField(definition, kXNames);
    const int yColumn = yField >= 0 ? yField : FindCoordinateField(definition, kYNames);
    std::vector<int> valueFields;
    for (const std::string& name : columns.values) valueFields.push_back(RequireField(definition, path, name));
    if (valueFields.empty()) {
        for (int i = 0; i < definition.GetFieldCount() && valueFields.empty(); ++i)
            if (i != xColumn && i != yColumn && IsNumericType(definition.GetFieldDefn(i)->GetType()))
                valueFields.push_back(i);
        // No column typed numeric (a CSV column with a stray text cell is
        // typed text): the first other column, its text rows then skipped.
        for (int i = 0; i < definition.GetFieldCount() && valueFields.empty(); ++i)
            if (i != xColumn && i != yColumn) valueFields.push_back(i);
        if (valueFields.empty())
            throw ToolError(
                path + ": no numeric column to grid (name one with --value; columns: " + FieldList(definition) + ")");
    }
    for (int field : valueFields) table.value_names.emplace_back(definition.GetFieldDefn(field)->GetNameRef());
    table.values.resize(valueFields.size());

    std::vector<float> rowValues(valueFields.size());
    layer.ResetReading();
    for (std::unique_ptr<OGRFeature> feature(layer.GetNextFeature()); feature; feature.reset(layer.GetNextFeature())) {
        // A large table takes a while: Ctrl-C stops reading it.
        ThrowIfInterrupted();
        ++table.rows;
        const std::string where = "row " + std::to_string(table.rows);
        auto skip = [&](const std::string& why) {
            if (table.skipped++ == 0) table.first_skipped = where + ": " + why;
        };
        double x = NAN, y = NAN;
        if (xField >= 0) {
            const auto fx = ParseNumber(feature->GetFieldAsString(xField));
            const auto fy = ParseNumber(feature->GetFieldAsString(yField));
            if (!fx || !fy) {
                skip("no numeric coordinate");
                continue;
            }
            x = *fx;
            y = *fy;
        } else {
            const OGRGeometry* geometry = feature->GetGeometryRef();
            if (geometry == nullptr || wkbFlatten(geometry->getGeometryType()) != wkbPoint || geometry->IsEmpty()) {
                skip("not a point geometry");
                continue;
            }
            x = geometry->toPoint()->getX();
            y = geometry->toPoint()->getY();
        }
        // The library takes floats: a double beyond float's range is as
        // unusable as an infinite one.
        const float fx = static_cast<float>(x), fy = static_cast<float>(y);
        if (!std::isfinite(fx) || !std::isfinite(fy)) {
            skip("coordinate (" + MessageNumber(x) + ", " + MessageNumber(y) + ") is not a finite float");
            continue;
        }

        bool usable = true;
        for (std::size_t v = 0; v < valueFields.size() && usable; ++v) {
            const int field = valueFields[v];
            const char* text = feature->IsFieldSetAndNotNull(field) ? feature->GetFieldAsString(field) : "";
            const auto parsed = ParseNumber(text);
            if (!parsed) {
                // An empty cell is a blank; any other text is not a number.
                if (*text == '\0' || std::string(text).find_first_not_of(" \t\r") == std::string::npos) {
                    rowValues[v] = kBlank;
                    ++table.blanks;
                    continue;
                }
                skip("'" + std::string(text) + "' in '" + table.value_names[v] + "' is not a number");
                usable = false;
                continue;
            }
            rowValues[v] = static_cast<float>(*parsed);
            // The library fills NaN like the blank value.
            if (rowValues[v] == kBlank || std::isnan(rowValues[v])) {
                ++table.blanks;
            } else if (!std::isfinite(rowValues[v])) {
                skip("'" + std::string(text) + "' in '" + table.value_names[v] + "' is not a finite float");
                usable = false;
            }
        }
        if (!usable) continue;
        table.x.push_back(fx);
        table.y.push_back(fy);
        table.row.push_back(table.rows);
        for (std::size_t v = 0; v < valueFields.size(); ++v) table.values[v].push_back(rowValues[v]);
    }
    return table;
}

}  // namespace mosaro::tool
