// The demo data (data/meuse.csv) as the tests read it: each column as
// doubles, an empty field as NaN.
#pragma once

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace mosaro_test {

// Columns x, y, cadmium, copper, lead, zinc, elev, om, dist.
inline std::vector<std::vector<double>> DemoColumns() {
    std::vector<std::vector<double>> columns;
    std::ifstream in(MOSARO_DATA_DIR "/meuse.csv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::stringstream row(line);
        std::size_t c = 0;
        for (std::string field; std::getline(row, field, ','); ++c) {
            if (columns.size() <= c) columns.emplace_back();
            columns[c].push_back(field.empty() ? NAN : std::stod(field));
        }
    }
    return columns;
}

}  // namespace mosaro_test
