// The peer check's side of the library (scripts/peer-variogram-check.sh):
// reads samples from a CSV file and prints experimental variograms and
// fitted models as plain rows for R to compare with gstat's.
//
//   variogram_peer classes FILE X Y VALUE log|raw classic|robust [AZIMUTH TOLERANCE]...
//       one row per class with pairs: direction np dist gamma
//   variogram_peer map FILE X Y VALUE log|raw CUTOFF WIDTH
//       one row per cell with pairs: dx dy np gamma
//   variogram_peer fit FILE X Y VALUE log|raw METHOD TEMPLATE...
//       per template: the omnidirectional variogram's fit, as
//       template <tab> status <tab> model <tab> weighted SSE
//   variogram_peer sse FILE X Y VALUE log|raw METHOD MODEL
//       the weighted SSE of a given model on the same classes
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "variogram/EmpiricalVariogram.h"
#include "variogram/ModelFit.h"
#include "variogram/ModelNotation.h"

namespace {

struct Columns {
    std::vector<double> x, y, value;
};

Columns ReadCsv(const std::string& path, const std::string& xName, const std::string& yName,
                const std::string& valueName, bool logarithm) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::string line;
    std::getline(in, line);
    std::vector<std::string> header;
    std::stringstream names(line);
    for (std::string name; std::getline(names, name, ',');) {
        if (name.size() >= 2 && name.front() == '"') name = name.substr(1, name.size() - 2);
        header.push_back(name);
    }
    auto column = [&](const std::string& name) {
        for (std::size_t i = 0; i < header.size(); ++i)
            if (header[i] == name) return i;
        throw std::runtime_error("no column " + name);
    };
    const std::size_t cx = column(xName), cy = column(yName), cv = column(valueName);
    Columns c;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream row(line);
        for (std::string field; std::getline(row, field, ',');) fields.push_back(field);
        if (fields.size() <= std::max(cx, std::max(cy, cv)) || fields[cv].empty() || fields[cv] == "NA") continue;
        c.x.push_back(std::strtod(fields[cx].c_str(), nullptr));
        c.y.push_back(std::strtod(fields[cy].c_str(), nullptr));
        const double v = std::strtod(fields[cv].c_str(), nullptr);
        c.value.push_back(logarithm ? std::log(v) : v);
    }
    return c;
}

mosaro::FitMethod MethodOf(const std::string& text) {
    switch (std::atoi(text.c_str())) {
        case 1: return mosaro::FitMethod::kPairs;
        case 2: return mosaro::FitMethod::kPairsOverModelSquared;
        case 6: return mosaro::FitMethod::kOrdinary;
        default: return mosaro::FitMethod::kPairsOverLagSquared;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 8) {
        std::fprintf(stderr, "usage: see the header of bench/variogram_peer.cpp\n");
        return 2;
    }
    try {
        const std::string command = argv[1];
        Columns c = ReadCsv(argv[2], argv[3], argv[4], argv[5], std::string(argv[6]) == "log");
        const mosaro::SampleView samples{c.x.data(), c.y.data(), c.value.data(), c.x.size()};
        if (command == "classes") {
            mosaro::EmpiricalOptions options;
            options.estimator = std::string(argv[7]) == "robust" ? mosaro::VariogramEstimator::kRobust
                                                                 : mosaro::VariogramEstimator::kClassic;
            for (int a = 8; a + 1 < argc; a += 2) {
                mosaro::LagDirection d;
                d.azimuth = std::strtod(argv[a], nullptr);
                d.tolerance = std::strtod(argv[a + 1], nullptr);
                options.directions.push_back(d);
            }
            options.threads = 2;
            const mosaro::EmpiricalVariogram v = mosaro::ComputeEmpiricalVariogram(samples, options);
            for (const mosaro::DirectionalVariogram& d : v.directions)
                for (const mosaro::LagClass& k : d.classes)
                    if (k.pairs > 0)
                        std::printf("%.17g %llu %.17g %.17g\n", d.omnidirectional ? 0.0 : d.direction.azimuth,
                                    static_cast<unsigned long long>(k.pairs), k.meanDistance, k.gamma);
            return 0;
        }
        if (command == "map" && argc >= 9) {
            const mosaro::VariogramMap map =
                mosaro::ComputeVariogramMap(samples, std::strtod(argv[7], nullptr), std::strtod(argv[8], nullptr),
                                            mosaro::VariogramEstimator::kClassic, 2);
            const std::size_t size = static_cast<std::size_t>(map.size);
            for (std::size_t row = 0; row < size; ++row)
                for (std::size_t column = 0; column < size; ++column) {
                    const std::size_t cell = row * size + column;
                    if (map.pairs[cell] == 0) continue;
                    std::printf("%.17g %.17g %llu %.17g\n", -map.cutoff + static_cast<double>(column) * map.width,
                                -map.cutoff + static_cast<double>(row) * map.width,
                                static_cast<unsigned long long>(map.pairs[cell]), map.gamma[cell]);
                }
            return 0;
        }
        mosaro::EmpiricalOptions options;
        options.threads = 2;
        const mosaro::EmpiricalVariogram v = mosaro::ComputeEmpiricalVariogram(samples, options);
        const std::vector<mosaro::LagClass>& classes = v.directions.front().classes;
        mosaro::FitOptions fitOptions;
        fitOptions.method = MethodOf(argv[7]);
        if (command == "sse") {
            const mosaro::VariogramModel model = mosaro::ParseModel(argv[8]);
            std::printf("%.17g\n", mosaro::WeightedSquaredError(classes, model, fitOptions.method));
            return 0;
        }
        for (int a = 8; a < argc; ++a) {
            const mosaro::FitTemplate fitTemplate = mosaro::ParseFitTemplate(argv[a]);
            const mosaro::FitResult fit = mosaro::FitModel(classes, fitTemplate, fitOptions);
            std::printf(
                "%s\t%s\t%s\t%.17g\n", argv[a], fit.status == mosaro::FitStatus::kFitted ? "fitted" : "none",
                fit.status == mosaro::FitStatus::kFitted ? mosaro::FormatModel(fit.model).c_str() : fit.message.c_str(),
                fit.weightedSquaredError);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "variogram_peer: %s\n", e.what());
        return 1;
    }
}
