/* Predicts one column of a samples CSV at the points of a targets CSV (x,
 * y, then covariates) through mosaro_predict, and prints one line per
 * target: estimate variance. Arguments after the files are key=value:
 *   model=TEXT kind=ordinary|simple mean=M drift=BITS covariates=K
 *   nmax=N nmin=N maxdist=D block=SIZE lognormal=1 sectors=S per_sector=P
 * usage: predict_dump SAMPLES COLUMN TARGETS [key=value...] */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "mosaro.h"

enum { kMax = 200000, kMaxColumns = 16 };

/* Reads a CSV with a header into columns; returns the row count. */
static int ReadCsv(const char* path, double columns[kMaxColumns][kMax]) {
    FILE* file = fopen(path, "r");
    if (!file) exit(1);
    char line[8192];
    int n = 0;
    if (!fgets(line, sizeof line, file)) exit(1);
    while (fgets(line, sizeof line, file) && n < kMax) {
        char* cursor = line;
        for (int c = 0; c < kMaxColumns; ++c) {
            char* end = strchr(cursor, ',');
            if (end) *end = 0;
            columns[c][n] = *cursor && *cursor != '\n' ? atof(cursor) : 0.0 / 0.0;
            if (!end) break;
            cursor = end + 1;
        }
        ++n;
    }
    fclose(file);
    return n;
}

static double samples[kMaxColumns][kMax], targets[kMaxColumns][kMax], estimate[kMax], variance[kMax];

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const int n = ReadCsv(argv[1], samples), column = atoi(argv[2]), m = ReadCsv(argv[3], targets);
    mosaro_model model;
    mosaro_model_init(&model);
    mosaro_prediction p;
    mosaro_prediction_init(&p);
    p.x = samples[0];
    p.y = samples[1];
    p.value = samples[column];
    p.sample_count = n;
    p.target = MOSARO_TARGET_POINTS;
    p.target_x = targets[0];
    p.target_y = targets[1];
    p.target_count = m;
    p.estimate = estimate;
    p.variance = variance;
    const double* sampleCovariates[4];
    const double* targetCovariates[4];
    for (int a = 4; a < argc; ++a) {
        char* value = strchr(argv[a], '=');
        if (!value) return 2;
        *value++ = 0;
        const char* key = argv[a];
        if (!strcmp(key, "model")) {
            if (mosaro_model_parse(value, &model) != MOSARO_OK) {
                fprintf(stderr, "%s\n", mosaro_last_message());
                return 1;
            }
            p.model = &model;
        } else if (!strcmp(key, "kind")) {
            p.kind = strcmp(value, "simple") ? MOSARO_KIND_ORDINARY : MOSARO_KIND_SIMPLE;
        } else if (!strcmp(key, "mean")) {
            p.mean = atof(value);
        } else if (!strcmp(key, "drift")) {
            p.drift_terms = (unsigned)atoi(value);
        } else if (!strcmp(key, "covariates")) {
            /* the covariates follow the value column in the samples, and
             * x, y in the targets */
            p.covariate_count = atoi(value);
            for (int c = 0; c < p.covariate_count; ++c) {
                sampleCovariates[c] = samples[column + 1 + c];
                targetCovariates[c] = targets[2 + c];
            }
            p.sample_covariates = sampleCovariates;
            p.target_covariates = targetCovariates;
        } else if (!strcmp(key, "nmax")) {
            p.nmax = atoi(value);
        } else if (!strcmp(key, "nmin")) {
            p.nmin = atoi(value);
        } else if (!strcmp(key, "maxdist")) {
            p.max_distance = atof(value);
        } else if (!strcmp(key, "block")) {
            p.block_size_x = p.block_size_y = atof(value);
        } else if (!strcmp(key, "lognormal")) {
            p.lognormal = atoi(value);
        } else if (!strcmp(key, "sectors")) {
            p.sectors = atoi(value);
        } else if (!strcmp(key, "per_sector")) {
            p.max_per_sector = atoi(value);
        } else {
            return 2;
        }
    }
    if (mosaro_predict(&p, NULL) != MOSARO_OK) {
        fprintf(stderr, "%s\n", mosaro_last_message());
        return 1;
    }
    for (int t = 0; t < m; ++t) printf("%.17g %.17g\n", estimate[t], variance[t]);
    return 0;
}
