/*
 * Prints the experimental variograms and the robust fit of one column of a
 * CSV table (header line, x and y first), for the comparison of the robust
 * fit with another package's fit of the same tables (peer-fit-check.sh).
 *
 * usage: fit_dump data.csv column method cell x_min y_min x_max y_max
 * Output, one line each: "table DIRECTION LAG PAIRS SEMIVARIANCE" and
 * "model DIRECTION NUGGET PARTIAL_SILL RANGE BRANCH", directions 0 (x),
 * 1 (y) and 2 (omnidirectional).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "mosaro.h"

enum { kMaxRows = 100000 };

int main(int argc, char** argv) {
    static float x[kMaxRows], y[kMaxRows], v[kMaxRows];
    if (argc != 9) {
        fprintf(stderr, "usage: fit_dump data.csv column method cell x_min y_min x_max y_max\n");
        return 2;
    }
    FILE* file = fopen(argv[1], "r");
    const int column = atoi(argv[2]);
    char line[4096];
    int n = 0;
    if (file == NULL || fgets(line, sizeof line, file) == NULL) return 1;
    while (n < kMaxRows && fgets(line, sizeof line, file) != NULL) {
        const char* field = line;
        for (int c = 0; field != NULL; ++c) {
            char* end = NULL;
            float value = strtof(field, &end);
            if (end == field) value = -1e38f; /* empty: a blank */
            if (c == 0) x[n] = value;
            if (c == 1) y[n] = value;
            if (c == column) v[n] = value;
            field = strchr(field, ',');
            if (field != NULL) ++field;
        }
        ++n;
    }
    fclose(file);

    mosaro_samples* samples = NULL;
    if (mosaro_samples_create(x, y, v, n, NULL, 0, &samples) != MOSARO_OK) return 1;
    mosaro_request r;
    mosaro_request_init(&r);
    r.method = (mosaro_method)atoi(argv[3]);
    r.cell_size_x = r.cell_size_y = strtof(argv[4], NULL);
    r.x_min = strtof(argv[5], NULL);
    r.y_min = strtof(argv[6], NULL);
    r.x_max = strtof(argv[7], NULL);
    r.y_max = strtof(argv[8], NULL);
    r.fit = MOSARO_FIT_ROBUST;
    mosaro_report* report = NULL;
    const mosaro_status status = mosaro_fit_variograms(samples, &r, &report);
    if (status < 0) {
        fprintf(stderr, "fit_dump: %s\n", mosaro_last_message());
        return 1;
    }
    for (int d = 0; d <= MOSARO_DIRECTION_OMNIDIRECTIONAL; ++d) {
        const float *lag, *pairs, *gamma;
        int count = 0;
        mosaro_direction_fit fit;
        fit.struct_size = sizeof fit;
        mosaro_report_table(report, 0, d, 0, &lag, &pairs, &gamma, &count);
        for (int k = 0; k < count; ++k)
            printf("table %d %.9g %.9g %.9g\n", d, (double)lag[k], (double)pairs[k], (double)gamma[k]);
        mosaro_report_fit(report, 0, d, &fit);
        printf("model %d %.9g %.9g %.9g %d\n", d, (double)fit.model.nugget, (double)fit.model.partial_sill,
               (double)fit.model.range, (int)fit.branch);
    }
    mosaro_report_free(report);
    mosaro_samples_free(samples);
    return 0;
}
