// A C++ host: the exported estimator class, as legacy C++ hosts drive it.
#include <mosaro.h>

#include <cstdio>

int main() {
    float x[4] = {0, 10, 0, 10}, y[4] = {0, 0, 10, 10}, v[4] = {1, 2, 3, 4};
    float* points[3] = {x, y, v};
    float grid[9] = {};
    const TGRIDCELLXY cells{5, 5, 2, 2};
    COrdinaryKriging kriging(4, 4, 0, cells, TRECTXYMINMAX{0, 0, 10, 10});
    kriging.KrigingResultValue(points, grid, cells);
    std::printf("mosaro %s: corner node %g\n", mosaro_version(), static_cast<double>(grid[0]));
    return grid[0] == 0 ? 1 : 0;
}
