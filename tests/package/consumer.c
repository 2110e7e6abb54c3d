/* A host in C, built against an installed Mosaro through pkg-config: grids
 * four samples and checks that the library answered. */
#include <stdio.h>

#include <mosaro.h>

int main(void) {
    const float x[4] = {0, 10, 0, 10}, y[4] = {0, 0, 10, 10}, v[4] = {1, 2, 3, 4};
    const mosaro_variogram_model model = {0.0f, 1.0f, 20.0f, 1.0f};
    float grid[9];
    mosaro_request request;
    mosaro_request_init(&request);
    request.x = x;
    request.y = y;
    request.value = v;
    request.sample_count = 4;
    request.x_max = request.y_max = 10;
    request.cell_size_x = request.cell_size_y = 5;
    request.node_count_x = request.node_count_y = 3;
    request.neighbour_count = 4;
    request.grid = grid;
    request.given_models = &model;
    request.given_model_count = 1;
    if (mosaro_grid(&request) != MOSARO_OK) {
        fprintf(stderr, "%s\n", mosaro_last_message());
        return 1;
    }
    printf("mosaro %s: centre node %g\n", mosaro_version(), grid[4]);
    return 0;
}
