// Writes seeded benchmark inputs for the command-line tool: COUNT samples of
// the benchmark's smooth field over [0, EXTENT)^2, as a CSV table (x, y,
// value) or, for a .gpkg name, a GeoPackage point layer with a value field.
// The same arguments always give the same file.
//
// usage: mosaro_make_samples COUNT OUTPUT [SEED] [EXTENT]
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "CaseGenerator.h"

namespace {

int WriteGeoPackage(const std::vector<float>& rows, const std::string& path) {
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    std::unique_ptr<GDALDataset> dataset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!dataset) return 1;
    OGRLayer* layer = dataset->CreateLayer("samples", nullptr, wkbPoint, nullptr);
    OGRFieldDefn field("value", OFTReal);
    layer->CreateField(&field);
    // One transaction: a GeoPackage commits each feature otherwise.
    dataset->StartTransaction();
    for (std::size_t i = 0; i + 2 < rows.size(); i += 3) {
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetField(0, static_cast<double>(rows[i + 2]));
        OGRPoint point(rows[i], rows[i + 1]);
        feature.SetGeometry(&point);
        if (layer->CreateFeature(&feature) != OGRERR_NONE) return 1;
    }
    return dataset->CommitTransaction() == OGRERR_NONE ? 0 : 1;
}

int WriteCsv(const std::vector<float>& rows, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return 1;
    std::fputs("x,y,value\n", file);
    // Nine significant digits give every float back exactly.
    for (std::size_t i = 0; i + 2 < rows.size(); i += 3)
        std::fprintf(file, "%.9g,%.9g,%.9g\n", static_cast<double>(rows[i]), static_cast<double>(rows[i + 1]),
                     static_cast<double>(rows[i + 2]));
    return std::fclose(file) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: mosaro_make_samples COUNT OUTPUT [SEED] [EXTENT]\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    const std::string path = argv[2];
    const unsigned seed = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 20261206u;
    const float extent = argc > 4 ? std::strtof(argv[4], nullptr) : 1000.0f;
    const std::vector<float> rows = mosaro_test::SmoothSamples(seed, count, extent);
    const bool geoPackage = path.size() > 5 && path.compare(path.size() - 5, 5, ".gpkg") == 0;
    const int status = geoPackage ? WriteGeoPackage(rows, path) : WriteCsv(rows, path);
    if (status != 0) std::fprintf(stderr, "mosaro_make_samples: cannot write '%s'\n", path.c_str());
    return status;
}
