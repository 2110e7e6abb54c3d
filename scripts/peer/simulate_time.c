/* Times sequential Gaussian simulation through mosaro_simulate: the samples
 * of a CSV (x, y, then values; column COLUMN), a model of their normal
 * scores, a grid given by its first node, spacing and node counts, and
 * prints "wall_seconds cpu_seconds node_simulations" for the best of
 * REPEATS runs (the processor time is what compares on a busy machine). The
 * realisations go to a callback that only sums them, so that the time is
 * the simulation's, not the output's.
 * usage: simulate_time SAMPLES COLUMN MODEL X0 Y0 CELL NX NY REALISATIONS
 *        NMAX THREADS REPEATS */
#define _POSIX_C_SOURCE 199309L

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "mosaro.h"

enum { kMax = 200000, kColumns = 4 };

static double columns[kColumns][kMax];

static int ReadCsv(const char* path) {
    FILE* file = fopen(path, "r");
    if (!file) exit(1);
    char line[4096];
    int n = 0;
    if (!fgets(line, sizeof line, file)) exit(1);
    while (n < kMax && fgets(line, sizeof line, file)) {
        char* cursor = line;
        for (int c = 0; c < kColumns && cursor; ++c) {
            columns[c][n] = atof(cursor);
            cursor = strchr(cursor, ',');
            if (cursor) ++cursor;
        }
        ++n;
    }
    fclose(file);
    return n;
}

static int Sum(void* user_data, int realisation, const double* values, long long count) {
    (void)realisation;
    double* sum = user_data;
    for (long long i = 0; i < count; ++i) *sum += values[i];
    return 1;
}

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

int main(int argc, char** argv) {
    if (argc != 13) return 2;
    const int n = ReadCsv(argv[1]);
    mosaro_model model;
    mosaro_model_init(&model);
    if (mosaro_model_parse(argv[3], &model) != MOSARO_OK) {
        fprintf(stderr, "%s\n", mosaro_last_message());
        return 1;
    }
    double sum = 0;
    mosaro_simulation s;
    mosaro_simulation_init(&s);
    s.x = columns[0];
    s.y = columns[1];
    s.value = columns[atoi(argv[2])];
    s.sample_count = n;
    s.model = &model;
    s.grid_x = atof(argv[4]);
    s.grid_y = atof(argv[5]);
    s.cell_size_x = s.cell_size_y = atof(argv[6]);
    s.node_count_x = atoi(argv[7]);
    s.node_count_y = atoi(argv[8]);
    s.realisations = atoi(argv[9]);
    s.nmax = atoi(argv[10]);
    s.nmax_simulated = -1; /* the nmax nearest of samples and simulated nodes together, as gstat counts */
    s.thread_count = atoi(argv[11]);
    s.seed = 20261207u;
    s.realisation = Sum;
    s.realisation_user_data = &sum;
    double best = 1e300, bestCpu = 1e300;
    for (int r = atoi(argv[12]); r > 0; --r) {
        const double start = Now();
        const clock_t startCpu = clock();
        if (mosaro_simulate(&s, NULL) != MOSARO_OK) {
            fprintf(stderr, "%s\n", mosaro_last_message());
            return 1;
        }
        const double seconds = Now() - start, cpu = (double)(clock() - startCpu) / CLOCKS_PER_SEC;
        if (seconds < best) best = seconds;
        if (cpu < bestCpu) bestCpu = cpu;
    }
    printf("%.4f %.4f %lld\n", best, bestCpu, (long long)s.realisations * s.node_count_x * s.node_count_y);
    return 0;
}
