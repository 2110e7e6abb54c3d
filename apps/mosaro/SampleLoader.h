// Point samples from any vector file GDAL/OGR opens: a CSV table with a
// header (coordinates from two columns), or a GeoPackage, Shapefile,
// GeoJSON, ... layer (coordinates from point geometries, unless columns are
// named). Values come from named fields.
//
// Two rules for a value that is missing (an empty cell, NaN, -1e38 or the
// --nodata marker): the legacy request fills it from the sample before it
// (the library's blank), the prediction API leaves the sample out. The
// loader keeps what the file says in double; the legacy request rounds to
// float itself.
#pragma once

#include <ogrsf_frmts.h>

#include <optional>
#include <string>
#include <vector>

#include "GdalSupport.h"

namespace mosaro::tool {

// The library's blank value: a value it replaces by the previous sample's,
// as it does NaN.
constexpr float kBlank = -1e38f;

struct SampleColumns {
    std::string x;  // empty: geometry, else a column named x, easting, ...
    std::string y;
    std::vector<std::string> values;  // empty: the first other numeric column
};

struct MissingValues {
    // true: the legacy blank (a float -1e38, or NaN) the library fills from
    // the sample before; false: NaN, a sample the prediction API leaves out.
    bool legacy_blanks = true;
    std::optional<double> marker;  // --nodata: one more value that means "none"
};

struct SampleTable {
    std::vector<double> x;
    std::vector<double> y;
    // One array per value column as the file gives it; a missing value is
    // the legacy blank or NaN (see MissingValues).
    std::vector<std::vector<double>> exact;
    // The same in float, as the legacy request takes them.
    std::vector<std::vector<float>> values;
    std::vector<long long> row;  // each sample's row in the file, from 1
    std::vector<std::string> value_names;
    // Further columns read as they are (covariates): one array per name.
    std::vector<std::vector<double>> extra;
    std::string coordinates_from;  // "columns 'x', 'y'" or "point geometries"
    std::string crs_wkt;           // empty when the file declares none
    long long rows = 0;            // features read
    long long skipped = 0;         // rows left out: no usable coordinate, or a value that is not a number
    std::string first_skipped;     // why the first of them was left out
    long long blanks = 0;          // values missing: filled (legacy) or left out
};

// Throws ToolError naming the file, and the row or field at fault. The
// `extra` columns must be numbers in every row kept; a row without one is
// skipped and counted.
SampleTable LoadSamples(const std::string& path, const SampleColumns& columns, const MissingValues& missing = {},
                        const std::vector<std::string>& extra = {});

// The first layer of a vector file and where its points come from, by the
// same rules as the samples: for `mosaro predict`'s targets.
struct PointLayer {
    DatasetPtr dataset;
    OGRLayer* layer = nullptr;
    int x_field = -1;  // -1: point geometries
    int y_field = -1;
    std::string coordinates_from;
    std::string crs_wkt;
};
PointLayer OpenPointLayer(const std::string& path, const SampleColumns& columns);

// The point of a feature, or nullopt with the reason in `why`.
std::optional<std::pair<double, double>> FeaturePoint(const PointLayer& points, OGRFeature& feature, std::string& why);

// A field's text as a number: the whole field (surrounding blanks aside)
// must be read; nullopt for empty or other text.
std::optional<double> ParseNumber(const char* text);

// The index of a field, or ToolError naming the file and listing the columns.
int RequireField(OGRFeatureDefn& definition, const std::string& path, const std::string& name);

}  // namespace mosaro::tool
