/*
 * Grids the zinc column of the shipped demo data (155 soil samples of a
 * river flood plain) through the library's C entry point and prints a
 * summary. Written in C on purpose: it shows the public header serves C.
 *
 * usage: mosaro_demo [data.csv] [method code] [legacy|robust]
 * With a fit named, the grid goes through the modern API with that
 * variogram fit, and the fitted model of each direction is printed with
 * the reason the fit gives for it.
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "mosaro.h"

enum { kColumns = 9, kZincColumn = 5, kMaxRows = 4096 };

/* Reads the CSV table (header line, then x,y,... rows); an empty field
 * becomes the blank value, which the library replaces. */
static int read_table(const char* path, float* table, int max_rows) {
    FILE* file = fopen(path, "r");
    char line[1024];
    int rows = 0;
    if (file == NULL) return -1;
    if (fgets(line, sizeof line, file) == NULL) { fclose(file); return -1; }
    while (rows < max_rows && fgets(line, sizeof line, file) != NULL) {
        const char* field = line;
        int column;
        for (column = 0; column < kColumns; ++column) {
            char* end = NULL;
            float value = strtof(field, &end);
            if (end == field) value = -1e38f;
            table[rows * kColumns + column] = value;
            field = strchr(field, ',');
            if (field == NULL) break;
            ++field;
        }
        if (column < kColumns - 1) { fclose(file); return -1; }
        ++rows;
    }
    fclose(file);
    return rows;
}

/* Grids the zinc column through the modern API with the named fit and
 * prints the status and each direction's model; returns the status. */
static int grid_modern(const float* table, int rows, const float* rect, float cell, int cells_x,
                       int cells_y, int method, const char* fit_name, float* grid) {
    static float x[kMaxRows], y[kMaxRows], zinc[kMaxRows];
    const char* names[3] = {"x", "y", "omni"};
    mosaro_report* report = NULL;
    mosaro_request r;
    mosaro_status status;
    for (int i = 0; i < rows; ++i) {
        x[i] = table[i * kColumns];
        y[i] = table[i * kColumns + 1];
        zinc[i] = table[i * kColumns + kZincColumn];
    }
    mosaro_request_init(&r);
    r.x = x;
    r.y = y;
    r.value = zinc;
    r.sample_count = rows;
    r.x_min = rect[0];
    r.y_min = rect[1];
    r.x_max = rect[2];
    r.y_max = rect[3];
    r.cell_size_x = r.cell_size_y = cell;
    r.node_count_x = cells_x + 1;
    r.node_count_y = cells_y + 1;
    r.neighbour_count = 16;
    r.method = (mosaro_method)method;
    r.fit = strcmp(fit_name, "robust") == 0 ? MOSARO_FIT_ROBUST : MOSARO_FIT_LEGACY;
    r.grid = grid;
    r.report = &report;
    status = mosaro_grid(&r);
    printf("fit            %s: %s%s%s\n", fit_name, mosaro_status_string(status),
           status != MOSARO_OK ? "\n               " : "", mosaro_last_message());
    if (status < 0) return status;
    for (int d = 0; d <= MOSARO_DIRECTION_OMNIDIRECTIONAL; ++d) {
        mosaro_direction_fit f;
        f.struct_size = sizeof f;
        if (mosaro_report_fit(report, 0, d, &f) != MOSARO_OK || f.branch == MOSARO_FIT_NOT_RUN) continue;
        printf("model %-8s nugget %.4g  partial sill %.4g  range %.4g\n               %s\n", names[d],
               (double)f.model.nugget, (double)f.model.partial_sill, (double)f.model.range, f.reason);
    }
    mosaro_report_free(report);
    return status;
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "data/meuse.csv";
    const int method = argc > 2 ? atoi(argv[2]) : 1;
    static float table[kMaxRows * kColumns];
    const int rows = read_table(path, table, kMaxRows);
    if (rows <= 0) {
        fprintf(stderr, "mosaro_demo: cannot read a sample table from '%s'\n", path);
        return 1;
    }

    /* A 100 m grid over the sampled area. */
    const float rect[4] = {178600.0f, 329700.0f, 181400.0f, 333700.0f};
    const float cell = 100.0f;
    const int cells_x = 28, cells_y = 40;
    const int nodes = (cells_x + 1) * (cells_y + 1);
    float* grid = malloc(sizeof(float) * (size_t)nodes);
    if (grid == NULL) return 1;

    if (argc > 3) {
        if (grid_modern(table, rows, rect, cell, cells_x, cells_y, method, argv[3], grid) < 0) {
            free(grid);
            return 1;
        }
    } else {
        KARVO_ScatToGridWithKrig(table, kZincColumn, rows, kColumns, rect, cell, cell, cells_x,
                                 cells_y, 16, method, 0.0f, NULL, grid);
    }

    double sum = 0.0;
    float lowest = grid[0], highest = grid[0];
    int zeros = 0;
    for (int k = 0; k < nodes; ++k) {
        sum += grid[k];
        if (grid[k] < lowest) lowest = grid[k];
        if (grid[k] > highest) highest = grid[k];
        if (grid[k] == 0.0f) ++zeros;
    }
    unsigned long checksum = 0;
    for (int k = 0; k < nodes; ++k) {
        unsigned int bits;
        memcpy(&bits, &grid[k], sizeof bits);
        checksum = (checksum * 31u + bits) % 4294967291u;
    }

    printf("samples        %d (zinc, mg/kg)\n", rows);
    printf("method         %d\n", method);
    printf("grid           %d x %d nodes, cell %.0f m, origin (%.0f, %.0f)\n", cells_x + 1,
           cells_y + 1, cell, rect[0], rect[1]);
    printf("estimates      min %.3f  max %.3f  mean %.3f\n", lowest, highest, sum / nodes);
    printf("zero nodes     %d\n", zeros);
    printf("grid checksum  %08lx\n", checksum);
    printf("row %d (y = %.0f):", cells_y / 2, rect[1] + cell * (cells_y / 2));
    for (int j = 0; j <= cells_x; j += 4) printf(" %.0f", grid[(cells_y / 2) * (cells_x + 1) + j]);
    printf("\n");
    free(grid);
    return 0;
}
