// Point samples from any vector file GDAL/OGR opens: a CSV table with a
// header (coordinates from two columns), or a GeoPackage, Shapefile,
// GeoJSON, ... layer (coordinates from point geometries, unless columns are
// named). Values come from named fields.
#pragma once

#include <string>
#include <vector>

namespace mosaro::tool {

// The library's blank value: a value it replaces by the previous sample's,
// as it does NaN.
constexpr float kBlank = -1e38f;

struct SampleColumns {
    std::string x;  // empty: geometry, else a column named x, easting, ...
    std::string y;
    std::vector<std::string> values;  // empty: the first other numeric column
};

struct SampleTable {
    std::vector<float> x;
    std::vector<float> y;
    std::vector<std::vector<float>> values;  // one array per value column, blanks as -1e38 or NaN
    std::vector<long long> row;              // each sample's row in the file, from 1
    std::vector<std::string> value_names;
    std::string coordinates_from;  // "columns 'x', 'y'" or "point geometries"
    std::string crs_wkt;           // empty when the file declares none
    long long rows = 0;            // features read
    long long skipped = 0;         // rows left out: no usable coordinate, or a value not a finite float
    std::string first_skipped;     // why the first of them was left out
    long long blanks = 0;          // empty, NaN or -1e38 values, filled by the library
};

// Throws ToolError naming the file, and the row or field at fault.
SampleTable LoadSamples(const std::string& path, const SampleColumns& columns);

}  // namespace mosaro::tool
