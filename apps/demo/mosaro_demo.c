/*
 * Grids the zinc column of the shipped demo data (155 soil samples of a
 * river flood plain) through the library's C entry point and prints a
 * summary. Written in C on purpose: it shows the public header serves C.
 *
 * Built with MOSARO_DEMO_LOAD_LIBRARY (Windows only) it is a legacy host
 * instead: it does not link the library and uses no header of it, but loads
 * mosaro.dll at run time and looks the entry point up by name, so its
 * output can be compared with the linked demo's.
 *
 * usage: mosaro_demo [data.csv] [method code]
 */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef MOSARO_DEMO_LOAD_LIBRARY
#include <windows.h>
#define DEMO_CALL __cdecl /* the entry point's convention, as a legacy host declares it */
#else
#include "mosaro.h"
#define DEMO_CALL
#endif

typedef int(DEMO_CALL* ScatToGridWithKrig)(const float*, int, int, int, const float*, float, float, int, int, int, int,
                                           float, const float*, float*);

#ifdef MOSARO_DEMO_LOAD_LIBRARY
static ScatToGridWithKrig LoadEntryPoint(void) {
    HMODULE library = LoadLibraryA("mosaro.dll");
    FARPROC entry;
    if (library == NULL) {
        fprintf(stderr, "mosaro_demo: LoadLibrary(mosaro.dll) failed (error %lu)\n", GetLastError());
        return NULL;
    }
    entry = GetProcAddress(library, "KARVO_ScatToGridWithKrig");
    if (entry == NULL) fprintf(stderr, "mosaro_demo: no KARVO_ScatToGridWithKrig in mosaro.dll\n");
    return (ScatToGridWithKrig)(void (*)(void))entry;
}
#else
static ScatToGridWithKrig LoadEntryPoint(void) { return KARVO_ScatToGridWithKrig; }
#endif

enum { kColumns = 9, kZincColumn = 5, kMaxRows = 4096 };

/* Reads the CSV table (header line, then x,y,... rows); an empty field
 * becomes the blank value, which the library replaces. */
static int read_table(const char* path, float* table, int max_rows) {
    FILE* file = fopen(path, "r");
    char line[1024];
    int rows = 0;
    if (file == NULL) return -1;
    if (fgets(line, sizeof line, file) == NULL) {
        fclose(file);
        return -1;
    }
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
        if (column < kColumns - 1) {
            fclose(file);
            return -1;
        }
        ++rows;
    }
    fclose(file);
    return rows;
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

    const ScatToGridWithKrig grid_with_krig = LoadEntryPoint();
    if (grid_with_krig == NULL) {
        free(grid);
        return 1;
    }
    grid_with_krig(table, kZincColumn, rows, kColumns, rect, cell, cell, cells_x, cells_y, 16, method, 0.0f, NULL,
                   grid);

    double sum = 0.0;
    float lowest = grid[0], highest = grid[0];
    int zeros = 0;
    for (int k = 0; k < nodes; ++k) {
        sum += grid[k];
        if (grid[k] < lowest) lowest = grid[k];
        if (grid[k] > highest) highest = grid[k];
        if (grid[k] == 0.0f) ++zeros;
    }
    /* 64 bits on every platform: unsigned long has 32 on Windows, where the
     * product below would wrap before the reduction. */
    uint64_t checksum = 0;
    for (int k = 0; k < nodes; ++k) {
        unsigned int bits;
        memcpy(&bits, &grid[k], sizeof bits);
        checksum = (checksum * 31u + bits) % UINT64_C(4294967291);
    }

    printf("samples        %d (zinc, mg/kg)\n", rows);
    printf("method         %d\n", method);
    printf("grid           %d x %d nodes, cell %.0f m, origin (%.0f, %.0f)\n", cells_x + 1, cells_y + 1, cell, rect[0],
           rect[1]);
    printf("estimates      min %.3f  max %.3f  mean %.3f\n", lowest, highest, sum / nodes);
    printf("zero nodes     %d\n", zeros);
    printf("grid checksum  %08lx\n", (unsigned long)checksum);
    printf("row %d (y = %.0f):", cells_y / 2, rect[1] + cell * (cells_y / 2));
    for (int j = 0; j <= cells_x; j += 4) printf(" %.0f", grid[(cells_y / 2) * (cells_x + 1) + j]);
    printf("\n");
    free(grid);
    return 0;
}
