/* Grids and cross-validates one column of a CSV (x, y, then value
 * columns; a header line) with a given spherical model, and prints what
 * scripts/peer/accurate.R compares with gstat:
 *   node  ARITHMETIC METHOD x y estimate variance
 *   cv    ARITHMETIC METHOD index estimate variance
 * usage: accurate_dump FILE COLUMN NUGGET PARTIAL_SILL RANGE XMIN YMIN XMAX YMAX NODES */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "mosaro.h"

int main(int argc, char** argv) {
    if (argc != 11) return 2;
    FILE* file = fopen(argv[1], "r");
    if (!file) return 1;
    const int column = atoi(argv[2]);
    mosaro_variogram_model model = {(float)atof(argv[3]), 0.0f, (float)atof(argv[5]), (float)atof(argv[4])};
    float xmin = (float)atof(argv[6]), ymin = (float)atof(argv[7]), xmax = (float)atof(argv[8]),
          ymax = (float)atof(argv[9]);
    const int nodes = atoi(argv[10]);
    static float x[100000], y[100000], v[100000];
    int n = 0;
    char line[4096];
    fgets(line, sizeof line, file);
    while (fgets(line, sizeof line, file) && n < 100000) {
        char* field = strtok(line, ",");
        for (int c = 0; field; ++c, field = strtok(NULL, ",")) {
            if (c == 0) x[n] = (float)atof(field);
            if (c == 1) y[n] = (float)atof(field);
            if (c == column) v[n] = (float)atof(field);
        }
        ++n;
    }
    fclose(file);
    float* grid = malloc(sizeof(float) * nodes * nodes);
    float* variance = malloc(sizeof(float) * nodes * nodes);
    float estimate[100000], cvVariance[100000];
    mosaro_samples* samples = NULL;
    if (mosaro_samples_create(x, y, v, n, NULL, 0, &samples) != MOSARO_OK) return 1;
    const int methods[2] = {1, 7};
    for (int a = 0; a < 2; ++a) {
        for (int k = 0; k < 2; ++k) {
            mosaro_request r;
            mosaro_request_init(&r);
            r.x_min = xmin;
            r.y_min = ymin;
            r.x_max = xmax;
            r.y_max = ymax;
            r.cell_size_x = (xmax - xmin) / (float)(nodes - 1);
            r.cell_size_y = (ymax - ymin) / (float)(nodes - 1);
            r.node_count_x = r.node_count_y = nodes;
            r.neighbour_count = 16;
            r.method = methods[k];
            r.arithmetic = a;
            r.given_models = &model;
            r.given_model_count = 1;
            r.grid = grid;
            r.variance = variance;
            mosaro_report* report = NULL;
            r.report = &report;
            if (mosaro_grid_samples(samples, &r) < 0) {
                fprintf(stderr, "%s\n", mosaro_last_message());
                return 1;
            }
            mosaro_node_summary summary;
            summary.struct_size = sizeof summary;
            mosaro_report_nodes(report, 0, &summary);
            mosaro_report_free(report);
            r.report = NULL;
            if (a)
                fprintf(stderr, "method %d: %lld nodes, %lld ill-conditioned, smallest reciprocal condition %.2g\n",
                        methods[k], summary.node_count, summary.ill_conditioned_count,
                        summary.smallest_reciprocal_condition);
            for (int i = 0; i < nodes; ++i)
                for (int j = 0; j < nodes; ++j)
                    printf("node %s %d %.9g %.9g %.9g %.9g\n", a ? "accurate" : "legacy", methods[k],
                           (double)xmin + j * (double)r.cell_size_x, (double)ymin + i * (double)r.cell_size_y,
                           grid[i * nodes + j], variance[i * nodes + j]);
            mosaro_validation cv;
            memset(&cv, 0, sizeof cv);
            cv.struct_size = sizeof cv;
            cv.estimate = estimate;
            cv.variance = cvVariance;
            if (mosaro_cross_validate(samples, &r, &cv, NULL) < 0) {
                fprintf(stderr, "%s\n", mosaro_last_message());
                return 1;
            }
            for (int i = 0; i < n; ++i)
                printf("cv %s %d %d %.9g %.9g\n", a ? "accurate" : "legacy", methods[k], i + 1, estimate[i],
                       cvVariance[i]);
        }
    }
    mosaro_samples_free(samples);
    return 0;
}
